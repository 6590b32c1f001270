#pragma once
// How the benchmarks make their media: gst-launch descriptions run to their end.
#include <gst/gst.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include "mediagraph/GstPtr.h"

namespace kx {

// True when the pipeline reached the end of its stream without an error.
inline bool RunPipelineToEnd(const QString& description)
{
    GError* error = nullptr;
    GstElementPtr pipeline(gst_parse_launch(description.toUtf8().constData(), &error));
    if (error) {
        g_error_free(error);
        return false;
    }
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    GstBusPtr bus(gst_element_get_bus(pipeline.get()));
    GstMessagePtr msg(gst_bus_timed_pop_filtered(bus.get(), GST_CLOCK_TIME_NONE,
                                                 GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return msg && GST_MESSAGE_TYPE(msg.get()) == GST_MESSAGE_EOS;
}

// A 440 Hz tone of `seconds` in 44.1 kHz stereo, encoded by `encoder` into
// `path`, made once and kept for later runs; false when it cannot be made.
inline bool MakeToneFile(const QString& path, const char* encoder, int seconds)
{
    if (QFileInfo(path).size() > 0)
        return true;
    QDir().mkpath(QFileInfo(path).path());
    const QString tmp = path + QStringLiteral(".tmp");
    const QString description =
        QStringLiteral("audiotestsrc wave=sine freq=440 volume=0.6 samplesperbuffer=4410 num-buffers=%1 "
                       "! audio/x-raw,format=S16LE,rate=44100,channels=2 ! %2 ! filesink location=\"%3\"")
            .arg(seconds * 10)
            .arg(QLatin1String(encoder), tmp);
    return RunPipelineToEnd(description) && QFile::rename(tmp, path);
}

} // namespace kx
