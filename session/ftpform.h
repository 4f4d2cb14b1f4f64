// TFTPForm: the window of one FTP session. The remote directory on the
// left, the local drive, directory tree and files on the right, the command
// column between them; commands act in the direction of the pane last
// pressed with the mouse. The session's work is its TFTPSession's; the
// window shows it, asks the user and reaches the site manager through
// ISiteManager.
#pragma once

#include "net/ftp.h"
#include "session/ftpformlayout.h"
#include "session/ftpsession.h"
#include "session/sitemanager.h"

#include <QMainWindow>
#include <functional>
#include <string>
#include <vector>

class QAction;
class QComboBox;
class QFrame;
class QHeaderView;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QStatusBar;
class QToolButton;

namespace plover {

class TDirectoryListBox;
class TDriveComboBox;
class TFileListBox;
class TRemoteFilesView;
class TRemoteRowsModel;
class TRenameForm;
class TStatusPanels;

class TFTPForm final : public QMainWindow {
    Q_OBJECT
public:
    explicit TFTPForm(ISiteManager& siteManager, QWidget* parent = nullptr);
    ~TFTPForm() override;
    TFTPForm(const TFTPForm&) = delete;
    TFTPForm& operator=(const TFTPForm&) = delete;

    // The name of the profile this window was opened for; set by the opener.
    std::string SiteName;

    // The session this window shows.
    TFTPSession& Session() { return *m_session; }

    // The window's outer bounds, frame included, as the profile's
    // SessionLeft/Top/Width/Height keep them, and setting them.
    TWindowBounds Bounds() const;
    void SetBounds(const TWindowBounds& bounds);
    static TWindowBounds DefaultBounds();

    // Status bar panel texts (0 to 4).
    QString PanelText(int panel) const;
    void SetPanelText(int panel, const QString& text);

    // The remote rows (the items of lFiles), pending ones included.
    const std::vector<std::string>& RemoteRows() const;
    TRemoteRowsModel& RemoteModel();
    std::vector<int> SelectedRemoteRows() const;

    // While one of these lives the window is not deleted after a close;
    // callers that wait inside FTP1 hold one.
    class BusyScope final {
    public:
        explicit BusyScope(TFTPForm& form);
        ~BusyScope();
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

    private:
        TFTPForm& m_form;
    };

    void ChangeButtonNames(bool Remote);
    void ShowButtonsCorrectly();
    void AllActive(bool Enable);
    void ChangeDirectory(const std::string& Path);
    void ChangeToTextDirectoryClick();
    void lFilesDblClick();
    void lFilesMouseDown(Qt::MouseButton button, QPoint pos);
    void FileListBox1MouseDown(Qt::MouseButton button, QPoint pos);
    void DirectoryListBox1MouseDown();
    void AsciiClick();
    void BinaryClick();
    void AsciiMenuClick();
    void BinaryMenuClick();
    void ShowAllfilesMenuClick();
    void SpawnButtonClick();
    void New1Click();
    void MainSitesWindow1Click();
    void SendEmail1Click();
    void Contents1Click();
    void ExitClick();
    void Exit1Click();
    void FormClose();
    void FormResize();
    void FilesHdSectionClick(int section);
    void FilterComboBox1Change();

    // The command buttons and the items that click them.
    void CopyLaterButtonClick();
    void DownloadClick();
    void OpenButtonClick();
    void UnzipButtonClick();
    void RenameButtonClick();
    void DeleteButtonClick();
    void MakeDirectoryButtonClick();
    // Stops the running transfer or listing (also the Escape key).
    void StopMenuClick();

    // FTP1's events: the session handles each and the window shows what
    // it tells (callable as FTP1 would raise them).
    void FTP1Error(int ErrorCode, const std::string& Description);
    void FTP1DirList(const std::string& DirEntry);
    void FTP1StartTransfer();
    void FTP1Transfer(int64_t BytesTransferred);
    void FTP1EndTransfer();

    // Controls; each one's objectName is its member's name.
    QFrame* PanelRemote;
    QLineEdit* eRemotePath;
    QToolButton* ChangeToTextDirectory;
    QHeaderView* FilesHd;
    TRemoteFilesView* lFiles;
    QScrollArea* ScrollBox1;
    QPushButton* SpawnButton;
    QPushButton* Exit;
    QPushButton* CopyLaterButton;
    QPushButton* Download;
    QPushButton* OpenButton;
    QPushButton* UnzipButton;
    QPushButton* RenameButton;
    QPushButton* DeleteButton;
    QPushButton* MakeDirectoryButton;
    QRadioButton* Ascii;
    QRadioButton* Binary;
    QFrame* PanelLocal;
    TDriveComboBox* DriveComboBox1;
    TDirectoryListBox* DirectoryListBox1;
    TFileListBox* FileListBox1;
    QComboBox* FilterComboBox1;
    QStatusBar* AStatusBar1;
    QProgressBar* ProgressBar1;
    // F5: both panes read again.
    QAction* RefreshAction;
    // The session's connection.
    TFTP* FTP1;

