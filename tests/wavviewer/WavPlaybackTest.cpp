#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "platform/widgets/HorzScrollBar.h"
#include "platform/widgets/MessageBox.h"
#include "tests/support/TestMedia.h"
#include "wavviewer/WavViewer.h"
#include "wavviewer/WaveDevice.h"

namespace kx {

namespace {

// Playback runs against a fake sink that keeps real time; no sound card needed.
class WavPlaybackTest : public ::testing::Test
{
protected:
    void SetUp() override { WaveDevice::SetForceFakeAudioSink(true); }

    // A viewer on a mono 16-bit tone, peaks built for seconds over width columns.
    std::unique_ptr<TWavViewer> Viewer(double fileSeconds, int seconds, int width)
    {
        const QString path = dir.filePath(QStringLiteral("tone%1.wav").arg(++files));
        TestMedia::WavFormat format{8000, 1, 16, static_cast<int64_t>(fileSeconds * 8000)};
        EXPECT_TRUE(TestMedia::WriteWav(path, format, TestMedia::Sine(440, 0.5, 8000)));
        auto v = std::make_unique<TWavViewer>();
        v->resize(v->InfoWidth() + width, 200);
        v->show();
        QApplication::processEvents();
        v->SetSecondsToShow(static_cast<uint8_t>(seconds));
        v->SetSavePeaks(false);
        v->SetPlayingInterval(20);
        v->SetFileName(path);
        EXPECT_TRUE(v->BuildPeaks());
        v->OnPlaying = [this](QObject*, int id, int pos) {
            EXPECT_EQ(id, TWavViewer::PlayTimerId);
            ticks.push_back(pos);
        };
        return v;
    }

    bool Restarted() const
    {
        for (size_t i = 1; i < ticks.size(); ++i)
            if (ticks[i] + 100 < ticks[i - 1])
                return true;
        return false;
    }

    QTemporaryDir dir;
    int files = 0;
    std::vector<int> ticks;
    ScopedMessageCapture messages;
};

} // namespace

TEST_F(WavPlaybackTest, playsInRealTimeWithAMovingPointerAndStopsAtTheEnd)
{
    auto v = Viewer(0.6, 1, 400);
    std::vector<int> pointer;
    v->OnPlaying = [&](QObject*, int, int pos) {
        ticks.push_back(pos);
        pointer.push_back(v->PointerX());
    };
    QElapsedTimer clock;
    clock.start();
    v->Play(true, 0);
    ASSERT_TRUE(v->MediaOpen());
    EXPECT_EQ(v->PlayMode(), 2);
    EXPECT_TRUE(v->PlayRequested());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !v->PlayTimerActive(); }, 5000));
    EXPECT_GE(clock.elapsed(), 450);
    // The timer stops when the position reaches the length; the device
    // reports the stop when its own end of stream arrives, a moment later.
    EXPECT_TRUE(QTest::qWaitFor([&] { return v->PlayMode() == 1; }, 2000));
    EXPECT_EQ(v->PlayPosition(), v->PlayLength());
    ASSERT_GE(ticks.size(), 3u);
    EXPECT_TRUE(std::is_sorted(ticks.begin(), ticks.end()));
    // The pointer moved across the peak area with the position.
    const int last = *std::max_element(pointer.begin(), pointer.end());
    EXPECT_GT(last, v->InfoWidth() + 200);
    EXPECT_TRUE(v->PlayRequested());
    EXPECT_TRUE(messages.Texts().isEmpty());
}

TEST_F(WavPlaybackTest, autoLoopRestartsUntilStopped)
{
    auto v = Viewer(0.4, 1, 400);
    v->SetAutoLoop(true);
    v->Play(true, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Restarted(); }, 5000));
    EXPECT_EQ(v->PlayMode(), 2);

    v->Stop();
    EXPECT_FALSE(v->PlayRequested());
    EXPECT_FALSE(v->PlayTimerActive());
    EXPECT_EQ(v->PointerX(), 0);
    // The stop's own notification is delivered and must not loop.
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_NE(v->PlayMode(), 2);
    EXPECT_FALSE(v->PlayTimerActive());
}

