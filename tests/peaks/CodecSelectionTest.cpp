#include <gtest/gtest.h>

#include <set>

#include "peaks/CodecSelection.h"

namespace kx {

namespace {

// A fake "can create": only the listed class identifiers exist.
CanCreateFilter Only(std::set<QString> ids)
{
    return [ids](const CodecFilter& f) { return ids.count(f.classId) != 0; };
}

const CanCreateFilter Everything = [](const CodecFilter&) { return true; };
const CanCreateFilter Nothing = [](const CodecFilter&) { return false; };

const std::initializer_list<MediaSubtype> MpegSubtypes = {MediaSubtype::Mpeg2Video, MediaSubtype::Mpeg2Program,
                                                          MediaSubtype::Mpeg2Transport};

} // namespace

TEST(CodecSelection, subtypesFollowTypeFinding)
{
    EXPECT_EQ(SubtypeOf("video/x-msvideo"), MediaSubtype::Avi);
    EXPECT_EQ(SubtypeOf("video/mpeg", 2, true), MediaSubtype::Mpeg2Program);
    EXPECT_EQ(SubtypeOf("video/mpeg", 2, false), MediaSubtype::Mpeg2Video);
    EXPECT_EQ(SubtypeOf("video/mpeg", 1, true), MediaSubtype::Other);
    EXPECT_EQ(SubtypeOf("video/mpegts"), MediaSubtype::Mpeg2Transport);
    EXPECT_EQ(SubtypeOf("video/quicktime"), MediaSubtype::QTMovie);
    EXPECT_EQ(SubtypeOf("audio/x-wav"), MediaSubtype::Other);
}

TEST(CodecSelection, aviNeedsFFDShowAndHandsTheSplitterItsCaches)
{
    const auto none = SelectCodecs(MediaSubtype::Avi, Moonlight, {}, {}, Everything);
    EXPECT_FALSE(none.success);
    EXPECT_FALSE(none.hasDemux || none.hasDecoder);
    EXPECT_TRUE(none.tried.isEmpty());

    const auto full = SelectCodecs(MediaSubtype::Avi, Default, {}, {FFDShow}, Everything);
    EXPECT_TRUE(full.success);
    EXPECT_EQ(full.demux.classId, CodecIds::AviSplitter);
    EXPECT_TRUE(full.setCaches);
    EXPECT_EQ(full.setupKind, 0);
    EXPECT_EQ(full.decoder, (CodecFilter{CodecIds::FFDShowAudio, "FFDShow Audio decoder"}));

    // Without the splitter the decoder alone is no success, but it is kept.
    const auto half = SelectCodecs(MediaSubtype::Avi, Default, {}, {FFDShow}, Only({CodecIds::FFDShowAudio}));
    EXPECT_FALSE(half.success);
    EXPECT_FALSE(half.hasDemux);
    EXPECT_TRUE(half.hasDecoder);
}

TEST(CodecSelection, moonlightAndElecardTakeTheirOwnDemuxAndTheFirstDecoderThatExists)
{
    for (auto subtype : MpegSubtypes) {
        EXPECT_FALSE(SelectCodecs(subtype, Moonlight, {Elecard}, {}, Everything).success);
        const auto moon = SelectCodecs(subtype, Moonlight, {Moonlight}, {}, Only({CodecIds::MoonlightDemux, CodecIds::MoonlightAudio}));
        EXPECT_TRUE(moon.success);
        EXPECT_EQ(moon.demux, (CodecFilter{CodecIds::MoonlightDemux, "Moonlight Demux"}));
        EXPECT_EQ(moon.setupKind, 1);
        EXPECT_EQ(moon.decoder.label, "Moonlight OdioDekoda");
        EXPECT_EQ(moon.tried, (QStringList{CodecIds::MoonlightDemux, CodecIds::DScalerAudio, CodecIds::FFDShowAudio,
                                           CodecIds::MoonlightAudio}));

        const auto elecard = SelectCodecs(subtype, Elecard, {Elecard}, {}, Everything);
        EXPECT_TRUE(elecard.success);
        EXPECT_EQ(elecard.demux.label, "Elecard Demux");
        EXPECT_EQ(elecard.setupKind, 2);
        EXPECT_EQ(elecard.decoder.label, "DScaler audio decoder");

        const auto elecardFf = SelectCodecs(subtype, Elecard, {Elecard}, {}, Only({CodecIds::ElecardDemux, CodecIds::FFDShowAudio}));
        EXPECT_EQ(elecardFf.decoder.label, "FFDShow audio decoder");
        const auto noDecoder = SelectCodecs(subtype, Elecard, {Elecard}, {}, Only({CodecIds::ElecardDemux}));
        EXPECT_FALSE(noDecoder.success);
        EXPECT_TRUE(noDecoder.hasDemux);
    }
}

TEST(CodecSelection, dscalerWithItsOwnDemuxSetGetsOnlyTheVrmDemux)
{
    const auto c = SelectCodecs(MediaSubtype::Mpeg2Program, DScaler, {DScaler}, {DScaler}, Everything);
    EXPECT_TRUE(c.success);
    EXPECT_EQ(c.demux, (CodecFilter{CodecIds::VrmDemux, "VRM Demux"}));
    EXPECT_EQ(c.setupKind, 5);
    EXPECT_EQ(c.decoder, (CodecFilter{CodecIds::DScalerAudio, "DScaler Audio Decoder"}));
    EXPECT_EQ(c.tried, (QStringList{CodecIds::VrmDemux, CodecIds::DScalerAudio}));

    // A VRM demux that cannot be created is not replaced, and then no decoder is tried.
    const auto missing = SelectCodecs(MediaSubtype::Mpeg2Program, DScaler, {DScaler}, {DScaler}, Only({CodecIds::ElecardDemux}));
    EXPECT_FALSE(missing.success);
    EXPECT_EQ(missing.tried, QStringList{CodecIds::VrmDemux});
    EXPECT_FALSE(SelectCodecs(MediaSubtype::Mpeg2Program, DScaler, {DScaler}, {}, Everything).success);
}

TEST(CodecSelection, fallbackChainGoesElecardMoonlightMicrosoft)
{
    const auto c = SelectCodecs(MediaSubtype::Mpeg2Transport, FFDShow, {}, {FFDShow},
                                Only({CodecIds::MicrosoftMpeg2Demux, CodecIds::FFDShowAudio}));
    EXPECT_TRUE(c.success);
    EXPECT_EQ(c.tried, (QStringList{CodecIds::ElecardDemux, CodecIds::MoonlightDemux, CodecIds::MicrosoftMpeg2Demux,
                                    CodecIds::FFDShowAudio}));
    EXPECT_EQ(c.demux.label, "Microsoft mpeg2 demux");
    EXPECT_EQ(c.setupKind, 0);

    const auto moon = SelectCodecs(MediaSubtype::Mpeg2Transport, VRMMedia, {}, {VRMMedia}, Only({CodecIds::MoonlightDemux, CodecIds::FFDShowAudio}));
    EXPECT_EQ(moon.demux.label, "Moonlight demux");
    EXPECT_EQ(moon.setupKind, 1);
    EXPECT_EQ(moon.decoder.label, "FFDShow Audio Decoder");

    const auto elecard = SelectCodecs(MediaSubtype::Mpeg2Transport, VRMMedia, {}, {VRMMedia}, Everything);
    EXPECT_EQ(elecard.demux.label, "Elecard demux");
    EXPECT_EQ(elecard.setupKind, 2);

    // No demultiplexer at all: the decoder is not even tried.
    const auto none = SelectCodecs(MediaSubtype::Mpeg2Transport, FFDShow, {}, {FFDShow}, Nothing);
    EXPECT_FALSE(none.success);
    EXPECT_EQ(none.tried.size(), 3);
}

TEST(CodecSelection, ffdshowRequirementIsSkippedOnceADemuxIsChosen)
{
    EXPECT_FALSE(SelectCodecs(MediaSubtype::Mpeg2Video, FFDShow, {}, {}, Everything).success);
    CodecChoice previous;
    previous.hasDemux = true;
    previous.demux = {CodecIds::ElecardDemux, "Elecard demux"};
    previous.setupKind = 2;
    const auto c = SelectCodecs(MediaSubtype::Mpeg2Video, FFDShow, {}, {}, Everything, previous);
    EXPECT_TRUE(c.success);
    EXPECT_EQ(c.demux, previous.demux);
    EXPECT_EQ(c.tried, QStringList{CodecIds::FFDShowAudio});
    // VRMMedia has no such exception.
    EXPECT_FALSE(SelectCodecs(MediaSubtype::Mpeg2Video, VRMMedia, {}, {}, Everything, previous).success);
}

TEST(CodecSelection, setsWithoutMpegFiltersAndOtherSubtypesChooseNothing)
{
    const TFilterSets all = TFilterSets::FromBits(0xFFFF);
    for (TFilterSet set : {Default, Dirac, Illiminable, Custom, TFilterSet::Test}) {
        const auto c = SelectCodecs(MediaSubtype::Mpeg2Program, set, all, all, Everything);
        EXPECT_FALSE(c.success);
        EXPECT_TRUE(c.tried.isEmpty());
    }
    EXPECT_FALSE(SelectCodecs(MediaSubtype::Other, FFDShow, all, all, Everything).success);
}

TEST(CodecSelection, quickTimeFamilyNeedsOnlyTheDecoder)
{
    for (auto subtype : {MediaSubtype::QTMovie, MediaSubtype::Svq1, MediaSubtype::Jpeg, MediaSubtype::Avc1, MediaSubtype::QTOther}) {
        EXPECT_FALSE(SelectCodecs(subtype, Default, {}, {}, Everything).success);
        const auto c = SelectCodecs(subtype, Default, {}, {FFDShow}, Everything);
        EXPECT_TRUE(c.success);
        EXPECT_FALSE(c.hasDemux);
        EXPECT_EQ(c.decoder.label, "FFDShow Audio Decoder");
        EXPECT_FALSE(SelectCodecs(subtype, Default, {}, {FFDShow}, Nothing).success);
    }
}

} // namespace kx
