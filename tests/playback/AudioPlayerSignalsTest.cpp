#include <QMutex>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include "tests/support/TestMedia.h"
#include "playback/KXAudioPlayer.h"
#include "tests/support/FakeSink.h"

namespace kx {

namespace {

class AudioPlayerSignalsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        player.SetAudioSinkFactory(SyncFakeSink);
    }
    QString Wav(const QString& name, double seconds)
    {
        const QString path = dir.filePath(name);
        TestMedia::WavFormat format;
        format.rate = 8000;
        format.channels = 1;
        format.frames = static_cast<int64_t>(seconds * format.rate);
        EXPECT_TRUE(TestMedia::WriteWav(path, format, TestMedia::Sine(440, 0.5, format.rate)));
        return path;
    }
    // Handlers and signals write to one log, so that their order shows.
    void LogBoth()
    {
        player.OnStateChange = [this](QObject*, TPlayerState s) { log << QStringLiteral("on state %1").arg(int(s)); };
        player.OnMediaLoaded = [this](QObject*) { log << "on loaded"; };
        player.OnMediaCleared = [this](QObject*) { log << "on cleared"; };
        player.OnComplete = [this](QObject*) { log << "on complete"; };
        QObject::connect(&player, &TKXCommonAudioPlayer::stateChange, &player,
                         [this](TPlayerState s) { log << QStringLiteral("state %1").arg(int(s)); });
        QObject::connect(&player, &TKXCommonAudioPlayer::mediaLoaded, &player, [this] { log << "loaded"; });
        QObject::connect(&player, &TKXCommonAudioPlayer::mediaCleared, &player, [this] { log << "cleared"; });
        QObject::connect(&player, &TKXCommonAudioPlayer::complete, &player, [this] { log << "complete"; });
    }

    QTemporaryDir dir;
    TKXAudioFilePlayer player;
    QStringList log;
};

constexpr int64_t kSecond = kUnitsPerSecond;

} // namespace

TEST_F(AudioPlayerSignalsTest, everySignalFollowsItsHandlerWithTheSameArguments)
{
    LogBoth();
    QSignalSpy durations(&player, &TKXCommonAudioPlayer::durationChanged);
    QSignalSpy names(&player, &TKXAudioFilePlayer::fileNameChanged);
    const QString path = Wav("tone.wav", 1.0);
    ASSERT_TRUE(player.LoadMedia(path));
    EXPECT_EQ(log, (QStringList{"on state 1", "state 1", "on state 3", "state 3", "on loaded", "loaded"}));
    ASSERT_EQ(durations.count(), 1);
    EXPECT_EQ(durations[0][0].toLongLong(), player.Duration());
    EXPECT_EQ(player.DurationTime(), MediaTime(player.Duration()));
    ASSERT_EQ(names.count(), 1);
    EXPECT_EQ(names[0][0].toString(), path);

    log.clear();
    player.GoToEnd();
    EXPECT_EQ(log, (QStringList{"on complete", "complete"}));

    log.clear();
    player.ClearMedia();
    EXPECT_EQ(log, (QStringList{"on cleared", "cleared", "on state 1", "state 1"}));
    EXPECT_EQ(durations.last()[0].toLongLong(), 0);
    EXPECT_EQ(names.last()[0].toString(), QString());
}

TEST_F(AudioPlayerSignalsTest, signalsNeedNoHandler)
{
    player.SetUpdateInterval(20);
    QSignalSpy times(&player, &TKXCommonAudioPlayer::timeUpdate);
    QSignalSpy states(&player, &TKXCommonAudioPlayer::stateChange);
    QSignalSpy completes(&player, &TKXCommonAudioPlayer::complete);
    ASSERT_TRUE(player.LoadMedia(Wav("short.wav", 0.4)));
    player.Play();
    ASSERT_TRUE(completes.wait(10000));
    EXPECT_GT(times.count(), 0);
    for (const auto& args : times)
        EXPECT_LE(args[0].toLongLong(), player.Duration());
    QList<TPlayerState> seen;
    for (const auto& args : states)
        seen << args[0].value<TPlayerState>();
    EXPECT_EQ(seen, (QList<TPlayerState>{psClosed, psStop, psPlay, psStop}));
}

