// The notification-area icon: one icon with a tooltip, click and double-click
// events decided after the system double-click time, a menu for the right
// click, and an enabled, disabled or animated look. The desktop's tray is
// reached through QSystemTrayIcon; its activations are turned into the
// mouse messages that TOvTrayIconMsgWindow::WMTrayIcon decides on.
#pragma once

#include "platform/messages.h"
#include "platform/notifyevent.h"
#include "platform/shiftstate.h"

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>


class QSystemTrayIcon;
class QTimer;

namespace plover {

enum TOvTrayIconState : uint8_t { tsEnabled = 0, tsDisabled = 1, tsAnimated = 2 };
enum TOvTrayIconAnimationOptions : uint8_t { aoIconsInExe = 0, aoIconsAreFiles = 1 };

using TMouseMoveEvent = std::function<void(QObject* Sender, TShiftState Shift, int X, int Y)>;
using TOvTrayIconStateChangingEvent = std::function<void(QObject* Sender, TOvTrayIconState& NewState)>;

class TOvTrayIcon95;

// Frames of the animated state and the timer that steps through them.
class TOvTrayIconAnimation final {
public:
    explicit TOvTrayIconAnimation(TOvTrayIcon95& owner) : m_owner(owner) {}
    TOvTrayIconAnimation(const TOvTrayIconAnimation&) = delete;
    TOvTrayIconAnimation& operator=(const TOvTrayIconAnimation&) = delete;
    ~TOvTrayIconAnimation();

    int Interval() const { return m_interval; }
    void SetInterval(int milliseconds);
    // One frame per line: an icon file, or with aoIconsInExe the name of a
    // built-in resource (":/icons/<name>" unless the line starts with ":").
    const QStringList& Icons() const { return m_icons; }
    void SetIcons(const QStringList& lines);
    TOvTrayIconAnimationOptions Options() const { return m_options; }
    void SetOptions(TOvTrayIconAnimationOptions options) { m_options = options; }

    int FrameIndex() const { return m_frameIndex; }
    bool Running() const;

    void Start();
    void Stop();
    // One step: OnAnimation, show frame FrameIndex, advance (wrapping to 0).
    void Tick();
    // Loads frame i into the owner's current icon; an index outside the
    // list leaves it unchanged. An unreadable frame file raises Exception.
    void LoadFrame(int i);

private:
    void timerTick();

    TOvTrayIcon95& m_owner;
    int m_interval = 1000;
    QStringList m_icons;
    TOvTrayIconAnimationOptions m_options = aoIconsAreFiles;
    QPointer<QTimer> m_stepTimer;  // owned by the tray icon, exists only while animating
    int m_frameIndex = 0;
};

// Receives the tray's mouse notifications and decides, after the system
// double-click time, between a click, a double click and the pop-up.
class TOvTrayIconMsgWindow final : public QObject {
    Q_OBJECT
public:
    // The tray's callback message and the mouse messages it carries.
    static constexpr unsigned WM_TRAYICON = WM_USER + 100;
    static constexpr unsigned WM_MOUSEMOVE = 512;
    static constexpr unsigned WM_LBUTTONDOWN = 513;
    static constexpr unsigned WM_LBUTTONUP = 514;
    static constexpr unsigned WM_LBUTTONDBLCLK = 515;
    static constexpr unsigned WM_RBUTTONDOWN = 516;
    static constexpr unsigned WM_RBUTTONUP = 517;
    static constexpr unsigned WM_RBUTTONDBLCLK = 518;
    static constexpr unsigned WM_MBUTTONDOWN = 519;

    explicit TOvTrayIconMsgWindow(TOvTrayIcon95& trayIcon);

    // The WM_TRAYICON handler; mouseMessage is what the message's lParam carries.
    void WMTrayIcon(unsigned mouseMessage);
    // Turns a QSystemTrayIcon activation into the mouse message a Windows
    // tray would have sent (0 for none).
    static unsigned MouseMessageFor(int activationReason);

    QTimer* ClickTimer;
    int ClickButton = 0;  // 0 left, 1 right
    bool DoubleClicked = false;

private:
    void startClickWait();
    void clickTimerTick();

    TOvTrayIcon95& m_trayIcon;
};

class TOvTrayIcon95 final : public QObject {
    Q_OBJECT
public:
    explicit TOvTrayIcon95(QObject* owner);
    ~TOvTrayIcon95() override;

    const QIcon& Icon() const { return m_icon; }
    void SetIcon(const QIcon& icon);
    const QIcon& DisabledIcon() const { return m_disabledIcon; }
    void SetDisabledIcon(const QIcon& icon);
    TOvTrayIconAnimation& Animation() { return *m_animation; }
    bool Active() const { return m_active; }
    void SetActive(bool active);
    bool AutoPopup = false;
    const std::string& Hint() const { return m_hint; }
    void SetHint(const std::string& hint);
    bool ShowHint() const { return m_showHint; }
    void SetShowHint(bool show);
    QMenu* PopupMenu() const { return m_popupMenu; }
    void SetPopupMenu(QMenu* menu) { m_popupMenu = menu; }
    TOvTrayIconState State() const { return m_state; }
    void SetState(TOvTrayIconState state);

    TNotifyEvent OnAnimation;
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseMoveEvent OnMouseMove;
    TOvTrayIconStateChangingEvent OnStateChanging;

    void Activate();
    void Deactivate();
    void UpdateIcon();
    // Pops up PopupMenu at the pointer.
    void Popup();

    // What the tray is given: the icon shown and the tooltip (at most 63 characters).
    const QIcon& CurrentIcon() const { return m_currentIcon; }
    void SetCurrentIcon(const QIcon& icon) { m_currentIcon = icon; }
    const std::string& TooltipBuffer() const { return m_tip; }

    TOvTrayIconMsgWindow& MsgWindow() { return *m_msgWindow; }
    QSystemTrayIcon& SystemTrayIcon() { return *m_tray; }

    // True while any tray icon's OnStateChanging handler runs.
    static bool StateChanging();

    static constexpr std::size_t MaxTipLength = 63;

private:
    enum NotifyOp { NIM_ADD = 0, NIM_MODIFY = 1, NIM_DELETE = 2 };
    void Notify(NotifyOp op);
    void Modify();

    QIcon m_icon;
    QIcon m_disabledIcon;
    QIcon m_currentIcon;
    std::unique_ptr<TOvTrayIconAnimation> m_animation;
    bool m_active = false;
    std::string m_hint;
    std::string m_tip;
    bool m_showHint = true;
    QPointer<QMenu> m_popupMenu;
    TOvTrayIconState m_state = tsEnabled;
    TOvTrayIconMsgWindow* m_msgWindow;
    QSystemTrayIcon* m_tray;
};

} // namespace plover
