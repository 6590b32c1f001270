#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include "tests/support/TestMedia.h"
#include "platform/GraphRegistry.h"
#include "platform/NativeName.h"
#include "playback/KXAudioPlayer.h"
#include "playback/KXCommonPlayer.h"
#include "playback/KXPlayerControls.h"
#include "tests/support/FakeSink.h"

namespace kx {

namespace {

// Records everything a player reports, in order.
struct Recorder {
    QStringList log;
    std::vector<int64_t> times;
    void Attach(TKXAudioFilePlayer& p)
    {
        p.OnStateChange = [this](QObject*, TPlayerState s) { log << QStringLiteral("state %1").arg(int(s)); };
        p.OnMediaLoaded = [this](QObject*) { log << QStringLiteral("loaded"); };
        p.OnMediaCleared = [this](QObject*) { log << QStringLiteral("cleared"); };
        p.OnComplete = [this](QObject*) { log << QStringLiteral("complete"); };
        p.OnTimeUpdate = [this](QObject*, int64_t t) { times.push_back(t); };
    }
};

QString StateEntry(TPlayerState s)
{
    return QStringLiteral("state %1").arg(int(s));
}

class AudioPlayerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        player.SetAudioSinkFactory(SyncFakeSink);
    }
    QString Wav(const QString& name, double seconds, uint32_t rate = 8000)
    {
        const QString path = dir.filePath(name);
        TestMedia::WavFormat format;
        format.rate = rate;
        format.channels = 1;
        format.frames = static_cast<int64_t>(seconds * rate);
        EXPECT_TRUE(TestMedia::WriteWav(path, format, TestMedia::Sine(440, 0.5, rate)));
        return path;
    }

    QTemporaryDir dir;
    Recorder rec;
    TKXAudioFilePlayer player;
};

constexpr int64_t kSecond = kUnitsPerSecond;

} // namespace

TEST(AudioPlayerRules, VolumeIsStoredAsAttenuationWithinItsRange)
{
    TKXAudioFilePlayer p;
    p.SetVolume(-100);
    EXPECT_EQ(p.Volume(), 0);
    p.SetVolume(-6000);
    EXPECT_EQ(p.Volume(), -5000);
    p.SetVolume(-300);
    EXPECT_EQ(p.Volume(), -300);
    p.SetVolume(-4000);
    EXPECT_EQ(p.Volume(), -4000);
    p.SetVolume(500);
    EXPECT_EQ(p.Volume(), 0);

    EXPECT_NEAR(TKXCommonAudioPlayer::LinearVolume(-2000), 0.1, 1e-12);
    EXPECT_DOUBLE_EQ(TKXCommonAudioPlayer::LinearVolume(-10000), 0.0);
}

TEST(AudioPlayerRules, UpdateIntervalKeepsAtMostOneTimer)
{
    TKXAudioFilePlayer p;
    EXPECT_FALSE(p.HasTimer());
    p.SetUpdateInterval(100);
    p.SetUpdateInterval(200);
    const auto timers = p.findChildren<QTimer*>();
    ASSERT_EQ(timers.size(), 1);
    EXPECT_EQ(timers[0]->interval(), 200);
    EXPECT_FALSE(timers[0]->isActive());
    p.SetUpdateInterval(0);
    EXPECT_TRUE(p.findChildren<QTimer*>().isEmpty());

    TKXAudioFilePlayer designed;
    designed.SetDesigning(true);
    designed.SetUpdateInterval(100);
    EXPECT_EQ(designed.UpdateInterval(), 100);
    EXPECT_FALSE(designed.HasTimer());
}

TEST_F(AudioPlayerTest, WithoutAGraphTransportIsIgnoredAndClearReportsClosed)
{
    rec.Attach(player);
    player.SetUpdateInterval(50);
    EXPECT_EQ(player.State(), psError);
    player.Play();
    player.Pause();
    player.Stop();
    player.GoToEnd();
    player.SetSpeed(2);
    player.StepForward();
    player.SetPosition(100);
    EXPECT_TRUE(rec.log.isEmpty());
    EXPECT_TRUE(rec.times.empty());
    EXPECT_EQ(player.Position(), 0);
    player.ClearMedia();
    EXPECT_EQ(rec.log, QStringList{StateEntry(psClosed)});
}

