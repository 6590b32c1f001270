// The builder's Qt face: signals beside the handlers, properties that never
// throw, and notifications of its queue and state.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QThread>

#include "BuildTestSupport.h"
#include "peaks/KXPeakBuildPool.h"

namespace kx {

namespace {

class BuilderSignals : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        builder.SetTempFolder(dir.path());
    }
    QString Wav(const QString& name)
    {
        const QString p = dir.filePath(name);
        const TestMedia::WavFormat format{8000, 1, 16, 4000};
        EXPECT_TRUE(TestMedia::WriteWav(p, format, TestMedia::Sine(440, 0.8, format.rate)));
        return p;
    }

    QTemporaryDir dir;
    TKXPeakBuilder builder;
};

} // namespace

TEST_F(BuilderSignals, everyEventIsAlsoASignalFiredAfterItsHandler)
{
    builder.SetSaveToPeakFiles(true);
    std::vector<QString> order;
    builder.OnPeakComplete = [&](QObject*, int, const QString&, const QString&) { order.push_back("handler"); };
    QObject::connect(&builder, &TKXPeakBuilder::peakComplete, [&] { order.push_back("signal"); });
    QSignalSpy missing(&builder, &TKXPeakBuilder::peakMissing);
    QSignalSpy before(&builder, &TKXPeakBuilder::peakBefore);
    QSignalSpy fresh(&builder, &TKXPeakBuilder::peakNew);
    QSignalSpy complete(&builder, &TKXPeakBuilder::peakComplete);
    QSignalSpy duplicate(&builder, &TKXPeakBuilder::duplicateFile);
    QSignalSpy absent(&builder, &TKXPeakBuilder::fileNotExist);
    QSignalSpy progress(&builder, &TKXPeakBuilder::progress);
    QSignalSpy state(&builder, &TKXPeakBuilder::buildStateChanged);

    const QString a = Wav("a.wav");
    ASSERT_TRUE(builder.AppendFilename(a));
    ASSERT_EQ(missing.count(), 1);
    EXPECT_EQ(missing[0][0].toInt(), 0);
    EXPECT_EQ(missing[0][1].toString(), a);
    EXPECT_EQ(missing[0][2].toString(), ChangeFileExt(a, ".pek"));
    EXPECT_FALSE(builder.AppendFilename(a));
    ASSERT_EQ(duplicate.count(), 1);
    EXPECT_EQ(duplicate[0][0].toString(), a);
    EXPECT_EQ(duplicate[0][1].toInt(), 0);
    EXPECT_FALSE(builder.AppendFilename(dir.filePath("none.wav")));
    ASSERT_EQ(absent.count(), 1);
    EXPECT_EQ(absent[0][0].toString(), dir.filePath("none.wav"));

    ASSERT_TRUE(builder.StartBuild());
    ASSERT_TRUE(QTest::qWaitFor([&] { return complete.count() == 1 && builder.BuildState() != bsBuilding; }, 30000));
    ASSERT_EQ(complete.count(), 1);
    EXPECT_EQ(complete[0][1].toString(), a);
    EXPECT_EQ(order, (std::vector<QString>{"handler", "signal"}));
    // Started, then stopped; each change once.
    ASSERT_GE(state.count(), 2);
    EXPECT_EQ(state.first()[0].toInt(), int(bsBuilding));
    EXPECT_EQ(state.last()[0].toInt(), int(bsStopped));
    // The progress signal carries what the handler gets, without the abort flag.
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.first()[0].toInt(), 0);
    EXPECT_EQ(progress.first()[1].toInt(), 0);
    EXPECT_EQ(progress.first()[2].toInt(), 1);

    // Queued again in a new builder: the peak file exists now.
    TKXPeakBuilder second;
    second.SetTempFolder(dir.path());
    QSignalSpy secondBefore(&second, &TKXPeakBuilder::peakBefore);
    QSignalSpy secondNew(&second, &TKXPeakBuilder::peakNew);
    ASSERT_TRUE(second.AppendFilename(a));
    EXPECT_EQ(secondBefore.count(), 1);
    EXPECT_EQ(secondNew.count(), 1);
    EXPECT_EQ(before.count(), 0);
    EXPECT_EQ(fresh.count(), 0);
}

