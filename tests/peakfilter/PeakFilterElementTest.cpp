#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gst/gst.h>
#include <mutex>

#include "mediagraph/GraphEvents.h"
#include "mediagraph/GstPtr.h"
#include "mediagraph/PeakFilterContract.h"
#include "peaks/PeakFormat.h"
#include "platform/LittleEndian.h"
#include "platform/PostedEvent.h"
#include "tests/support/TestMedia.h"

namespace kx {

using namespace PeakFilter;

namespace {

struct Received {
    std::mutex mutex;
    std::vector<uint8_t> bytes;
    std::vector<int64_t> times;
    int calls = 0;
    static HResult Take(void* context, int32_t count, const uint8_t* peaks, uint32_t lo, uint32_t hi)
    {
        auto* self = static_cast<Received*>(context);
        std::lock_guard lock(self->mutex);
        self->bytes.insert(self->bytes.end(), peaks, peaks + count);
        self->times.push_back(int64_t(uint64_t(hi) << 32 | lo));
        ++self->calls;
        return S_OK;
    }
};

// A pipeline "<upstream> ! Pre Filter", run to its end or stopped early.
class FilterRun
{
public:
    explicit FilterRun(const QString& upstream)
    {
        Register();
        GError* error = nullptr;
        pipeline.reset(gst_parse_launch(upstream.toUtf8().constData(), &error));
        if (error)
            g_error_free(error);
        filter = Make("Pre Filter");
        if (!pipeline || !filter)
            return;
        gst_bin_add(GST_BIN(pipeline.get()), filter);
        GstElementPtr last(gst_bin_get_by_name(GST_BIN(pipeline.get()), "last"));
        gst_element_link(last.get(), filter);
    }
    ~FilterRun()
    {
        if (pipeline)
            gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    }
    void Configure(uint32_t rate, uint32_t channels, uint32_t bits, uint32_t spp)
    {
        IConfiguration* c = QueryConfiguration(filter);
        c->SetGains(4096, 4096);
        c->SetMode(1);
        c->SetSampleRate(rate);
        c->SetChannels(channels);
        c->SetBitsPerSample(bits);
        QueryPeaks(filter)->SetSamplesPerPeak(spp);
        QueryPeaks(filter)->SetCallback(&received, &Received::Take);
    }
    bool RunToEnd()
    {
        gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
        GstBusPtr bus(gst_element_get_bus(pipeline.get()));
        GstMessagePtr msg(gst_bus_timed_pop_filtered(bus.get(), 30 * GST_SECOND,
                                                     GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
        // The bus wait already orders the callbacks before the reads that
        // follow, but through locks a thread checker cannot see; this one it can.
        { std::lock_guard lock(received.mutex); }
        return msg && GST_MESSAGE_TYPE(msg.get()) == GST_MESSAGE_EOS;
    }

    GstElementPtr pipeline;
    GstElement* filter = nullptr;
    Received received;
};

// Temporary peak files left in a folder.
QStringList Partials(const QTemporaryDir& dir)
{
    return QDir(dir.path()).entryList({QStringLiteral("*.partial")}, QDir::Files | QDir::Hidden | QDir::System);
}

QString WavSource(const QString& path)
{
    return QStringLiteral("filesrc location=\"%1\" ! wavparse ! identity name=last").arg(path);
}

} // namespace

TEST(PeakFilterElement, answersItsInterfacesAndRefusesBadOrLateSettings)
{
    Register();
    GstElementPtr filter(Make("Pre Filter"));
    ASSERT_TRUE(filter);
    IConfiguration* c = QueryConfiguration(filter.get());
    IPeaks* p = QueryPeaks(filter.get());
    IFileSink* f = QueryFileSink(filter.get());
    ASSERT_TRUE(c && p && f);
    GstElementPtr other(gst_element_factory_make("identity", nullptr));
    EXPECT_EQ(QueryConfiguration(other.get()), nullptr);
    EXPECT_EQ(QueryPeaks(nullptr), nullptr);

    EXPECT_EQ(c->SetChannels(3), E_INVALIDARG);
    EXPECT_EQ(c->SetBitsPerSample(24), E_INVALIDARG);
    EXPECT_EQ(c->SetSampleRate(0), E_INVALIDARG);
    EXPECT_EQ(c->SetDelays(0, 1, 0), E_INVALIDARG);
    EXPECT_EQ(p->SetSamplesPerPeak(0x10000), E_INVALIDARG);  // low 16 bits: 0
    EXPECT_EQ(f->SetFileName(""), E_INVALIDARG);
    EXPECT_EQ(f->SetFileName("/proc/no-such-folder/x.pek"), E_FAIL);
    EXPECT_EQ(c->SetFreeOutputFormat(1), S_OK);
    EXPECT_EQ(p->SetPostProcessing(1), S_OK);

    // Once streaming has begun the output format can no longer change.
    gst_element_set_state(filter.get(), GST_STATE_PAUSED);
    EXPECT_EQ(c->SetChannels(1), VFW_E_WRONG_STATE);
    EXPECT_EQ(p->SetSamplesPerPeak(10), VFW_E_WRONG_STATE);
    gst_element_set_state(filter.get(), GST_STATE_NULL);
    EXPECT_EQ(c->SetChannels(1), S_OK);
}

TEST(PeakFilterElement, writesThePeakFileOnlyAtEndOfStream)
{
    QTemporaryDir dir;
    const QString wav = dir.filePath("a.wav"), peak = dir.filePath("a.pek");
    ASSERT_TRUE(TestMedia::WriteWav(wav, {44100, 2, 16, 44100 * 3}, TestMedia::Sine(300, 0.7, 44100)));
    {
        // Stopped before its end: neither the peak file nor its temporary remains.
        FilterRun run(QStringLiteral("filesrc location=\"%1\" ! wavparse ! identity name=last sleep-time=2000").arg(wav));
        run.Configure(44100, 2, 16, 100);
        ASSERT_EQ(QueryFileSink(run.filter)->SetFileName(peak), S_OK);
        gst_element_set_state(run.pipeline.get(), GST_STATE_PLAYING);
        ASSERT_EQ(gst_element_get_state(run.pipeline.get(), nullptr, nullptr, 10 * GST_SECOND), GST_STATE_CHANGE_SUCCESS);
        EXPECT_EQ(Partials(dir).size(), 1);
        gst_element_set_state(run.pipeline.get(), GST_STATE_READY);
        EXPECT_FALSE(QFileInfo::exists(peak));
        EXPECT_TRUE(Partials(dir).isEmpty());
    }
    FilterRun run(WavSource(wav));
    run.Configure(44100, 2, 16, 100);
    ASSERT_EQ(QueryFileSink(run.filter)->SetFileName(peak), S_OK);
    ASSERT_TRUE(run.RunToEnd());
    EXPECT_TRUE(Partials(dir).isEmpty());
    std::vector<uint8_t> file;
    ASSERT_EQ(ReadPeakFile(peak, PeakReader::ViewerFile, file), PeakCheck::Accepted);
    const auto header = DecodePeakHeader(file);
    EXPECT_EQ(header->PcmByteCount, 44100u * 3 * 4);
    EXPECT_EQ(header->SamplesPerPeak, 100);
    // The file holds exactly what the callback was given, in whole records.
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + PeakHeaderSize, file.end()), run.received.bytes);
    EXPECT_EQ(run.received.bytes.size(), size_t(1323 * 8));
    for (size_t i = 1; i < run.received.times.size(); ++i)
        EXPECT_GT(run.received.times[i], run.received.times[i - 1]);
    EXPECT_EQ(run.received.times.back(), 30000000);
}

TEST(PeakFilterElement, anUpstreamErrorFollowedByTheEndOfStreamLeavesNoPeakFile)
{
    QTemporaryDir dir;
    const QString peak = dir.filePath("a.pek");
    // The source fails on the error below and then ends the stream, which
    // reaches the filter as an ordinary end of stream.
    FilterRun run(QStringLiteral("audiotestsrc num-buffers=40 samplesperbuffer=1024 ! "
                                 "audio/x-raw,format=S16LE,rate=44100,channels=2 ! identity error-after=10 name=last"));
    ASSERT_TRUE(run.pipeline);
    // As in the builder: the bus is routed to a window, which is where errors are seen.
    MessageWindow window([](uint32_t, uintptr_t, intptr_t) {});
    SetNotifyWindow(run.pipeline.get(), &window, 1);
    run.Configure(44100, 2, 16, 100);
    ASSERT_EQ(QueryFileSink(run.filter)->SetFileName(peak), S_OK);
    gst_element_set_state(run.pipeline.get(), GST_STATE_PLAYING);
    GstMessagePtr error;
    for (int i = 0; i < 3000 && !error; ++i) {
        error.reset(PopEvent(run.pipeline.get(), GST_MESSAGE_ERROR));
        if (!error)
            g_usleep(1000);
    }
    ASSERT_TRUE(error);
    // The end of stream after the error arrives too; still nothing is committed.
    for (int i = 0; i < 3000 && !run.received.calls; ++i)
        g_usleep(1000);
    GstMessagePtr eos;
    for (int i = 0; i < 1000 && !eos; ++i) {
        eos.reset(PopEvent(run.pipeline.get(), GST_MESSAGE_EOS));
        if (!eos)
            g_usleep(1000);
    }
    EXPECT_TRUE(eos);
    EXPECT_TRUE(ErrorPosted(run.filter));
    EXPECT_FALSE(QFileInfo::exists(peak));
    EXPECT_TRUE(Partials(dir).isEmpty());
    gst_element_set_state(run.pipeline.get(), GST_STATE_NULL);
    SetNotifyWindow(run.pipeline.get(), nullptr, 0);
    FlushEvents(run.pipeline.get());
    EXPECT_FALSE(ErrorPosted(run.filter));
}

TEST(PeakFilterElement, aLinkPlantedUnderTheOldTemporaryNameIsNeverWrittenThrough)
{
    QTemporaryDir dir;
    const QString wav = dir.filePath("a.wav"), peak = dir.filePath("a.pek"), victim = dir.filePath("victim");
    ASSERT_TRUE(TestMedia::WriteWav(wav, {44100, 2, 16, 44100}, TestMedia::Sine(300, 0.7, 44100)));
    ASSERT_TRUE(TestMedia::WriteFile(victim, {'k', 'e', 'e', 'p'}));
    ASSERT_TRUE(QFile::link(victim, peak + ".partial"));
    FilterRun run(WavSource(wav));
    run.Configure(44100, 2, 16, 100);
    ASSERT_EQ(QueryFileSink(run.filter)->SetFileName(peak), S_OK);
    ASSERT_TRUE(run.RunToEnd());
    QFile v(victim);
    ASSERT_TRUE(v.open(QIODevice::ReadOnly));
    EXPECT_EQ(v.readAll(), QByteArray("keep"));
    std::vector<uint8_t> file;
    EXPECT_EQ(ReadPeakFile(peak, PeakReader::ViewerFile, file), PeakCheck::Accepted);
}

TEST(PeakFilterElement, convertsChannelsAndWidthAsAsked)
{
    QTemporaryDir dir;
    const QString wav = dir.filePath("a.wav");
    // Left at +0.5, right at -0.5: a mono mix is silent, the 8-bit values are the high bytes.
    ASSERT_TRUE(TestMedia::WriteWav(wav, {22050, 2, 16, 2205}, [](int64_t, int c) { return c == 0 ? 0.5 : -0.5; }));
    FilterRun mono(WavSource(wav));
    mono.Configure(22050, 1, 8, 441);
    ASSERT_TRUE(mono.RunToEnd());
    ASSERT_EQ(mono.received.bytes.size(), 5u * 2);
    for (uint8_t v : mono.received.bytes)
        EXPECT_NEAR(v, 128, 1);

    FilterRun stereo(WavSource(wav));
    stereo.Configure(22050, 2, 8, 441);
    ASSERT_TRUE(stereo.RunToEnd());
    ASSERT_EQ(stereo.received.bytes.size(), 5u * 4);
    EXPECT_EQ(stereo.received.bytes[0], (16384 >> 8) + 128);
    EXPECT_EQ(stereo.received.bytes[2], 128 - 64);
}

// Records counted at the output rate without resampling stand for the same
// spans of time as records of a resampled stream.
TEST(PeakFilterElement, recordsMatchAResampledStreamInCountAndTime)
{
    QTemporaryDir dir;
    const QString wav = dir.filePath("a.wav");
    const int64_t frames = 44100 * 2 + 333;
    const std::vector<int64_t> clicks = {4410, 30000, 51234, 88000};
    ASSERT_TRUE(TestMedia::WriteWav(wav, {44100, 1, 16, frames}, [&](int64_t f, int) {
        return std::find(clicks.begin(), clicks.end(), f) != clicks.end() ? 0.9 : 0.0;
    }));
    FilterRun direct(WavSource(wav));
    direct.Configure(48000, 1, 16, 100);
    ASSERT_TRUE(direct.RunToEnd());
    FilterRun resampled(QStringLiteral("filesrc location=\"%1\" ! wavparse ! audioresample ! audio/x-raw,rate=48000 "
                                       "! identity name=last").arg(wav));
    resampled.Configure(48000, 1, 16, 100);
    ASSERT_TRUE(resampled.RunToEnd());

    const auto& a = direct.received.bytes;
    const auto& b = resampled.received.bytes;
    EXPECT_EQ(a.size(), b.size());
    EXPECT_EQ(a.size() / 4, size_t((frames * 48000 + 44100 * 100 - 1) / (44100 * 100)));
    // Each click sits in the same record: the one with the highest maximum near it.
    for (int64_t click : clicks) {
        const size_t expected = size_t(click * 48000 / 44100 / 100);
        size_t best = 0;
        uint16_t top = 0;
        for (size_t k = expected > 2 ? expected - 2 : 0; k < std::min(b.size() / 4, expected + 3); ++k) {
            const uint16_t v = ReadU16LE(&b[k * 4]);
            if (v > top) {
                top = v;
                best = k;
            }
        }
        EXPECT_EQ(best, expected) << click;
        EXPECT_GT(ReadU16LE(&a[expected * 4]), 32768 + 20000) << click;
    }
    // Both report the same media time at the end.
    EXPECT_NEAR(double(direct.received.times.back()), double(resampled.received.times.back()), 10000.0 / 48);
}

} // namespace kx
