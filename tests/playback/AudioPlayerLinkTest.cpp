#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <memory>

#include "FakePanel.h"
#include "tests/support/TestMedia.h"
#include "playback/KXAudioPlayer.h"
#include "playback/KXPlayerControls.h"
#include "tests/support/FakeSink.h"

namespace kx {

namespace {

const TButtonSet kTransport{btGoToStart, btFR, btStepBack, btStop, btPlay, btStepFrwd, btFF, btGoToEnd};
const TButtonSet kUnserved{btMarkIn, btMarkOut, btPlaySel, btCapture};

// A bar and a file player, linked by the tests.
class AudioPlayerLinkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        player = std::make_unique<TKXAudioFilePlayer>();
        player->SetAudioSinkFactory(SyncFakeSink);
    }
    QString Wav(double seconds)
    {
        const QString path = dir.filePath(QStringLiteral("tone%1.wav").arg(++files));
        TestMedia::WavFormat format;
        format.rate = 8000;
        format.channels = 1;
        format.frames = static_cast<int64_t>(seconds * format.rate);
        EXPECT_TRUE(TestMedia::WriteWav(path, format, TestMedia::Sine(440, 0.5, format.rate)));
        return path;
    }
    void Click(TPLBtnType b) { bar.Button(b)->click(); }
    TButtonSet Enabled() const
    {
        TButtonSet set;
        for (int i = 0; i < kButtonCount; ++i) {
            const auto b = static_cast<TPLBtnType>(i);
            if (bar.Button(b) && bar.Button(b)->isEnabled())
                set.Include(b);
        }
        return set;
    }

    QTemporaryDir dir;
    int files = 0;
    TKXPlayerControls bar;
    std::unique_ptr<TKXAudioFilePlayer> player;
};

} // namespace

TEST_F(AudioPlayerLinkTest, linkingAPlayerWithMediaEnablesWhatItServes)
{
    ASSERT_TRUE(player->LoadMedia(Wav(2.0)));
    QSignalSpy links(&bar, &TKXPlayerControls::linkChanged);
    QSignalSpy enabled(&bar, &TKXPlayerControls::controlsEnabledChanged);
    bar.SetAudioPlayer(player.get());
    EXPECT_EQ(links.count(), 1);
    EXPECT_EQ(bar.AudioPlayer(), player.get());
    EXPECT_EQ(bar.property("audioPlayer").value<TKXCommonAudioPlayer*>(), player.get());
    EXPECT_TRUE(bar.Enabled());
    ASSERT_EQ(enabled.count(), 1);
    EXPECT_TRUE(enabled[0][0].toBool());
    EXPECT_EQ(Enabled(), kTransport);
    EXPECT_EQ(bar.EnabledButtons(), kTransport);
}

TEST_F(AudioPlayerLinkTest, theBarFollowsThePlayersMedia)
{
    bar.SetAudioPlayer(player.get());
    EXPECT_FALSE(bar.Enabled());
    EXPECT_TRUE(Enabled().Empty());
    ASSERT_TRUE(player->LoadMedia(Wav(1.0)));
    EXPECT_TRUE(bar.Enabled());
    EXPECT_EQ(Enabled(), kTransport);
    Click(btPlay); // no handler of the owner's is needed
    EXPECT_EQ(player->State(), psPlay);
    player->ClearMedia();
    EXPECT_FALSE(bar.Enabled());
    EXPECT_TRUE(Enabled().Empty());
}

