// What every session window shares for the whole run: one rename dialog,
// one create-directory dialog, and the archive window once one is
// installed. Kept in session/ so the windows need nothing from app/.
#pragma once

namespace plover {

class IArchiveWindow;
class TCreateDirectoryForm;
class TRenameForm;

class TSessionShared final {
public:
    // Made on first use, freed when the application ends.
    static TRenameForm& RenameForm();
    static TCreateDirectoryForm& CreateDirectoryForm();

    // nullptr until an archive window installs itself (it stays the owner).
    static IArchiveWindow* ArchiveWindow();
    static void SetArchiveWindow(IArchiveWindow* window);
};

} // namespace plover
