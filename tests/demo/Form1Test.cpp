#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "controls/HZDropFiles.h"
#include "controls/KXFloatEdit.h"
#include "demo/Form1.h"
#include "demo/FrequencyPage.h"
#include "demo/OverviewPage.h"
#include "peaks/KXPeakBuilder.h"
#include "peaks/PeakFormat.h"
#include "platform/widgets/FileDialogs.h"
#include "platform/widgets/MessageBox.h"
#include "playback/KXAudioPlayer.h"
#include "playback/KXPlayerControls.h"
#include "tests/support/TestMedia.h"
#include "spectrogram/KXSpectrogramViewer.h"
#include "viewers/KXAudioPeakViewer.h"
#include "viewers/KXPeakEffectViewer.h"
#include "viewers/OverviewLink.h"
#include "wavviewer/WaveDevice.h"
#include "wavviewer/WavViewer.h"
#include "tests/support/FakeSink.h"

namespace kx {

namespace {

// The form with short generated WAVs, dialogs answered from a queue, and no
// sound device or dialog ever reached.
class Form1Test : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale::c());
        a = dir.filePath("a.wav");
        b = dir.filePath("b.wav");
        ASSERT_TRUE(TestMedia::WriteWav(a, {44100, 2, 16, 44100 * 3}, TestMedia::Sine(440, 0.8, 44100)));
        ASSERT_TRUE(TestMedia::WriteWav(b, {22050, 1, 16, 22050 * 2}, TestMedia::Sine(220, 0.5, 22050)));
        previousDialog = SetFileDialogHook([this](QWidget*, const FileDialogRequest&) {
            return answers.isEmpty() ? QString() : answers.takeFirst();
        });
        WaveDevice::SetForceFakeAudioSink(true);
        form = std::make_unique<TForm1>(QStringList{a, b});
        form->AudioFilePlayer->SetAudioSinkFactory(SyncFakeSink);
        form->KXPeakBuilder1->SetTempFolder(dir.path());
        form->OnBeep = [this] { ++beeps; };
    }

    void TearDown() override
    {
        form.reset();
        SetFileDialogHook(previousDialog);
    }

    QStringList MemoLines() const
    {
        return form->Memo->toPlainText().split('\n', Qt::SkipEmptyParts);
    }

    bool WaitForMemo(const QString& line, int ms = 30000)
    {
        return QTest::qWaitFor([&] { return MemoLines().contains(line); }, ms);
    }

    // Builds a's peak file through the page, then empties the queue.
    void BuildPeaksOfA()
    {
        answers << a;
        form->Button5Click();
        form->btnStartClick();
        ASSERT_TRUE(WaitForMemo("Peak build completed: " + a));
        form->btnClearClick();
    }

    QTemporaryDir dir;
    QString a, b;
    QStringList answers;
    FileDialogHook previousDialog;
    std::unique_ptr<TForm1> form;
    int beeps = 0;
};

} // namespace

TEST_F(Form1Test, startsWithTheStoredLayoutAndSettings)
{
    EXPECT_EQ(form->windowTitle(), "Form1");
    EXPECT_EQ(form->size(), QSize(706, 729));
    EXPECT_EQ(form->PageControl1->count(), 8);
    EXPECT_EQ(form->PageControl1->currentWidget(), form->TabSheet5);
    EXPECT_EQ(form->KXPeakBuilder1->SamplesPerPeak(), 1102);
    EXPECT_EQ(form->KXPeakBuilder1->SampleRate(), 44100u);
    EXPECT_TRUE(form->KXPeakBuilder1->SaveToPeakFiles());
    EXPECT_FALSE(form->btnStart->isEnabled());
    EXPECT_FALSE(form->PlayControl->Enabled());
    EXPECT_EQ(form->PlayControl->width(), 136);
    EXPECT_EQ(form->cbAudioFilename->currentText(), a);
    EXPECT_EQ(form->EffectViewer->VisiblePoints(), (TEffectTypes{fcA, fcB}));
}

TEST_F(Form1Test, addFilesLogsTheQueueAndDuplicates)
{
    answers << a;
    form->Button5Click();
    EXPECT_EQ(MemoLines(), (QStringList{"Peak file Missing " + a, a}));
    EXPECT_TRUE(form->btnStart->isEnabled());
    EXPECT_FALSE(form->btnPause->isEnabled());
    EXPECT_TRUE(form->StartOnDrop);

    answers << a;
    form->Button5Click();
    EXPECT_EQ(MemoLines(), (QStringList{"Duplicate file: " + a, "AppendFilename failed"}));

    form->Button5Click();  // cancelled dialog: nothing changes
    EXPECT_EQ(MemoLines().size(), 2);
}

