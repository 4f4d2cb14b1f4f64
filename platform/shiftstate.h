// The modifier keys and mouse buttons held down, as mouse events report them.
#pragma once

#include <cstdint>

namespace plover {

enum TShiftStateBits : uint8_t { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32 };
using TShiftState = uint8_t;

// The keys and buttons down right now.
TShiftState CurrentShiftState();

} // namespace plover