TEST_F(AudioPlayerSignalsTest, propertiesReadAndWriteThroughTheSetters)
{
    EXPECT_TRUE(player.setProperty("volume", -100));
    EXPECT_EQ(player.property("volume").toInt(), 0); // clamped as SetVolume does
    player.setProperty("volume", -4000);
    EXPECT_EQ(player.Volume(), -4000);
    player.setProperty("updateInterval", 75);
    EXPECT_EQ(player.UpdateInterval(), 75);
    EXPECT_TRUE(player.HasTimer());
    player.setProperty("preservePitch", true);
    EXPECT_TRUE(player.PreservePitch());
    player.setProperty("addToRot", true);
    EXPECT_TRUE(player.property("addToRot").toBool());
    EXPECT_EQ(player.property("state").toInt(), int(psError));

    ASSERT_TRUE(player.LoadMedia(Wav("tone.wav", 3.0)));
    EXPECT_EQ(player.property("state").toInt(), int(psStop));
    EXPECT_EQ(player.property("duration").toLongLong(), player.Duration());
    EXPECT_EQ(player.property("fileName").toString(), player.FileName());
    player.setProperty("position", qint64(2 * kSecond));
    EXPECT_NEAR(double(player.Position()), double(2 * kSecond), 0.05 * kSecond);
    // Out of range, as for SetPosition: ignored.
    player.setProperty("position", qint64(10 * kSecond));
    EXPECT_NEAR(double(player.property("position").toLongLong()), double(2 * kSecond), 0.05 * kSecond);

    // The typed overloads are the same seeks.
    player.SetPosition(std::chrono::milliseconds(500));
    EXPECT_NEAR(SecondsOf(player.PositionTime()), 0.5, 0.05);
}

TEST_F(AudioPlayerSignalsTest, notifySignalsAreTheOnesThePropertiesName)
{
    const QMetaObject* meta = player.metaObject();
    const auto notifyOf = [&](const char* name) {
        return QString::fromLatin1(meta->property(meta->indexOfProperty(name)).notifySignal().name());
    };
    EXPECT_EQ(notifyOf("state"), "stateChange");
    EXPECT_EQ(notifyOf("position"), "timeUpdate");
    EXPECT_EQ(notifyOf("duration"), "durationChanged");
    EXPECT_EQ(notifyOf("fileName"), "fileNameChanged");
}

// The player raises everything on its own thread; a receiver living on
// another thread gets the typed arguments through the event queue.
TEST_F(AudioPlayerSignalsTest, receiversOnAnotherThreadGetQueuedCalls)
{
    QThread worker;
    worker.start();
    QObject receiver;
    receiver.moveToThread(&worker);
    QList<TPlayerState> states;
    QList<qint64> times;
    bool onWorker = true;
    QMutex lock;
    QObject::connect(&player, &TKXCommonAudioPlayer::stateChange, &receiver, [&](TPlayerState s) {
        QMutexLocker l(&lock);
        onWorker = onWorker && QThread::currentThread() == &worker;
        states << s;
    });
    QObject::connect(&player, &TKXCommonAudioPlayer::timeUpdate, &receiver, [&](qint64 t) {
        QMutexLocker l(&lock);
        onWorker = onWorker && QThread::currentThread() == &worker;
        times << t;
    });
    player.SetUpdateInterval(1000);
    ASSERT_TRUE(player.LoadMedia(Wav("tone.wav", 2.0)));
    player.SetPosition(kSecond);
    player.Pause(); // stopping the updates reports the position once
    const auto received = [&] {
        QMutexLocker l(&lock);
        return states.size() == 3 && times.size() == 1;
    };
    const bool arrived = QTest::qWaitFor(received, 5000);
    worker.quit();
    worker.wait();
    ASSERT_TRUE(arrived);
    EXPECT_TRUE(onWorker);
    EXPECT_EQ(states, (QList<TPlayerState>{psClosed, psStop, psPause}));
    EXPECT_NEAR(double(times[0]), double(kSecond), 0.05 * kSecond);
}

} // namespace kx