TEST_F(Form1Test, buildLogsInOrderAndFeedsTheSecondViewer)
{
    answers << a;
    form->Button5Click();
    form->btnStartClick();
    EXPECT_EQ(MemoLines().last(), "StartBuild succeeded");
    EXPECT_TRUE(form->Viewer1->LiveStream());  // follows the build
    ASSERT_TRUE(WaitForMemo("Peak build completed: " + a));
    EXPECT_FALSE(form->Viewer1->LiveStream());  // the finished stream is loaded
    const QStringList lines = MemoLines();
    const auto done = lines.indexOf("Peak build completed: " + a);
    EXPECT_EQ(lines.value(done + 1), "Filled Streams: 1");
    EXPECT_TRUE(QFile::exists(dir.filePath("a.pek")));
    EXPECT_NEAR(form->Viewer1->DurationMs(), 3000, 30);

    form->btnStopClick();  // nothing runs any more
    EXPECT_EQ(MemoLines().last(), "StopBuild failed");
}

TEST_F(Form1Test, gainsAreLoggedAsReadBackFromTheBuilder)
{
    form->cbPeaksGain->setCurrentIndex(6);
    form->cbPeaksGainChange();
    EXPECT_EQ(MemoLines().last(), "Gain Left: FFFFGain Right: FFFF");
    form->cbPeaksGain->setCurrentIndex(0);
    form->cbPeaksGainChange();
    EXPECT_EQ(MemoLines().last(), "Gain Left: 0400Gain Right: 0400");

    BuildPeaksOfA();  // the builder keeps its settings once it has built
    form->cbPeaksGain->setCurrentIndex(2);
    form->cbPeaksGainChange();
    EXPECT_EQ(MemoLines().last(), "Gain Left: 0400Gain Right: 0400");
    form->cbPostProc->setChecked(false);
    form->cbPostProcClick();
    EXPECT_EQ(MemoLines().last(), "Change Post Proc failed");
    EXPECT_TRUE(form->cbPostProc->isChecked());
}

TEST_F(Form1Test, postProcessingAndSamplesPerPeakBeforeAnyBuild)
{
    form->cbPostProc->setChecked(false);
    form->cbPostProcClick();
    EXPECT_EQ(MemoLines().last(), "Change Post Proc succeeded");
    EXPECT_FALSE(form->KXPeakBuilder1->PostProcessing());
    form->cbPeaksPerSec->setCurrentIndex(1);
    form->cbPeaksPerSecChange();
    EXPECT_EQ(form->KXPeakBuilder1->SamplesPerPeak(), 200);
    form->cbCreatePeakFiles->setChecked(false);
    form->cbCreatePeakFilesClick();
    EXPECT_FALSE(form->KXPeakBuilder1->SaveToPeakFiles());
}

TEST_F(Form1Test, clearLogsFiveLines)
{
    answers << a;
    form->Button5Click();
    form->btnClearClick();
    EXPECT_EQ(MemoLines(), (QStringList{"File count: 1", "Filled Streams: 0", "Clear", "File count: 0",
                                        "Filled Streams: 0"}));
}

TEST_F(Form1Test, dropsAppendOrReplaceAndStartOnlyOnceAMissingFileWasSeen)
{
    // a already has peaks: queuing it reports nothing missing, so no build
    // starts. Its header's length is that of its one record: the test bench
    // takes a peak file with fewer records than its header implies as stale.
    std::vector<uint8_t> peaks(PeakHeaderSize + 8, 0x80);
    EncodePeakHeader(MakePeakHeader(44100, 2, 16, 1102, 1102 * 10000000LL / 44100), peaks.data());
    ASSERT_TRUE(TestMedia::WriteFile(dir.filePath("a.pek"), peaks));
    THZDropFilesEvent first({a}, QPoint(5, 5));
    QCoreApplication::sendEvent(form.get(), &first);
    EXPECT_EQ(first.Result, 1);
    EXPECT_FALSE(form->StartOnDrop);
    EXPECT_EQ(form->KXPeakBuilder1->BuildState(), bsStopped);
    EXPECT_EQ(MemoLines(), (QStringList{"Start Build: " + a, "Peak file New: " + a, "File count: 1", "Filled Streams: 1"}));

    // Replacing the queue with b reports it missing, and that drop starts its build.
    form->cbAppend->setChecked(false);
    THZDropFilesEvent second({b}, QPoint(5, 5));
    QCoreApplication::sendEvent(form.get(), &second);
    EXPECT_EQ(form->KXPeakBuilder1->Files(), QStringList{b});
    EXPECT_TRUE(form->StartOnDrop);
    EXPECT_EQ(form->KXPeakBuilder1->BuildState(), bsBuilding);
    ASSERT_TRUE(WaitForMemo("Peak build completed: " + b));

    // Several names appended at once.
    form->cbAppend->setChecked(true);
    THZDropFilesEvent third({a, b}, QPoint(5, 5));
    QCoreApplication::sendEvent(form.get(), &third);
    EXPECT_EQ(form->KXPeakBuilder1->Files(), (QStringList{b, a}));
    EXPECT_TRUE(MemoLines().contains("Duplicate file: " + b));
}

