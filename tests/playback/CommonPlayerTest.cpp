#include <QKeyEvent>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include "TestVideoPlayer.h"
#include "mediagraph/CodecConfig.h"
#include "platform/Exception.h"
#include "platform/GraphRegistry.h"
#include "tests/support/TestHelpers.h"
#include "tests/support/TestMedia.h"

namespace kx {

namespace {

class VideoPanelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        video = dir.filePath("clip.avi");
        ASSERT_TRUE(TestMedia::EncodeVideoOnly(video, 0.4));
        panel.OnDebugText = [this](QObject*, const QString& t) { texts << t; };
    }
    GstElement* FakeSink()
    {
        GstElement* sink = gst_element_factory_make("fakesink", nullptr);
        g_object_set(sink, "sync", TRUE, nullptr);
        return sink;
    }

    QTemporaryDir dir;
    QString video;
    QStringList texts;
    TestVideoPlayer panel;
};

} // namespace

TEST(VideoPanelRules, CodecSetFallsBackToInstalledFamilies)
{
    auto choose = [](int requested, TFilterSets available) {
        int chosen = -1;
        bool valid = false;
        const bool taken = TKXCommonPlayer::ChooseCodecSet(requested, available, chosen, valid);
        return taken ? QStringLiteral("%1%2").arg(chosen).arg(valid ? "" : "!") : QStringLiteral("ignored");
    };
    const TFilterSets none;
    EXPECT_EQ(choose(DScaler, {Elecard}), "2");
    EXPECT_EQ((choose(DScaler, {FFDShow, Elecard})), "4");
    EXPECT_EQ(choose(DScaler, {DScaler}), "3");
    EXPECT_EQ(choose(DScaler, {Moonlight}), "1");
    EXPECT_EQ(choose(DScaler, none), "0!");
    EXPECT_EQ(choose(Moonlight, {Elecard}), "2");
    EXPECT_EQ(choose(Moonlight, none), "0!");
    EXPECT_EQ(choose(Elecard, {Moonlight}), "1");
    EXPECT_EQ(choose(FFDShow, {Moonlight}), "1");
    EXPECT_EQ(choose(Default, {Moonlight}), "0!");
    EXPECT_EQ(choose(VRMMedia, none), "ignored");
    EXPECT_EQ(choose(VRMMedia, {VRMMedia}), "5");
    EXPECT_EQ(choose(Custom, {Moonlight}), "ignored");
    EXPECT_EQ(choose(TFilterSet::Test, none), "9");
    for (int bad : {6, 7, 10, -1})
        EXPECT_EQ(RaisedMessage([&] { choose(bad, none); }), "Invalid mpeg codec set") << bad;
}

TEST(VideoPanelRules, VolumeRuleTable)
{
    auto r = TKXCommonPlayer::VolumeRule(150, true, true);
    EXPECT_TRUE(r.Accepted && r.SetGains && r.SetDevice);
    EXPECT_EQ(r.Gain, 4096);
    EXPECT_EQ(r.DeviceVolume, 0);
    EXPECT_EQ(TKXCommonPlayer::VolumeRule(2400, true, true).Gain, 65535);
    EXPECT_EQ(TKXCommonPlayer::VolumeRule(1, true, true).Gain, 27);
    EXPECT_FALSE(TKXCommonPlayer::VolumeRule(2401, true, true).Accepted);
    r = TKXCommonPlayer::VolumeRule(-3000, true, true);
    EXPECT_EQ(r.Gain, 4096);
    EXPECT_EQ(r.DeviceVolume, -3000);
    r = TKXCommonPlayer::VolumeRule(500, true, false); // out of range: 0
    EXPECT_TRUE(r.Accepted);
    EXPECT_EQ(r.Stored, 0);
    EXPECT_FALSE(r.SetGains);
    EXPECT_FALSE(TKXCommonPlayer::VolumeRule(-10000, false, true).Accepted);
    EXPECT_TRUE(TKXCommonPlayer::VolumeRule(800, false, true).Accepted);
    EXPECT_FALSE(TKXCommonPlayer::VolumeRule(1, false, false).Accepted);
    EXPECT_TRUE(TKXCommonPlayer::VolumeRule(-10000, false, false).Accepted);
}

