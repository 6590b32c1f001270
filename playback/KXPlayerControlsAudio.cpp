// The transport bar linked to an audio player: the wiring an owner would do
// by hand, made of Qt connections so that every handler stays the owner's.
#include "KXAudioPlayer.h"
#include "KXPlayerControls.h"

namespace kx {

namespace {

// What a click reported by the bar asks of the player, as a linked panel
// would be driven.
void DriveAudioPlayer(TKXCommonAudioPlayer& player, TControlOption option, int speed)
{
    switch (option) {
    case coGoToStart: player.GoToStart(); break;
    case coFastRewind:
    case coFastForward:
        // Speed 0 here is a click against the running direction: stop.
        if (speed == 0) {
            player.SetSpeed(0);
            player.Stop();
        } else {
            player.SetSpeed(TSpeedType(speed));
        }
        break;
    case coStepBack: player.StepBack(); break;
    case coStop: player.Stop(); break;
    case coPause: player.Pause(); break;
    case coPlay:
        if (player.State() != psPlay)
            player.Play();
        break;
    case coStepForward: player.StepForward(); break;
    case coGoToEnd: player.GoToEnd(); break;
    case coPlayReverse: break;
    }
}

} // namespace

void TKXPlayerControls::SetAudioPlayer(TKXCommonAudioPlayer* value)
{
    if (value == audioPlayer_)
        return;
    if (!audioPlayer_)
        enabledBeforeLink_ = enabled_;
    UnlinkAudio();
    if (!value) {
        ApplyEnabled(enabledBeforeLink_);
        Q_EMIT linkChanged();
        return;
    }
    if (playerLib_)
        SetPlayerLib(nullptr);
    audioPlayer_ = value;
    audioLinks_ = {
        connect(value, &TKXCommonAudioPlayer::stateChange, this,
                [this](TPlayerState state) {
                    // The player left fast play: the next fast click starts from speed 1.
                    if (state != psFF && state != psFR)
                        speed_ = 0;
                    FollowState(state);
                }),
        connect(value, &TKXCommonAudioPlayer::mediaLoaded, this, [this] { SetEnabled(true); }),
        connect(value, &TKXCommonAudioPlayer::mediaCleared, this, [this] { SetEnabled(false); }),
        connect(this, &TKXPlayerControls::controlEvent, value,
                [value](TControlOption option, int speed) { DriveAudioPlayer(*value, option, speed); }),
        connect(value, &QObject::destroyed, this, [this] { AudioPlayerGone(); }),
    };
    // A player that has media enables the bar at once; the buttons are set
    // again either way, without what the player cannot serve.
    ApplyEnabled(value->State() > psClosed);
    Q_EMIT linkChanged();
}

void TKXPlayerControls::UnlinkAudio()
{
    for (const QMetaObject::Connection& c : audioLinks_)
        disconnect(c);
    audioLinks_.clear();
    audioPlayer_ = nullptr;
}

void TKXPlayerControls::AudioPlayerGone()
{
    // The player's connections went with it; only the bar is left to restore.
    audioLinks_.clear();
    audioPlayer_ = nullptr;
    ApplyEnabled(enabledBeforeLink_);
    Q_EMIT linkChanged();
}

} // namespace kx