TEST_F(Form1Test, scalerLabelsAndViewerSettings)
{
    form->tbScaler->setValue(1);
    EXPECT_EQ(form->lblScaler->text(), "0.25");
    EXPECT_FLOAT_EQ(form->Viewer->TimeScaler(), 0.25f);
    form->tbScaler->setValue(3);
    EXPECT_EQ(form->lblScaler->text(), "0.75");
    form->tbEffectViewerScaler->setValue(1);
    EXPECT_EQ(form->lblEffectScaler->text(), "1.00");
    EXPECT_FLOAT_EQ(form->EffectViewer->TimeScaler(), 1.0f);
    form->tbPlayStepPercent->setValue(20);
    EXPECT_EQ(form->lblPlayStepPercent->text(), "20%");
    form->cbCursorAtMouse->setChecked(false);
    form->cbCursorAtMouseClick();
    EXPECT_FALSE(form->Viewer->PaintCursor());
    EXPECT_FALSE(form->cbPreservePitch->isChecked());
    form->cbPreservePitch->click();
    EXPECT_TRUE(form->AudioFilePlayer->PreservePitch());
    form->cbPreservePitch->click();
    EXPECT_FALSE(form->AudioFilePlayer->PreservePitch());
    EXPECT_EQ(form->Viewer->PeakReduction(), prSkip);
    form->cbTruePeaks->click();
    EXPECT_EQ(form->Viewer->PeakReduction(), prMinMax);
    form->cbEffectTruePeaks->click();
    EXPECT_EQ(form->EffectViewer->PeakReduction(), prMinMax);
    form->cbTruePeaks->click();
    EXPECT_EQ(form->Viewer->PeakReduction(), prSkip);
}

TEST_F(Form1Test, mediaFileLoadsPeaksPlaysAndSeeks)
{
    BuildPeaksOfA();
    answers << a;
    form->btnLoadFromFileClick();
    EXPECT_EQ(form->MediaFileName, a);
    EXPECT_TRUE(form->PlayControl->Enabled());
    EXPECT_TRUE(MemoLines().contains("Peak file New: " + a));
    EXPECT_NEAR(form->Viewer->DurationMs(), 3000, 30);
    EXPECT_EQ(form->lblLength->text(), "0 mins");

    form->btnMark3To7Click();
    EXPECT_EQ(form->Viewer->MarkStart(), 3000);
    EXPECT_EQ(form->Viewer->MarkEnd(), 7000);
    form->Button11Click();
    EXPECT_EQ(form->Viewer->MarkEnd(), 0);

    // Time updates reach both viewers' play pointers.
    TMemoryStream* stream = nullptr;
    ASSERT_TRUE(form->KXPeakBuilder1->GetStreamByName(a, stream));
    ASSERT_TRUE(form->Viewer1->LoadFromStream(stream));
    form->PlayControl->OnControlEvent(form->PlayControl, coPlay, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Viewer->PointerX() > 2 && form->Viewer1->PointerX() > 2; }, 5000));
    form->PlayControl->OnControlEvent(form->PlayControl, coPause, 0);
    EXPECT_EQ(form->AudioFilePlayer->State(), psPause);

    // A click seeks the player to the clicked time.
    QTest::mouseClick(form->Viewer, Qt::LeftButton, {}, QPoint(100, 30));
    const int64_t t = form->Viewer->TimeAtPixel(100);
    EXPECT_EQ(form->lblTime->text(), QStringLiteral("%1 msec").arg(t));
    EXPECT_NEAR(double(form->AudioFilePlayer->Position()), double(t * 10000), 200000.0);

    form->PlayControl->OnControlEvent(form->PlayControl, coGoToStart, 0);
    EXPECT_EQ(form->AudioFilePlayer->State(), psStop);
    EXPECT_EQ(form->AudioFilePlayer->Position(), 0);
}