TEST(VideoPanelRules, ZoomModesPlaceTheVideo)
{
    // Divisions truncate: 512 / 6 and 4 * 515 / 3 lose their fractions.
    EXPECT_EQ(TKXCommonPlayer::ZoomWindowRect(1, 515, 288), QRect(-85, 0, 686, 288));
    EXPECT_EQ(TKXCommonPlayer::ZoomWindowRect(2, 512, 290), QRect(-85, -24, 682, 338));
    EXPECT_EQ(TKXCommonPlayer::ZoomWindowRect(5, 512, 288), QRect(32, -24, 448, 336));
    EXPECT_EQ(TKXCommonPlayer::ZoomWindowRect(7, 512, 288), QRect(0, 0, 512, 288));
    EXPECT_EQ(TKXCommonPlayer::ZoomOutputRect(6), QRectF(0, 0, 1, 1));
}

TEST(VideoPanel, StartsClosedWithDefaultsAndCodecRules)
{
    CodecConfig::ResetSets();
    TestVideoPlayer panel;
    EXPECT_EQ(panel.State(), psClosed);
    EXPECT_EQ(panel.size(), QSize(512, 288));
    EXPECT_EQ(panel.CodecSet(), 1);
    EXPECT_TRUE(panel.CodecSetValid());
    EXPECT_TRUE(panel.PreventSreenSaver());
    EXPECT_EQ(panel.FrameTime(), 400000);
    EXPECT_EQ(panel.TimePanel()->text(), "00:00:00:00");
    EXPECT_EQ(panel.palette().color(QPalette::Window), QColor(Qt::black));

    panel.SetResolution(3); // set 1 without a decoder: stored
    EXPECT_EQ(panel.Resolution(), 3);
    // No codec library: every family falls back to the default set.
    panel.SetCodecSet(DScaler);
    EXPECT_EQ(panel.CodecSet(), 0);
    EXPECT_FALSE(panel.CodecSetValid());
    EXPECT_EQ(panel.Resolution(), 0);
    panel.SetResolution(2); // ignored outside sets 1 and 2
    EXPECT_EQ(panel.Resolution(), 0);
    EXPECT_EQ(RaisedMessage([&] { panel.SetCodecSet(7); }), "Invalid mpeg codec set");

    TestVideoPlayer owned(nullptr);
    QWidget form;
    TestVideoPlayer child(&form);
    EXPECT_EQ(child.geometry(), QRect(10, 10, 512, 288));
}

TEST(VideoPanel, ColorControlsResetClampAndKeep)
{
    TestVideoPlayer panel;
    EXPECT_FALSE(panel.ColorControlSupport());
    EXPECT_EQ(panel.ColorControl(ccContrast).Default, 1.0f);
    EXPECT_EQ(panel.ColorControl(ccHue).Min, -180.0f);
    panel.SetColorControl(ccBrightness, 250);
    EXPECT_EQ(panel.ColorControl(ccBrightness).Value, 100.0f);
    EXPECT_TRUE(panel.ColorControl(ccBrightness).Changed);
    panel.SetKeepColorValues(true);
    panel.ResetColorControls();
    EXPECT_EQ(panel.ColorControl(ccBrightness).Value, 100.0f);
    EXPECT_FALSE(panel.ColorControl(ccBrightness).Changed);
    panel.SetKeepColorValues(false);
    panel.ResetColorControls();
    EXPECT_EQ(panel.ColorControl(ccBrightness).Value, 0.0f);
}

TEST_F(VideoPanelTest, VolumeWithoutGraphAndWithThePostFilter)
{
    panel.SetAudioPostFilter(true);
    panel.SetVolume(-10000); // not in -9999..800 without a graph
    EXPECT_EQ(panel.Volume(), 0);
    panel.SetVolume(800);
    EXPECT_EQ(panel.Volume(), 800);

    ASSERT_TRUE(panel.Load(video, FakeSink(), 1));
    panel.SetVolume(150);
    EXPECT_EQ(panel.PostFilterGain(), 4096);
    panel.SetVolume(2400);
    EXPECT_EQ(panel.PostFilterGain(), 65535);
    panel.SetVolume(2401);
    EXPECT_EQ(panel.Volume(), 2400);
    panel.SetVolume(-2000);
    EXPECT_EQ(panel.PostFilterGain(), 4096);
    gdouble linear = 0;
    g_object_get(panel.Graph(), "volume", &linear, nullptr);
    EXPECT_NEAR(linear, 0.1, 1e-9);
    GstElement* filter = nullptr;
    g_object_get(panel.Graph(), "audio-filter", &filter, nullptr);
    ASSERT_NE(filter, nullptr);
    EXPECT_STREQ(GST_OBJECT_NAME(filter), "Audio Post Filter");
    gst_object_unref(filter);

    panel.SetAudioPostFilter(false);
    panel.SetVolume(300); // attenuation only: stored as 0
    EXPECT_EQ(panel.Volume(), 0);
}

