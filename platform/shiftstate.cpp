#include "platform/shiftstate.h"

#include <QGuiApplication>

namespace plover {

TShiftState CurrentShiftState()
{
    TShiftState s = 0;
    const Qt::KeyboardModifiers keys = QGuiApplication::queryKeyboardModifiers();
    const Qt::MouseButtons buttons = QGuiApplication::mouseButtons();
    if (keys & Qt::ShiftModifier) s |= ssShift;
    if (keys & Qt::AltModifier) s |= ssAlt;
    if (keys & Qt::ControlModifier) s |= ssCtrl;
    if (buttons & Qt::LeftButton) s |= ssLeft;
    if (buttons & Qt::RightButton) s |= ssRight;
    if (buttons & Qt::MiddleButton) s |= ssMiddle;
    return s;
}

} // namespace plover
