#include <gtest/gtest.h>

#include <gst/gst.h>

#include "mediagraph/MediaFramework.h"

namespace kx {

TEST(DecoderRanks, theUsersRankSettingIsReadAsGStreamerReadsIt)
{
    EXPECT_TRUE(FeatureRankedIn("mpg123audiodec:0", "mpg123audiodec"));
    EXPECT_TRUE(FeatureRankedIn("vorbisdec:MAX, avdec_mp3 :PRIMARY", "avdec_mp3"));
    EXPECT_FALSE(FeatureRankedIn("mpg123audiodec2:0", "mpg123audiodec"));
    EXPECT_FALSE(FeatureRankedIn("", "mpg123audiodec"));
    EXPECT_FALSE(FeatureRankedIn("flacdec:256", "avdec_mp3"));
}

TEST(DecoderRanks, theFastestMp3DecoderIsRaisedOnlyWhenTheUserRankedNone)
{
    GstPluginFeature* mpg123 = gst_registry_lookup_feature(gst_registry_get(), "mpg123audiodec");
    if (!mpg123)
        GTEST_SKIP() << "no mpg123 decoder";
    const QByteArray saved = qgetenv("GST_PLUGIN_FEATURE_RANK");
    // What GStreamer itself applies at start-up from the variable.
    gst_plugin_feature_set_rank(mpg123, GST_RANK_MARGINAL);
    qputenv("GST_PLUGIN_FEATURE_RANK", "avdec_mp3:MAX");
    ApplyDecoderRanks();
    EXPECT_EQ(gst_plugin_feature_get_rank(mpg123), guint(GST_RANK_MARGINAL));
    EXPECT_TRUE(UserRanksMp3Decoders());
    qunsetenv("GST_PLUGIN_FEATURE_RANK");
    ApplyDecoderRanks();
    EXPECT_EQ(gst_plugin_feature_get_rank(mpg123), guint(GST_RANK_PRIMARY + 1));
    EXPECT_FALSE(UserRanksMp3Decoders());
    if (!saved.isNull())
        qputenv("GST_PLUGIN_FEATURE_RANK", saved);
    gst_object_unref(mpg123);
}

} // namespace kx