TEST_F(AudioPlayerTest, MissingAndUnplayableFilesFailToLoad)
{
    rec.Attach(player);
    EXPECT_FALSE(player.LoadMedia(dir.filePath("absent.wav")));
    EXPECT_EQ(player.State(), psClosed);
    EXPECT_FALSE(rec.log.contains("loaded"));

    const QString junk = dir.filePath("junk.wav");
    QFile f(junk);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, '\x5a'));
    f.close();
    rec.log.clear();
    EXPECT_FALSE(player.LoadMedia(junk));
    EXPECT_EQ(player.State(), psError);
    EXPECT_EQ(player.Duration(), 0);
    EXPECT_TRUE(player.FileName().isEmpty());
    EXPECT_FALSE(rec.log.contains("loaded"));
    // A WAV with a LIST chunk shorter than its type: the framework's parser
    // would "play" it forever.
    {
        QFile w(Wav("shortlist.wav", 0.2));
        ASSERT_TRUE(w.open(QIODevice::ReadWrite));
        QByteArray bytes = w.readAll();
        bytes.insert(36, QByteArray("LIST\x03\0\0\0abc\0", 12));
        const quint32 riff = quint32(bytes.size() - 8);
        bytes.replace(4, 4, QByteArray(reinterpret_cast<const char*>(&riff), 4));
        w.resize(0);
        w.seek(0);
        w.write(bytes);
    }
    EXPECT_FALSE(player.LoadMedia(dir.filePath("shortlist.wav")));
    EXPECT_FALSE(rec.log.contains("loaded"));
    // A good file loads again after a failure.
    EXPECT_TRUE(player.LoadMedia(Wav("ok.wav", 0.5)));
    EXPECT_EQ(player.State(), psStop);
}

TEST_F(AudioPlayerTest, LoadReportsStatesDurationAndFileName)
{
    rec.Attach(player);
    const QString path = Wav("tone.wav", 3.0);
    ASSERT_TRUE(player.LoadMedia(path));
    EXPECT_EQ(rec.log, (QStringList{StateEntry(psClosed), StateEntry(psStop), "loaded"}));
    EXPECT_NEAR(double(player.Duration()), double(3 * kSecond), 0.01 * kSecond);
    EXPECT_EQ(player.FileName(), path);
    EXPECT_EQ(player.Position(), 0);

    rec.log.clear();
    player.ClearMedia();
    EXPECT_EQ(rec.log, (QStringList{"cleared", StateEntry(psClosed)}));
    EXPECT_TRUE(player.FileName().isEmpty());
    EXPECT_EQ(player.Duration(), 0);
    EXPECT_EQ(player.Graph(), nullptr);
}

TEST_F(AudioPlayerTest, LoadsAFileNamedInBytesThatAreNotUtf8)
{
    const QByteArray plain = QFile::encodeName(Wav("tone.wav", 1.0));
    const QString raw = DecodeNativeName(QFile::encodeName(dir.path()) + "/caf\xe9 \xff.wav");
    ASSERT_EQ(rename(plain.constData(), EncodeNativeName(raw).constData()), 0);
    ASSERT_TRUE(player.LoadMedia(raw));
    EXPECT_NEAR(double(player.Duration()), double(kSecond), 0.01 * kSecond);
    player.ClearMedia();
    // Removed by its bytes: the folder's own clean-up cannot spell the name.
    EXPECT_EQ(unlink(EncodeNativeName(raw).constData()), 0);
}

TEST_F(AudioPlayerTest, SeeksAndStepsMoveThePosition)
{
    rec.Attach(player);
    ASSERT_TRUE(player.LoadMedia(Wav("long.wav", 25.0)));
    const int64_t d = player.Duration();

    player.SetPosition(3 * kSecond);
    EXPECT_TRUE(QTest::qWaitFor([&] { return player.Position() == 3 * kSecond; }, 5000));
    player.SetPosition(d); // equal to Duration: ignored
    player.SetPosition(-1);
    EXPECT_EQ(player.Position(), 3 * kSecond);

    player.StepBack(); // 3 s - 10 s clamps to the start
    EXPECT_TRUE(QTest::qWaitFor([&] { return player.Position() == 0; }, 5000));

    player.StepForward(); // 10 s is below 25 s - 10 s
    EXPECT_TRUE(QTest::qWaitFor([&] { return player.Position() == 10 * kSecond; }, 5000));
    EXPECT_EQ(player.State(), psStop);
    EXPECT_FALSE(rec.log.contains("complete"));

    rec.log.clear();
    player.StepForward(); // 20 s is not below 15 s: stops and completes in place
    EXPECT_EQ(rec.log, QStringList{"complete"});
    EXPECT_EQ(player.Position(), 10 * kSecond);
    EXPECT_EQ(player.State(), psStop);

    rec.log.clear();
    player.GoToEnd();
    EXPECT_EQ(rec.log, QStringList{"complete"});
    player.GoToStart();
    EXPECT_TRUE(QTest::qWaitFor([&] { return player.Position() == 0; }, 5000));
}

