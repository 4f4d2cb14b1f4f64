// The session window's rules as plain code: where its controls go for a
// window size, and which commands the current selection enables.
#pragma once

#include <string>
#include <vector>

namespace plover {

struct TRect {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
};

// The controls the resize rules move, in the design's coordinates (panes in
// the window, their controls in the panes).
struct TFTPFormLayout {
    TRect PanelRemote{8, 8, 225, 369};
    TRect ScrollBox1{248, 8, 97, 321};
    TRect PanelLocal{360, 8, 169, 372};
    TRect eRemotePath{8, 12, 169, 21};
    TRect ChangeToTextDirectory{192, 8, 25, 25};
    TRect FilesHd{9, 41, 208, 17};
    TRect lFiles{8, 54, 209, 275};
    TRect DriveComboBox1{8, 16, 153, 19};
    TRect DirectoryListBox1{8, 48, 153, 81};
    TRect FileListBox1{8, 136, 153, 179};
    TRect FilterComboBox1{8, 320, 153, 21};
    TRect Binary{4, 272, 75, 17};
};

// Design outer size of the session window.
inline constexpr int DesignFormWidth = 547;
inline constexpr int DesignFormHeight = 478;

// FormResize for the outer width W and height H, applied to the given
// geometry in the designed order; integer division rounds toward zero.
[[nodiscard]] TFTPFormLayout FormResizeLayout(int W, int H, TFTPFormLayout layout = {});

struct TCommandEnabling {
    bool Copy = false;         // copy, background copy, view, unzip
    bool RenameDelete = false; // rename, delete
};

// ShowButtonsCorrectly. Remote: anchor is "the list has a current item";
// selectedNames are the names of the selected rows, isDirectory tells a
// directory row. Local: anchor is "a file is selected"; Some and File hold.
struct TSelectionFacts {
    bool Anchor = false;
    bool Some = false;
    bool File = false;
};
template <class IsDirectory>
TSelectionFacts RemoteSelectionFacts(bool anchor, const std::vector<std::string>& selectedNames, IsDirectory isDirectory)
{
    TSelectionFacts f;
    f.Anchor = anchor;
    for (const std::string& name : selectedNames) {
        if (name != "." && name != "..")
            f.Some = true;
        if (!isDirectory(name))
            f.File = true;
    }
    return f;
}
[[nodiscard]] inline TSelectionFacts LocalSelectionFacts(bool fileSelected) { return {fileSelected, true, true}; }
[[nodiscard]] inline TCommandEnabling CommandEnabling(const TSelectionFacts& f)
{
    return {f.Some && f.Anchor && f.File, f.Some && f.Anchor};
}

// The command captions for a direction ("Copy ->" remote, "<- Copy" local).
struct TCommandCaptions {
    const char* CopyLater;
    const char* Copy;
    const char* View;
    const char* Unzip;
    const char* Rename;
    const char* Delete;
    const char* MakeDirectoryButton;
    const char* MakeDirectoryItem;
};
[[nodiscard]] TCommandCaptions CommandCaptions(bool remote);

// The local file list's masks for a filter ("*.htm; *.html" gives two);
// "*.*" is every file.
[[nodiscard]] std::vector<std::string> FilterMasks(const std::string& mask);

} // namespace plover
