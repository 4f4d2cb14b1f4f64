#include "platform/guard.h"

#include "platform/dialogs.h"
#include "platform/exception.h"
#include "platform/text.h"

#include <new>

namespace plover {

bool Guard(const std::function<void()>& handler)
{
    try {
        handler();
        return true;
    } catch (const Exception& e) {
        Dialogs::MessageDlg(ToQ(e.Message()), mtError, mbOK);
    } catch (const std::bad_alloc&) {
        Dialogs::MessageDlg(QStringLiteral("Out of memory"), mtError, mbOK);
    } catch (const std::exception& e) {
        Dialogs::MessageDlg(QString::fromUtf8(e.what()), mtError, mbOK);
    }
    return false;
}

} // namespace plover
