#include "shell/trayicon.h"
#include "platform/dialogs.h"
#include "platform/exception.h"
#include "tests/support/temphome.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <gtest/gtest.h>
#include <vector>

using namespace plover;
using Msg = TOvTrayIconMsgWindow;

namespace {

// Runs the event loop until done() or the time limit; every wait is bounded.
bool waitUntil(const std::function<bool()>& done, int ms = 5000)
{
    QElapsedTimer clock;
    clock.start();
    QTimer wake;
    wake.start(10);
    for (int i = 0; i < 100000 && !done() && clock.elapsed() < ms; ++i)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

QColor colourOf(const QIcon& icon)
{
    if (icon.isNull())
        return QColor();
    return icon.pixmap(16, 16).toImage().pixelColor(8, 8);
}

class TrayIconTest : public test::TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        oldInterval = QApplication::doubleClickInterval();
        QApplication::setDoubleClickInterval(40);
        Dialogs::ClearHistory();
        Dialogs::SetResponder([](const DialogRequest&) { return mrOk; });
        tray = std::make_unique<TOvTrayIcon95>(nullptr);
        tray->OnClick = [this](QObject* s) { clicks.push_back(s); };
        tray->OnDblClick = [this](QObject* s) { dblClicks.push_back(s); };
    }
    void TearDown() override
    {
        tray.reset();
        QApplication::setDoubleClickInterval(oldInterval);
        Dialogs::SetResponder({});
        TempHomeTest::TearDown();
    }

    // Waits for the click decision of the pending press.
    bool decided()
    {
        return waitUntil([this] { return !tray->MsgWindow().ClickTimer->isActive(); });
    }

    std::string framePng(const char* name, QColor colour)
    {
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(colour);
        std::string path = Root + "/" + name + ".png";
        EXPECT_TRUE(image.save(QString::fromStdString(path)));
        return path;
    }

    int oldInterval = 0;
    std::unique_ptr<TOvTrayIcon95> tray;
    std::vector<QObject*> clicks;
    std::vector<QObject*> dblClicks;
};

TEST_F(TrayIconTest, DoubleClicksGiveOneDblClickAndNoClick)
{
    for (unsigned down : {Msg::WM_LBUTTONDOWN, Msg::WM_RBUTTONDOWN}) {
        dblClicks.clear();
        // The press, release, second press as double click, release.
        tray->MsgWindow().WMTrayIcon(down);
        tray->MsgWindow().WMTrayIcon(down + 1);
        tray->MsgWindow().WMTrayIcon(down + 2);
        tray->MsgWindow().WMTrayIcon(down + 1);
        ASSERT_TRUE(decided());
        ASSERT_EQ(dblClicks.size(), 1u) << down;
        EXPECT_EQ(dblClicks[0], tray.get());
    }
    EXPECT_TRUE(clicks.empty());
}

TEST_F(TrayIconTest, RightClickPopsUpOnlyWithAutoPopupAndAMenu)
{
    QMenu menu;
    menu.addAction(QStringLiteral("Item"));
    // No AutoPopup, or no menu: a plain click.
    tray->SetPopupMenu(&menu);
    tray->MsgWindow().WMTrayIcon(Msg::WM_RBUTTONDOWN);
    ASSERT_TRUE(decided());
    tray->AutoPopup = true;
    tray->SetPopupMenu(nullptr);
    tray->MsgWindow().WMTrayIcon(Msg::WM_RBUTTONDOWN);
    ASSERT_TRUE(decided());
    EXPECT_EQ(clicks.size(), 2u);
    EXPECT_FALSE(menu.isVisible());

    tray->SetPopupMenu(&menu);
    tray->MsgWindow().WMTrayIcon(Msg::WM_RBUTTONDOWN);
    ASSERT_TRUE(decided());
    EXPECT_EQ(clicks.size(), 2u);
    EXPECT_TRUE(menu.isVisible());
    menu.close();

    // The left button never pops up.
    tray->MsgWindow().WMTrayIcon(Msg::WM_LBUTTONDOWN);
    ASSERT_TRUE(decided());
    EXPECT_EQ(clicks.size(), 3u);
    EXPECT_FALSE(menu.isVisible());
}

TEST_F(TrayIconTest, MovesDuringAPendingClickAreNotReported)
{
    int moves = 0;
    tray->OnMouseMove = [&](QObject* sender, TShiftState, int, int) {
        EXPECT_EQ(sender, tray.get());
        ++moves;
    };
    tray->MsgWindow().WMTrayIcon(Msg::WM_MOUSEMOVE);
    EXPECT_EQ(moves, 1);
    tray->MsgWindow().WMTrayIcon(Msg::WM_LBUTTONDOWN);
    tray->MsgWindow().WMTrayIcon(Msg::WM_MOUSEMOVE);
    tray->MsgWindow().WMTrayIcon(Msg::WM_MOUSEMOVE);
    EXPECT_EQ(moves, 1);
    ASSERT_TRUE(decided());
    tray->MsgWindow().WMTrayIcon(Msg::WM_MOUSEMOVE);
    EXPECT_EQ(moves, 2);
    // Other messages, middle button included, are ignored.
    tray->MsgWindow().WMTrayIcon(Msg::WM_MBUTTONDOWN);
    tray->MsgWindow().WMTrayIcon(0);
    EXPECT_FALSE(tray->MsgWindow().ClickTimer->isActive());
}