    QAction* New1;
    QAction* MainSitesWindow1;
    QAction* SendEmail1;
    QAction* Exit1;
    QAction* CopyLaterMenu;
    QAction* Downloadmenu;
    QAction* OpenMenu;
    QAction* UnZipMenu;
    QAction* RenameMenu;
    QAction* DeleteMenu;
    QAction* MakeDirectoryMenu;
    QAction* AsciiMenu;
    QAction* BinaryMenu;
    QAction* StopMenu;
    QAction* ShowAllfilesMenu;
    QAction* Contents1;
    QMenu* FilePopUpMenu;
    QAction* CopyLaterPopup;
    QAction* DownloadPopUp;
    QAction* OpenPopUp;
    QAction* UnZipPopUp;
    QAction* RenamePopUp;
    QAction* DeletePopUp;
    QAction* MakeDirectoryPopUp;

    // The filters of FilterComboBox1: shown text and mask.
    static constexpr const char* Filters[5][2] = {
        {"All files (*.*)", "*.*"},
        {"Text Files (*.txt)", "*.txt"},
        {"HTML Files (*.htm, *.html)", "*.htm; *.html"},
        {"GIF or JPG Files (*.jpg, *.gif, *.jpeg)", "*.gif; *.jpg;*.jpeg"},
        {"Zip Files (*.zip)", "*.zip"},
    };

    // The frame (borders, title bar) counted around the window's Qt size:
    // the profiles' bounds and the resize rules count in outer pixels, as
    // profiles shared with the Windows version do.
    static constexpr int FrameWidth = 8;
    static constexpr int FrameHeight = 26;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void wireEvents();
    void wireSession();
    void applyLayout(const TFTPFormLayout& layout);
    void fitHeaderSections(int listWidth);
    void setTransferMode(TFTPTransferModes mode);
    void showPopup(QWidget* list, QPoint pos);
    // Finding one's way in the remote pane (ftpformnavigation.cpp): the
    // directory the server is in, shown in eRemotePath; a ".." row where
    // the server lists none; the keys of the remote list and F5.
    void showRemotePath(const std::string& path);
    void offerParentRow();
    void openCurrentRemoteDirectory();
    void goUp();
    void refresh();
    // What a press or Enter on a directory row changes to.
    std::string remoteDirectoryOf(const std::string& name);
    // What the window shows of the session's events.
    void showActivity(TSessionActivity activity);
    void showProgress(const TTransferPanels& panels);
    void showCopyStarting(const TCopyStart& copy);
    void showReady();
    // Not connected: says so and turns off the commands that need the
    // connection (ftpformcommands.cpp).
    void showConnection(TConnection connection);
    // While not connected, after every enabling rule.
    void disableUnconnectedCommands();
    // A finished download: opened or unpacked as its command asked, then
    // deselected (ftpformcommands.cpp).
    void downloadFinished(const TFinishedDownload& download);
    // The file commands' shared steps (ftpformcommands.cpp).
    bool remoteDirection() const { return m_direction == TCommandDirection::Remote; }
    std::string localDirectory() const;
    std::vector<std::string> selectedLocalFiles() const;
    bool remoteRowSelected(int row) const;
    void deselectRemoteRow(int row);
    void deselectLocalFile(const QString& name);
    // The remote side of Copy, View and Unzip: the selected rows go to the
    // session, which downloads what may be downloaded.
    void downloadSelectedRows(TAfterDownload after);
    // Hands an archive in the local directory to the archive window, to be
    // unpacked beside it at once or shown; false, once the user has been
    // told, when there is no archive window.
    bool unpackArchive(const std::string& path, bool showWindow);
    // Opens the file with the desktop, or says that nothing opens it and where it is.
    void viewFile(const std::string& path);
    // The local side of rename, delete and make directory (ftpformlocal.cpp).
    void renameLocalFiles(TRenameForm& dialog);
    void deleteLocalFiles(const std::function<bool(const std::string&)>& confirmed);
    void makeLocalDirectory(const std::string& name);
    // Runs a command; when it stops on an exception the controls come back
    // at once, then the exception goes on to the guard.
    void runCommand(const std::function<void()>& body);
    void reReadLocalTree();
    void deleteWhenIdle();

    ISiteManager& m_siteManager;
    TFTPSession* m_session;
    TCommandDirection m_direction = TCommandDirection::Local;
    TStatusPanels* m_panels = nullptr;
    // The directory the server last said it is in.
    std::string m_remotePath;
    // A command announced a file transfer that has not ended yet.
    bool m_copyPending = false;
    QWidget* m_commandColumn = nullptr;
    QWidget* m_workArea = nullptr;
    int m_busy = 0;
    bool m_closed = false;
};

} // namespace plover
