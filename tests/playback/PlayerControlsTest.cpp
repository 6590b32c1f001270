#include <QFileDialog>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

#include "FakePanel.h"
#include "platform/Exception.h"
#include "platform/widgets/FileDialogs.h"
#include "playback/KXPlayerControls.h"

namespace kx {

namespace {

struct ControlLog {
    QStringList entries;
    void Attach(TKXPlayerControls& bar)
    {
        bar.OnControlEvent = [this](QObject*, TControlOption o, TSpeedType s) {
            entries << QStringLiteral("%1:%2").arg(int(o)).arg(int(s));
        };
    }
};

QString Entry(TControlOption o, int speed)
{
    return QStringLiteral("%1:%2").arg(int(o)).arg(speed);
}

void Click(TKXPlayerControls& bar, TPLBtnType b)
{
    ASSERT_NE(bar.Button(b), nullptr);
    bar.Button(b)->click();
}

// Clicks need enabled buttons.
void EnableAll(TKXPlayerControls& bar)
{
    bar.SetAutoEnable(false);
    bar.SetEnabledButtons(kAllButtons);
}

} // namespace

TEST(ButtonParams, DefaultsChangeReportsAndAddToAll)
{
    TButtonParams widths(32);
    widths.SetPlay(72);
    TButtonSpacings gaps(0);
    gaps.SetGotToEnd(20);
    gaps.SetPlaySelection(20);
    const auto w = widths.GetValues();
    EXPECT_EQ(w[btPlay], 72);
    EXPECT_EQ(w[btCapture], 32);
    EXPECT_EQ(gaps.GetValues()[btGoToEnd], 20);
    EXPECT_EQ(gaps.GetValues()[btMarkIn], 0);

    int changes = 0;
    widths.OnChange = [&](TButtonParams* sender) {
        EXPECT_EQ(sender, &widths);
        ++changes;
    };
    widths.SetStop(32); // unchanged, still reported
    widths.SetFF(40);
    EXPECT_EQ(changes, 2);
    widths.AddToAll(-2);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(widths.FF(), 38);
    EXPECT_EQ(widths.Play(), 70);
}

TEST(ButtonLayout, SpreadsButtonsAndGivesLeftoverPixelsToTheLastGaps)
{
    const TButtonSet three{btGoToStart, btStop, btPlay};
    auto make = [&] {
        TButtonLayout l;
        TButtonParams w(32);
        w.SetPlay(72);
        l.widths = w.GetValues();
        for (TPLBtnType b : {btGoToStart, btStop, btPlay})
            l.exists[b] = l.shown[b] = true;
        return l;
    };
    const std::array<int, kButtonCount> noGaps{};

    TButtonLayout l = make();
    EXPECT_EQ(LayoutButtons(l, three, noGaps, 0, false), 136);
    EXPECT_EQ(l.lefts[btStop], 32);
    EXPECT_EQ(l.lefts[btPlay], 64);

    l = make();
    EXPECT_EQ(LayoutButtons(l, three, noGaps, 400, true), 400);
    EXPECT_EQ(l.widths[btGoToStart], 32 + 88);
    EXPECT_EQ(l.widths[btPlay], 72 + 88);
    EXPECT_EQ(l.lefts[btPlay], 240);

    l = make(); // 265 spare pixels: 88 each, one left for the last gap
    LayoutButtons(l, three, noGaps, 401, true);
    EXPECT_EQ(l.lefts[btStop], 120);
    EXPECT_EQ(l.lefts[btPlay], 241);

    l = make(); // too narrow: -36 spare gives -13 each, and 3 pixels to hand out
    LayoutButtons(l, three, noGaps, 100, true);
    EXPECT_EQ(l.widths[btStop], 19);
    EXPECT_EQ(l.lefts[btGoToStart], 1);
    EXPECT_EQ(l.lefts[btStop], 21);
    EXPECT_EQ(l.lefts[btPlay], 41);

    TButtonLayout none;
    EXPECT_EQ(LayoutButtons(none, {}, noGaps, 300, true), 300);
    EXPECT_EQ(LayoutButtons(none, {}, noGaps, 300, false), 0);
}

TEST(PlayerControls, NewBarHasTwelveButtonsIn464By32)
{
    TKXPlayerControls bar;
    EXPECT_EQ(bar.width(), 464);
    EXPECT_EQ(bar.height(), 32);
    EXPECT_TRUE(bar.Button(btStop)->Down());
    EXPECT_EQ(bar.Button(btPlay)->width(), 72);
    EXPECT_EQ(bar.Button(btMarkIn)->x(), 7 * 32 + 72 + 20);
    EXPECT_EQ(bar.Button(btCapture)->x(), 464 - 32);
    EXPECT_EQ(bar.Button(btMarkIn)->NumGlyphs(), 4);
    EXPECT_EQ(bar.Button(btPlay)->NumGlyphs(), 1);
    for (int i = 0; i < kButtonCount; ++i) {
        EXPECT_FALSE(bar.Button(TPLBtnType(i))->isEnabled()) << i;
        EXPECT_FALSE(bar.Button(TPLBtnType(i))->icon().isNull()) << i;
    }

    // Capture dialog settings.
    QFileDialog* d = bar.SaveDialog();
    EXPECT_EQ(d->windowTitle(), "Save image to file");
    EXPECT_EQ(d->defaultSuffix(), "bmp");
    EXPECT_EQ(d->nameFilters(), QStringList{"Bitmap files (*.bmp *.BMP)"});
    EXPECT_EQ(QtFileFilter("Wave files(*.wav)|*.wav|Any File(*.*)|*.*"), "Wave files (*.wav);;Any File (*.*)");
}

TEST(PlayerControls, VisibleButtonsAndSizesDriveTheLayout)
{
    TKXPlayerControls bar;
    bar.SetVisibleButtons({btGoToStart, btStop, btPlay});
    EXPECT_EQ(bar.width(), 136);
    EXPECT_EQ(bar.Button(btFF), nullptr);
    EXPECT_EQ(bar.Button(btPlay)->x(), 64);

    bar.SetWidth(600); // without AutoSpace the bar keeps to its buttons
    EXPECT_EQ(bar.width(), 136);
    bar.SetHeight(40);
    EXPECT_EQ(bar.height(), 40);
    EXPECT_EQ(bar.Button(btPlay)->height(), 40);

    bar.SetAutoSpace(true);
    bar.SetWidth(400);
    EXPECT_EQ(bar.width(), 400);
    EXPECT_EQ(bar.Button(btGoToStart)->width(), 120);
    EXPECT_EQ(bar.Button(btPlay)->width(), 160);
    EXPECT_EQ(bar.Button(btPlay)->x(), 240);
    EXPECT_EQ(bar.ButtonWidths()->Play(), 160); // the widths keep the spread

    bar.SetAutoSpace(false);
    bar.ButtonWidths()->SetPlay(100); // a width change re-runs the layout
    EXPECT_EQ(bar.width(), 120 + 120 + 100);

    bar.SetVisibleButtons(kAllButtons);
    ASSERT_NE(bar.Button(btFF), nullptr);
    EXPECT_EQ(bar.Button(btFF)->height(), 40);
}

TEST(PlayerControls, EnablingRules)
{
    TKXPlayerControls bar;
    try {
        bar.SetEnabledButtons({btPlay});
        FAIL() << "expected an exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Cannot enable buttons when AutoEnable is true");
    }
    EXPECT_TRUE(bar.EnabledButtons().Empty());
    bar.SetEnabledButtons({}); // ignored, no error

