#include <QApplication>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "FakePanel.h"
#include "TestVideoPlayer.h"
#include "tests/support/TestMedia.h"
#include "platform/QtInput.h"
#include "playback/KXPlayerControls.h"

namespace kx {

namespace {

// Lets the tests raise the events a concrete player raises.
class ReportingPanel : public FakePanel
{
public:
    using TKXCommonPlayer::ReportMarkIn;
    using TKXCommonPlayer::ReportMarkOut;
    using TKXCommonPlayer::ReportPositionChange;
    using TKXCommonPlayer::ReportRendererConnected;
};

QString NotifyOf(const QObject& object, const char* property)
{
    const QMetaObject* meta = object.metaObject();
    return QString::fromLatin1(meta->property(meta->indexOfProperty(property)).notifySignal().name());
}

} // namespace

TEST(PanelSignals, eventsReachHandlerThenSignal)
{
    ReportingPanel panel;
    QStringList log;
    panel.OnStateChange = [&](QObject*, TPlayerState s) { log << QStringLiteral("on state %1").arg(int(s)); };
    panel.OnMarkIn = [&](QObject*, bool m, double p) { log << QStringLiteral("on in %1 %2").arg(m).arg(p); };
    panel.OnMarkOut = [&](QObject*, bool m, double p) { log << QStringLiteral("on out %1 %2").arg(m).arg(p); };
    panel.OnPositionChange = [&](QObject*, double p) { log << QStringLiteral("on pos %1").arg(p); };
    panel.OnRendererConnected = [&](QObject*, bool c) { log << QStringLiteral("on renderer %1").arg(c); };
    panel.OnDebugText = [&](QObject*, const QString& t) { log << "on debug " + t; };
    QObject::connect(&panel, &TKXCommonPlayer::stateChange, [&](TPlayerState s) {
        log << QStringLiteral("state %1").arg(int(s));
    });
    QObject::connect(&panel, &TKXCommonPlayer::markIn,
                     [&](bool m, double p) { log << QStringLiteral("in %1 %2").arg(m).arg(p); });
    QObject::connect(&panel, &TKXCommonPlayer::markOut,
                     [&](bool m, double p) { log << QStringLiteral("out %1 %2").arg(m).arg(p); });
    QObject::connect(&panel, &TKXCommonPlayer::positionChange, [&](double p) { log << QStringLiteral("pos %1").arg(p); });
    QObject::connect(&panel, &TKXCommonPlayer::rendererConnected,
                     [&](bool c) { log << QStringLiteral("renderer %1").arg(c); });
    QObject::connect(&panel, &TKXCommonPlayer::debugText, [&](const QString& t) { log << "debug " + t; });

    panel.Report(psPlay);
    panel.Report(psPlay); // unchanged: nothing
    panel.ReportMarkIn(true, 0.25);
    panel.ReportMarkOut(false, 0.75);
    panel.ReportPositionChange(1.5);
    panel.ReportRendererConnected(true);
    panel.DebugText("hello");
    EXPECT_EQ(log, (QStringList{"on state 5", "state 5", "on in 1 0.25", "in 1 0.25", "on out 0 0.75", "out 0 0.75",
                                "on pos 1.5", "pos 1.5", "on renderer 1", "renderer 1", "on debug hello",
                                "debug hello"}));
    EXPECT_EQ(panel.property("state").toInt(), int(psPlay));
    EXPECT_EQ(NotifyOf(panel, "state"), "stateChange");
}

TEST(PanelSignals, keySignalsCarryTheKeyAsTheHandlerLeftIt)
{
    FakePanel panel;
    panel.OnKeyDown = [](QObject*, uint16_t& key, TShiftState) { key = uint16_t('B'); };
    panel.OnKeyPress = [](QObject*, QChar& key) { key = QLatin1Char('z'); };
    QSignalSpy downs(&panel, &TKXCommonPlayer::keyDown);
    QSignalSpy presses(&panel, &TKXCommonPlayer::keyPress);
    QKeyEvent shiftA(QEvent::KeyPress, Qt::Key_A, Qt::ShiftModifier, QStringLiteral("A"));
    QApplication::sendEvent(&panel, &shiftA);
    ASSERT_EQ(downs.count(), 1);
    EXPECT_EQ(downs[0][0].value<quint16>(), uint16_t('B'));
    EXPECT_TRUE(downs[0][1].value<TShiftState>().Contains(ssShift));
    ASSERT_EQ(presses.count(), 1);
    EXPECT_EQ(presses[0][0].value<QChar>(), QLatin1Char('z'));

    // Without handlers the signals carry the key itself.
    panel.OnKeyDown = nullptr;
    panel.OnKeyPress = nullptr;
    QTest::keyClick(&panel, Qt::Key_C);
    EXPECT_EQ(downs.last()[0].value<quint16>(), VirtualKeyFromQt(Qt::Key_C));
    EXPECT_EQ(presses.last()[0].value<QChar>(), QLatin1Char('c'));
}

TEST(PanelSignals, escapeEndsFullScreenModeAndNotifiesIt)
{
    QTemporaryDir dir;
    const QString video = dir.filePath("clip.avi");
    ASSERT_TRUE(TestMedia::EncodeVideoOnly(video, 0.4));
    TestVideoPlayer panel;
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    ASSERT_TRUE(panel.Load(video, sink, 0));
    QStringList log;
    QObject::connect(&panel, &TKXCommonPlayer::fullScreenModeChanged,
                     [&](bool on) { log << QStringLiteral("full %1").arg(on); });
    QObject::connect(&panel, &TKXCommonPlayer::startFullScreen, [&](QWidget* form) {
        log << (form == panel.FullScreenForm() ? "start on form" : "start elsewhere");
    });
    QObject::connect(&panel, &TKXCommonPlayer::endFullScreen, [&] { log << "end"; });
    QObject::connect(&panel, &TKXCommonPlayer::keyDown,
                     [&](quint16 key, TShiftState) { log << QStringLiteral("key %1").arg(key); });
    panel.setProperty("fullScreenMode", true);
    EXPECT_EQ(log, (QStringList{"start on form", "full 1"}));
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(panel.FullScreenForm(), &escape);
    EXPECT_FALSE(panel.property("fullScreenMode").toBool());
    EXPECT_EQ(log, (QStringList{"start on form", "full 1", "end", "full 0", QStringLiteral("key %1").arg(VK_ESCAPE)}));
    EXPECT_EQ(NotifyOf(panel, "fullScreenMode"), "fullScreenModeChanged");
}

TEST(PanelProperties, refusedWritesLeaveTheValueAndReportWhy)
{
    FakePanel panel;
    QSignalSpy errors(&panel, &TKXCommonPlayer::error);
    const int codecSet = panel.CodecSet();
    EXPECT_NO_THROW(panel.setProperty("codecSet", 99));
    EXPECT_EQ(panel.CodecSet(), codecSet);
    ASSERT_EQ(errors.count(), 1);
    EXPECT_EQ(errors[0][0].toString(), "Invalid mpeg codec set");
    panel.setProperty("codecSet", int(kx::Test));
    EXPECT_EQ(panel.property("codecSet").toInt(), int(kx::Test));
    EXPECT_TRUE(panel.property("codecSetValid").toBool());

    EXPECT_NO_THROW(panel.setProperty("resolution", 300));
    EXPECT_EQ(panel.Resolution(), 0);
    ASSERT_EQ(errors.count(), 2);
    EXPECT_EQ(errors[1][0].toString(), "Resolution must be between 0 and 255");
}

TEST(PanelProperties, coloursAndColourControls)
{
    FakePanel panel;
    panel.setProperty("color", QColor(255, 0, 0));
    EXPECT_EQ(panel.Color(), TColor(0x0000FF));
    EXPECT_EQ(panel.property("color").value<QColor>(), QColor(255, 0, 0));
    panel.SetColor(clBtnFace); // a system colour is resolved when read
    EXPECT_EQ(panel.property("color").value<QColor>(), ToQColor(clBtnFace));
    EXPECT_TRUE(panel.property("color").value<QColor>().isValid());
    EXPECT_EQ(panel.property("colorKey").value<QColor>(), ToQColor(panel.ColorKey()));
    EXPECT_EQ(NotifyOf(panel, "colorKey"), "colorKeyChanged");

    panel.setProperty("brightness", 500.0f);
    EXPECT_FLOAT_EQ(panel.ColorControl(ccBrightness).Value, 100.0f); // clamped to its range
    panel.setProperty("hue", -30.0f);
    EXPECT_FLOAT_EQ(panel.property("hue").toFloat(), -30.0f);
    EXPECT_TRUE(panel.ColorControl(ccHue).Changed);

    panel.setProperty("zoomMode", 3);
    EXPECT_EQ(panel.ZoomMode(), 3);
    EXPECT_EQ(panel.FrameMediaTime(), std::chrono::milliseconds(40));
    panel.duration = 5 * kUnitsPerSecond;
    EXPECT_EQ(panel.property("duration").toLongLong(), 5 * kUnitsPerSecond);
    EXPECT_EQ(panel.DurationTime(), std::chrono::seconds(5));
}

TEST(BarSignals, clicksAreSignalledWithoutAHandler)
{
    TKXPlayerControls bar;
    bar.SetAutoEnable(false);
    bar.SetEnabledButtons(kAllButtons);
    QSignalSpy events(&bar, &TKXPlayerControls::controlEvent);
    bar.Button(btFF)->click();
    bar.Button(btFF)->click();
    bar.Button(btPlay)->click();
    ASSERT_EQ(events.count(), 3);
    EXPECT_EQ(events[0][0].value<TControlOption>(), coFastForward);
    EXPECT_EQ(events[1][1].toInt(), 2);
    EXPECT_EQ(events[2][0].value<TControlOption>(), coPlay);
    EXPECT_EQ(events[2][1].toInt(), 0);
}

TEST(BarSignals, captureSignalsFollowTheirHandlers)
{
    TKXPlayerControls bar;
    FakePanel panel;
    bar.SetPlayerLib(&panel);
    bar.SetAutoEnable(false);
    bar.SetEnabledButtons(kAllButtons);
    QStringList log;
    bar.OnCaptureToBitmap = [&](QObject*) { log << "on bitmap"; };
    bar.OnCaptureMouseDown = [&](QObject*, TMouseButton, TShiftState, int x, int y) {
        log << QStringLiteral("on down %1,%2").arg(x).arg(y);
    };
    QObject::connect(&bar, &TKXPlayerControls::captureToBitmap, [&] { log << "bitmap"; });
    QObject::connect(&bar, &TKXPlayerControls::captureMouseDown, [&](TMouseButton b, TShiftState, int x, int y) {
        log << QStringLiteral("down %1 %2,%3").arg(int(b)).arg(x).arg(y);
    });
    QSignalSpy images(&bar, &TKXPlayerControls::captureToImage);
    QSignalSpy customs(&bar, &TKXPlayerControls::customCapture);
    bar.setProperty("captureMode", int(cmBitmap));
    QTest::mouseClick(bar.Button(btCapture), Qt::RightButton, {}, QPoint(3, 4));
    bar.Button(btCapture)->click();
    EXPECT_EQ(log, (QStringList{"on down 3,4", QStringLiteral("down %1 3,4").arg(int(mbRight)), "on bitmap",
                                "bitmap"}));
    bar.SetCaptureMode(cmImage);
    bar.Button(btCapture)->click();
    bar.SetCaptureMode(cmCustom);
    bar.Button(btCapture)->click();
    EXPECT_EQ(images.count(), 1);
    EXPECT_EQ(customs.count(), 1);
}

TEST(BarProperties, refusedWritesLeaveTheValueAndReportWhy)
{
    TKXPlayerControls bar;
    QSignalSpy errors(&bar, &TKXPlayerControls::error);
    EXPECT_NO_THROW(bar.setProperty("enabledButtons", 0x3));
    EXPECT_EQ(bar.property("enabledButtons").toInt(), 0);
    ASSERT_EQ(errors.count(), 1);
    EXPECT_EQ(errors[0][0].toString(), "Cannot enable buttons when AutoEnable is true");

    bar.setProperty("autoEnable", false);
    QSignalSpy changes(&bar, &TKXPlayerControls::enabledButtonsChanged);
    bar.setProperty("enabledButtons", 0x3);
    EXPECT_EQ(bar.EnabledButtons(), (TButtonSet{btGoToStart, btFR}));
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes[0][0].toInt(), 0x3);
    bar.setProperty("enabledButtons", 0x3); // unchanged: no signal
    EXPECT_EQ(changes.count(), 1);
    bar.setProperty("enabledButtons", 0x10000);
    EXPECT_EQ(bar.EnabledButtons(), (TButtonSet{btGoToStart, btFR}));
    EXPECT_EQ(errors.last()[0].toString(), "EnabledButtons must be a set of the 12 buttons");