// A panel that drives the audio player and reports the player's states as
// its own, so that a transport bar can be linked to the player.
class AudioPanel : public TKXCommonPlayer
{
public:
    explicit AudioPanel(TKXAudioFilePlayer& player) : player_(player)
    {
        player_.OnStateChange = [this](QObject*, TPlayerState s) { ChangeState(s); };
        ChangeState(player_.State());
    }
    int plays = 0;

    void CaptureToFile(const QString&) override {}
    void GoToEnd() override { player_.GoToEnd(); }
    void GoToStart() override { player_.GoToStart(); }
    void Stop() override { player_.Stop(); }
    void Pause() override { player_.Pause(); }
    void Play() override
    {
        ++plays;
        player_.Play();
    }
    void PlaySelection(bool) override {}
    int64_t Duration() override { return player_.Duration(); }
    void SetSpeed(TSpeedType speed) override { player_.SetSpeed(speed); }
    int64_t Position() override { return player_.Position(); }
    void SetMarkIn(bool, double&) override {}
    void SetMarkOut(bool, double&) override {}
    bool HasSelection() override { return false; }
    void StepBack() override { player_.StepBack(); }
    void StepForward() override { player_.StepForward(); }

protected:
    void WindowProc(uint32_t, uintptr_t, intptr_t) override {}

private:
    TKXAudioFilePlayer& player_;
};

TEST_F(AudioPlayerTest, StepForwardNearTheEndWhilePlayingReportsTheStop)
{
    ASSERT_TRUE(player.LoadMedia(Wav("end.wav", 3.0)));
    player.SetUpdateInterval(50);
    rec.Attach(player);
    player.Play();
    player.StepForward(); // 10 s is past 3 s - 10 s: playback ends here
    EXPECT_EQ(rec.log, (QStringList{StateEntry(psPlay), StateEntry(psStop), "complete"}));
    EXPECT_EQ(player.State(), psStop);
    EXPECT_FALSE(player.TimerActive());

    // A bar linked through a panel shows the stop and plays on the next click.
    AudioPanel panel(player);
    TKXPlayerControls bar;
    bar.SetFullStateUpdate(true);
    bar.SetPlayerLib(&panel);
    panel.Play();
    ASSERT_TRUE(bar.Button(btPlay)->Down());
    bar.Button(btStepFrwd)->click();
    EXPECT_EQ(panel.State(), psStop);
    EXPECT_TRUE(bar.Button(btStop)->Down());
    bar.Button(btPlay)->click();
    EXPECT_EQ(panel.plays, 2);
    EXPECT_EQ(player.State(), psPlay);
}

TEST_F(AudioPlayerTest, SpeedStepsReportFastStatesAndPause)
{
    rec.Attach(player);
    ASSERT_TRUE(player.LoadMedia(Wav("speed.wav", 5.0)));
    rec.log.clear();
    player.SetSpeed(1);
    EXPECT_EQ(player.State(), psFF);
    EXPECT_EQ(player.Speed(), 1);
    player.SetSpeed(-1);
    EXPECT_EQ(player.State(), psFR);
    EXPECT_EQ(player.Speed(), -1);
    player.SetSpeed(3);
    EXPECT_EQ(player.State(), psFF);
    player.SetSpeed(5); // outside the steps: nothing
    EXPECT_EQ(player.Speed(), 3);
    EXPECT_EQ(player.State(), psFF);
    player.SetSpeed(0);
    EXPECT_EQ(player.State(), psPause);
    EXPECT_EQ(player.Speed(), 0);
    EXPECT_EQ(rec.log, (QStringList{StateEntry(psFF), StateEntry(psFR), StateEntry(psFF), StateEntry(psPause)}));
    player.SetSpeed(2);
    player.Pause();
    EXPECT_EQ(player.Speed(), 0);
}

namespace {

// What reaches the audio output: an appsink that does not wait for the
// clock, so the whole stream arrives at once; running time says how long
// the output would take to play, so frequencies are the ones a listener hears.
struct OutputTap {
    GstElement* sink = nullptr;

    GstElement* Make()
    {
        sink = gst_element_factory_make("appsink", nullptr);
        GstCaps* caps = gst_caps_from_string("audio/x-raw,format=S16LE,channels=1,layout=interleaved");
        g_object_set(sink, "caps", caps, "sync", FALSE, nullptr);
        gst_caps_unref(caps);
        return sink;
    }

