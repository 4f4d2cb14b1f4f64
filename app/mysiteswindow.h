// The site manager: the application's main window, editor of the site
// profiles, launcher of sessions, owner of the tray icon and its menu.
// Its creation loads the settings and sites.dat; Exit1Click saves them and
// ends the program.
#pragma once

#include "app/settings.h"
#include "app/sitelist.h"
#include "platform/inifile.h"
#include "session/sitemanager.h"
#include "session/siterecord.h"

#include <QMainWindow>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;
class QStatusBar;
class QAction;
class QMenu;
class QTimer;

namespace plover {

class TChooseDirectoryForm;
class TOvTrayIcon95;
struct TSiteFields;

class TFTPForm;
class TViewFolder;

// Not final: DoConnection is the one overridable step (tests observe it).
// Session windows reach it through ISiteManager.
class TMySitesWindow : public QMainWindow, public ISiteManager {
    Q_OBJECT
public:
    explicit TMySitesWindow(QWidget* parent = nullptr);
    ~TMySitesWindow() override;

    // Values held for the whole run.
    std::string ProgramDir;
    std::string TempDir;
    bool ExitOnClose = false;
    std::unique_ptr<TIniFile> IniFile;
    TEmailSettings Email;
    // Given to every session's connection.
    int FtpTimeOut = DefaultFtpTimeOut;

    TSiteList& Sites() { return m_sites; }
    std::string SitesFilePath() const;

    // Loading: settings, sites.dat, the remembered selection. Errors while
    // reading sites.dat are raised after the profiles read so far are listed.
    void FormCreate();
    // The orderly exit: sites.dat, settings, then OnTerminate.
    void Exit1Click();
    // Close request: exit when ExitOnClose, otherwise hide. Returns whether
    // the window may close.
    bool FormCloseQuery();
    // The end of the desktop session: the close that follows runs the exit.
    void QueryEndSession();

    // Opens a new session window for a copy of the profile, shows it, logs
    // on and lists the remote directory. Failures of the socket library,
    // the host or the log-on propagate; the window then stays open.
    void DoConnection(TFTPSiteRecord Site) override;
    // The session window the last DoConnection created (tests).
    TFTPForm* LastSession() const;

    // ISiteManager, for the session windows.
    void StoreSessionState(const std::string& siteName, const TWindowBounds& bounds, bool showAllFiles) override;
    // A folder of the program's own in TempDir, made on the first View and
    // removed with everything in it when the site manager goes.
    std::string ViewDirectory() const override;
    void ShowSiteManager() override { showSiteManager(); }
    void ShowSendMail() override { SendEmail1Click(); }
    void ShowHelpTopic(const std::string& topic) override;

    void FTPSitesLBClick();
    void FTPSitesLBDblClick();
    // Enter (13) is consumed and connects; Key becomes 0 then.
    void FTPSitesLBKeyPress(char& Key);
    // Drag inside the list, in the list's client coordinates. Returns
    // whether the drop would be accepted there.
    bool FTPSitesLBDragOver(QObject* Source, int X, int Y);
    void FTPSitesLBDragDrop(QObject* Source, int X, int Y);
    void FTPSitesLBEndDrag();
    void UpClick();
    void DownClick();
    void AddButtonClick();
    void ChangeButtonClick();
    void DeleteFTPProfileClick();
    void ConnectButtonClick();
    void ConnectMenuItemClick();
    void BitBtn6Click();
    void BrowseButtonClick();
    void FTPSiteNameEditChange();
    void FTPServerEditChange();
    void RemoteDirectoryEditChange();
    void LocalDirectoryEditChange();
    void DataModeCBChange();
    void FTPSiteNameEditEnter();
    void FTPServerEditEnter();
    void UserNameEditEnter();
    void PasswordEditEnter();
    void RemoteDirectoryEditEnter();
    void LocalDirectoryEditEnter();
    void DataModeCBEnter();
    void FTPSiteNameEditExit();
    void TrayMenuPopup();
    void DesktopMenuClick(QAction* item);
    void Plover1Click();
    void OvTrayIcon951Click();
    void OvTrayIcon951DblClick();
    void SendEmail1Click();
    void SendEmail2Click();
    void Cut1Click();
    void Copy1Click();
    void Paste1Click();
    void Contents1Click();