TEST_F(BuilderSignals, aFailedPeakFileNamesItsReasonInTheFailureProperty)
{
    // A file of another kind under the peak file's name is refused.
    const QString a = Wav("a.wav");
    ASSERT_TRUE(TestMedia::WriteFile(ChangeFileExt(a, ".pek"), std::vector<uint8_t>(64, 'x')));
    QSignalSpy failed(&builder, &TKXPeakBuilder::peakFailed);
    builder.AppendFilename(a);
    ASSERT_EQ(failed.count(), 1);
    EXPECT_EQ(failed[0][1].toString(), a);
    EXPECT_FALSE(builder.property("lastBuildFailure").toString().isEmpty());
    EXPECT_EQ(builder.property("fileCount").toInt(), 0);
}

TEST_F(BuilderSignals, propertiesReadAndWriteTheSettingsAndRefusalsNeverThrow)
{
    EXPECT_EQ(builder.property("samplesPerPeak").toInt(), 100);
    EXPECT_TRUE(builder.setProperty("samplesPerPeak", 256));
    EXPECT_EQ(builder.SamplesPerPeak(), 256);
    EXPECT_TRUE(builder.setProperty("outputChannels", int(chMono)));
    EXPECT_EQ(builder.OutputChannels(), chMono);
    EXPECT_TRUE(builder.setProperty("outputSamplesPerSecond", int(sps22050)));
    EXPECT_EQ(builder.SampleRate(), 22050u);
    EXPECT_TRUE(builder.setProperty("outputBPS", int(bp8)));
    EXPECT_EQ(builder.BitsPerSample(), 8u);
    EXPECT_TRUE(builder.setProperty("peakExtension", QStringLiteral(".peaks")));
    EXPECT_EQ(builder.PeakExtension(), ".peaks");
    EXPECT_TRUE(builder.setProperty("rebuildStale", true));
    EXPECT_TRUE(builder.RebuildStale());

    // Refused values: the C++ setter throws, the property keeps its value and
    // says why through error().
    QSignalSpy error(&builder, &TKXPeakBuilder::error);
    EXPECT_THROW(builder.SetVRMAudioCache(51), Exception);
    EXPECT_NO_THROW(builder.setProperty("vrmAudioCache", 51));
    EXPECT_EQ(builder.property("vrmAudioCache").toInt(), 2);
    ASSERT_EQ(error.count(), 1);
    EXPECT_EQ(error[0][0].toString(), "Cache must be between 1 and 50");
    for (const auto& [name, value] : std::vector<std::pair<const char*, int>>{
             {"samplesPerPeak", 0}, {"samplesPerPeak", 70000}, {"outputChannels", 7}, {"outputSamplesPerSecond", -1},
             {"outputBPS", 2}}) {
        SCOPED_TRACE(name);
        const QVariant before = builder.property(name);
        EXPECT_NO_THROW(builder.setProperty(name, value));
        EXPECT_EQ(builder.property(name), before);
    }
    EXPECT_EQ(error.count(), 6);
    // A folder that cannot be written is refused the same way.
    if (geteuid() != 0) {
        QTemporaryDir locked;
        QFile::setPermissions(locked.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        const QString folder = builder.TempFolder();
        EXPECT_NO_THROW(builder.setProperty("tempFolder", locked.path()));
        EXPECT_EQ(builder.TempFolder(), folder);
        EXPECT_EQ(error.last()[0].toString(), "Temp Folder must be writable");
    }
}

TEST_F(BuilderSignals, theQueueAndItsCountsNotifyWhenTheyChange)
{
    QSignalSpy queue(&builder, &TKXPeakBuilder::queueChanged);
    const QString a = Wav("a.wav"), b = Wav("b.wav");
    ASSERT_TRUE(builder.AppendFilenames({a, b}));
    EXPECT_GE(queue.count(), 1);
    EXPECT_EQ(builder.property("files").toStringList(), (QStringList{a, b}));
    EXPECT_EQ(builder.property("fileCount").toInt(), 2);
    queue.clear();
    builder.FindNextMissing();
    EXPECT_EQ(builder.property("missingCount").toInt(), 2);
    const auto afterFind = queue.count();
    builder.FindNextMissing();  // nothing moved: no notification
    EXPECT_EQ(queue.count(), afterFind);
    builder.Clear();
    EXPECT_EQ(queue.count(), afterFind + 1);
    EXPECT_EQ(builder.property("fileCount").toInt(), 0);
    builder.Clear();
    EXPECT_EQ(queue.count(), afterFind + 1);
}

TEST_F(BuilderSignals, signalsReachAReceiverInAnotherThreadQueued)
{
    builder.SetSaveToPeakFiles(true);
    QThread thread;
    QObject receiver;
    receiver.moveToThread(&thread);
    thread.start();
    std::atomic<bool> onReceiverThread{false};
    std::atomic<int> calls{0};
    QObject::connect(&builder, &TKXPeakBuilder::peakComplete, &receiver, [&](int, const QString&, const QString&) {
        onReceiverThread = QThread::currentThread() == &thread;
        ++calls;
    });
    ASSERT_TRUE(builder.AppendFilename(Wav("a.wav")));
    ASSERT_TRUE(builder.StartBuild());
    EXPECT_TRUE(QTest::qWaitFor([&] { return calls.load() == 1; }, 30000));
    EXPECT_TRUE(onReceiverThread);
    thread.quit();
    thread.wait();
}

TEST_F(BuilderSignals, thePoolsSignalsMatchItsHandlersAndItsRunningStateNotifies)
{
    TKXPeakBuildPool pool;
    pool.setProperty("jobs", 2);
    EXPECT_EQ(pool.Jobs(), 2);
    std::vector<int> handlerOrder;
    pool.OnFileResult = [&](int index, const QString&, TKXPeakBuildPool::Outcome, const QString&) {
        handlerOrder.push_back(index);
    };
    QSignalSpy results(&pool, &TKXPeakBuildPool::fileResult);
    QSignalSpy finishedFiles(&pool, &TKXPeakBuildPool::fileFinished);
    QSignalSpy progress(&pool, &TKXPeakBuildPool::progress);
    QSignalSpy finished(&pool, &TKXPeakBuildPool::finished);
    QSignalSpy running(&pool, &TKXPeakBuildPool::runningChanged);
    const QStringList files{Wav("a.wav"), dir.filePath("missing.wav"), Wav("c.wav")};
    ASSERT_TRUE(pool.Start(files));
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 60000));
    EXPECT_FALSE(pool.property("running").toBool());
    ASSERT_EQ(results.count(), 3);
    EXPECT_EQ(handlerOrder, (std::vector<int>{0, 1, 2}));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(results[i][0].toInt(), i);
        EXPECT_EQ(results[i][1].toString(), files[i]);
    }
    EXPECT_EQ(results[1][2].value<TKXPeakBuildPool::Outcome>(), TKXPeakBuildPool::Outcome::NotFound);
    EXPECT_EQ(results[0][2].value<TKXPeakBuildPool::Outcome>(), TKXPeakBuildPool::Outcome::Built);
    EXPECT_EQ(finishedFiles.count(), 3);
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.last()[0].toInt(), 100);
    ASSERT_EQ(running.count(), 2);
    EXPECT_TRUE(running[0][0].toBool());
    EXPECT_FALSE(running[1][0].toBool());
}

} // namespace kx
