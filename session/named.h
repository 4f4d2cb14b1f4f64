// Gives a new control or component its objectName and returns it, so that
// building a window reads "Field = named(new Kind(parent), "Field")" and the
// name tests find with findChild is the member's name.
#pragma once

#include <QObject>
#include <QString>

namespace plover {

template <class T>
T* named(T* object, const char* name)
{
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

} // namespace plover
