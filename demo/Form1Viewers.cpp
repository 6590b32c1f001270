// Handlers of the viewer pages and of the player.
#include "Form1.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSlider>

#include "controls/KXFloatEdit.h"
#include "peaks/KXPeakBuilder.h"
#include "platform/NativeName.h"
#include "platform/OutputFile.h"
#include "playback/KXAudioPlayer.h"
#include "playback/KXPlayerControls.h"
#include "FrequencyPage.h"
#include "viewers/KXAudioPeakViewer.h"
#include "viewers/KXPeakEffectViewer.h"
#include "wavviewer/WavViewer.h"

namespace kx {

namespace {

QString FormatFloat(double v)
{
    return QLocale().toString(v, 'f', 2);
}

const uint8_t kDisplaySeconds[] = {1, 5, 10, 20};

} // namespace

void TForm1::Beep()
{
    if (OnBeep)
        OnBeep();
    else
        QApplication::beep();
}

void TForm1::WirePlayer()
{
    AudioFilePlayer->OnTimeUpdate = [this](QObject*, int64_t time) {
        Viewer->SetPlayTime(time);
        Viewer1->SetPlayTime(time);
        SpectrogramTab->Peaks->SetPlayTime(time);
    };
    AudioFilePlayer->OnStateChange = [this](QObject*, TPlayerState state) {
        if (state == psStop)
            Viewer->ScrollToSeconds(0);
        // The bar reports to us instead of driving a panel: show it where
        // the player went, also when playback ends by itself.
        PlayControl->FollowState(state);
    };
    AudioFilePlayer->OnMediaLoaded = [this](QObject*) { PlayControl->SetEnabled(true); };
    AudioFilePlayer->OnMediaCleared = [this](QObject*) { PlayControl->SetEnabled(false); };
}

void TForm1::btnLoadFileClick()
{
    const QString name = OpenPeaksDialog();
    if (name.isEmpty() || !Viewer)
        return;
    Viewer->SetPeaksFileName(name);
    lblDuration->setText(QStringLiteral("%1 sec").arg(Viewer->DurationMs() / 1000));
}

void TForm1::btnGoToSecondsClick()
{
    if (!Viewer)
        return;
    bool ok = false;
    const int seconds = edtTime->text().toInt(&ok);
    if (ok)
        Viewer->ScrollToSeconds(seconds);
}

void TForm1::tbScalerChange()
{
    const float value = static_cast<float>(tbScaler->value()) / 4.0f;
    lblScaler->setText(FormatFloat(value));
    if (Viewer)
        Viewer->SetTimeScaler(value);
}

void TForm1::btnLoadStreamClick()
{
    // The index the box shows: its value rounded as displayed, not truncated.
    const int index = static_cast<int>(feStreamIndex->ShownValue());
    TMemoryStream* stream = nullptr;
    if (KXPeakBuilder1->GetStreamByIndex(index, stream) && !Viewer->LoadFromStream(stream))
        Beep();
}

void TForm1::btnLoadFromFileClick()
{
    const QString name = OpenMediaDialog();
    if (name.isEmpty())
        return;
    MediaFileName = name;
    AudioFilePlayer->LoadMedia(MediaFileName);
    KXPeakBuilder1->AppendFilename(MediaFileName);
}

void TForm1::cbCursorAtMouseClick()
{
    Viewer->SetPaintCursor(cbCursorAtMouse->isChecked());
}

void TForm1::cbPreservePitchClick()
{
    AudioFilePlayer->SetPreservePitch(cbPreservePitch->isChecked());
}

void TForm1::Button7Click()
{
    lblTime->setText(QStringLiteral("%1 msec").arg(Viewer->TimeAtPixel(400)));
}

void TForm1::btnMark3To7Click()
{
    Viewer->SetMark(3000, 7000);
}

void TForm1::btnMark13To25Click()
{
    Viewer->SetMark(13000, 25000);
}

void TForm1::Button11Click()
{
    Viewer->SetMark(0, 0);
}

void TForm1::tbPlayStepPercentChange()
{
    Viewer->SetPlayStepPercent(tbPlayStepPercent->value());
    lblPlayStepPercent->setText(QStringLiteral("%1%").arg(Viewer->PlayStepPercent()));
}

void TForm1::btnLoadFromFile1Click()
{
    const QString name = OpenPeaksDialog();
    if (name.isEmpty())
        return;
    EffectViewer->Clear();
    EffectViewer->SetPeaksFileName(name);
    EffectViewer->InitPoints();
}

void TForm1::Button12Click()
{
    EffectViewer->Clear();
}

void TForm1::cbEffectClick(QCheckBox* box)
{
    TEffectTypes visible = EffectViewer->VisiblePoints();
    const TEffectType type = box == cbEffectA ? fcA : box == cbEffectB ? fcB : fcC;
    visible.Set(type, box->isChecked());
    EffectViewer->SetVisiblePoints(visible);
}

void TForm1::cbFocusedPointChange()
{
    const int i = cbFocusedPoint->currentIndex();
    if (i >= 0 && i <= 2)
        EffectViewer->SetFocusedType(static_cast<TEffectType>(i));
}

void TForm1::cbStereoEffectsClick()
{
    EffectViewer->SetStereoEffects(cbStereoEffects->isChecked());
}

void TForm1::tbEffectViewerScalerChange()
{
    const auto value = static_cast<float>(tbEffectViewerScaler->value());
    lblEffectScaler->setText(FormatFloat(value));
    if (EffectViewer)
        EffectViewer->SetTimeScaler(value);
}

void TForm1::PeakEffectPopupPopup()
{
    miDeletePoint->setEnabled(EffectViewer->HotIndex() >= 0);
}

void TForm1::miDeletePointClick()
{
    const int index = EffectViewer->HotIndex();
    if (index < 0)
        return;
    TEffectPointRec point{};
    EffectViewer->GetPoint(EffectViewer->FocusedType(), index, point);
    EffectViewer->DeletePoint(EffectViewer->FocusedType(), point.Channel, index);
}

void TForm1::Button1Click()
{
    const QString name = OpenMediaDialog();
    if (name.isEmpty())
        return;
    WavViewer->SetFileName(name);
    WavViewer->BuildPeaks();
}

void TForm1::Button2Click()
{
    WavViewer->Stop();
}

void TForm1::Button3Click()
{
    WavViewer->PauseResume();
}

void TForm1::Button4Click()
{
    WavViewer->Play(true, 0);
}

void TForm1::CheckBox1Click()
{
    WavViewer->PeakData().Clear();
    WavViewer->SetSavePeaks(CheckBox1->isChecked());
    WavViewer->update();
}

void TForm1::cbDisplayTimeChange()
{
    const int i = cbDisplayTime->currentIndex();
    if (i >= 0 && i < 4)
        WavViewer->SetSecondsToShow(kDisplaySeconds[i]);
}

void TForm1::Button6Click()
{
    OpenPeaksDialog();
    cbDisplayTimeChange();
}

void TForm1::btnLoadBothClick()
{
    const QString name = cbAudioFilename->currentText();
    WavViewer->SetFileName(name);
    WavViewer->BuildPeaks();
    // The peak file is built afresh, but only one the builder may replace
    // goes: never the file given in the box, a read-only file or a file of
    // another kind, which then fails the build with its reason.
    const QString peak = ChangeFileExt(name, KXPeakBuilder1->PeakExtension());
    if (StatNative(peak).isFile && OutputRefusal(peak, KXPeakBuilder1->PeakFileRules(name)).isEmpty())
        QFile::remove(peak);
    KXPeakBuilder1->AppendFilename(name);
    KXPeakBuilder1->StartBuild();
    AudioFilePlayer->LoadMedia(name);
}

void TForm1::Button8Click()
{
    AudioFilePlayer->Stop();
}

void TForm1::Button9Click()
{
    AudioFilePlayer->Pause();
}

void TForm1::Button10Click()
{
    AudioFilePlayer->Play();
}

} // namespace kx
