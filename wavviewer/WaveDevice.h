#pragma once
#include <QPointer>
#include <QString>
#include <cstdint>
#include <memory>

#include "mediagraph/GstPtr.h"

namespace kx {

class MessageWindow;

/// Window message and codes of the device's end-of-play notification.
///@{
constexpr uint32_t MM_MCINOTIFY = 0x3B9;
enum McINotify : uint32_t {
    MCI_NOTIFY_SUCCESSFUL = 1,
    MCI_NOTIFY_SUPERSEDED = 2,
    MCI_NOTIFY_ABORTED = 4,
    MCI_NOTIFY_FAILURE = 8,
};
///@}
/// Modes as the status command reports them.
enum MciMode : uint32_t {
    MCI_MODE_NOT_READY = 524,
    MCI_MODE_STOP = 525,
    MCI_MODE_PLAY = 526,
    MCI_MODE_RECORD = 527,
    MCI_MODE_SEEK = 528,
    MCI_MODE_PAUSE = 529,
    MCI_MODE_OPEN = 530,
};
/// The only time format: positions are in milliseconds.
constexpr uint32_t MCI_FORMAT_MILLISECONDS = 0;

/// A wave playback device on playbin: opened on one file, plays from a
/// position in milliseconds to the end, and posts MM_MCINOTIFY (code in
/// wParam, device id in lParam) to its callback window when a play that asked
/// for notification ends: successful at the end of the data, superseded by a
/// later play, aborted by stop or close, failure on an error. Pause keeps the
/// pending notification; resume continues it.
/// Without a working sound device the audio goes to a fake sink that still
/// synchronises to the clock, so playback runs in real time.
class WaveDevice
{
public:
    WaveDevice();
    ~WaveDevice();
    WaveDevice(const WaveDevice&) = delete;
    WaveDevice& operator=(const WaveDevice&) = delete;

    /// Opens on the file and prerolls; false when it cannot be played.
    bool Open(const QString& fileName, MessageWindow* callback);
    /// Aborts a pending notification and releases the pipeline.
    bool Close();
    /// Between a successful Open and Close.
    bool IsOpen() const { return pipeline_ != nullptr; }
    /// Process-unique id while open, 0 when closed.
    uint32_t Id() const { return id_; }

    /// False when from lies beyond the end or the pipeline refuses.
    bool Play(uint32_t fromMs, bool notify);
    /// Transport commands; false when the device is not open or the pipeline refuses.
    /// Stop aborts a pending notification and keeps the device open.
    ///@{
    bool Pause();
    bool Resume();
    bool Stop();
    ///@}

    /// Status queries: the play position (the length once at the end), the mode
    /// (an MciMode) and the time format; false when the device is not open.
    ///@{
    bool StatusPosition(uint32_t& ms);
    bool StatusMode(uint32_t& mode);
    bool StatusTimeFormat(uint32_t& format) const;
    ///@}
    /// Length of the file in milliseconds.
    uint32_t LengthMs() const { return lengthMs_; }

    /// Every device made after this call uses a synchronising fake audio sink
    /// (tests, machines without sound).
    static void SetForceFakeAudioSink(bool on);

private:
    void ProcessBus();
    void Notify(uint32_t code);
    void EndReached();
    uint32_t QueryPositionMs() const;

    GstElementPtr pipeline_;
    std::unique_ptr<MessageWindow> busWindow_;
    QPointer<MessageWindow> callback_;
    uint32_t id_ = 0;
    uint32_t lengthMs_ = 0;
    uint32_t mode_ = MCI_MODE_NOT_READY;
    bool notifyPending_ = false;
    bool atEnd_ = false;
};

} // namespace kx
