#pragma once
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

#include "PlayerTypes.h"
#include "platform/DesignState.h"
#include "platform/Events.h"
#include "platform/TimeUnits.h"

class QTimer;
typedef struct _GstElement GstElement;

namespace kx {

class MessageWindow;

/// Plays a media file on a playback pipeline and reports its time, state
/// changes and end. The pipeline is the "graph"; a stopped graph stays
/// prerolled (paused at the start) so that seeking keeps working.
///
/// Every event is also the signal of the same name without "On", emitted
/// right after the handler, also when none is set. All of them are raised on
/// the player's own thread (bus messages reach it as posted events, time
/// updates come from its timer), so receivers elsewhere get them queued.
class TKXCommonAudioPlayer : public QObject, public DesignState
{
    Q_OBJECT
    /// Volume(): hundredths of a dB, clamped as the setter does.
    Q_PROPERTY(int volume READ Volume WRITE setVolume)
    /// AddToRot(): new graphs enter the graph registry.
    Q_PROPERTY(bool addToRot READ AddToRot WRITE setAddToRot)
    /// UpdateInterval(): milliseconds between time updates.
    Q_PROPERTY(int updateInterval READ UpdateInterval WRITE setUpdateInterval)
    /// PreservePitch(): other rates keep the pitch.
    Q_PROPERTY(bool preservePitch READ PreservePitch WRITE setPreservePitch)
    /// State() as a TPlayerState ordinal.
    Q_PROPERTY(int state READ stateOrdinal NOTIFY stateChange)
    /// 100-ns units; changes as media is loaded, cleared or measured while playing.
    Q_PROPERTY(qint64 duration READ Duration NOTIFY durationChanged)
    /// 100-ns units; notified by every time update (UpdateInterval).
    Q_PROPERTY(qint64 position READ Position WRITE setPosition NOTIFY timeUpdate)
    /// Speed(): the speed step, -4..4.
    Q_PROPERTY(int speed READ Speed)
public:
    /// @name Property writers under the names forms compiled by uic call
    ///@{
    void setVolume(int value) { SetVolume(value); } ///< Writes volume.
    void setAddToRot(bool value) { SetAddToRot(value); } ///< Writes addToRot.
    void setUpdateInterval(int value) { SetUpdateInterval(value); } ///< Writes updateInterval.
    void setPreservePitch(bool value) { SetPreservePitch(value); } ///< Writes preservePitch.
    void setPosition(qint64 value) { SetPosition(value); } ///< Writes position.
    ///@}
public:
    /// Makes the element used as audio output of every new graph; null means
    /// the platform's automatic sink. Tests give a synchronising fake sink.
    using SinkFactory = std::function<GstElement*()>;

    /// A player without media; owner is its QObject parent.
    explicit TKXCommonAudioPlayer(QObject* owner = nullptr);
    ~TKXCommonAudioPlayer() override;

    /// Hundredths of a dB of attenuation: 0 or -5000..-300.
    int Volume() const { return volume_; }
    /// Stores ClampVolume(value); reaches the graph at the next Play.
    void SetVolume(int value);
    /// Whether new graphs are entered in the process-wide graph registry.
    bool AddToRot() const { return addToRot_; }
    /// Takes effect for the next graph.
    void SetAddToRot(bool value) { addToRot_ = value; }
    /// Milliseconds between time updates; 0 or less means no updates.
    int UpdateInterval() const { return updateInterval_; }
    /// Starts, retimes or removes the time-update timer.
    void SetUpdateInterval(int value);
    /// Plays rates other than 1 at the media's own pitch (time stretching)
    /// instead of faster and higher; default off. Applies to loaded media at once.
    bool PreservePitch() const { return preservePitch_; }
    /// Rebuilds the audio chain of loaded media in place.
    void SetPreservePitch(bool value);

    /// The transport state; psError before the first graph.
    TPlayerState State() const { return state_; }
    /// Media length in 100-ns units; 0 without media.
    int64_t Duration() const { return duration_; }
    /// Duration() as a typed time.
    MediaTime DurationTime() const { return MediaTime(duration_); }
    /// The speed step of the last SetSpeed; transport calls reset it to 0.
    TSpeedType Speed() const { return speed_; }
    /// Media position in 100-ns units; 0 without a graph.
    int64_t Position() const;
    /// Position() as a typed time.
    MediaTime PositionTime() const { return MediaTime(Position()); }
    /// Seeks within 0..Duration-1; other values are ignored.
    void SetPosition(int64_t value);
    /// SetPosition with a typed time.
    void SetPosition(MediaTime value) { SetPosition(int64_t(value.count())); }
    /// The playback pipeline; null before the first load.
    GstElement* Graph() const { return graph_; }
    /// The graph registry's cookie while AddToRot registered the graph.
    uint32_t RotCookie() const { return rotCookie_; }
    /// The hidden window that receives the graph's notifications.
    MessageWindow* WindowHandle() const { return window_; }
    /// True while the time-update timer runs.
    bool TimerActive() const;
    /// Whether a time-update timer exists (UpdateInterval > 0).
    bool HasTimer() const { return timer_ != nullptr; }

