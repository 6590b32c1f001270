#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "mediagraph/CodecConfig.h"
#include "mediagraph/FilterRegistry.h"
#include "mediagraph/GraphEvents.h"
#include "mediagraph/GraphHelpers.h"
#include "mediagraph/MediaFramework.h"
#include "platform/Exception.h"
#include "platform/GraphRegistry.h"
#include "platform/PostedEvent.h"

namespace kx {

TEST(CodecConfig, withoutTheLibraryEverythingIsZero)
{
    CodecConfig::Unload();
    CodecConfig::ResetSets();
    uint16_t a = 7, b = 9;
    EXPECT_EQ(CodecConfig::CheckFiltersPresent(&a, &b), 0u);
    EXPECT_EQ(a, 7);  // untouched
    EXPECT_EQ(CodecConfig::SetupDemux(1, nullptr, 0), 0u);
    EXPECT_EQ(CodecConfig::SetResolution(1, 5, nullptr), 0u);
    CodecConfig::FillSetsIfDemuxEmpty();
    EXPECT_TRUE(CodecConfig::DemuxSet().Empty());
    EXPECT_TRUE(CodecConfig::DecoderSet().Empty());
}

TEST(CodecConfig, presentLibraryFillsTheSetsOnceAndAnswersCalls)
{
    ASSERT_TRUE(CodecConfig::Load(QStringLiteral(MPGCONF_STUB)));
    CodecConfig::ResetSets();
    CodecConfig::FillSetsIfDemuxEmpty();
    EXPECT_EQ(CodecConfig::DemuxSet(), (TFilterSets{Moonlight, VRMMedia}));
    EXPECT_EQ(CodecConfig::DecoderSet(), (TFilterSets{DScaler, FFDShow}));
    EXPECT_EQ(CodecConfig::SetupDemux(2, nullptr, 1), 21u);
    EXPECT_EQ(CodecConfig::SetResolution(1, 42, nullptr), 42u);
    EXPECT_EQ(CodecConfig::SetResolution(99, 42, nullptr), 0u);  // a throwing export gives 0
    CodecConfig::Unload();
    EXPECT_EQ(CodecConfig::SetResolution(1, 42, nullptr), 0u);
    CodecConfig::ResetSets();
}

TEST(FilterRegistry, createsOnlyWhatIsRegistered)
{
    EXPECT_EQ(CreateFilter(QStringLiteral("{731B8592-4001-46D4-B1A5-33EC792B4501}"), "Demux"), nullptr);
    FilterRegistry::Register(QStringLiteral("{AAAA0000-0000-0000-0000-000000000001}"),
                             [](const QString& label) {
                                 return gst_element_factory_make("identity", label.toUtf8().constData());
                             });
    GstElement* e = CreateFilter(QStringLiteral("aaaa0000-0000-0000-0000-000000000001"), "Pre Filter");
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(GST_OBJECT_NAME(e), "Pre Filter");
    EXPECT_FALSE(g_object_is_floating(e));
    gst_object_unref(e);
    FilterRegistry::Register(QStringLiteral("{BBBB}"), [](const QString&) -> GstElement* {
        throw std::runtime_error("broken");
    });
    EXPECT_EQ(CreateFilter(QStringLiteral("{BBBB}"), "x"), nullptr);  // never throws
    FilterRegistry::Unregister(QStringLiteral("{AAAA0000-0000-0000-0000-000000000001}"));
    EXPECT_FALSE(FilterRegistry::Registered(QStringLiteral("{AAAA0000-0000-0000-0000-000000000001}")));
}

TEST(FindPin, matchesDirectionAndMajorType)
{
    GstElementPtr convert(GST_ELEMENT(gst_object_ref_sink(gst_element_factory_make("audioconvert", nullptr))));
    GstPadPtr in(FindPin(convert.get(), PINDIR_INPUT, MajorType::Audio));
    ASSERT_TRUE(in);
    EXPECT_EQ(GST_PAD_DIRECTION(in.get()), GST_PAD_SINK);
    EXPECT_FALSE(GstPadPtr(FindPin(convert.get(), PINDIR_INPUT, MajorType::Video)));
    GstPadPtr any(FindPin(convert.get(), PINDIR_OUTPUT, MajorType::Null));
    ASSERT_TRUE(any);
    EXPECT_EQ(GST_PAD_DIRECTION(any.get()), GST_PAD_SRC);

    GstElementPtr source(GST_ELEMENT(gst_object_ref_sink(gst_element_factory_make("filesrc", nullptr))));
    EXPECT_TRUE(GstPadPtr(FindPin(source.get(), PINDIR_OUTPUT, MajorType::Stream)));
    EXPECT_FALSE(GstPadPtr(FindPin(source.get(), PINDIR_OUTPUT, MajorType::Audio)));
    EXPECT_THROW(FindPin(nullptr, PINDIR_INPUT, MajorType::Null), Exception);
}

TEST(FolderWritable, meansWhatAUserMeans)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    EXPECT_TRUE(FolderWritable(root + "/"));
    EXPECT_TRUE(FolderWritable(root + "/file.wav"));  // names its folder
    EXPECT_FALSE(FolderWritable(root + "/missing/"));
    EXPECT_FALSE(FolderWritable(root + "/missing/file.wav"));
    QDir(root).mkdir("ro");
    chmod(QFile::encodeName(root + "/ro").constData(), 0555);
    // Also for root, who could write there anyway.
    EXPECT_FALSE(FolderWritable(root + "/ro/file.wav"));
    EXPECT_TRUE(FolderWritable(root + "/ro"));  // without a slash: its parent
    QFile f(root + "/plain");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_FALSE(FolderWritable(root + "/plain/"));  // not a directory
    EXPECT_FALSE(FolderWritable(QStringLiteral("relative-without-folder")));
    chmod(QFile::encodeName(root + "/ro").constData(), 0755);
}

