// The plain event of the components: something happened to Sender.
#pragma once

#include <functional>

class QObject;

namespace plover {

using TNotifyEvent = std::function<void(QObject* sender)>;

} // namespace plover
