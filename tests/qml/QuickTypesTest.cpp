#include <QSignalSpy>
#include <QTemporaryDir>
#include <QVariant>
#include <gtest/gtest.h>

#include "QuickTestSupport.h"
#include "tests/support/TestMedia.h"
#include "tests/support/FakeSink.h"
#include "playback/KXAudioPlayer.h"

namespace kx {

namespace {

class QuickTypesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        wav = dir.filePath(QStringLiteral("tone.wav"));
        TestMedia::WavFormat f;
        f.rate = 8000;
        f.frames = 8000;  // one second
        ASSERT_TRUE(TestMedia::WriteWav(wav, f, TestMedia::Sine(440, 0.5, f.rate)));
    }

    QTemporaryDir dir;
    QString wav;
    QuickHarness harness;
};

TEST_F(QuickTypesTest, builderBuildsAGeneratedFileAndTheViewShowsItsStream)
{
    QObject* root = harness.Load(R"(
import QtQuick
import KXAudio
Item {
    property alias builder: builder
    property alias view: view
    PeakBuilder { id: builder; saveToPeakFiles: false; samplesPerPeak: 80 }
    WaveformView { id: view; anchors.fill: parent; builder: builder }
})");
    ASSERT_TRUE(root);
    auto* builder = root->property("builder").value<QObject*>();
    auto* view = root->property("view").value<QObject*>();
    ASSERT_TRUE(builder && view);
    EXPECT_EQ(builder->property("samplesPerPeak").toInt(), 80);
    QSignalSpy complete(builder, SIGNAL(peakComplete(int, QString, QString)));
    QSignalSpy shown(view, SIGNAL(peaksChanged()));
    bool ok = false;
    ASSERT_TRUE(QMetaObject::invokeMethod(builder, "appendFile", Q_RETURN_ARG(bool, ok),
                                          Q_ARG(QString, QUrl::fromLocalFile(wav).toString())));
    EXPECT_TRUE(ok);
    EXPECT_EQ(builder->property("fileCount").toInt(), 1);
    ASSERT_TRUE(QMetaObject::invokeMethod(builder, "start", Q_RETURN_ARG(bool, ok)));
    EXPECT_TRUE(ok);
    ASSERT_TRUE(complete.count() > 0 || complete.wait(20000));
    EXPECT_EQ(complete.at(0).at(0).toInt(), 0);
    EXPECT_GE(shown.count(), 1);
    EXPECT_NEAR(view->property("durationMs").toInt(), 1000, 2);
    bool has = false;
    QMetaObject::invokeMethod(builder, "hasStream", Q_RETURN_ARG(bool, has), Q_ARG(int, 0));
    EXPECT_TRUE(has);

    // Following the stream as a live build: the records at once, and the
    // following ends by itself once the stream no longer grows.
    QMetaObject::invokeMethod(view, "clear");
    EXPECT_EQ(view->property("durationMs").toInt(), 0);
    QSignalSpy following(view, SIGNAL(liveStreamChanged()));
    QMetaObject::invokeMethod(view, "setLiveStream", Q_ARG(QObject*, builder), Q_ARG(int, 0));
    EXPECT_TRUE(view->property("liveStream").toBool());
    EXPECT_NEAR(view->property("durationMs").toInt(), 1000, 2);
    ASSERT_TRUE(following.wait(5000));
    EXPECT_FALSE(view->property("liveStream").toBool());
    EXPECT_NEAR(view->property("durationMs").toInt(), 1000, 2);

    // A refused setting is reported, not thrown.
    QSignalSpy errors(builder, SIGNAL(error(QString)));
    builder->setProperty("samplesPerPeak", 0);
    EXPECT_EQ(errors.count(), 1);
    EXPECT_EQ(builder->property("samplesPerPeak").toInt(), 80);
}

TEST_F(QuickTypesTest, playerLoadsAFileReportsItsDurationAndRefusesWhatItCannotPlay)
{
    QObject* root = harness.Load("import KXAudio\nAudioPlayer {}\n");
    ASSERT_TRUE(root);
    auto* player = qobject_cast<TKXAudioFilePlayer*>(root);
    ASSERT_TRUE(player);
    player->SetAudioSinkFactory(SyncFakeSink);
    QSignalSpy loaded(root, SIGNAL(mediaLoaded()));
    QSignalSpy errors(root, SIGNAL(error(QString)));
    root->setProperty("source", wav);
    EXPECT_EQ(errors.count(), 0);
    ASSERT_TRUE(loaded.count() > 0 || loaded.wait(10000));
    EXPECT_NEAR(static_cast<double>(root->property("duration").toLongLong()) / 1e4, 1000, 5);
    EXPECT_EQ(root->property("fileName").toString(), wav);
    EXPECT_EQ(root->property("state").toInt(), int(psStop));
    EXPECT_FALSE(root->property("playing").toBool());

    QSignalSpy playing(root, SIGNAL(playingChanged()));
    QMetaObject::invokeMethod(root, "play");
    ASSERT_TRUE(playing.count() > 0 || playing.wait(5000));
    EXPECT_TRUE(root->property("playing").toBool());
    QMetaObject::invokeMethod(root, "stop");
    EXPECT_FALSE(root->property("playing").toBool());

    const QString text = dir.filePath(QStringLiteral("notes.wav"));
    ASSERT_TRUE(TestMedia::WriteFile(text, {'n', 'o', 't', 'e'}));
    root->setProperty("source", text);
    EXPECT_EQ(errors.count(), 1);
    bool ok = true;
    QMetaObject::invokeMethod(root, "load", Q_RETURN_ARG(bool, ok), Q_ARG(QString, text));
    EXPECT_FALSE(ok);
    EXPECT_EQ(errors.count(), 2);
}

} // namespace

} // namespace kx