TEST_F(TrayIconTest, TrayActivationsBecomeMouseMessages)
{
    // A desktop's press followed by its double-click report is one double click.
    emit tray->SystemTrayIcon().activated(QSystemTrayIcon::Trigger);
    emit tray->SystemTrayIcon().activated(QSystemTrayIcon::DoubleClick);
    ASSERT_TRUE(decided());
    EXPECT_EQ(dblClicks.size(), 1u);
    emit tray->SystemTrayIcon().activated(QSystemTrayIcon::Context);
    ASSERT_TRUE(decided());
    EXPECT_EQ(clicks.size(), 1u);
    EXPECT_EQ(tray->MsgWindow().ClickButton, 1);
}

TEST_F(TrayIconTest, TooltipIsTheFirst63CharactersOfTheHint)
{
    std::string hint(100, 'h');
    hint[62] = 'L';
    tray->SetHint(hint);
    EXPECT_EQ(tray->TooltipBuffer(), hint.substr(0, 63));
    tray->Activate();
    EXPECT_EQ(tray->SystemTrayIcon().toolTip().toStdString(), hint.substr(0, 63));
    tray->SetShowHint(false);
    EXPECT_EQ(tray->TooltipBuffer(), "");
    EXPECT_EQ(tray->SystemTrayIcon().toolTip(), QString());
    tray->SetHint("Plover");  // kept, not shown while ShowHint is false
    EXPECT_EQ(tray->TooltipBuffer(), "");
    tray->SetShowHint(true);
    EXPECT_EQ(tray->SystemTrayIcon().toolTip(), QStringLiteral("Plover"));
}

TEST_F(TrayIconTest, ActivationShowsTheStatesIcon)
{
    QIcon red(QString::fromStdString(framePng("red", Qt::red)));
    QIcon grey(QString::fromStdString(framePng("grey", Qt::gray)));
    tray->SetIcon(red);
    tray->SetDisabledIcon(grey);
    tray->SetState(tsDisabled);  // inactive: stored, no event
    EXPECT_EQ(tray->State(), tsDisabled);
    tray->Activate();
    EXPECT_TRUE(tray->Active());
    EXPECT_TRUE(tray->SystemTrayIcon().isVisible());
    EXPECT_EQ(colourOf(tray->SystemTrayIcon().icon()), QColor(Qt::gray));
    tray->SetState(tsEnabled);
    EXPECT_EQ(colourOf(tray->SystemTrayIcon().icon()), QColor(Qt::red));
    tray->SetActive(false);
    EXPECT_FALSE(tray->Active());
    EXPECT_FALSE(tray->SystemTrayIcon().isVisible());
}

TEST_F(TrayIconTest, StateChangingHandlerMayAlterOrCancelTheChange)
{
    std::vector<TOvTrayIconState> seen;
    TOvTrayIconState replace = tsDisabled;
    tray->OnStateChanging = [&](QObject*, TOvTrayIconState& s) {
        seen.push_back(s);
        EXPECT_TRUE(TOvTrayIcon95::StateChanging());
        s = replace;
    };
    tray->Activate();
    tray->SetState(tsEnabled);  // the current state: no event
    EXPECT_TRUE(seen.empty());

    tray->SetState(tsAnimated);  // altered to disabled
    EXPECT_EQ(seen, std::vector<TOvTrayIconState>{tsAnimated});
    EXPECT_EQ(tray->State(), tsDisabled);

    replace = tsDisabled;  // reset to the current state: cancelled
    tray->SetState(tsEnabled);
    EXPECT_EQ(tray->State(), tsDisabled);
    EXPECT_FALSE(TOvTrayIcon95::StateChanging());
}

TEST_F(TrayIconTest, WritingTheStateInsideOnStateChangingIsRefused)
{
    tray->OnStateChanging = [&](QObject*, TOvTrayIconState&) { tray->SetState(tsAnimated); };
    tray->Activate();
    try {
        tray->SetState(tsDisabled);
        FAIL() << "no exception";
    } catch (const EInvalidOperation& e) {
        EXPECT_EQ(e.Message(), "You cannot modify the state property in the OnStateChanging event !!!");
    }
    EXPECT_EQ(tray->State(), tsEnabled);
    EXPECT_FALSE(TOvTrayIcon95::StateChanging());
    tray->OnStateChanging = nullptr;
    tray->SetState(tsDisabled);  // the flag did not stay set
    EXPECT_EQ(tray->State(), tsDisabled);
}

