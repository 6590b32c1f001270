// Filters chosen by the codec selection join the decode graph under their
// names, with the splitter given its caches, and the build still completes.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QtTest/QTest>
#include <gst/gst.h>

#include "mediagraph/CodecConfig.h"
#include "mediagraph/FilterRegistry.h"
#include "mediagraph/GstPtr.h"
#include "peaks/BuildGraph.h"
#include "peaks/KXPeakBuilder.h"
#include "tests/support/TestMedia.h"

#ifdef MPGCONF_STUB

namespace kx {

namespace {

struct CacheRecorder : IAviSplitterCache {
    int32_t video = -1, audio = -1;
    int32_t SetCaches(const int32_t* v, const int32_t* a) override
    {
        video = *v;
        audio = *a;
        return 0;
    }
};

class ChosenFilters : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(CodecConfig::Load(MPGCONF_STUB));
        CodecConfig::ResetSets();
        CodecConfig::FillSetsIfDemuxEmpty();
        FilterRegistry::Register(CodecIds::AviSplitter, [this](const QString& label) {
            GstElement* e = gst_element_factory_make("identity", label.toUtf8().constData());
            g_object_set_data(G_OBJECT(e), AviSplitterCacheKey, static_cast<IAviSplitterCache*>(&cache));
            return e;
        });
        FilterRegistry::Register(CodecIds::FFDShowAudio, [](const QString& label) {
            return gst_element_factory_make("identity", label.toUtf8().constData());
        });
    }
    void TearDown() override
    {
        FilterRegistry::Unregister(CodecIds::AviSplitter);
        FilterRegistry::Unregister(CodecIds::FFDShowAudio);
        CodecConfig::Unload();
        CodecConfig::ResetSets();
    }
    CacheRecorder cache;
};

} // namespace

TEST_F(ChosenFilters, aviGetsSplitterAndDecoderNamedInTheGraph)
{
    EXPECT_TRUE(CodecConfig::DecoderSet().Contains(FFDShow));
    QTemporaryDir dir;
    const QString avi = dir.filePath("a.avi");
    ASSERT_TRUE(TestMedia::EncodeTone(avi, 1.0));
    TKXPeakBuilder builder;
    builder.SetVRMVideoCache(30);
    builder.SetVRMAudioCache(7);
    bool complete = false;
    builder.OnPeakComplete = [&](QObject*, int, const QString&, const QString&) { complete = true; };
    ASSERT_TRUE(builder.AppendFilename(avi));
    ASSERT_TRUE(builder.StartBuild());
    ASSERT_NE(builder.CurrentGraph(), nullptr);
    EXPECT_TRUE(builder.CurrentGraph()->Choice().success);
    GstBin* manager = GST_BIN(builder.GraphManager());
    EXPECT_TRUE(GstElementPtr(gst_bin_get_by_name(manager, "Demux")));
    EXPECT_TRUE(GstElementPtr(gst_bin_get_by_name(manager, "Decoder")));
    EXPECT_EQ(cache.video, 30);
    EXPECT_EQ(cache.audio, 7);
    ASSERT_TRUE(QTest::qWaitFor([&] { return builder.BuildState() != bsBuilding; }, 30000));
    EXPECT_TRUE(complete);
}

#endif

} // namespace kx