TEST_F(VideoPanelTest, DebugTextsOfTheVideoWindowPaths)
{
    EXPECT_EQ(panel.CreateFilterByClassForTest("{00000000-0000-0000-0000-000000000001}", "Nothing"), nullptr);
    EXPECT_EQ(texts, QStringList{"Nothing not created"});

    texts.clear();
    ASSERT_TRUE(panel.Load(video, FakeSink(), 3));
    // Attached before the renderer was linked.
    EXPECT_EQ(texts, (QStringList{"Pins not connected when setting video window owner", "Connect to display"}));
    EXPECT_EQ(panel.State(), psStop);
    EXPECT_TRUE(panel.ColorControlSupport());
    EXPECT_FALSE(panel.TimePanel()->isVisibleTo(panel.FullScreenForm()));

    texts.clear();
    panel.Attach(); // linked now, but a fake sink has no overlay
    EXPECT_EQ(texts, QStringList{"Connect to display"});

    panel.SetZoomMode(4);
    EXPECT_EQ(panel.RenderRect(), QRect(64, 0, 384, 288));
    panel.SetWidth(256);
    panel.SetHeight(144);
    EXPECT_EQ(panel.RenderRect(), QRect(32, 0, 192, 144));
}

TEST_F(VideoPanelTest, FullScreenNeedsAGraphAndEscapeLeavesIt)
{
    panel.SetFullScreenMode(true);
    EXPECT_FALSE(panel.FullScreenMode());

    ASSERT_TRUE(panel.Load(video, FakeSink(), 3));
    QWidget* started = nullptr;
    int ended = 0;
    panel.OnStartFullScreen = [&](QObject*, QWidget* form) { started = form; };
    panel.OnEndFullScreen = [&](QObject*) { ++ended; };
    uint16_t keySeen = 0;
    panel.OnKeyDown = [&](QObject*, uint16_t& key, TShiftState) { keySeen = key; };
    texts.clear();
    panel.SetFullScreenMode(true);
    EXPECT_TRUE(panel.FullScreenMode());
    EXPECT_EQ(started, panel.FullScreenForm());
    EXPECT_TRUE(panel.FullScreenForm()->isVisible());
    EXPECT_TRUE(texts.contains("VMR Mixer Control not found"));

    QTest::keyClick(panel.FullScreenForm(), Qt::Key_Escape);
    EXPECT_FALSE(panel.FullScreenMode());
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(keySeen, 27);
    EXPECT_FALSE(panel.FullScreenForm()->isVisible());

    TestVideoPlayer older;
    QStringList olderTexts;
    older.OnDebugText = [&](QObject*, const QString& t) { olderTexts << t; };
    ASSERT_TRUE(older.Load(video, FakeSink(), 2));
    older.SetFullScreenMode(true);
    EXPECT_TRUE(olderTexts.contains("VMRMixerControl not found"));
}

TEST_F(VideoPanelTest, PlaysToTheEndAndRegistersWhenAsked)
{
    panel.SetAddToRot(true);
    ASSERT_TRUE(panel.Load(video, FakeSink(), 1));
    EXPECT_TRUE(panel.TimePanel()->isVisibleTo(panel.FullScreenForm()));
    EXPECT_NE(panel.RotCookie(), 0u);
    const QString name = FilterGraphItemName(panel.Graph(), static_cast<uint32_t>(getpid()));
    EXPECT_TRUE(GraphRegistry::Contains(name));
    panel.SetAddToRot(false);
    EXPECT_FALSE(GraphRegistry::Contains(name));

    QList<TPlayerState> states;
    panel.OnStateChange = [&](QObject*, TPlayerState s) { states << s; };
    panel.Play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel.completed; }, 10000));
    EXPECT_EQ(states, (QList<TPlayerState>{psPlay, psStop}));
}

} // namespace kx