TEST_F(TrayIconTest, AnimationCyclesItsFramesWithOnAnimationBeforeEach)
{
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue};
    QStringList frames;
    for (int i = 0; i < 3; ++i)
        frames << QString::fromStdString(framePng(("f" + std::to_string(i)).c_str(), colours[i]));
    tray->Animation().SetIcons(frames);
    tray->Animation().SetInterval(15);

    // At each OnAnimation, the icon shown is still the previous frame.
    std::vector<int> indexes;
    std::vector<QColor> before;
    std::vector<QColor> shown;
    tray->OnAnimation = [&](QObject* sender) {
        EXPECT_EQ(sender, tray.get());
        if (!indexes.empty())
            shown.push_back(colourOf(tray->CurrentIcon()));
        indexes.push_back(tray->Animation().FrameIndex());
        before.push_back(colourOf(tray->CurrentIcon()));
    };
    tray->SetState(tsAnimated);
    tray->Activate();
    ASSERT_TRUE(waitUntil([&] { return indexes.size() >= 5; }));
    tray->Deactivate();
    EXPECT_FALSE(tray->Animation().Running());
    ASSERT_GE(indexes.size(), 5u);
    EXPECT_EQ(std::vector<int>(indexes.begin(), indexes.begin() + 5), (std::vector<int>{0, 1, 2, 0, 1}));
    ASSERT_GE(shown.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(shown[i], colours[i % 3]) << i;
        EXPECT_EQ(before[i + 1], colours[i % 3]) << i;
    }
}

TEST_F(TrayIconTest, AnimationWithoutFramesKeepsTheIconAndIndex)
{
    QIcon red(QString::fromStdString(framePng("red", Qt::red)));
    tray->SetIcon(red);
    tray->Activate();
    tray->SetState(tsAnimated);
    EXPECT_TRUE(tray->Animation().Running());
    for (int i = 0; i < 3; ++i)
        tray->Animation().Tick();
    EXPECT_EQ(tray->Animation().FrameIndex(), 0);
    EXPECT_EQ(colourOf(tray->CurrentIcon()), QColor(Qt::red));
    tray->SetState(tsEnabled);
    EXPECT_FALSE(tray->Animation().Running());
}

TEST_F(TrayIconTest, IntervalChangeRestartsAtTheFirstFrame)
{
    QStringList frames;
    frames << QString::fromStdString(framePng("a", Qt::red)) << QString::fromStdString(framePng("b", Qt::green))
           << QString::fromStdString(framePng("c", Qt::blue));
    tray->Animation().SetIcons(frames);
    tray->Animation().SetInterval(100000);  // only the explicit ticks below step
    tray->SetState(tsAnimated);
    tray->Activate();
    tray->Animation().Tick();
    EXPECT_EQ(tray->Animation().FrameIndex(), 2);
    tray->Animation().SetInterval(100000);  // unchanged: no restart
    EXPECT_EQ(tray->Animation().FrameIndex(), 2);
    tray->Animation().SetInterval(90000);
    // Restarted: frame 0 shown at once, the next one is 1.
    EXPECT_EQ(tray->Animation().FrameIndex(), 1);
    EXPECT_EQ(colourOf(tray->CurrentIcon()), QColor(Qt::red));
    tray->Animation().Tick();
    tray->Animation().SetIcons(frames);
    EXPECT_EQ(tray->Animation().FrameIndex(), 0);
}

TEST_F(TrayIconTest, FramesFromBuiltInResourcesAndUnreadableFiles)
{
    tray->Animation().SetOptions(aoIconsInExe);
    tray->Animation().SetIcons({QStringLiteral("plover.xpm"), QStringLiteral("no-such-icon")});
    tray->Animation().LoadFrame(0);
    EXPECT_FALSE(tray->CurrentIcon().isNull());
    tray->Animation().LoadFrame(1);
    EXPECT_TRUE(tray->CurrentIcon().isNull());

    tray->Animation().SetOptions(aoIconsAreFiles);
    test::WriteFileBytes(Root + "/broken.ico", "not an icon");
    tray->Animation().SetIcons({QString::fromStdString(Root + "/broken.ico")});
    EXPECT_THROW(tray->Animation().LoadFrame(0), Exception);

    // From the timer, the failure is reported once and the animation stops.
    tray->Animation().SetInterval(5);
    tray->Activate();
    EXPECT_THROW(tray->SetState(tsAnimated), Exception);
    EXPECT_EQ(tray->State(), tsAnimated);
    tray->Animation().SetIcons({QString::fromStdString(framePng("ok", Qt::red))});
    tray->Animation().Stop();
    tray->Animation().Start();
    tray->Animation().SetIcons({QString::fromStdString(Root + "/broken.ico")});
    Dialogs::ClearHistory();
    ASSERT_TRUE(waitUntil([&] { return !tray->Animation().Running(); }));
    EXPECT_EQ(Dialogs::History().size(), 1u);
}

} // namespace