    bar.setProperty("captureMode", 9);
    EXPECT_EQ(bar.CaptureMode(), cmFile);
    EXPECT_EQ(errors.last()[0].toString(), "CaptureMode must be between 0 and 3");
    bar.setProperty("visibleButtons", -1);
    EXPECT_EQ(bar.VisibleButtons(), kAllButtons);
    EXPECT_EQ(errors.count(), 4);

    bar.setProperty("visibleButtons", int(TButtonSet{btStop, btPlay}.Bits()));
    EXPECT_EQ(bar.Button(btCapture), nullptr);
    EXPECT_NE(bar.Button(btPlay), nullptr);
}

TEST(BarProperties, settingsAndTheirNotifications)
{
    TKXPlayerControls bar;
    FakePanel panel;
    QSignalSpy enabled(&bar, &TKXPlayerControls::controlsEnabledChanged);
    // A linked panel turns the bar on and off by itself.
    panel.Report(psStop);
    bar.setProperty("playerLib", QVariant::fromValue<TKXCommonPlayer*>(&panel));
    EXPECT_EQ(bar.PlayerLib(), &panel);
    ASSERT_EQ(enabled.count(), 1);
    EXPECT_TRUE(enabled[0][0].toBool());
    panel.DisableHook();
    ASSERT_EQ(enabled.count(), 2);
    EXPECT_FALSE(bar.property("controlsEnabled").toBool());
    bar.setProperty("controlsEnabled", true);
    EXPECT_EQ(enabled.count(), 3);
    EXPECT_TRUE(bar.Enabled());
    EXPECT_EQ(NotifyOf(bar, "controlsEnabled"), "controlsEnabledChanged");

    QTemporaryDir dir;
    QStringList folders;
    bar.OnSaveToFolder = [&](QObject*, const QString& f) { folders << "on " + f; };
    QObject::connect(&bar, &TKXPlayerControls::saveToFolderChanged, [&](const QString& f) { folders << f; });
    bar.setProperty("saveToFolder", dir.path());
    EXPECT_EQ(folders, (QStringList{"on " + dir.path(), dir.path()}));

    bar.setProperty("color", QColor(0, 0, 255));
    EXPECT_EQ(bar.Color(), TColor(0xFF0000));
    EXPECT_EQ(bar.property("color").value<QColor>(), QColor(0, 0, 255));
    bar.setProperty("groupIndex", 7);
    EXPECT_EQ(bar.Button(btPlay)->property("groupIndex").toInt(), 7);
    bar.setProperty("autoSpace", true);
    EXPECT_TRUE(bar.AutoSpace());

    QSignalSpy resized(&bar, &TKXPlayerControls::resized);
    int handled = 0;
    bar.OnResize = [&](QObject*) { ++handled; };
    bar.show();
    bar.resize(bar.width() + 40, 40);
    QCoreApplication::processEvents();
    EXPECT_GE(resized.count(), 1);
    EXPECT_EQ(resized.count(), handled);
}

TEST(SpeedButtons, buttonDownGoesDownInItsGroup)
{
    QWidget parent;
    TSpeedButton a(&parent), b(&parent);
    a.setProperty("groupIndex", 3);
    b.setProperty("groupIndex", 3);
    QSignalSpy aDown(&a, &TSpeedButton::buttonDownChanged);
    a.setProperty("buttonDown", true);
    b.setProperty("buttonDown", true);
    EXPECT_FALSE(a.property("buttonDown").toBool());
    EXPECT_TRUE(b.Down());
    EXPECT_EQ(aDown.count(), 2);
    EXPECT_FALSE(aDown.last()[0].toBool());
    a.setProperty("allowAllUp", true);
    EXPECT_TRUE(a.AllowAllUp());
}

} // namespace kx
