// The session window's rules as plain code: where its controls go for a
// window size, and which commands the current selection enables.
#pragma once

#include "platform/windowbounds.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace plover {

// The controls the resize rules move, where they stand before the first
// resize (panes in the window, their controls in the panes).
struct TFTPFormLayout {
    TWindowBounds PanelRemote{8, 8, 225, 369};
    TWindowBounds ScrollBox1{248, 8, 97, 321};
    TWindowBounds PanelLocal{360, 8, 169, 372};
    TWindowBounds eRemotePath{8, 12, 169, 21};
    TWindowBounds ChangeToTextDirectory{192, 8, 25, 25};
    TWindowBounds FilesHd{9, 41, 208, 17};
    TWindowBounds lFiles{8, 54, 209, 275};
    TWindowBounds DriveComboBox1{8, 16, 153, 19};
    TWindowBounds DirectoryListBox1{8, 48, 153, 81};
    TWindowBounds FileListBox1{8, 136, 153, 179};
    TWindowBounds FilterComboBox1{8, 320, 153, 21};
    TWindowBounds Binary{4, 272, 75, 17};
};

// The session window's outer size before a profile remembers one.
inline constexpr int DefaultFormWidth = 547;
inline constexpr int DefaultFormHeight = 478;

// FormResize for the outer width W and height H, applied to the given
// geometry. Each step reads widths the steps before it set, so the order
// matters; integer division rounds toward zero.
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

// Which pane the commands act on: the one last pressed with the mouse.
// Remote: the remote list; Local: the local file list or directory tree.
enum class TCommandDirection : std::uint8_t { Local, Remote };

// The file commands of the command column, in its order from the top.
enum class TFileCommand : std::uint8_t { CopyLater, Copy, View, Unzip, Rename, Delete, MakeDirectory };
inline constexpr int FileCommandCount = 7;

// A command's caption in a direction; the arrow points at the pane acted
// on ("Copy ->" remote, "<- Copy" local). Menu items say "Make Directory"
// in full where the button has room only for "Mk. Dir".
[[nodiscard]] const char* CommandCaption(TFileCommand command, TCommandDirection direction, bool menuItem);
// Whether the selection enables the command; nullopt for make directory,
// which the selection does not decide.
[[nodiscard]] std::optional<bool> CommandEnabled(TFileCommand command, const TCommandEnabling& enabling);

// The local file list's masks for a filter ("*.htm; *.html" gives two);
// "*.*" is every file.
[[nodiscard]] std::vector<std::string> FilterMasks(const std::string& mask);

} // namespace plover
