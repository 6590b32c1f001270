#include "TestMedia.h"

#include <QFile>
#include <cmath>
#include <random>
#include <gst/gst.h>

#include "mediagraph/GstPtr.h"
#include "platform/LittleEndian.h"
#include "platform/WavWriter.h"

namespace kx {

QByteArray ReadFileContents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::vector<uint8_t> ReadFileBytes(const QString& path)
{
    const QByteArray b = ReadFileContents(path);
    return {b.begin(), b.end()};
}

namespace TestMedia {

std::vector<int16_t> Noise16(size_t count, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> d(-32768, 32767);
    std::vector<int16_t> v(count);
    for (auto& s : v)
        s = int16_t(d(rng));
    return v;
}

Signal Sine(double frequency, double amplitude, uint32_t rate)
{
    return [=](int64_t frame, int) {
        return amplitude * std::sin(2.0 * M_PI * frequency * double(frame) / double(rate));
    };
}

std::vector<uint8_t> Pcm(const WavFormat& format, const Signal& signal)
{
    const size_t bytesPerSample = format.bits / 8u;
    std::vector<uint8_t> out(static_cast<size_t>(format.frames) * format.channels * bytesPerSample);
    size_t at = 0;
    for (int64_t f = 0; f < format.frames; ++f) {
        for (int c = 0; c < format.channels; ++c) {
            const double v = std::clamp(signal(f, c), -1.0, 1.0);
            if (format.bits == 8) {
                out[at++] = static_cast<uint8_t>(std::lround(128.0 + v * 127.0));
            } else {
                WriteU16LE(&out[at], static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * 32767.0))));
                at += 2;
            }
        }
    }
    return out;
}

std::vector<uint8_t> WavBytes(const WavFormat& format, const Signal& signal)
{
    return MakeWavBytes(format.rate, format.channels, format.bits, Pcm(format, signal));
}

bool WriteFile(const QString& path, const std::vector<uint8_t>& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) ==
           static_cast<qint64>(bytes.size());
}

bool WriteWav(const QString& path, const WavFormat& format, const Signal& signal)
{
    return WriteFile(path, WavBytes(format, signal));
}

bool RunPipeline(const QString& description, int timeoutMs)
{
    GError* error = nullptr;
    GstElementPtr pipeline(gst_parse_launch(description.toUtf8().constData(), &error));
    if (error) {
        g_error_free(error);
        return false;
    }
    if (!pipeline)
        return false;
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    GstBusPtr bus(gst_element_get_bus(pipeline.get()));
    GstMessagePtr msg(gst_bus_timed_pop_filtered(bus.get(), GstClockTime(timeoutMs) * GST_MSECOND,
                                                 GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    const bool ok = msg && GST_MESSAGE_TYPE(msg.get()) == GST_MESSAGE_EOS;
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return ok;
}

bool EncodeWav(const QString& wav, const QString& encoder, const QString& out)
{
    return RunPipeline(QStringLiteral("filesrc location=\"%1\" ! wavparse ! audioconvert ! %2 ! filesink location=\"%3\"")
                           .arg(wav, encoder, out));
}

bool EncodeTone(const QString& path, double seconds, uint32_t rate, int channels)
{
    const int samplesPerBuffer = 1024;
    const auto buffers = static_cast<long>(std::ceil(seconds * rate / samplesPerBuffer));
    const QString src = QStringLiteral("audiotestsrc wave=sine freq=440 volume=0.5 samplesperbuffer=%1 num-buffers=%2 "
                                       "! audio/x-raw,format=S16LE,rate=%3,channels=%4 ! audioconvert ")
                            .arg(samplesPerBuffer).arg(buffers).arg(rate).arg(channels);
    const QString sink = QStringLiteral(" ! filesink location=\"%1\"").arg(path);
    QString enc;
    if (path.endsWith(QLatin1String(".flac")))
        enc = QStringLiteral("! flacenc");
    else if (path.endsWith(QLatin1String(".mp3")))
        enc = QStringLiteral("! lamemp3enc ! id3v2mux");
    else if (path.endsWith(QLatin1String(".ogg")))
        enc = QStringLiteral("! vorbisenc ! oggmux");
    else if (path.endsWith(QLatin1String(".wav")))
        enc = QStringLiteral("! wavenc");
    else if (path.endsWith(QLatin1String(".mpg"))) {
        // An MPEG-2 program stream; mpeg2enc, as the libav MPEG-2 video
        // encoder refuses these caps here.
        const QString video = QStringLiteral(" videotestsrc num-buffers=%1 "
                                             "! video/x-raw,width=160,height=120,framerate=25/1,format=I420 "
                                             "! mpeg2enc ! mux. ")
                                  .arg(static_cast<long>(seconds * 25));
        return RunPipeline(QStringLiteral("mpegpsmux name=mux ! filesink location=\"%1\" %2 %3 ! avenc_mp2 ! mpegaudioparse ! mux.")
                               .arg(path, video, src));
    } else if (path.endsWith(QLatin1String(".avi"))) {
        const QString video = QStringLiteral(" videotestsrc num-buffers=%1 ! video/x-raw,width=160,height=120,framerate=25/1 "
                                             "! jpegenc ! mux. ")
                                  .arg(static_cast<long>(seconds * 25));
        return RunPipeline(QStringLiteral("avimux name=mux ! filesink location=\"%1\" %2 %3 ! mux.").arg(path, video, src));
    } else
        return false;
    return RunPipeline(src + enc + sink);
}

bool EncodeVideoOnly(const QString& path, double seconds)
{
    return RunPipeline(QStringLiteral("videotestsrc num-buffers=%1 ! video/x-raw,width=160,height=120,framerate=25/1 "
                                      "! jpegenc ! avimux ! filesink location=\"%2\"")
                           .arg(static_cast<long>(seconds * 25))
                           .arg(path));
}

} // namespace TestMedia

} // namespace kx