TEST_F(WavPlaybackTest, pauseAndResumeKeepThePlaceAndTheLoop)
{
    auto v = Viewer(0.8, 1, 400);
    v->PauseResume(); // no device yet: nothing
    EXPECT_FALSE(v->MediaOpen());
    v->SetAutoLoop(true);
    v->Play(true, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->PlayPosition() > 150; }, 5000));
    v->PauseResume();
    EXPECT_EQ(v->PlayMode(), 3);
    EXPECT_FALSE(v->PlayRequested());
    EXPECT_FALSE(v->PlayTimerActive());
    const int paused = v->PlayPosition();
    QTest::qWait(150);
    EXPECT_NEAR(v->PlayPosition(), paused, 5);

    v->PauseResume();
    EXPECT_EQ(v->PlayMode(), 2);
    EXPECT_TRUE(v->PlayRequested());
    EXPECT_TRUE(v->PlayTimerActive());
    // Play while playing changes nothing; the loop still follows the resumed play.
    v->Play(true, 0);
    EXPECT_GE(v->PlayPosition(), paused);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Restarted(); }, 5000));

    v->Stop();
    v->PauseResume(); // stopped: nothing
    EXPECT_EQ(v->PlayMode(), 1);
}

TEST_F(WavPlaybackTest, playingIntervalChangesTakeEffectWhilePlaying)
{
    auto v = Viewer(3.0, 3, 400);
    v->SetPlayingInterval(60000);
    v->Play(true, 0);
    ASSERT_TRUE(v->PlayTimerActive());
    QApplication::processEvents();
    EXPECT_TRUE(ticks.empty());
    v->SetPlayingInterval(10);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks.size() >= 3; }, 2000));
    v->Stop();
}

TEST_F(WavPlaybackTest, pointerPagesTheViewUnlessScrolledAway)
{
    // 3 s at one second over 100 columns: 300 records.
    auto v = Viewer(3.0, 1, 100);
    ASSERT_EQ(v->PeakCount(), 300);
    EXPECT_EQ(v->LargeChangeSeconds(), 1);
    v->Play(true, 0);
    EXPECT_TRUE(v->FollowPlay());
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->ScrollPos() > 0; }, 5000));
    EXPECT_EQ(v->ScrollPos(), std::max<int64_t>(v->PeakAtMs(1000), 10));

    // The user scrolls back once the pointer is well past the first page: it
    // is then out of view and no longer pages.
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->PlayPosition() > 1300; }, 5000));
    v->ScrollBar()->Request(SB_LEFT);
    EXPECT_EQ(v->ScrollPos(), 0);
    EXPECT_FALSE(v->FollowPlay());
    const size_t seen = ticks.size();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks.size() >= seen + 5; }, 5000));
    EXPECT_EQ(v->ScrollPos(), 0);
    v->Stop();
}

TEST_F(WavPlaybackTest, startOutsideTheViewIsCentred)
{
    auto v = Viewer(3.0, 1, 100);
    v->SetPosition(1500);
    v->Play(true, 0);
    EXPECT_EQ(v->ScrollPos(), v->PeakAtMs(1500) - 50);
    EXPECT_NEAR(v->PlayPosition(), 1500, 30);
    v->Stop();
    // A start beyond the end does not play and says nothing.
    v->Play(false, 10000);
    EXPECT_NE(v->PlayMode(), 2);
    EXPECT_FALSE(v->PlayTimerActive());
    EXPECT_TRUE(messages.Texts().isEmpty());
}

TEST_F(WavPlaybackTest, aFileThatCannotPlayShowsTheMessage)
{
    auto v = Viewer(0.5, 1, 100);
    QFile::remove(v->FileName());
    v->Play(true, 0);
    EXPECT_FALSE(v->MediaOpen());
    EXPECT_EQ(messages.Texts(), QStringList({"Media can not be open"}));
    EXPECT_EQ(v->PlayPosition(), 0);
    EXPECT_EQ(v->PlayMode(), 0);
}

TEST_F(WavPlaybackTest, aNewFileClosesTheDeviceAndIgnoresItsLateNotices)
{
    auto v = Viewer(2.0, 2, 100);
    const QString first = v->FileName();
    v->SetAutoLoop(true);
    v->Play(true, 0);
    ASSERT_EQ(v->PlayMode(), 2);
    const QString second = dir.filePath("second.wav");
    ASSERT_TRUE(TestMedia::WriteWav(second, {8000, 2, 8, 8000}, TestMedia::Sine(220, 0.3, 8000)));
    v->SetFileName(second);
    EXPECT_FALSE(v->MediaOpen());
    QApplication::processEvents();
    QApplication::processEvents();
    // The old device's aborted play must not start the new file.
    EXPECT_FALSE(v->MediaOpen());
    EXPECT_FALSE(v->PlayTimerActive());
}

} // namespace kx