    // Zero crossings over running time of everything until the end of stream.
    double HeardFrequency() const
    {
        int64_t crossings = 0;
        GstClockTime runningTime = 0;
        int lastSign = 0;
        while (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 5 * GST_SECOND)) {
            GstBuffer* buffer = gst_sample_get_buffer(sample);
            const GstSegment* segment = gst_sample_get_segment(sample);
            const GstClockTime pts = GST_BUFFER_PTS(buffer);
            runningTime += gst_segment_to_running_time(segment, GST_FORMAT_TIME, pts + GST_BUFFER_DURATION(buffer)) -
                           gst_segment_to_running_time(segment, GST_FORMAT_TIME, pts);
            GstMapInfo map;
            if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
                for (gsize i = 0; i + 1 < map.size; i += 2) {
                    const auto v = static_cast<int16_t>(map.data[i] | map.data[i + 1] << 8);
                    const int sign = v > 0 ? 1 : v < 0 ? -1 : 0;
                    if (sign != 0 && lastSign != 0 && sign != lastSign)
                        ++crossings;
                    if (sign != 0)
                        lastSign = sign;
                }
                gst_buffer_unmap(buffer, &map);
            }
            gst_sample_unref(sample);
        }
        if (runningTime == 0)
            return 0;
        return static_cast<double>(crossings) / 2.0 / (static_cast<double>(runningTime) / GST_SECOND);
    }
};

} // namespace

TEST_F(AudioPlayerTest, PreservePitchKeepsAToneAtItsPitchWhenPlayedFaster)
{
    OutputTap tap;
    player.SetAudioSinkFactory([&tap] { return tap.Make(); });
    EXPECT_FALSE(player.PreservePitch());
    const QString tone = dir.filePath("tone.wav");
    ASSERT_TRUE(TestMedia::WriteWav(tone, {44100, 1, 16, 44100}, TestMedia::Sine(1000, 0.5, 44100)));
    ASSERT_TRUE(player.LoadMedia(tone));

    player.SetSpeed(2);
    EXPECT_NEAR(tap.HeardFrequency(), 2000, 100);

    // Switched on with media loaded: the graph keeps its place and state.
    player.Pause();
    player.SetPosition(kSecond / 4);
    player.SetPreservePitch(true);
    EXPECT_EQ(player.State(), psPause);
    EXPECT_NEAR(double(player.Position()), double(kSecond / 4), double(kSecond / 100));
    player.SetSpeed(2);
    EXPECT_NEAR(tap.HeardFrequency(), 1000, 50);

    // A new graph takes the setting too; off again plays faster and higher.
    ASSERT_TRUE(player.LoadMedia(tone));
    player.SetSpeed(2);
    EXPECT_NEAR(tap.HeardFrequency(), 1000, 50);
    player.SetPreservePitch(false);
    player.Stop();
    player.SetSpeed(2);
    EXPECT_NEAR(tap.HeardFrequency(), 2000, 100);
}

TEST_F(AudioPlayerTest, EndOfMediaStopsRewindsThenCompletes)
{
    ASSERT_TRUE(player.LoadMedia(Wav("short.wav", 0.3)));
    rec.Attach(player);
    bool completed = false;
    int64_t positionAtComplete = -1;
    TPlayerState stateAtComplete = psError;
    player.OnComplete = [&](QObject*) {
        completed = true;
        rec.log << "complete";
        stateAtComplete = player.State();
        positionAtComplete = player.Position();
    };
    player.Play();
    EXPECT_EQ(player.State(), psPlay);
    ASSERT_TRUE(QTest::qWaitFor([&] { return completed; }, 10000));
    EXPECT_EQ(rec.log, (QStringList{StateEntry(psPlay), StateEntry(psStop), "complete"}));
    EXPECT_EQ(stateAtComplete, psStop);
    EXPECT_EQ(positionAtComplete, 0);
    // It plays again from the start after the end.
    completed = false;
    player.Play();
    EXPECT_TRUE(QTest::qWaitFor([&] { return completed; }, 10000));
}