TEST_F(Form1Test, streamIndexLoadsTheViewerOrBeeps)
{
    BuildPeaksOfA();
    form->KXPeakBuilder1->AppendFilenames({a, dir.filePath("ghost.wav")});
    form->feStreamIndex->SetFloat(0);
    form->btnLoadStreamClick();
    EXPECT_EQ(beeps, 0);
    EXPECT_NEAR(form->Viewer->DurationMs(), 3000, 30);
    form->feStreamIndex->SetFloat(1);  // a stream with no peaks yet
    form->btnLoadStreamClick();
    EXPECT_EQ(beeps, 1);
    form->feStreamIndex->SetFloat(7);  // no such stream
    form->btnLoadStreamClick();
    EXPECT_EQ(beeps, 1);
    EXPECT_NEAR(form->Viewer->DurationMs(), 3000, 30);
}

TEST_F(Form1Test, streamIndexLoadsTheStreamTheBoxShows)
{
    BuildPeaksOfA();
    form->KXPeakBuilder1->AppendFilenames({dir.filePath("ghost.wav"), a});
    form->feStreamIndex->SetText("0.6"); // shows 1, the stream of a
    ASSERT_EQ(form->feStreamIndex->Text(), "1");
    form->btnLoadStreamClick();
    EXPECT_EQ(beeps, 0);
    EXPECT_NEAR(form->Viewer->DurationMs(), 3000, 30);
    form->feStreamIndex->SetText("0.4"); // shows 0, the stream without peaks
    form->btnLoadStreamClick();
    EXPECT_EQ(beeps, 1);
}

TEST_F(Form1Test, labelsFitEveryNewText)
{
    form->tbScaler->setValue(25);
    ASSERT_EQ(form->lblScaler->text(), "6.25");
    form->tbEffectViewerScaler->setValue(25);
    form->tbPlayStepPercent->setValue(49);
    QTest::mouseClick(form->Viewer, Qt::LeftButton, {}, QPoint(390, 30));
    form->lblDuration->setText("12544 sec");
    for (QLabel* label : {static_cast<QLabel*>(form->lblScaler), static_cast<QLabel*>(form->lblEffectScaler),
                          static_cast<QLabel*>(form->lblPlayStepPercent), static_cast<QLabel*>(form->lblTime),
                          static_cast<QLabel*>(form->lblDuration)})
        EXPECT_EQ(label->width(), label->sizeHint().width()) << label->text().toStdString();
    // Shorter texts shrink the label again.
    form->tbScaler->setValue(1);
    EXPECT_EQ(form->lblScaler->width(), form->lblScaler->sizeHint().width());
}

TEST_F(Form1Test, transportBarShowsTheStopWhenPlaybackEndsEarly)
{
    answers << a;
    form->btnLoadFromFileClick();
    form->PlayControl->Button(btPlay)->click();
    ASSERT_EQ(form->AudioFilePlayer->State(), psPlay);
    ASSERT_TRUE(form->PlayControl->Button(btPlay)->Down());
    form->AudioFilePlayer->StepForward(); // within the last 20 s: playback ends
    EXPECT_EQ(form->AudioFilePlayer->State(), psStop);
    EXPECT_TRUE(form->PlayControl->Button(btStop)->Down());
    EXPECT_FALSE(form->PlayControl->Button(btPlay)->Down());
    form->PlayControl->Button(btPlay)->click();
    EXPECT_EQ(form->AudioFilePlayer->State(), psPlay);
}

