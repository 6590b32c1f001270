// What the transport buttons do: drive the linked player panel, or report
// each click when no panel is linked.
#include "KXPlayerControls.h"

#include <QFileDialog>
#include <QMetaMethod>

namespace kx {

namespace {

TKXPlayerControls::SaveDialogRunner& Runner()
{
    static TKXPlayerControls::SaveDialogRunner runner;
    return runner;
}

QString RunSaveDialog(QFileDialog& dialog)
{
    if (Runner())
        return Runner()(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
}

} // namespace

TKXPlayerControls::SaveDialogRunner TKXPlayerControls::SetSaveDialogRunner(SaveDialogRunner runner)
{
    SaveDialogRunner previous = std::move(Runner());
    Runner() = std::move(runner);
    return previous;
}

void TKXPlayerControls::SetPlayerLib(TKXCommonPlayer* value)
{
    if (value == playerLib_)
        return;
    // The bar drives one player at a time.
    if (value && audioPlayer_)
        SetAudioPlayer(nullptr);
    if (playerLib_) {
        playerLib_->ClearHooks();
        QObject::disconnect(playerLib_, &QObject::destroyed, this, nullptr);
    }
    playerLib_ = value;
    if (value) {
        InstallHooks(value);
        // A panel that goes away unlinks itself.
        QObject::connect(value, &QObject::destroyed, this, [this] {
            playerLib_ = nullptr;
            Q_EMIT linkChanged();
        });
    }
    if (autoEnable_ && playerLib_)
        SetEnabled(playerLib_->State() > psClosed);
    Q_EMIT linkChanged();
}

void TKXPlayerControls::InstallHooks(TKXCommonPlayer* panel)
{
    panel->StateHook = [this](QObject*, TPlayerState state) { FollowState(state); };
    panel->EnableHook = [this] { EnableButtons(); };
    panel->DisableHook = [this] { DisableButtons(); };
    panel->SpeedResetHook = [this] { speed_ = 0; };
    panel->SelectionEndedHook = [this] { SelectionEnded(); };
    panel->ButtonDownHook = [this](int index, bool down) {
        if (index >= 0 && index < kButtonCount && buttons_[index])
            buttons_[index]->SetDown(down);
        UpdatePlaySelection();
    };
    panel->SelectionDownHook = [this](bool down) {
        if (ButtonShown(btPlaySel))
            buttons_[btPlaySel]->SetDown(down);
    };
}

void TKXPlayerControls::FollowState(TPlayerState state)
{
    auto pressIfShown = [this](TPLBtnType index) {
        if (visibleButtons_.Contains(index) && ButtonShown(index))
            PressButton(index);
    };
    if (!fullStateUpdate_) {
        if (state == psStop || state == psPause)
            pressIfShown(btStop);
        return;
    }
    switch (state) {
    case psClosed:
    case psRendering:
    case psStop:
    case psPause:
        if (ButtonShown(btPlaySel))
            ReleaseButton(btPlaySel);
        pressIfShown(btStop);
        break;
    case psPlay: pressIfShown(btPlay); break;
    case psFF: pressIfShown(btFF); break;
    case psFR: pressIfShown(btFR); break;
    default: break;
    }
}

void TKXPlayerControls::SelectionEnded()
{
    if (!playerLib_)
        return;
    if (repeatPlaySelection_) {
        playerLib_->PlaySelection(true);
    } else if (visibleButtons_.Contains(btPlaySel)) {
        ReleaseButton(btPlaySel);
        playerLib_->Stop();
    }
}

void TKXPlayerControls::UpdatePlaySelection()
{
    if (!buttons_[btMarkIn] || !buttons_[btMarkOut] || !buttons_[btPlaySel])
        return;
    buttons_[btPlaySel]->setEnabled(buttons_[btMarkIn]->Down() || buttons_[btMarkOut]->Down());
}

void TKXPlayerControls::Report(TControlOption option)
{
    Fire(OnControlEvent, this, option, speed_);
    Q_EMIT controlEvent(option, speed_);
}

void TKXPlayerControls::ButtonClick(QObject* sender)
{
    TKXCommonPlayer* panel = playerLib_;
    // Nobody to drive and nobody listening: the click changes nothing.
    static const QMetaMethod controlSignal = QMetaMethod::fromSignal(&TKXPlayerControls::controlEvent);
    if (!panel && !OnControlEvent && !isSignalConnected(controlSignal))
        return;
    TPLBtnType button = btStop;
    for (int i = 0; i < kButtonCount; ++i) {
        if (visibleButtons_.Contains(static_cast<TPLBtnType>(i)) && buttons_[i] == sender) {
            button = static_cast<TPLBtnType>(i);
            break;
        }
    }
    if (button != btFR && button != btFF)
        speed_ = 0;

    switch (button) {
    case btGoToStart: panel ? panel->GoToStart() : Report(coGoToStart); break;
    case btFR: StepFast(-1); break;
    case btStepBack:
        if (visibleButtons_.Contains(btStop))
            PressButton(btStop);
        panel ? panel->StepBack() : Report(coStepBack);
        break;
    case btStop: panel ? panel->Pause() : Report(coPause); break;
    case btPlay:
        if (panel && panel->State() != psPlay)
            panel->Play();
        else
            Report(coPlay);
        break;
    case btStepFrwd:
        if (visibleButtons_.Contains(btStop))
            PressButton(btStop);
        panel ? panel->StepForward() : Report(coStepForward);
        break;
    case btFF: StepFast(+1); break;
    case btGoToEnd: panel ? panel->GoToEnd() : Report(coGoToEnd); break;
    case btMarkIn:
    case btMarkOut:
        if (panel) {
            const int64_t duration = panel->Duration();
            // No media length, no meaningful fraction: mark the start.
            double fraction = duration > 0 ? static_cast<double>(panel->Position()) / static_cast<double>(duration) : 0.0;
            if (button == btMarkIn)
                panel->SetMarkIn(buttons_[btMarkIn]->Down(), fraction);
            else
                panel->SetMarkOut(buttons_[btMarkOut]->Down(), fraction);
            UpdatePlaySelection();
        }
        break;
    case btPlaySel:
        if (panel && panel->HasSelection()) {
            if (buttons_[btPlaySel]->Down())
                panel->PlaySelection(true);
            else
                panel->Stop();
        }
        break;
    case btCapture:
        if (panel)
            Capture();
        break;
    }
}

// One click of fast forward (step +1) or fast rewind (step -1): a click
// against the running direction at the first speed stops; the fourth speed
// is the last.
void TKXPlayerControls::StepFast(int step)
{
    TKXCommonPlayer* panel = playerLib_;
    const TControlOption option = step > 0 ? coFastForward : coFastRewind;
    if (speed_ == -step) {
        speed_ = 0;
        if (panel) {
            panel->SetSpeed(0);
            panel->Stop();
        } else {
            Report(option);
        }
        PressButton(btStop);
    } else if (speed_ * step < 4) {
        speed_ = TSpeedType(speed_ + step);
        panel ? panel->SetSpeed(speed_) : Report(option);
    }
}

void TKXPlayerControls::Capture()
{
    switch (captureMode_) {
    case cmFile: {
        const QString name = RunSaveDialog(*saveDialog_);
        if (!name.isEmpty() && playerLib_)
            playerLib_->CaptureToFile(name);
        break;
    }
    case cmBitmap:
        Fire(OnCaptureToBitmap, this);
        Q_EMIT captureToBitmap();
        break;
    case cmImage:
        Fire(OnCaptureToImage, this);
        Q_EMIT captureToImage();
        break;
    case cmCustom:
        Fire(OnCustomCapture, this);
        Q_EMIT customCapture();
        break;
    }
}

} // namespace kx
