// The peak filter as every GStreamer program sees it: the kxpeaks plugin in
// the registry, its element's properties and messages, gst-inspect-1.0,
// gst-launch-1.0 and Python, each giving the peak file peaktool builds.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gst/gst.h>

#include "mediagraph/GstPtr.h"
#include "peaks/PeakFormat.h"
#include "tests/support/TestMedia.h"

namespace kx {

namespace {

// An instrumented plugin loads only into instrumented programs: GStreamer's
// tools and Python are not.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool OtherProgramsLoadThePlugin = false;
#else
constexpr bool OtherProgramsLoadThePlugin = true;
#endif
#define SKIP_UNLESS_OTHER_PROGRAMS_LOAD_IT()                                                             \
    if (!OtherProgramsLoadThePlugin)                                                                    \
    GTEST_SKIP() << "a sanitizer build's plugin needs the sanitizer's runtime in the program"

struct ProgramRun {
    int code = -1;
    QByteArray out, err;
};

// A program with the build's plugin folder on GStreamer's search path.
ProgramRun Program(const QString& program, const QStringList& args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("GST_PLUGIN_PATH", KX_PLUGIN_BUILD_DIR);
    p.setProcessEnvironment(env);
    p.start(program, args);
    ProgramRun r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

class PeakPlugin : public ::testing::Test
{
protected:
    void SetUp() override
    {
        media = dir.filePath("tone.flac");
        ASSERT_TRUE(TestMedia::EncodeTone(media, 2.5));
    }
#ifdef PEAKTOOL
    // The peak file peaktool builds of the media.
    void BuildReference()
    {
        const QString reference = dir.filePath("tone.pek");
        const ProgramRun built = Program(QStringLiteral(PEAKTOOL), {"build", "-q", media});
        ASSERT_EQ(built.code, 0) << built.err.constData();
        expected = ReadFileContents(reference);
        ASSERT_GT(expected.size(), PeakHeaderSize);
        QFile::remove(reference);
    }
#endif
    QTemporaryDir dir;
    QString media;
    QByteArray expected;
};

} // namespace

TEST_F(PeakPlugin, isFoundInTheRegistryAndDescribesItself)
{
    GstElementFactory* factory = gst_element_factory_find("kxpeaksink");
    ASSERT_TRUE(factory) << "InitMediaFramework did not make the plugin known";
    gst_object_unref(factory);

    SKIP_UNLESS_OTHER_PROGRAMS_LOAD_IT();
    const ProgramRun inspect = Program(QStringLiteral("gst-inspect-1.0"), {"kxpeaksink"});
    ASSERT_EQ(inspect.code, 0) << inspect.err.constData();
    for (const char* text : {"libgstkxpeaks.so", "samples-per-peak", "location", "left-gain", "inputs", "force",
                             "post-messages", "Range: 1 - 65535 Default: 100", "peaks", "remove-committed"})
        EXPECT_TRUE(inspect.out.contains(text)) << text;
}

#ifdef PEAKTOOL
TEST_F(PeakPlugin, gstLaunchWritesThePeakFileThatPeaktoolBuilds)
{
    SKIP_UNLESS_OTHER_PROGRAMS_LOAD_IT();
    BuildReference();
    if (HasFatalFailure())
        return;
    const QString out = dir.filePath("launch.pek");
    const ProgramRun launch = Program(QStringLiteral("gst-launch-1.0"),
                               {"-m", "filesrc", "location=" + media, "!", "decodebin", "!", "audioconvert", "!",
                                "audioresample", "!", "kxpeaksink", "location=" + out});
    ASSERT_EQ(launch.code, 0) << launch.err.constData();
    EXPECT_EQ(ReadFileContents(out), expected);
    // Progress went out as element messages, the last one saying it is done.
    EXPECT_TRUE(launch.out.contains("kxpeaks, records=(guint64)")) << launch.out.constData();
    EXPECT_TRUE(launch.out.contains("done=(boolean)true")) << launch.out.constData();
}

TEST_F(PeakPlugin, pythonBuildsThePeakFileAndPrintsItsProgress)
{
    SKIP_UNLESS_OTHER_PROGRAMS_LOAD_IT();
    BuildReference();
    if (HasFatalFailure())
        return;
    const QString out = dir.filePath("python.pek");
    const ProgramRun python = Program(QStringLiteral(KX_SYSTEM_PYTHON), {QStringLiteral(KX_PYTHON_EXAMPLE), media, out});
    ASSERT_EQ(python.code, 0) << python.err.constData();
    EXPECT_EQ(ReadFileContents(out), expected);
    const QList<QByteArray> lines = python.out.trimmed().split('\n');
    ASSERT_FALSE(lines.isEmpty());
    const int64_t records = int64_t(expected.size() - PeakHeaderSize) / 8;
    EXPECT_TRUE(lines.last().startsWith("progress records=" + QByteArray::number(qlonglong(records)) + " time=2.5"))
        << python.out.constData();
    EXPECT_TRUE(lines.last().endsWith(" done=True")) << python.out.constData();
    // The media is one of its inputs: a peak file named as the media is refused.
    const QByteArray before = ReadFileContents(media);
    const ProgramRun refused = Program(QStringLiteral(KX_SYSTEM_PYTHON), {QStringLiteral(KX_PYTHON_EXAMPLE), media, media});
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(refused.err.contains("would replace the input")) << refused.err.constData();
    EXPECT_EQ(ReadFileContents(media), before);
}

#endif

TEST_F(PeakPlugin, propertiesAreFixedWhileStreamingAndMessagesCountTheRecords)
{
    GstElementPtr pipeline(gst_parse_launch(
        QStringLiteral("filesrc location=\"%1\" ! decodebin ! audioconvert ! kxpeaksink name=peaks "
                       "samples-per-peak=441 rate=44100 channels=1 bits=8 location=\"%2\"")
            .arg(media, dir.filePath("mono8.pek"))
            .toUtf8()
            .constData(),
        nullptr));
    ASSERT_TRUE(pipeline);
    GstElementPtr sink(gst_bin_get_by_name(GST_BIN(pipeline.get()), "peaks"));
    guint bits = 0;
    g_object_get(sink.get(), "bits", &bits, nullptr);
    EXPECT_EQ(bits, 8u);
    g_object_set(sink.get(), "bits", 12u, nullptr);  // neither 8 nor 16: kept
    g_object_get(sink.get(), "bits", &bits, nullptr);
    EXPECT_EQ(bits, 8u);

    ASSERT_NE(gst_element_set_state(pipeline.get(), GST_STATE_PAUSED), GST_STATE_CHANGE_FAILURE);
    ASSERT_EQ(gst_element_get_state(pipeline.get(), nullptr, nullptr, 10 * GST_SECOND), GST_STATE_CHANGE_SUCCESS);
    gboolean streaming = FALSE;
    g_object_get(sink.get(), "streaming", &streaming, nullptr);
    EXPECT_TRUE(streaming);
    g_object_set(sink.get(), "samples-per-peak", 7u, nullptr);
    guint spp = 0;
    g_object_get(sink.get(), "samples-per-peak", &spp, nullptr);
    EXPECT_EQ(spp, 441u);

    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    GstBusPtr bus(gst_element_get_bus(pipeline.get()));
    guint64 records = 0;
    bool done = false;
    for (;;) {
        GstMessagePtr msg(gst_bus_timed_pop_filtered(
            bus.get(), 30 * GST_SECOND, GstMessageType(GST_MESSAGE_ELEMENT | GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
        ASSERT_TRUE(msg);
        ASSERT_NE(GST_MESSAGE_TYPE(msg.get()), GST_MESSAGE_ERROR);
        if (GST_MESSAGE_TYPE(msg.get()) == GST_MESSAGE_EOS)
            break;
        const GstStructure* s = gst_message_get_structure(msg.get());
        if (gst_structure_has_name(s, "kxpeaks")) {
            guint64 now = 0;
            EXPECT_TRUE(gst_structure_get_uint64(s, "records", &now));
            EXPECT_GE(now, records);
            records = now;
            gboolean last = FALSE;
            gst_structure_get_boolean(s, "done", &last);
            done = done || last;
        }
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    // The last count is the file's: 8-bit mono records are two bytes.
    const QByteArray file = ReadFileContents(dir.filePath("mono8.pek"));
    ASSERT_GT(file.size(), PeakHeaderSize);
    EXPECT_EQ(records, guint64(file.size() - PeakHeaderSize) / 2);
    EXPECT_NEAR(double(records), 2.5 * 100, 2);
    EXPECT_TRUE(done);
}

} // namespace kx
