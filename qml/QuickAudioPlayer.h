#pragma once
#include <QString>
#include <QtQml/qqmlregistration.h>

#include "platform/Logging.h"
#include "platform/QtProperties.h"
#include "playback/KXAudioPlayer.h"

namespace kx {

/**
 * TKXAudioFilePlayer as the QML type `AudioPlayer`: its properties and
 * signals unchanged (volume, updateInterval, state, duration, position,
 * fileName, timeUpdate, complete, mediaLoaded, ...), a writable source that
 * loads a file, and the transport operations QML calls. A file that cannot
 * be loaded is reported through error().
 */
class QuickAudioPlayer : public kx::TKXAudioFilePlayer
{
    Q_OBJECT
    QML_NAMED_ELEMENT(AudioPlayer)
    /// The loaded file (a path or a file URL); writing loads it, empty clears.
    Q_PROPERTY(QString source READ FileName WRITE setSource NOTIFY sourceChanged)
    /// Whether it is playing.
    Q_PROPERTY(bool playing READ playing NOTIFY playingChanged)
public:
    /// The states `state` takes (TPlayerState).
    enum PlayerStates {
        Error = psError,    ///< no graph, or it failed
        Closed = psClosed,  ///< a graph without media
        Stopped = psStop,   ///< stopped at the start, ready to play
        Paused = psPause,   ///< paused where it was
        Playing = psPlay,   ///< playing
    };
    Q_ENUM(PlayerStates)

    /// A player without media and with time updates every 40 ms; starts the
    /// media framework once.
    explicit QuickAudioPlayer(QObject* parent = nullptr);

    /// Whether State() is psPlay.
    bool playing() const { return State() == psPlay; }
    /// Loads the file (reported when it cannot be played) or clears.
    KX_PROPERTY_WRITER(const QString&, setSource, SetSource, lcPlayback)

    /// Loads a file; false (and error()) when it cannot be played.
    Q_INVOKABLE bool load(const QString& file);
    /// Plays at the normal rate.
    Q_INVOKABLE void play() { Play(); }
    /// Pauses where it is.
    Q_INVOKABLE void pause() { Pause(); }
    /// Stops and returns to the start.
    Q_INVOKABLE void stop() { Stop(); }
    /// Drops the media.
    Q_INVOKABLE void clear() { ClearMedia(); }
    /// Seeks to a time in milliseconds.
    Q_INVOKABLE void seek(qint64 ms) { SetPosition(ms * 10000); }

Q_SIGNALS:
    /// A file could not be loaded.
    void error(const QString& message);
    /// playing changed.
    void playingChanged();
    /// A file was loaded, or the media cleared (fileNameChanged without its argument).
    void sourceChanged();

private:
    void SetSource(const QString& value);
    bool wasPlaying_ = false;
};

} // namespace kx
