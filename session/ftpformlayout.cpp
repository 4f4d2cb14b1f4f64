#include "session/ftpformlayout.h"

namespace plover {

TFTPFormLayout FormResizeLayout(int W, int H, TFTPFormLayout l)
{
    l.PanelRemote.Width = (W - 95) / 2;
    l.FilesHd.Width = l.PanelRemote.Width - 18;
    l.lFiles.Width = l.FilesHd.Width;
    l.eRemotePath.Width = l.FilesHd.Width - l.ChangeToTextDirectory.Width - 10;
    l.ChangeToTextDirectory.Left = l.eRemotePath.Left + l.eRemotePath.Width + 10;
    l.ScrollBox1.Top = l.PanelLocal.Top;
    l.ScrollBox1.Height = H - 92;
    // Room for the scroll bar when the command column does not fit.
    l.ScrollBox1.Width = l.Binary.Top + l.Binary.Height > l.ScrollBox1.Height ? 100 : 84;
    l.ScrollBox1.Left = l.PanelRemote.Left + l.PanelRemote.Width + 8;
    l.PanelLocal.Left = l.ScrollBox1.Left + l.ScrollBox1.Width + 8;
    l.PanelLocal.Width = (W - 190) / 2;
    l.DriveComboBox1.Width = l.PanelLocal.Width - 18;
    l.FileListBox1.Width = l.DriveComboBox1.Width;
    l.DirectoryListBox1.Width = l.DriveComboBox1.Width;
    l.FilterComboBox1.Width = l.DriveComboBox1.Width;
    l.PanelRemote.Height = H - 92;
    l.lFiles.Top = l.FilesHd.Top + l.FilesHd.Height - 1;
    l.lFiles.Height = l.PanelRemote.Height - 70;
    l.PanelLocal.Height = l.PanelRemote.Height;
    l.DirectoryListBox1.Top = l.FilesHd.Top;
    l.DirectoryListBox1.Height = (H - 160) / 3;
    l.FileListBox1.Top = l.DirectoryListBox1.Top + l.DirectoryListBox1.Height + 10;
    l.FileListBox1.Height =
        l.lFiles.Height + l.FilesHd.Height - l.DirectoryListBox1.Height - l.FilterComboBox1.Height - 21;
    l.FilterComboBox1.Top = l.FileListBox1.Top + l.FileListBox1.Height + 10;
    return l;
}

const char* CommandCaption(TFileCommand command, TCommandDirection direction, bool menuItem)
{
    static constexpr const char* remote[FileCommandCount] = {"Bkg. Copy ->", "Copy ->",   "<- View",  "<- Unzip",
                                                             "<- Rename",    "<- Delete", "<- Mk. Dir"};
    static constexpr const char* local[FileCommandCount] = {"<- Bkg. Copy", "<- Copy",   "View ->",   "Unzip ->",
                                                            "Rename ->",    "Delete ->", "Mk. Dir ->"};
    const bool toRemote = direction == TCommandDirection::Remote;
    if (command == TFileCommand::MakeDirectory && menuItem)
        return toRemote ? "<- Make Directory" : "Make Directory ->";
    const auto i = static_cast<std::size_t>(command);
    return toRemote ? remote[i] : local[i];
}

std::optional<bool> CommandEnabled(TFileCommand command, const TCommandEnabling& enabling)
{
    switch (command) {
    case TFileCommand::Rename:
    case TFileCommand::Delete:
        return enabling.RenameDelete;
    case TFileCommand::MakeDirectory:
        return std::nullopt;
    default:
        return enabling.Copy;
    }
}

std::vector<std::string> FilterMasks(const std::string& mask)
{
    std::vector<std::string> out;
    std::string part;
    auto flush = [&] {
        const auto b = part.find_first_not_of(' ');
        const auto e = part.find_last_not_of(' ');
        if (b != std::string::npos) {
            std::string m = part.substr(b, e - b + 1);
            out.push_back(m == "*.*" ? "*" : m);
        }
        part.clear();
    };
    for (char c : mask) {
        if (c == ';')
            flush();
        else
            part += c;
    }
    flush();
    return out;
}

} // namespace plover