    // The six fields as typed, and the data-connection choice.
    TSiteFields Fields() const;
    // The send-mail window arrives with its own component; until one is
    // given, the "Send Email" items are disabled.
    void SetShowEmailForm(std::function<void()> show);
    TChooseDirectoryForm& ChooseDirectoryForm();

    // The help file, beside the program.
    std::string HelpFile;
    // 0 down, 1 up: the direction Timer1 scrolls the list while dragging.
    uint8_t DragScrollDirection = 0;

    int SelectedIndex() const;
    void SelectIndex(int index);
    // Shows the list entries' names again after the list changed.
    void RefreshList();

    // Ends the process; tests replace it.
    std::function<void()> OnTerminate;

    // Bounds until the settings remember others.
    static constexpr int DefaultLeft = 8;
    static constexpr int DefaultTop = 7;
    static constexpr int DefaultWidth = 428;
    static constexpr int DefaultHeight = 465;

    // Controls; each one's objectName is its member's name.
    QLabel* Label1;
    QLabel* Label5;
    QListWidget* FTPSitesLB;
    QToolButton* Up;
    QToolButton* Down;
    QPushButton* ConnectButton;
    QPushButton* ChangeButton;
    QPushButton* AddButton;
    QPushButton* DeleteFTPProfile;
    QPushButton* CreateIconButton;
    QLineEdit* FTPSiteNameEdit;
    QLineEdit* FTPServerEdit;
    QLineEdit* UserNameEdit;
    QLineEdit* PasswordEdit;
    QPushButton* BitBtn6;
    QLineEdit* RemoteDirectoryEdit;
    QLineEdit* LocalDirectoryEdit;
    QPushButton* BrowseButton;
    // Who opens the profile's data connections; edited and stored like the fields.
    QComboBox* DataModeCB;
    QStatusBar* StatusBar1;
    QAction* ConnectMenuItem;
    QAction* SendEmail2;
    QAction* Exit2;
    QAction* Cut1;
    QAction* Copy1;
    QAction* Paste1;
    QAction* Contents1;
    QMenu* TrayMenu;
    QAction* Plover1;
    QAction* SendEmail1;
    TOvTrayIcon95* OvTrayIcon951;
    QTimer* Timer1;

    // The six fields' hints, then the data-connection choice's.
    static constexpr const char* FieldHints[7] = {
        "Enter whatever you want to call this ftp site",
        "Enter the host name of the ftp server in the form ftp.example.org",
        "Enter your ftp user name. (Or click on Anonymous)",
        "Enter your ftp password. (Or click on Anonymous)",
        "Optional: Enter the default remote directory",
        "Optional: Enter the default local directory",
        "Optional: Choose passive or active data connections",
    };

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildTray();
    void fillFields(const TFTPSiteRecord& record);
    TDataConnectionModes dataModeChoice() const;
    void setDataModeChoice(TDataConnectionModes mode);
    void enableSelectionControls();
    void setListEditingEnabled(bool enabled);
    void saveSiteList();
    // Selects a row without refilling the fields (the entry moved, its data did not).
    void selectMoved(int index);
    void showSiteManager();
    void showFieldHint(int field);
    int listItemHeight() const;
    bool selected() const;
    void scrollWhileDragging();

    TSiteList m_sites;
    std::function<void()> m_showEmailForm;
    TChooseDirectoryForm* m_chooseDirectoryForm = nullptr;
    bool m_sessionEnding = false;
    QPointer<TFTPForm> m_lastSession;
    bool m_exitDone = false;
    mutable std::unique_ptr<TViewFolder> m_viewFolder;
};

} // namespace plover