    /// The audio output of graphs made from now on.
    void SetAudioSinkFactory(SinkFactory factory) { sinkFactory_ = std::move(factory); }

    /// Drops the graph; reports OnMediaCleared when there was one.
    virtual void ClearMedia();
    /// Stops at the start.
    virtual void GoToStart();
    /// Stops and returns to the start, staying prerolled.
    virtual void Stop();
    /// Pauses where it is.
    virtual void Pause();
    /// Plays at the normal rate.
    virtual void Play();
    /// Plays at the rate of a speed step (RateOfSpeed); 0 pauses.
    virtual void SetSpeed(TSpeedType speed);
    /// Seeks kStep back, not before the start.
    virtual void StepBack();
    /// Seeks kStep on, or ends playback when that passes the end.
    virtual void StepForward();
    /// Stops at the end and reports OnComplete.
    virtual void GoToEnd();

    /// Every UpdateInterval while playing, and once when playback stops.
    TTimeUpdate OnTimeUpdate;
    /// The state changed.
    TOnStateChangeEvent OnStateChange;
    /// The media was cleared (also by a new load).
    TNotifyEvent OnMediaCleared;
    /// A file was loaded and is ready to play.
    TNotifyEvent OnMediaLoaded;
    /// Playback reached the end.
    TNotifyEvent OnComplete;

    /// 10 seconds, the StepBack / StepForward distance.
    static constexpr int64_t kStep = 100000000;
    /// Playback rate of a speed step, or 0 for a step outside -4..4.
    static double RateOfSpeed(int speed);
    /// The linear gain of a volume in hundredths of a dB.
    static double LinearVolume(int volume);
    /// What the Volume setter stores for a requested value.
    static int ClampVolume(int value);

    /// State() as its ordinal, for the property system.
    int stateOrdinal() const { return int(state_); }

Q_SIGNALS:
    /// OnTimeUpdate: the position in 100-ns units.
    void timeUpdate(qint64 time);
    /// OnStateChange.
    void stateChange(kx::TPlayerState state);
    /// OnMediaCleared.
    void mediaCleared();
    /// OnMediaLoaded.
    void mediaLoaded();
    /// OnComplete.
    void complete();
    /// Duration() changed, in 100-ns units.
    void durationChanged(qint64 duration);

protected:
    /// Makes the playback pipeline (state psClosed), or psError when it cannot.
    void CreateGraph();
    /// Stores the state and reports a change.
    void SetState(TPlayerState state);
    /// Stores the duration and reports a change.
    void SetDuration(int64_t duration);
    /// Runs or stops the time updates; stopping reports the position once more.
    void TimerSwitch(bool on);
    /// The hidden window's messages: one graph notification each.
    void WindowProc(uint32_t msg, uintptr_t wParam, intptr_t lParam);
    /// Renders a file into the graph and waits for it to preroll; false on failure.
    bool RenderFile(const QString& fileName);
    /// OnMediaLoaded and its signal.
    void ReportMediaLoaded();

    /// Set while destroyed: no events reach an owner that is half gone.
    bool destroying_ = false;

private:
    void ReportTime(int64_t time);
    void ReportComplete();
    bool ControlStop();
    void ApplyAudioFilter();
    void RebuildAudioChain();
    bool SeekTo(int64_t position);
    bool ApplyRate(double rate);
    void Settle();
    bool QueryPosition(int64_t& position) const;
    int64_t QueryDuration() const;
    int64_t EstimateDuration() const;
    void Tick();

    int64_t duration_ = 0;
    int volume_ = 0;
    bool addToRot_ = false;
    TPlayerState state_ = psError;
    GstElement* graph_ = nullptr;
    TSpeedType speed_ = 0;
    double rate_ = 1.0;
    MessageWindow* window_ = nullptr;
    uint32_t rotCookie_ = 0;
    QTimer* timer_ = nullptr;
    int updateInterval_ = 0;
    bool preservePitch_ = false;
    SinkFactory sinkFactory_;
};

/// The audio player that loads media by file name.
class TKXAudioFilePlayer : public kx::TKXCommonAudioPlayer
{
    Q_OBJECT
    /// The loaded file; empty without media.
    Q_PROPERTY(QString fileName READ FileName NOTIFY fileNameChanged)
public:
    /// A player without media; owner is its QObject parent.
    explicit TKXAudioFilePlayer(QObject* owner = nullptr);
    ~TKXAudioFilePlayer() override;

    /// Clears, builds a new graph and renders the file; true when it is playable.
    bool LoadMedia(const QString& fileName);
    /// Also forgets the file name.
    void ClearMedia() override;
    /// Plays at the normal rate.
    void Play() override;
    /// The loaded file; empty without media.
    QString FileName() const { return fileName_; }

Q_SIGNALS:
    /// FileName() changed: a file was loaded, or the media cleared.
    void fileNameChanged(const QString& fileName);

private:
    void SetFileName(const QString& fileName);
    QString fileName_;
};

} // namespace kx
