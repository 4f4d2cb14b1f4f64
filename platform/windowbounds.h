// A window's position and size, as the settings file and the site profiles
// remember them.
#pragma once

namespace plover {

struct TWindowBounds {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
};

} // namespace plover