TEST(VersionClass, kernelReleases)
{
    EXPECT_EQ(VersionClassOf(QStringLiteral("6.1.0-18-amd64")), 3);
    EXPECT_EQ(VersionClassOf(QStringLiteral("3.10.0")), 2);
    EXPECT_EQ(VersionClassOf(QStringLiteral("2.6.32")), 1);
    EXPECT_EQ(VersionClassOf(QStringLiteral("garbage")), 0);
    EXPECT_GE(VersionClass(), 2);
    EXPECT_TRUE(MediaFrameworkPresent());
}

TEST(GraphEvents, oneNotificationPerBusMessageAndEndOfStreamIsComplete)
{
    GstElementPtr pipeline(GST_ELEMENT(gst_object_ref_sink(
        gst_parse_launch("audiotestsrc num-buffers=3 ! fakesink sync=false", nullptr))));
    ASSERT_TRUE(pipeline);
    std::vector<long> codes;
    bool sawError = false;
    MessageWindow window([&](uint32_t msg, uintptr_t, intptr_t) {
        ASSERT_EQ(msg, 0x8001u);
        long code = 0;
        GstMessagePtr m;
        if (GetEvent(pipeline.get(), code, m))
            codes.push_back(code);
        sawError = sawError || code == EC_ERRORABORT;
    });
    SetNotifyWindow(pipeline.get(), &window, 0x8001);
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    QTRY_VERIFY_WITH_TIMEOUT(std::find(codes.begin(), codes.end(), long(EC_COMPLETE)) != codes.end(), 10000);
    EXPECT_FALSE(sawError);
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    SetNotifyWindow(pipeline.get(), nullptr, 0);
}

TEST(RegisterGraph, listsTheGraphUnderItsItemName)
{
    GstElementPtr pipeline(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new(nullptr))));
    uint32_t cookie = 0;
    RegisterGraph(pipeline.get(), true, cookie);
    ASSERT_NE(cookie, 0u);
    const QString name = FilterGraphItemName(pipeline.get(), static_cast<uint32_t>(getpid()));
    EXPECT_TRUE(GraphRegistry::Contains(name));
    const uint32_t kept = cookie;
    RegisterGraph(pipeline.get(), false, cookie);
    EXPECT_EQ(cookie, kept);  // revoking leaves the cookie
    EXPECT_FALSE(GraphRegistry::Contains(name));
}

TEST(GraphEvents, everyNotificationFindsItsMessage)
{
    // level posts a message per millisecond of audio from the streaming
    // thread: many chances for a notification to outrun its message.
    GstElementPtr pipeline(GST_ELEMENT(gst_object_ref_sink(gst_parse_launch(
        "audiotestsrc num-buffers=300 samplesperbuffer=441 ! level interval=1000000 post-messages=true "
        "! fakesink sync=false",
        nullptr))));
    ASSERT_TRUE(pipeline);
    int notifications = 0, empty = 0;
    bool complete = false;
    MessageWindow window([&](uint32_t, uintptr_t, intptr_t) {
        ++notifications;
        long code = 0;
        GstMessagePtr m;
        if (!GetEvent(pipeline.get(), code, m))
            ++empty;
        complete = complete || code == EC_COMPLETE;
    });
    SetNotifyWindow(pipeline.get(), &window, 0x8001);
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    QTRY_VERIFY_WITH_TIMEOUT(complete, 10000);
    EXPECT_GT(notifications, 300);
    EXPECT_EQ(empty, 0);
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    SetNotifyWindow(pipeline.get(), nullptr, 0);
}

TEST(GraphEvents, popByTypeAndFlush)
{
    GstElementPtr pipeline(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new(nullptr))));
    MessageWindow window([](uint32_t, uintptr_t, intptr_t) {});
    SetNotifyWindow(pipeline.get(), &window, 0x8001);
    GstBusPtr bus(gst_element_get_bus(pipeline.get()));
    gst_bus_post(bus.get(), gst_message_new_eos(GST_OBJECT(pipeline.get())));
    gst_bus_post(bus.get(), gst_message_new_error(GST_OBJECT(pipeline.get()),
                                                  g_error_new_literal(GST_CORE_ERROR, GST_CORE_ERROR_FAILED, "boom"),
                                                  nullptr));
    GstMessagePtr error(PopEvent(pipeline.get(), GST_MESSAGE_ERROR));
    ASSERT_TRUE(error);
    EXPECT_EQ(ErrorText(error.get()), "boom");
    EXPECT_EQ(ErrorText(nullptr), "");
    FlushEvents(pipeline.get());
    long code = 0;
    GstMessagePtr m;
    EXPECT_FALSE(GetEvent(pipeline.get(), code, m));  // the end of stream went with the flush
    SetNotifyWindow(pipeline.get(), nullptr, 0);
}

} // namespace kx
