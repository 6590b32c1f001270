#pragma once
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

#include "PlayerTypes.h"
#include "platform/DesignState.h"
#include "platform/Events.h"

class QTimer;
typedef struct _GstElement GstElement;

namespace kx {

class MessageWindow;

// Plays a media file on a playback pipeline and reports its time, state
// changes and end. The pipeline is the "graph"; a stopped graph stays
// prerolled (paused at the start) so that seeking keeps working.
class TKXCommonAudioPlayer : public QObject, public DesignState
{
public:
    // Makes the element used as audio output of every new graph; null means
    // the platform's automatic sink. Tests give a synchronising fake sink.
    using SinkFactory = std::function<GstElement*()>;

    explicit TKXCommonAudioPlayer(QObject* owner = nullptr);
    ~TKXCommonAudioPlayer() override;

    // Hundredths of a dB of attenuation: 0 or -5000..-300.
    int Volume() const { return volume_; }
    void SetVolume(int value);
    bool AddToRot() const { return addToRot_; }
    void SetAddToRot(bool value) { addToRot_ = value; }
    // Milliseconds between time updates; 0 or less means no updates.
    int UpdateInterval() const { return updateInterval_; }
    void SetUpdateInterval(int value);
    // Plays rates other than 1 at the media's own pitch (time stretching)
    // instead of faster and higher; default off. Applies to loaded media at once.
    bool PreservePitch() const { return preservePitch_; }
    void SetPreservePitch(bool value);

    TPlayerState State() const { return state_; }
    int64_t Duration() const { return duration_; }
    TSpeedType Speed() const { return speed_; }
    // Media position in 100-ns units; 0 without a graph.
    int64_t Position() const;
    // Seeks within 0..Duration-1; other values are ignored.
    void SetPosition(int64_t value);
    GstElement* Graph() const { return graph_; }
    uint32_t RotCookie() const { return rotCookie_; }
    MessageWindow* WindowHandle() const { return window_; }
    // True while the time-update timer runs.
    bool TimerActive() const;
    bool HasTimer() const { return timer_ != nullptr; }

    void SetAudioSinkFactory(SinkFactory factory) { sinkFactory_ = std::move(factory); }

    virtual void ClearMedia();
    virtual void GoToStart();
    virtual void Stop();
    virtual void Pause();
    virtual void Play();
    virtual void SetSpeed(TSpeedType speed);
    virtual void StepBack();
    virtual void StepForward();
    virtual void GoToEnd();

    TTimeUpdate OnTimeUpdate;
    TOnStateChangeEvent OnStateChange;
    TNotifyEvent OnMediaCleared;
    TNotifyEvent OnMediaLoaded;
    TNotifyEvent OnComplete;

    // 10 seconds, the StepBack / StepForward distance.
    static constexpr int64_t kStep = 100000000;
    // Playback rate of a speed step, or 0 for a step outside -4..4.
    static double RateOfSpeed(int speed);
    // The linear gain of a volume in hundredths of a dB.
    static double LinearVolume(int volume);
    // What the Volume setter stores for a requested value.
    static int ClampVolume(int value);

protected:
    void CreateGraph();
    void SetState(TPlayerState state);
    void TimerSwitch(bool on);
    void WindowProc(uint32_t msg, uintptr_t wParam, intptr_t lParam);
    // Renders a file into the graph and waits for it to preroll; false on failure.
    bool RenderFile(const QString& fileName);

    int64_t duration_ = 0;
    bool destroying_ = false;

private:
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

// The audio player that loads media by file name.
class TKXAudioFilePlayer : public TKXCommonAudioPlayer
{
public:
    explicit TKXAudioFilePlayer(QObject* owner = nullptr);
    ~TKXAudioFilePlayer() override;

    // Clears, builds a new graph and renders the file; true when it is playable.
    bool LoadMedia(const QString& fileName);
    void ClearMedia() override;
    void Play() override;
    QString FileName() const { return fileName_; }

private:
    QString fileName_;
};

} // namespace kx