    bar.SetEnabled(true);
    EXPECT_TRUE(bar.Enabled());
    for (int i = 0; i < kButtonCount; ++i)
        EXPECT_EQ(bar.Button(TPLBtnType(i))->isEnabled(), i != btPlaySel) << i;
    bar.SetEnabled(false);
    EXPECT_TRUE(bar.EnabledButtons().Empty());
    EXPECT_FALSE(bar.Button(btPlay)->isEnabled());

    bar.SetVisibleButtons({btStop, btPlay});
    bar.SetAutoEnable(false);
    bar.SetEnabledButtons({btPlay, btFF}); // no fast-forward button: dropped
    EXPECT_EQ(bar.EnabledButtons(), (TButtonSet{btPlay}));
    EXPECT_TRUE(bar.Button(btPlay)->isEnabled());
    EXPECT_FALSE(bar.Button(btStop)->isEnabled());
    bar.SetEnabled(true); // AutoEnable off: the flag alone
    EXPECT_FALSE(bar.Button(btStop)->isEnabled());
}

TEST(PlayerControls, ClicksWithoutAPanelAreReported)
{
    TKXPlayerControls bar;
    EnableAll(bar);
    Click(bar, btPlay); // no handler: nothing, no crash
    ControlLog log;
    log.Attach(bar);

    for (int i = 0; i < 5; ++i)
        Click(bar, btFF);
    Click(bar, btFR);
    EXPECT_EQ(log.entries, (QStringList{Entry(coFastForward, 1), Entry(coFastForward, 2), Entry(coFastForward, 3),
                                        Entry(coFastForward, 4), Entry(coFastRewind, 3)}));
    EXPECT_TRUE(bar.Button(btFR)->Down());

    log.entries.clear();
    Click(bar, btStop);
    Click(bar, btPlay);
    EXPECT_TRUE(bar.Button(btPlay)->Down());
    EXPECT_FALSE(bar.Button(btStop)->Down());
    Click(bar, btFF); // any other button started again from 0
    Click(bar, btFR); // at 1 fast rewind returns to 0 and presses stop
    EXPECT_TRUE(bar.Button(btStop)->Down());
    Click(bar, btFR);
    Click(bar, btFR);
    Click(bar, btFF); // from -2 one step up
    Click(bar, btGoToStart);
    Click(bar, btGoToEnd);
    EXPECT_EQ(log.entries,
              (QStringList{Entry(coPause, 0), Entry(coPlay, 0), Entry(coFastForward, 1), Entry(coFastRewind, 0),
                           Entry(coFastRewind, -1), Entry(coFastRewind, -2), Entry(coFastForward, -1),
                           Entry(coGoToStart, 0), Entry(coGoToEnd, 0)}));
    EXPECT_EQ(bar.Speed(), 0);

    log.entries.clear();
    Click(bar, btPlay);
    Click(bar, btStepBack); // presses stop
    EXPECT_TRUE(bar.Button(btStop)->Down());
    Click(bar, btStepFrwd);
    Click(bar, btMarkIn); // panel-only buttons say nothing
    Click(bar, btPlaySel);
    Click(bar, btCapture);
    EXPECT_EQ(log.entries, (QStringList{Entry(coPlay, 0), Entry(coStepBack, 0), Entry(coStepForward, 0)}));
}