TEST_F(Form1Test, effectViewerPageEditsTheEnvelopes)
{
    BuildPeaksOfA();
    answers << dir.filePath("a.pek");
    form->btnLoadFromFile1Click();
    TEffectPointRec p{};
    for (TEffectType t : {fcA, fcB, fcC}) {
        form->EffectViewer->GetPoint(t, 1, p);
        EXPECT_GT(p.Position, 0) << int(t);
    }
    form->cbEffectC->setChecked(true);
    form->cbEffectClick(form->cbEffectC);
    EXPECT_TRUE(form->EffectViewer->VisiblePoints().Contains(fcC));
    form->cbFocusedPoint->setCurrentIndex(2);
    form->cbFocusedPointChange();
    EXPECT_EQ(form->EffectViewer->FocusedType(), fcC);

    // Stereo effects cannot change while points exist: the refusal is shown, not thrown.
    {
        ScopedMessageCapture capture;
        form->cbStereoEffects->setChecked(true);
        form->Guarded([&] { form->cbStereoEffectsClick(); });
        EXPECT_EQ(capture.Texts(), QStringList{"Cannot change stereo effects when points are populated"});
    }
    form->PeakEffectPopupPopup();
    EXPECT_FALSE(form->miDeletePoint->isEnabled());  // no point under the mouse

    form->Button12Click();
    form->EffectViewer->GetPoint(fcA, 0, p);
    EXPECT_EQ(p.Position, 0);
    form->cbStereoEffectsClick();  // allowed once the points are gone
    EXPECT_TRUE(form->EffectViewer->StereoEffects());
}

TEST_F(Form1Test, aFailedBuildIsLoggedWithItsCause)
{
    const QString text = dir.filePath("notes.wav");
    ASSERT_TRUE(TestMedia::WriteFile(text, std::vector<uint8_t>(3000, 'z')));
    answers << text;
    form->Button5Click();
    form->btnStartClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !MemoLines().filter("Peak build Failed: " + text + ": ").isEmpty(); },
                                30000))
        << MemoLines().join('\n').toStdString();
    EXPECT_TRUE(form->KXPeakBuilder1->RebuildStale());
}

TEST_F(Form1Test, loadBothNeverRemovesTheFileItWasGiven)
{
    // A peak file typed into the box: its "peak file" is itself.
    const QString given = dir.filePath("given.pek");
    std::vector<uint8_t> bytes(PeakHeaderSize + 5 * 8, 0x80);
    EncodePeakHeader(MakePeakHeader(44100, 2, 16, 100, 100000), bytes.data());
    ASSERT_TRUE(TestMedia::WriteFile(given, bytes));
    form->cbAudioFilename->setEditText(given);
    ASSERT_EQ(form->cbAudioFilename->currentText(), given);
    {
        ScopedMessageCapture capture;
        form->btnLoadBothClick();
    }
    QFile f(given);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())));
}

TEST_F(Form1Test, loadBothKeepsAReadOnlyOrForeignFileUnderThePeakNameAndSaysWhy)
{
    // The user's notes under the peak file's name: kept, and the build fails with the reason.
    const QString notes = dir.filePath("a.pek");
    ASSERT_TRUE(TestMedia::WriteFile(notes, std::vector<uint8_t>{'n', 'o', 't', 'e', 's', '\n'}));
    ASSERT_EQ(chmod(QFile::encodeName(notes).constData(), 0444), 0);
    form->cbAudioFilename->setEditText(a);
    {
        ScopedMessageCapture capture;
        form->btnLoadBothClick();
        ASSERT_TRUE(QTest::qWaitFor([&] { return form->KXPeakBuilder1->BuildState() != bsBuilding; }, 30000));
    }
    EXPECT_EQ(ReadFileContents(notes), QByteArray("notes\n"));
    // The wave viewer's own peaks never went there either.
    EXPECT_GT(form->WavViewer->PeakData().Size(), 0);
    ASSERT_EQ(chmod(QFile::encodeName(notes).constData(), 0644), 0);
    form->WavViewer->SetSavePeaks(true);
    {
        ScopedMessageCapture capture;
        EXPECT_FALSE(form->WavViewer->SavePeaksToFile(notes));
    }
    EXPECT_TRUE(form->WavViewer->SaveError().contains("another kind")) << form->WavViewer->SaveError().toStdString();
    EXPECT_EQ(ReadFileContents(notes), QByteArray("notes\n"));
}

TEST_F(Form1Test, loadBothFillsTheWaveViewerBuildsAndLoadsThePlayer)
{
    form->btnLoadBothClick();
    EXPECT_GT(form->WavViewer->PeakData().Size(), 0);
    EXPECT_EQ(form->AudioFilePlayer->FileName(), a);
    ASSERT_TRUE(WaitForMemo("Peak build completed: " + a));
    EXPECT_NEAR(form->Viewer1->DurationMs(), 3000, 30);
    form->Button4Click();  // the wave viewer plays from its position
    form->Button2Click();
    form->cbDisplayTime->setCurrentIndex(1);
    form->cbDisplayTimeChange();
    EXPECT_EQ(form->WavViewer->SecondsToShow(), 5);
}