TEST_F(AudioPlayerLinkTest, buttonsDriveThePlayerAndItsStatesPressThem)
{
    bar.SetFullStateUpdate(true);
    bar.SetAudioPlayer(player.get());
    // The owner's handlers are left alone and still hear the clicks.
    QList<TControlOption> reported;
    bar.OnControlEvent = [&](QObject*, TControlOption o, TSpeedType) { reported << o; };
    TPlayerState ownerSaw = psError;
    player->OnStateChange = [&](QObject*, TPlayerState s) { ownerSaw = s; };
    ASSERT_TRUE(player->LoadMedia(Wav(25.0))); // long enough for a step forward

    Click(btPlay);
    EXPECT_EQ(player->State(), psPlay);
    EXPECT_EQ(ownerSaw, psPlay);
    EXPECT_TRUE(bar.Button(btPlay)->Down());
    Click(btStop); // the stop button pauses, as for a panel
    EXPECT_EQ(player->State(), psPause);
    Click(btFF);
    EXPECT_EQ(player->State(), psFF);
    EXPECT_EQ(player->Speed(), 1);
    EXPECT_TRUE(bar.Button(btFF)->Down());
    Click(btFR); // against the running direction at the first speed: stop
    EXPECT_EQ(player->State(), psStop);
    EXPECT_EQ(bar.Speed(), 0);
    EXPECT_TRUE(bar.Button(btStop)->Down());
    Click(btStepFrwd);
    EXPECT_NEAR(double(player->Position()), double(TKXCommonAudioPlayer::kStep), 0.05 * kUnitsPerSecond);
    EXPECT_EQ(reported, (QList<TControlOption>{coPlay, coPause, coFastForward, coFastRewind, coStepForward}));

    // A state the player reaches by itself reaches the bar too.
    Click(btPlay);
    ASSERT_TRUE(bar.Button(btPlay)->Down());
    player->Stop();
    EXPECT_TRUE(bar.Button(btStop)->Down());
    EXPECT_FALSE(bar.Button(btPlay)->Down());
}

TEST_F(AudioPlayerLinkTest, unlinkingGivesTheBarBack)
{
    // An owner drives something else through the bar by hand.
    bar.SetEnabled(true);
    int clicks = 0;
    bar.OnControlEvent = [&](QObject*, TControlOption, TSpeedType) { ++clicks; };
    ASSERT_TRUE(player->LoadMedia(Wav(2.0)));
    bar.SetAudioPlayer(player.get());
    EXPECT_FALSE(Enabled().Contains(btCapture));
    QSignalSpy links(&bar, &TKXPlayerControls::linkChanged);
    bar.setProperty("audioPlayer", QVariant::fromValue<TKXCommonAudioPlayer*>(nullptr));
    EXPECT_EQ(links.count(), 1);
    EXPECT_EQ(bar.AudioPlayer(), nullptr);
    EXPECT_TRUE(bar.Enabled());
    EXPECT_EQ(Enabled(), kAllButtons - TButtonSet{btPlaySel});
    Click(btPlay);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(player->State(), psStop); // no longer driven
    player->Play();
    player->Stop();
    EXPECT_FALSE(bar.Button(btStop)->Down()); // nor followed
}

TEST_F(AudioPlayerLinkTest, aDestroyedPlayerUnlinksItself)
{
    ASSERT_TRUE(player->LoadMedia(Wav(2.0)));
    bar.SetAudioPlayer(player.get());
    ASSERT_TRUE(bar.Enabled());
    QSignalSpy links(&bar, &TKXPlayerControls::linkChanged);
    player.reset();
    EXPECT_EQ(links.count(), 1);
    EXPECT_EQ(bar.AudioPlayer(), nullptr);
    EXPECT_FALSE(bar.Enabled()); // as before the link
    EXPECT_TRUE(Enabled().Empty());
    // Clicks find nothing to drive.
    bar.SetEnabled(true);
    Click(btPlay);
    EXPECT_EQ(Enabled(), kAllButtons - TButtonSet{btPlaySel});
}

TEST_F(AudioPlayerLinkTest, thebarDrivesOnePlayerAtATime)
{
    FakePanel panel;
    panel.Report(psStop);
    bar.SetPlayerLib(&panel);
    bar.SetAudioPlayer(player.get());
    EXPECT_EQ(bar.PlayerLib(), nullptr);
    EXPECT_FALSE(static_cast<bool>(panel.StateHook));
    bar.SetPlayerLib(&panel);
    EXPECT_EQ(bar.AudioPlayer(), nullptr);
    ASSERT_TRUE(player->LoadMedia(Wav(1.0)));
    EXPECT_EQ(player->State(), psStop);
    Click(btPlay);
    EXPECT_EQ(panel.calls, QStringList{"Play"});
    EXPECT_EQ(player->State(), psStop);
}

} // namespace kx
