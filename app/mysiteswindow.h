// The site manager: the application's main window, owner of the site list
// and the settings values. Its creation loads the settings and sites.dat;
// Exit1Click saves them and ends the program.
#pragma once

#include "app/settings.h"
#include "app/sitelist.h"
#include "platform/inifile.h"

#include <QMainWindow>
#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;
class QStatusBar;
class QAction;

namespace plover {

class TMySitesWindow final : public QMainWindow {
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
    void FTPSitesLBClick();

    int SelectedIndex() const;
    void SelectIndex(int index);
    // Shows the list entries' names again after the list changed.
    void RefreshList();

    // Ends the process; tests replace it.
    std::function<void()> OnTerminate;

    // Designed bounds.
    static constexpr int DesignLeft = 8;
    static constexpr int DesignTop = 7;
    static constexpr int DesignWidth = 428;
    static constexpr int DesignHeight = 465;

    // Controls, named as in the design.
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
    QStatusBar* StatusBar1;
    QAction* ConnectMenuItem;
    QAction* SendEmail2;
    QAction* Exit2;
    QAction* Cut1;
    QAction* Copy1;
    QAction* Paste1;
    QAction* Contents1;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void fillFields(const TFTPSiteRecord& record);
    void enableSelectionControls();

    TSiteList m_sites;
};

} // namespace plover
