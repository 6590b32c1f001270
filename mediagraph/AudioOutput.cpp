#include "AudioOutput.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <gst/gst.h>
#include <unistd.h>

#include "platform/Logging.h"
#include "platform/RuntimeFolder.h"

namespace kx {

namespace {

QMutex noticeMutex;
bool told = false;
AudioFallbackHandler& Handler()
{
    static AudioFallbackHandler handler;
    return handler;
}

void TellFallback()
{
    AudioFallbackHandler handler;
    {
        QMutexLocker lock(&noticeMutex);
        if (told)
            return;
        told = true;
        handler = Handler();
    }
    const QString message = QStringLiteral("No sound output found: playback goes to a silent sink.");
    qCWarning(lcPlayback).noquote() << message;
    if (handler)
        handler(message);
}

GstElement* SilentSink()
{
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    if (sink)
        g_object_set(sink, "sync", TRUE, nullptr);
    return sink;
}

} // namespace

bool SoundOutputPresent(const QString& runtimeFolder, const QString& deviceFolder)
{
    if (!runtimeFolder.isEmpty()) {
        const QDir run(runtimeFolder);
        if (QFileInfo::exists(run.filePath(QStringLiteral("pulse/native"))) ||
            QFileInfo::exists(run.filePath(QStringLiteral("pipewire-0"))))
            return true;
    }
    // ALSA names playback devices pcmC<card>D<device>p.
    return !QDir(deviceFolder).entryList({QStringLiteral("pcmC*D*p")}, QDir::System | QDir::Files).isEmpty();
}

bool SoundOutputPresent()
{
    if (!qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        return true;
    QString runtime = RuntimeFolder();
    if (runtime.isEmpty())
        runtime = QStringLiteral("/run/user/%1").arg(getuid());
    return SoundOutputPresent(runtime, QStringLiteral("/dev/snd"));
}

GstElement* MakeAudioSink()
{
    if (SoundOutputPresent()) {
        if (GstElement* sink = gst_element_factory_make("autoaudiosink", nullptr)) {
            if (gst_element_set_state(sink, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE) {
                gst_element_set_state(sink, GST_STATE_NULL);
                qCDebug(lcPlayback) << "playback goes to the system's sound output";
                return sink;
            }
            gst_element_set_state(sink, GST_STATE_NULL);
            gst_object_unref(sink);
        }
    }
    TellFallback();
    return SilentSink();
}

AudioFallbackHandler SetAudioFallbackHandler(AudioFallbackHandler handler)
{
    QMutexLocker lock(&noticeMutex);
    return std::exchange(Handler(), std::move(handler));
}

bool AudioFallbackTold()
{
    QMutexLocker lock(&noticeMutex);
    return told;
}

void ResetAudioFallbackNotice()
{
    QMutexLocker lock(&noticeMutex);
    told = false;
}

} // namespace kx
