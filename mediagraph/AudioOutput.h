#pragma once
#include <QString>
#include <functional>

typedef struct _GstElement GstElement;

namespace kx {

/// Whether the machine offers sound output: a PulseAudio or PipeWire server
/// socket in the runtime folder, a PULSE_SERVER, or an ALSA playback device.
/// Looked up without opening anything, so that machines without sound never
/// hear from the sound libraries (they print their errors straight to stderr).
bool SoundOutputPresent();
/// The same test on given folders (tests).
bool SoundOutputPresent(const QString& runtimeFolder, const QString& deviceFolder);

/// A sink for playback: the system's output when there is one that works,
/// else a fake sink synchronised to the clock, so that playback still runs in
/// real time. The first fallback in a process is told once: one line on
/// stderr (category kx.playback) and a call of the fallback handler.
GstElement* MakeAudioSink();

/// Told, on the thread that made the sink, when playback falls back to the
/// fake sink. Gives the previous handler.
///@{
using AudioFallbackHandler = std::function<void(const QString& message)>;
AudioFallbackHandler SetAudioFallbackHandler(AudioFallbackHandler handler);
///@}

/// Whether the fallback has been told in this process; tests may reset it.
///@{
bool AudioFallbackTold();
void ResetAudioFallbackNotice();
///@}

} // namespace kx
