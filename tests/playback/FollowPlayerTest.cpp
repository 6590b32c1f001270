#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include "tests/support/TestMedia.h"
#include "peaks/KXPeakBuilder.h"
#include "playback/FollowPlayer.h"
#include "playback/KXAudioPlayer.h"
#include "viewers/KXAudioPeakViewer.h"
#include "tests/support/FakeSink.h"

namespace kx {

namespace {

// A viewer showing the peaks of a WAV that a player has loaded.
class FollowPlayerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        media = dir.filePath("tone.wav");
        TestMedia::WavFormat format;
        format.rate = 8000;
        format.channels = 1;
        format.frames = 4 * format.rate;
        ASSERT_TRUE(TestMedia::WriteWav(media, format, TestMedia::Sine(440, 0.5, format.rate)));

        builder.SetSaveToPeakFiles(false);
        QSignalSpy complete(&builder, &TKXPeakBuilder::peakComplete);
        ASSERT_TRUE(builder.AppendFilename(media));
        ASSERT_TRUE(builder.StartBuild());
        ASSERT_TRUE(complete.count() > 0 || complete.wait(30000));
        TMemoryStream* stream = nullptr;
        ASSERT_TRUE(builder.GetStreamByIndex(0, stream));
        viewer.resize(800, 200);
        ASSERT_TRUE(viewer.LoadFromStream(stream));

        player.SetAudioSinkFactory(SyncFakeSink);
        ASSERT_TRUE(player.LoadMedia(media));
    }
    // The column the viewer gives a position in 100-ns units.
    int ColumnAt(int64_t time) const { return int(viewer.Model().ColumnAtMs(time / 10000)); }

    QTemporaryDir dir;
    QString media;
    TKXPeakBuilder builder;
    TKXAudioPeakViewer viewer;
    TKXAudioFilePlayer player;
};

} // namespace

TEST_F(FollowPlayerTest, thePointerFollowsThePlayersPosition)
{
    const QMetaObject::Connection link = FollowPlayer(&viewer, &player);
    ASSERT_TRUE(link);
    // Without time updates the pointer could not move: the player gets them.
    EXPECT_EQ(player.UpdateInterval(), kFollowInterval);

    player.SetPosition(MediaTime(std::chrono::seconds(1)));
    player.Pause(); // stopping the updates reports the position once
    const int column = ColumnAt(player.Position());
    ASSERT_GT(column, 0);
    ASSERT_LT(column, viewer.ClientWidth());
    EXPECT_EQ(viewer.PointerX(), column);

    // Playing moves it on.
    player.Play();
    EXPECT_TRUE(QTest::qWaitFor([&] { return viewer.PointerX() > column; }, 5000));
    player.Pause();

    // Disconnected, it stays where it is.
    QObject::disconnect(link);
    const int last = viewer.PointerX();
    player.SetPosition(MediaTime(std::chrono::milliseconds(2500)));
    player.Pause();
    EXPECT_EQ(viewer.PointerX(), last);
}

TEST_F(FollowPlayerTest, anIntervalOfTheOwnersIsKeptAndNullsAreRefused)
{
    player.SetUpdateInterval(250);
    EXPECT_TRUE(FollowPlayer(&viewer, &player));
    EXPECT_EQ(player.UpdateInterval(), 250);
    EXPECT_FALSE(FollowPlayer(nullptr, &player));
    EXPECT_FALSE(FollowPlayer(&viewer, nullptr));
}

} // namespace kx
