#include "QuickAudioPlayer.h"

#include "QuickPaths.h"
#include "mediagraph/MediaFramework.h"
#include "platform/Exception.h"
#include "platform/Logging.h"

namespace kx {

QuickAudioPlayer::QuickAudioPlayer(QObject* parent) : TKXAudioFilePlayer(parent)
{
    InitMediaFramework();
    // A play pointer bound to position moves smoothly without any setting.
    SetUpdateInterval(40);
    connect(this, &TKXAudioFilePlayer::fileNameChanged, this, &QuickAudioPlayer::sourceChanged);
    connect(this, &TKXCommonAudioPlayer::stateChange, this, [this] {
        if (playing() != wasPlaying_) {
            wasPlaying_ = playing();
            Q_EMIT playingChanged();
        }
    });
}

void QuickAudioPlayer::SetSource(const QString& value)
{
    if (value.isEmpty()) {
        ClearMedia();
        return;
    }
    if (value == FileName())
        return;
    if (!LoadMedia(LocalPath(value)))
        throw Exception(QStringLiteral("Cannot play %1").arg(value));
}

bool QuickAudioPlayer::load(const QString& file)
{
    if (LoadMedia(LocalPath(file)))
        return true;
    qCWarning(lcPlayback).noquote() << "cannot play" << file;
    Q_EMIT error(QStringLiteral("Cannot play %1").arg(file));
    return false;
}

} // namespace kx
