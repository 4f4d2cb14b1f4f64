#include "session/sessionshared.h"

#include "session/createdirectoryform.h"
#include "session/renameform.h"

#include <QCoreApplication>
#include <QPointer>

namespace plover {

namespace {

QPointer<TRenameForm> renameForm;
QPointer<TCreateDirectoryForm> createDirectoryForm;
IArchiveWindow* archiveWindow = nullptr;

// Top-level dialogs have no parent to free them: they go with the application.
void freeDialogs()
{
    delete renameForm.data();
    delete createDirectoryForm.data();
}

void freeAtExit()
{
    static bool registered = false;
    if (!registered) {
        registered = true;
        qAddPostRoutine(freeDialogs);
    }
}

} // namespace

TRenameForm& TSessionShared::RenameForm()
{
    if (!renameForm) {
        freeAtExit();
        renameForm = new TRenameForm;
    }
    return *renameForm;
}

TCreateDirectoryForm& TSessionShared::CreateDirectoryForm()
{
    if (!createDirectoryForm) {
        freeAtExit();
        createDirectoryForm = new TCreateDirectoryForm;
    }
    return *createDirectoryForm;
}

IArchiveWindow* TSessionShared::ArchiveWindow()
{
    return archiveWindow;
}

void TSessionShared::SetArchiveWindow(IArchiveWindow* window)
{
    archiveWindow = window;
}

} // namespace plover