TEST(PlayerControls, ClicksDriveALinkedPanel)
{
    TKXPlayerControls bar;
    auto panel = std::make_unique<FakePanel>();
    ControlLog log;
    log.Attach(bar);
    bar.SetPlayerLib(panel.get());
    EXPECT_FALSE(bar.Enabled()); // the panel is closed
    panel->Report(psStop);
    bar.SetPlayerLib(nullptr);
    bar.SetPlayerLib(panel.get()); // linking a ready panel enables the bar
    EXPECT_TRUE(bar.Enabled());
    EXPECT_FALSE(bar.Button(btPlaySel)->isEnabled());

    Click(bar, btPlay);
    Click(bar, btStop);
    Click(bar, btGoToStart);
    Click(bar, btGoToEnd);
    Click(bar, btStepBack);
    Click(bar, btStepFrwd);
    Click(bar, btFF);
    Click(bar, btFF);
    Click(bar, btFR);
    Click(bar, btFR); // at 1: speed 0 and stop
    Click(bar, btFR);
    Click(bar, btFF); // at -1: speed 0 and stop
    EXPECT_EQ(panel->calls, (QStringList{"Play", "Pause", "GoToStart", "GoToEnd", "StepBack", "StepForward",
                                         "SetSpeed 1", "SetSpeed 2", "SetSpeed 1", "SetSpeed 0", "Stop",
                                         "SetSpeed -1", "SetSpeed 0", "Stop"}));
    EXPECT_TRUE(log.entries.isEmpty());

    panel->Report(psPlay); // play while playing goes to the owner
    panel->calls.clear();
    Click(bar, btPlay);
    EXPECT_TRUE(panel->calls.isEmpty());
    EXPECT_EQ(log.entries, QStringList{Entry(coPlay, 0)});
}

