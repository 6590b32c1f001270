// Handlers of the "PeakBuilder" page and of the builder's events.
#include "Form1.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include "controls/HZDropFiles.h"
#include "peaks/KXPeakBuilder.h"
#include "platform/widgets/FileDialogs.h"
#include "viewers/KXAudioPeakViewer.h"

namespace kx {

namespace {

const uint16_t kGains[] = {1024, 2048, 4096, 8192, 16384, 32768, 65535};
const uint16_t kSamplesPerPeak[] = {100, 200, 500, 1000};

QString Hex4(uint16_t v)
{
    return QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0')).toUpper();
}

} // namespace

void TForm1::Log(const QString& line)
{
    Memo->appendPlainText(line);
}

QString TForm1::MediaFolder() const
{
    return exampleMedia_.isEmpty() ? QString() : QFileInfo(exampleMedia_.first()).absolutePath();
}

QString TForm1::OpenMediaDialog()
{
    return ExecuteFileDialog(this, {FileDialogKind::Open, QString(),
                                    QStringLiteral("Wave files(*.wav)|*.wav|flac files(*.flac)|*.flac|mpeg files(*.mpg)|*.mpg"),
                                    1, MediaFolder()});
}

QString TForm1::OpenPeaksDialog()
{
    return ExecuteFileDialog(this, {FileDialogKind::Open, QString(),
                                    QStringLiteral("Peaks file(*.pek)|*.pek|Any File(*.*)|*.*"), 2, MediaFolder()});
}

void TForm1::Button5Click()
{
    const QString name = OpenMediaDialog();
    if (name.isEmpty())
        return;
    Memo->clear();
    if (KXPeakBuilder1->AppendFilename(name)) {
        for (const QString& f : KXPeakBuilder1->Files())
            Log(f);
    } else {
        Log(QStringLiteral("AppendFilename failed"));
    }
}

void TForm1::btnStartClick()
{
    Log(KXPeakBuilder1->StartBuild() ? QStringLiteral("StartBuild succeeded") : QStringLiteral("StartBuild failed"));
}

void TForm1::btnPauseClick()
{
    Log(KXPeakBuilder1->PauseBuild() ? QStringLiteral("PauseBuild succeeded") : QStringLiteral("PauseBuild failed"));
}

void TForm1::btnStopClick()
{
    Log(KXPeakBuilder1->StopBuild() ? QStringLiteral("StopBuild succeeded") : QStringLiteral("StopBuild failed"));
}

void TForm1::btnClearClick()
{
    Memo->clear();
    auto counts = [this] {
        Log(QStringLiteral("File count: %1").arg(KXPeakBuilder1->FileCount()));
        Log(QStringLiteral("Filled Streams: %1").arg(KXPeakBuilder1->FilledStreamCount()));
    };
    counts();
    KXPeakBuilder1->Clear();
    Log(QStringLiteral("Clear"));
    counts();
}

void TForm1::cbCreatePeakFilesClick()
{
    KXPeakBuilder1->SetSaveToPeakFiles(cbCreatePeakFiles->isChecked());
}

void TForm1::cbPeaksPerSecChange()
{
    const int i = cbPeaksPerSec->currentIndex();
    if (i >= 0 && i < 4)
        KXPeakBuilder1->SetSamplesPerPeak(kSamplesPerPeak[i]);
}

void TForm1::cbPeaksGainChange()
{
    const int i = cbPeaksGain->currentIndex();
    if (i < 0 || i >= 7)
        return;
    const uint32_t gain = kGains[i];
    KXPeakBuilder1->SetGains(gain | (gain << 16));
    Log(QStringLiteral("Gain Left: %1Gain Right: %2").arg(Hex4(KXPeakBuilder1->LeftGain()), Hex4(KXPeakBuilder1->RightGain())));
}

void TForm1::cbPostProcClick()
{
    KXPeakBuilder1->SetPostProcessing(cbPostProc->isChecked());
    if (KXPeakBuilder1->PostProcessing() == cbPostProc->isChecked()) {
        Log(QStringLiteral("Change Post Proc succeeded"));
    } else {
        Log(QStringLiteral("Change Post Proc failed"));
        cbPostProc->setChecked(KXPeakBuilder1->PostProcessing());
    }
}

void TForm1::cbAbortClick()
{
    KXPeakBuilder1->AbortBuild();
}

void TForm1::DropFilesDropFiles(QObject*)
{
    const int n = DropFiles->Count();
    QStringList names;
    for (int i = 0; i < n; ++i)
        names << DropFiles->Files(i);
    if (cbAppend->isChecked()) {
        if (n == 1)
            KXPeakBuilder1->AppendFilename(names[0]);
        else
            KXPeakBuilder1->AppendFilenames(names);
    } else {
        if (n == 1)
            KXPeakBuilder1->SetFilename(names[0]);
        else
            KXPeakBuilder1->SetFilenames(names);
    }
    if (StartOnDrop)
        KXPeakBuilder1->StartBuild();
    Log(QStringLiteral("File count: %1").arg(KXPeakBuilder1->FileCount()));
    Log(QStringLiteral("Filled Streams: %1").arg(KXPeakBuilder1->FilledStreamCount()));
}

void TForm1::LoadViewerFromBuilder(TKXAudioPeakViewer* viewer, const QString& fileName)
{
    TMemoryStream* stream = nullptr;
    if (KXPeakBuilder1->GetStreamByName(fileName, stream))
        viewer->LoadFromStream(stream);
}

void TForm1::UpdateBuildButtons()
{
    const uint8_t state = KXPeakBuilder1->BuildState();
    const bool running = state == bsPaused || state == bsBuilding;
    btnStart->setEnabled(!running);
    btnPause->setEnabled(running);
    btnStop->setEnabled(running);
}

void TForm1::WireBuilderEvents()
{
    TKXPeakBuilder* b = KXPeakBuilder1;
    b->OnPeakBefore = [this](QObject*, int, const QString& f, const QString&) { Log("Start Build: " + f); };
    b->OnPeakNew = [this](QObject*, int, const QString& f, const QString&) {
        Log("Peak file New: " + f);
        if (f == MediaFileName) {
            LoadViewerFromBuilder(Viewer, MediaFileName);
            lblLength->setText(QStringLiteral("%1 mins").arg(Viewer->DurationMs() / 60000));
        }
    };
    // The bench writes the RMS side file with every peak file it builds.
    b->SetWriteRms(true);
    b->OnPeakComplete = [this](QObject*, int, const QString& f, const QString&) {
        Log("Peak build completed: " + f);
        if (const QString rms = KXPeakBuilder1->RmsWarning(); !rms.isEmpty())
            Log("RMS side file not written: " + rms);
        Log(QStringLiteral("Filled Streams: %1").arg(KXPeakBuilder1->FilledStreamCount()));
        LoadViewerFromBuilder(Viewer1, f);
    };
    b->OnPeakFailed = [this](QObject*, int, const QString& f, const QString&) {
        const QString why = KXPeakBuilder1->LastBuildFailure();
        Log("Peak build Failed: " + f + (why.isEmpty() ? QString() : ": " + why));
    };
    b->OnPeakMissing = [this](QObject*, int, const QString& f, const QString&) {
        Log("Peak file Missing " + f);
        UpdateBuildButtons();
        StartOnDrop = true;
    };
    b->OnPeakAbort = [this](QObject*) {
        Log(QStringLiteral("Peek build aborted"));
        cbAbort->setChecked(false);
    };
    b->OnProgress = [this](QObject*, int progress, int item, int, bool&) {
        pbBuildPeaks->setValue(progress);
        pbBuildPeaks1->setValue(progress);
        // A file's build begins: Viewer1 fills in as its peaks arrive.
        if (progress == 0 && item >= 0 && KXPeakBuilder1->BuildState() == bsBuilding)
            Viewer1->SetLiveStream(KXPeakBuilder1, item);
    };
    b->OnError = [this](QObject*) { Log(QStringLiteral("Failed to create memory stream")); };
    b->OnDuplicateFile = [this](QObject*, const QString& f, int) {
        Log("Duplicate file: " + f);
        if (f == MediaFileName)
            LoadViewerFromBuilder(Viewer, MediaFileName);
    };
    b->OnFileNotExist = [this](QObject*, const QString& f) { Log(f + " does not exist"); };
}

} // namespace kx
