#include "shell/trayicon.h"

#include "platform/exception.h"
#include "platform/guard.h"
#include "platform/text.h"

#include <QApplication>
#include <QCursor>
#include <QFile>
#include <QImageReader>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

namespace plover {

namespace {

// One flag for the whole program, as the state-change guard was designed.
bool g_stateChanging = false;

QIcon iconFromFile(const QString& fileName)
{
    QImageReader reader(fileName);
    QImage image = reader.read();
    if (image.isNull())
        throw Exception("Cannot load icon from " + FromQ(fileName) + ": " + FromQ(reader.errorString()));
    return QIcon(QPixmap::fromImage(image));
}

// A built-in resource; a name that does not exist gives an empty icon.
QIcon iconFromResource(const QString& name)
{
    const QString path = name.startsWith(QLatin1Char(':')) ? name : QStringLiteral(":/icons/") + name;
    if (!QFile::exists(path))
        return QIcon();
    return QIcon(path);
}

} // namespace

// ---- TOvTrayIconAnimation ----

TOvTrayIconAnimation::~TOvTrayIconAnimation()
{
    delete m_stepTimer.data();
}

bool TOvTrayIconAnimation::Running() const
{
    return !m_stepTimer.isNull();
}

void TOvTrayIconAnimation::SetInterval(int milliseconds)
{
    if (milliseconds == m_interval)
        return;
    m_interval = milliseconds;
    if (m_owner.Active() && m_owner.State() == tsAnimated) {
        Stop();
        Start();
    }
}

void TOvTrayIconAnimation::SetIcons(const QStringList& lines)
{
    m_icons = lines;
    if (m_owner.Active() && m_owner.State() == tsAnimated)
        m_frameIndex = 0;
}

void TOvTrayIconAnimation::Start()
{
    m_frameIndex = 0;
    Tick();
    if (m_owner.State() != tsAnimated)
        return;
    auto* timer = new QTimer(&m_owner);
    timer->setObjectName(QStringLiteral("AnimationTimer"));
    timer->setInterval(m_interval);
    QObject::connect(timer, &QTimer::timeout, &m_owner, [this] { timerTick(); });
    m_stepTimer = timer;
    timer->start();
}

void TOvTrayIconAnimation::Stop()
{
    if (QTimer* timer = m_stepTimer.data()) {
        timer->stop();
        // The timer may be the one whose tick is running now.
        timer->deleteLater();
        m_stepTimer.clear();
    }
}

void TOvTrayIconAnimation::timerTick()
{
    // A frame that cannot be loaded is reported once, not once per interval:
    // the timer is held while the report is shown and not resumed after it.
    QTimer* timer = m_stepTimer.data();
    if (timer)
        timer->stop();
    const bool ok = Guard([this] { Tick(); });
    if (ok && m_stepTimer && m_stepTimer.data() == timer)
        timer->start();
    else if (!ok)
        Stop();
}

void TOvTrayIconAnimation::Tick()
{
    if (m_owner.OnAnimation)
        m_owner.OnAnimation(&m_owner);
    m_owner.UpdateIcon();
    if (m_frameIndex < m_icons.size() - 1)
        ++m_frameIndex;
    else
        m_frameIndex = 0;
}

void TOvTrayIconAnimation::LoadFrame(int i)
{
    if (i < 0 || i >= m_icons.size())
        return;
    if (m_options == aoIconsAreFiles)
        m_owner.SetCurrentIcon(iconFromFile(m_icons.at(i)));
    else
        m_owner.SetCurrentIcon(iconFromResource(m_icons.at(i)));
}

// ---- TOvTrayIconMsgWindow ----

TOvTrayIconMsgWindow::TOvTrayIconMsgWindow(TOvTrayIcon95& trayIcon) : QObject(&trayIcon), m_trayIcon(trayIcon)
{
    setObjectName(QStringLiteral("MsgWindow"));
    ClickTimer = new QTimer(this);
    ClickTimer->setObjectName(QStringLiteral("ClickTimer"));
    connect(ClickTimer, &QTimer::timeout, this, [this] { Guard([this] { clickTimerTick(); }); });
}

unsigned TOvTrayIconMsgWindow::MouseMessageFor(int activationReason)
{
    switch (activationReason) {
    case QSystemTrayIcon::Trigger: return WM_LBUTTONDOWN;
    case QSystemTrayIcon::DoubleClick: return WM_LBUTTONDBLCLK;
    case QSystemTrayIcon::Context: return WM_RBUTTONDOWN;
    case QSystemTrayIcon::MiddleClick: return WM_MBUTTONDOWN;
    default: return 0;
    }
}

void TOvTrayIconMsgWindow::WMTrayIcon(unsigned mouseMessage)
{
    switch (mouseMessage) {
    case WM_MOUSEMOVE:
        // Moves while a click is being decided would only be noise.
        if (m_trayIcon.OnMouseMove && !ClickTimer->isActive()) {
            const QPoint p = QCursor::pos();
            m_trayIcon.OnMouseMove(&m_trayIcon, CurrentShiftState(), p.x(), p.y());
        }
        break;
    case WM_LBUTTONDOWN:
        ClickButton = 0;
        startClickWait();
        break;
    case WM_RBUTTONDOWN:
        ClickButton = 1;
        startClickWait();
        break;
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
        DoubleClicked = true;
        break;
    default:
        break;
    }
}

void TOvTrayIconMsgWindow::startClickWait()
{
    // A single click is only known once the double-click time has passed.
    DoubleClicked = false;
    ClickTimer->setInterval(QApplication::doubleClickInterval());
    ClickTimer->start();
}

void TOvTrayIconMsgWindow::clickTimerTick()
{
    ClickTimer->stop();
    if (DoubleClicked) {
        if (m_trayIcon.OnDblClick)
            m_trayIcon.OnDblClick(&m_trayIcon);
    } else if (ClickButton == 1 && m_trayIcon.AutoPopup && m_trayIcon.PopupMenu()) {
        m_trayIcon.Popup();
    } else if (m_trayIcon.OnClick) {
        m_trayIcon.OnClick(&m_trayIcon);
    }
}

// ---- TOvTrayIcon95 ----

TOvTrayIcon95::TOvTrayIcon95(QObject* owner)
    : QObject(owner), m_animation(std::make_unique<TOvTrayIconAnimation>(*this))
{
    m_msgWindow = new TOvTrayIconMsgWindow(*this);
    m_tray = new QSystemTrayIcon(m_msgWindow);
    connect(m_tray, &QSystemTrayIcon::activated, m_msgWindow, Guarded([this](QSystemTrayIcon::ActivationReason r) {
        m_msgWindow->WMTrayIcon(TOvTrayIconMsgWindow::MouseMessageFor(r));
    }));
}

TOvTrayIcon95::~TOvTrayIcon95()
{
    Deactivate();
}

bool TOvTrayIcon95::StateChanging()
{
    return g_stateChanging;
}

void TOvTrayIcon95::SetActive(bool active)
{
    if (active)
        Activate();
    else
        Deactivate();
}

void TOvTrayIcon95::Activate()
{
    if (m_active)
        return;
    m_active = true;
    UpdateIcon();
    Notify(NIM_ADD);
    if (m_state == tsAnimated)
        m_animation->Start();
}

void TOvTrayIcon95::Deactivate()
{
    if (!m_active)
        return;
    m_active = false;
    if (m_state == tsAnimated)
        m_animation->Stop();
    Notify(NIM_DELETE);
}

void TOvTrayIcon95::Notify(NotifyOp op)
{
    // The tray's answers are not acted on: an icon the desktop cannot show
    // changes nothing for the rest of the program.
    switch (op) {
    case NIM_ADD:
        m_tray->setIcon(m_currentIcon);
        m_tray->setToolTip(ToQ(m_tip));
        m_tray->show();
        break;
    case NIM_MODIFY:
        m_tray->setIcon(m_currentIcon);
        m_tray->setToolTip(ToQ(m_tip));
        break;
    case NIM_DELETE:
        m_tray->hide();
        break;
    }
}

void TOvTrayIcon95::Modify()
{
    Notify(NIM_MODIFY);
}

void TOvTrayIcon95::SetIcon(const QIcon& icon)
{
    m_icon = icon;
    UpdateIcon();
}

void TOvTrayIcon95::SetDisabledIcon(const QIcon& icon)
{
    m_disabledIcon = icon;
    UpdateIcon();
}

void TOvTrayIcon95::SetHint(const std::string& hint)
{
    if (hint == m_hint)
        return;
    m_hint = hint;
    if (m_showHint)
        SetShowHint(true);
}

void TOvTrayIcon95::SetShowHint(bool show)
{
    m_showHint = show;
    // The desktop's tooltip field was 64 characters with its terminator.
    m_tip = show ? CutUtf8(m_hint, MaxTipLength) : std::string();
    if (m_active)
        Modify();
}

void TOvTrayIcon95::UpdateIcon()
{
    switch (m_state) {
    case tsEnabled: m_currentIcon = m_icon; break;
    case tsDisabled: m_currentIcon = m_disabledIcon; break;
    case tsAnimated: m_animation->LoadFrame(m_animation->FrameIndex()); break;
    }
    if (m_active)
        Modify();
}

void TOvTrayIcon95::SetState(TOvTrayIconState state)
{
    if (g_stateChanging) {
        g_stateChanging = false;
        throw EInvalidOperation("You cannot modify the state property in the OnStateChanging event !!!");
    }
    if (!m_active) {
        m_state = state;
        return;
    }
    if (state == m_state)
        return;
    if (OnStateChanging) {
        g_stateChanging = true;
        struct Reset {
            ~Reset() { g_stateChanging = false; }
        } reset;
        OnStateChanging(this, state);
    }
    if (state == m_state)
        return;
    if (m_state == tsAnimated)
        m_animation->Stop();
    m_state = state;
    UpdateIcon();
    if (state == tsAnimated)
        m_animation->Start();
}

void TOvTrayIcon95::Popup()
{
    if (!m_popupMenu)
        return;
    m_popupMenu->popup(QCursor::pos());
}

} // namespace plover