TEST_F(AudioPlayerTest, StreamErrorWhilePlayingEndsInError)
{
    ASSERT_TRUE(player.LoadMedia(Wav("err.wav", 5.0)));
    player.SetUpdateInterval(30);
    rec.Attach(player);
    player.Play();
    GError* error = g_error_new_literal(GST_STREAM_ERROR, GST_STREAM_ERROR_DECODE, "broken frame");
    gst_element_post_message(player.Graph(), gst_message_new_error(GST_OBJECT(player.Graph()), error, nullptr));
    g_error_free(error);
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.State() == psError; }, 5000));
    EXPECT_FALSE(player.TimerActive());
    EXPECT_EQ(rec.log.last(), StateEntry(psError));
    EXPECT_FALSE(rec.log.contains("complete"));
}

TEST_F(AudioPlayerTest, AddToRotListsTheGraphUntilCleared)
{
    player.SetAddToRot(true);
    ASSERT_TRUE(player.LoadMedia(Wav("rot.wav", 0.2)));
    EXPECT_NE(player.RotCookie(), 0u);
    const QString name = FilterGraphItemName(player.Graph(), static_cast<uint32_t>(getpid()));
    EXPECT_TRUE(GraphRegistry::Contains(name));
    player.ClearMedia();
    EXPECT_EQ(player.RotCookie(), 0u);
    EXPECT_FALSE(GraphRegistry::Contains(name));
}

TEST_F(AudioPlayerTest, Mp3WithoutLengthHeaderGetsAnEstimatedDuration)
{
    const QString path = dir.filePath("bare.mp3");
    if (!TestMedia::EncodeTone(path, 4.0))
        GTEST_SKIP() << "no MP3 encoder";
    ASSERT_TRUE(player.LoadMedia(path));
    // The estimate comes from the first frames' bitrate: rough, but never 0,
    // so that positions can be set.
    EXPECT_GT(player.Duration(), 0);
    player.SetPosition(player.Duration() / 2);
    EXPECT_EQ(player.Position(), player.Duration() / 2);
}

// The same playback checks for each format the player must handle.
class AudioPlaybackFormats : public ::testing::TestWithParam<const char*>
{
};

TEST_P(AudioPlaybackFormats, PlaysWithTimeUpdatesAndAFinalUpdateOnPause)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tone.") + GetParam());
    // MP3 files as encoders usually write them: with a Xing length header.
    const bool made = QString(GetParam()) == "mp3"
                          ? TestMedia::RunPipeline(QStringLiteral("audiotestsrc num-buffers=172 ! "
                                                                  "audio/x-raw,rate=44100,channels=2 ! lamemp3enc ! "
                                                                  "xingmux ! id3v2mux ! filesink location=\"%1\"")
                                                       .arg(path))
                          : TestMedia::EncodeTone(path, 4.0);
    if (!made)
        GTEST_SKIP() << "no encoder for " << GetParam();
    TKXAudioFilePlayer player;
    player.SetAudioSinkFactory(SyncFakeSink);
    Recorder rec;
    rec.Attach(player);
    player.SetUpdateInterval(40);
    ASSERT_TRUE(player.LoadMedia(path));
    EXPECT_NEAR(double(player.Duration()), double(4 * kSecond), 0.1 * kSecond);

    player.Play();
    EXPECT_TRUE(player.TimerActive());
    EXPECT_TRUE(rec.times.empty()); // nothing before the first tick
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.times.size() >= 4; }, 10000));
    EXPECT_TRUE(std::is_sorted(rec.times.begin(), rec.times.end()));
    EXPECT_GT(rec.times.back(), 0);

    const size_t before = rec.times.size();
    player.Pause();
    ASSERT_EQ(rec.times.size(), before + 1);
    const int64_t pausedAt = rec.times.back();
    EXPECT_NEAR(double(pausedAt), double(player.Position()), 0.2 * kSecond);
    EXPECT_FALSE(player.TimerActive());
    QTest::qWait(120); // a paused player sends nothing more
    EXPECT_EQ(rec.times.size(), before + 1);

    player.SetPosition(2 * kSecond);
    EXPECT_TRUE(QTest::qWaitFor([&] { return player.Position() == 2 * kSecond; }, 5000));
    player.Play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.times.size() >= before + 3; }, 10000));
    EXPECT_GE(rec.times.back(), 2 * kSecond);

    player.SetUpdateInterval(80); // changing the period keeps the updates coming
    EXPECT_TRUE(player.TimerActive());
    EXPECT_EQ(player.findChildren<QTimer*>().size(), 1);
    player.Stop();
    EXPECT_EQ(player.State(), psStop);
    EXPECT_TRUE(QTest::qWaitFor([&] { return player.Position() == 0; }, 5000));
}

INSTANTIATE_TEST_SUITE_P(Formats, AudioPlaybackFormats, ::testing::Values("wav", "mp3"));

} // namespace kx