TEST(PlayerControls, MarksSelectionAndCaptureWithAPanel)
{
    TKXPlayerControls bar;
    FakePanel panel;
    panel.Report(psPause);
    bar.SetPlayerLib(&panel);
    panel.position = 25;
    panel.duration = 100;

    Click(bar, btMarkIn);
    EXPECT_TRUE(bar.Button(btMarkIn)->Down());
    EXPECT_TRUE(bar.Button(btPlaySel)->isEnabled());
    Click(bar, btMarkIn); // toggles up again
    EXPECT_FALSE(bar.Button(btPlaySel)->isEnabled());
    panel.position = 50;
    Click(bar, btMarkOut);
    EXPECT_EQ(panel.calls, (QStringList{"SetMarkIn 1 0.25", "SetMarkIn 0 0.25", "SetMarkOut 1 0.5"}));

    panel.calls.clear();
    Click(bar, btPlaySel); // no selection: nothing (the button went down)
    panel.selection = true;
    Click(bar, btPlaySel); // up again
    Click(bar, btPlaySel);
    EXPECT_EQ(panel.calls, (QStringList{"Stop", "PlaySelection 1"}));

    panel.calls.clear();
    QStringList shownTitles;
    QString answer = "/tmp/shot.bmp";
    auto previous = TKXPlayerControls::SetSaveDialogRunner([&](QFileDialog& d) {
        shownTitles << d.windowTitle();
        return answer;
    });
    Click(bar, btCapture);
    answer.clear(); // cancelled
    Click(bar, btCapture);
    int custom = 0, bitmaps = 0;
    bar.OnCustomCapture = [&](QObject*) { ++custom; };
    bar.OnCaptureToBitmap = [&](QObject*) { ++bitmaps; };
    bar.SetCaptureMode(cmCustom);
    Click(bar, btCapture);
    bar.SetCaptureMode(cmBitmap);
    Click(bar, btCapture);
    TKXPlayerControls::SetSaveDialogRunner(previous);
    EXPECT_EQ(shownTitles.size(), 2);
    EXPECT_EQ(panel.calls, QStringList{"CaptureToFile /tmp/shot.bmp"});
    EXPECT_EQ(custom, 1);
    EXPECT_EQ(bitmaps, 1);

    QString folder;
    bar.OnSaveToFolder = [&](QObject*, const QString& f) { folder = f; };
    bar.SetSaveToFolder("/tmp");
    EXPECT_EQ(folder, "/tmp");
    EXPECT_EQ(bar.SaveDialog()->directory().absolutePath(), "/tmp");
}

TEST(PlayerControls, HooksFollowThePanel)
{
    TKXPlayerControls bar;
    auto panel = std::make_unique<FakePanel>();
    bar.SetPlayerLib(panel.get());
    ASSERT_TRUE(panel->EnableHook);

    panel->EnableHook();
    EXPECT_TRUE(bar.Enabled());
    panel->DisableHook();
    EXPECT_FALSE(bar.Enabled());

    EnableAll(bar);
    Click(bar, btFF);
    EXPECT_EQ(bar.Speed(), 1);
    panel->SpeedResetHook();
    EXPECT_EQ(bar.Speed(), 0);

    // Only stop and pause are followed by default.
    panel->Report(psPlay);
    EXPECT_TRUE(bar.Button(btFF)->Down());
    panel->Report(psPause);
    EXPECT_TRUE(bar.Button(btStop)->Down());
    bar.SetFullStateUpdate(true);
    panel->Report(psPlay);
    EXPECT_TRUE(bar.Button(btPlay)->Down());
    panel->Report(psFR);
    EXPECT_TRUE(bar.Button(btFR)->Down());
    panel->SelectionDownHook(true);
    EXPECT_TRUE(bar.Button(btPlaySel)->Down());
    panel->Report(psStop);
    EXPECT_FALSE(bar.Button(btPlaySel)->Down());
    EXPECT_TRUE(bar.Button(btStop)->Down());

    panel->ButtonDownHook(btMarkOut, true);
    EXPECT_TRUE(bar.Button(btMarkOut)->Down());
    EXPECT_TRUE(bar.Button(btPlaySel)->isEnabled());

    panel->calls.clear();
    panel->SelectionDownHook(true);
    panel->SelectionEndedHook();
    EXPECT_FALSE(bar.Button(btPlaySel)->Down());
    bar.SetRepeatPlaySelection(true);
    panel->SelectionEndedHook();
    EXPECT_EQ(panel->calls, (QStringList{"Stop", "PlaySelection 1"}));

    // Unlinking clears the hooks; a destroyed panel unlinks itself.
    bar.SetPlayerLib(nullptr);
    EXPECT_FALSE(panel->StateHook);
    bar.SetPlayerLib(panel.get());
    panel.reset();
    EXPECT_EQ(bar.PlayerLib(), nullptr);
    ControlLog log;
    log.Attach(bar);
    Click(bar, btPlay);
    EXPECT_EQ(log.entries, QStringList{Entry(coPlay, 0)});
}

TEST(PlayerControls, CaptureMouseDownIsPassedOn)
{
    TKXPlayerControls bar;
    EnableAll(bar);
    QObject* sender = nullptr;
    int x = -1;
    TMouseButton button = mbMiddle;
    bar.OnCaptureMouseDown = [&](QObject* s, TMouseButton b, TShiftState, int X, int) {
        sender = s;
        button = b;
        x = X;
    };
    QTest::mousePress(bar.Button(btCapture), Qt::LeftButton, Qt::NoModifier, QPoint(5, 6));
    EXPECT_EQ(sender, bar.Button(btCapture));
    EXPECT_EQ(button, mbLeft);
    EXPECT_EQ(x, 5);
}

} // namespace kx
