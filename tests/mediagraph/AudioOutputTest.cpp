#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include "mediagraph/AudioOutput.h"

namespace kx {

TEST(AudioOutput, soundIsPresentWithAServerSocketOrAPlaybackDevice)
{
    QTemporaryDir run, dev;
    EXPECT_FALSE(SoundOutputPresent(run.path(), dev.path()));
    EXPECT_FALSE(SoundOutputPresent(QString(), dev.path()));
    // A capture device plays nothing.
    QFile(dev.filePath("pcmC0D0c")).open(QIODevice::WriteOnly);
    QFile(dev.filePath("controlC0")).open(QIODevice::WriteOnly);
    EXPECT_FALSE(SoundOutputPresent(run.path(), dev.path()));
    QFile(dev.filePath("pcmC1D3p")).open(QIODevice::WriteOnly);
    EXPECT_TRUE(SoundOutputPresent(run.path(), dev.path()));

    QTemporaryDir none;
    QDir(run.path()).mkpath("pulse");
    QFile(run.filePath("pulse/native")).open(QIODevice::WriteOnly);
    EXPECT_TRUE(SoundOutputPresent(run.path(), none.path()));
    QTemporaryDir pipewire;
    QFile(pipewire.filePath("pipewire-0")).open(QIODevice::WriteOnly);
    EXPECT_TRUE(SoundOutputPresent(pipewire.path(), none.path()));
}

TEST(AudioOutput, withoutSoundTheFallbackKeepsTimeAndIsToldOnce)
{
    if (SoundOutputPresent())
        GTEST_SKIP() << "this machine has sound output";
    ResetAudioFallbackNotice();
    QStringList told;
    const AudioFallbackHandler previous = SetAudioFallbackHandler([&told](const QString& m) { told << m; });
    for (int i = 0; i < 2; ++i) {
        GstElement* sink = MakeAudioSink();
        ASSERT_NE(sink, nullptr);
        gst_object_ref_sink(sink);
        GstElementFactory* factory = gst_element_get_factory(sink);
        EXPECT_STREQ(GST_OBJECT_NAME(factory), "fakesink");
        gboolean sync = FALSE;
        g_object_get(sink, "sync", &sync, nullptr);
        EXPECT_TRUE(sync) << "playback must still run in real time";
        gst_object_unref(sink);
    }
    SetAudioFallbackHandler(previous);
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains("No sound output")) << told[0].toStdString();
    EXPECT_TRUE(AudioFallbackTold());
}

} // namespace kx