TEST_F(Form1Test, overviewPageShowsTheSecondViewersPeaksAsALinkedPair)
{
    OverviewPage* page = form->tshOverview;
    ASSERT_TRUE(page);
    const int index = form->PageControl1->indexOf(page);
    ASSERT_GE(index, 0);
    EXPECT_EQ(form->PageControl1->tabText(index), "Overview");
    ASSERT_TRUE(page->Link);
    EXPECT_EQ(page->Link->Overview(), page->Overview);
    EXPECT_EQ(page->Link->Zoom(), page->Zoom);
    EXPECT_GT(page->Zoom->TimeAxisHeight(), 0);
    EXPECT_GT(page->Overview->TimeAxisHeight(), 0);

    BuildPeaksOfA();
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return !page->Zoom->Model().Empty() && page->Zoom->Model().PeakData == form->Viewer1->Model().PeakData;
    }));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return page->Overview->Model().PeakCount() == form->Viewer1->Model().PeakCount(); }));
    EXPECT_NEAR(page->Overview->DurationMs(), 3000, 30);
    // The slider zooms the zoom view; the overview keeps the whole file.
    const float whole = page->Overview->TimeScaler();
    page->ZoomSlider->setValue(0);
    EXPECT_FLOAT_EQ(page->Zoom->TimeScaler(), 0.25f);
    EXPECT_FLOAT_EQ(page->Overview->TimeScaler(), whole);
    // The play position of the second viewer reaches both.
    form->Viewer1->SetPlayTime(int64_t(15000000));
    EXPECT_EQ(page->Zoom->PlayTime(), 15000000);
    EXPECT_EQ(page->Overview->PlayTime(), 15000000);
}

} // namespace kx

namespace kx {

TEST_F(Form1Test, theSpectrogramPageShowsTheMediaLinkedToItsPeaksAndThePlayer)
{
    BuildPeaksOfA();
    FrequencyPage* page = form->SpectrogramTab;
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(form->PageControl1->tabText(form->PageControl1->indexOf(page)), "Spectrogram");
    QSignalSpy finished(page->Spectrogram, &TKXSpectrogramViewer::loadFinished);
    page->ShowMedia(a);
    ASSERT_TRUE(finished.wait(30000));
    ASSERT_TRUE(finished.at(0).at(0).toBool()) << page->Spectrogram->LastError().toStdString();
    EXPECT_EQ(page->lblStatus->text(), "a.wav: 3.0 s, 256 bands");
    EXPECT_EQ(page->Peaks->DurationMs(), 3000);
    EXPECT_EQ(page->Spectrogram->LinkedPeakViewer(), page->Peaks);
    // The builder wrote RMS levels beside the peak file; the page's peaks show them.
    EXPECT_TRUE(page->Peaks->ShowRms());
    EXPECT_GT(page->Peaks->Model().Rms.Records(), 0);
    EXPECT_EQ(page->Peaks->Model().Rms.Records(), page->Peaks->Model().Pyramid.Records());
    page->cbRms->setChecked(false);
    EXPECT_FALSE(page->Peaks->ShowRms());

    // The zoom slider zooms the peaks, and the spectrogram follows them.
    page->tbZoom->setValue(40);
    EXPECT_FLOAT_EQ(page->Peaks->TimeScaler(), 10.0f);
    const PeakViewModel& m = page->Peaks->Model();
    EXPECT_DOUBLE_EQ(page->Spectrogram->SecondsPerPixel(), 10.0 * m.SamplesPerPeak / m.SamplesPerSecond);
    page->cbLogFrequency->setChecked(false);
    EXPECT_FALSE(page->Spectrogram->LogarithmicFrequency());

    // The player's time reaches the spectrogram through the page's peaks.
    form->AudioFilePlayer->OnTimeUpdate(form->AudioFilePlayer, 12'340'000);
    EXPECT_EQ(page->Spectrogram->PlayTime(), 12'340'000);

    // Media that cannot be analysed: the reason shows, the last picture stays.
    const QString junk = dir.filePath("junk.flac");
    ASSERT_TRUE(TestMedia::WriteFile(junk, std::vector<uint8_t>(4000, 0x21)));
    page->ShowMedia(junk);
    ASSERT_TRUE(finished.wait(30000));
    EXPECT_FALSE(finished.last().at(0).toBool());
    EXPECT_TRUE(page->lblStatus->text().startsWith("junk.flac: ")) << page->lblStatus->text().toStdString();
    EXPECT_NEAR(page->Spectrogram->DurationSeconds(), 3.0, 1e-9);
}

} // namespace kx
