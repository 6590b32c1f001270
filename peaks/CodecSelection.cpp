#include "CodecSelection.h"

namespace kx {

MediaSubtype SubtypeOf(const QString& name, int mpegVersion, bool systemStream)
{
    if (name == QLatin1String("video/x-msvideo"))
        return MediaSubtype::Avi;
    if (name == QLatin1String("video/mpegts"))
        return MediaSubtype::Mpeg2Transport;
    if (name == QLatin1String("video/mpeg") && mpegVersion == 2)
        return systemStream ? MediaSubtype::Mpeg2Program : MediaSubtype::Mpeg2Video;
    if (name == QLatin1String("video/quicktime"))
        return MediaSubtype::QTMovie;
    if (name == QLatin1String("video/x-svq"))
        return MediaSubtype::Svq1;
    if (name == QLatin1String("image/jpeg"))
        return MediaSubtype::Jpeg;
    if (name == QLatin1String("video/x-h264"))
        return MediaSubtype::Avc1;
    return MediaSubtype::Other;
}

namespace {

class Selection
{
public:
    Selection(const CanCreateFilter& canCreate, const CodecChoice& previous) : canCreate_(canCreate)
    {
        choice.hasDemux = previous.hasDemux;
        choice.demux = previous.demux;
        choice.setupKind = previous.setupKind;
        choice.setCaches = previous.setCaches;
    }

    bool Create(const QString& id, const QString& label)
    {
        choice.tried.append(id);
        return canCreate_ && canCreate_(CodecFilter{id, label});
    }
    bool TryDemux(const QString& id, const QString& label, int setupKind)
    {
        if (!Create(id, label))
            return false;
        choice.hasDemux = true;
        choice.demux = {id, label};
        choice.setupKind = setupKind;
        return true;
    }
    bool TryDecoder(const QString& id, const QString& label)
    {
        if (!Create(id, label))
            return false;
        choice.hasDecoder = true;
        choice.decoder = {id, label};
        return true;
    }
    // The demultiplexer for the DScaler, FFDShow and VRMMedia sets.
    void FallbackDemux(TFilterSet set, TFilterSets demuxSet)
    {
        if (demuxSet.Contains(set)) {
            TryDemux(CodecIds::VrmDemux, QStringLiteral("VRM Demux"), 5);
            return;
        }
        TryDemux(CodecIds::ElecardDemux, QStringLiteral("Elecard demux"), 2) ||
            TryDemux(CodecIds::MoonlightDemux, QStringLiteral("Moonlight demux"), 1) ||
            TryDemux(CodecIds::MicrosoftMpeg2Demux, QStringLiteral("Microsoft mpeg2 demux"), 0);
    }
    CodecChoice Finish(bool success)
    {
        choice.success = success;
        return choice;
    }

    CodecChoice choice;

private:
    const CanCreateFilter& canCreate_;
};

CodecChoice SelectMpeg(Selection& s, TFilterSet set, TFilterSets demuxSet, TFilterSets decoderSet)
{
    const bool noDemuxYet = !s.choice.hasDemux;
    switch (set) {
    case Moonlight:
    case Elecard: {
        if (!demuxSet.Contains(set))
            return s.Finish(false);
        const bool moon = set == Moonlight;
        if (noDemuxYet) {
            if (moon)
                s.TryDemux(CodecIds::MoonlightDemux, QStringLiteral("Moonlight Demux"), 1);
            else
                s.TryDemux(CodecIds::ElecardDemux, QStringLiteral("Elecard Demux"), 2);
        }
        s.TryDecoder(CodecIds::DScalerAudio, QStringLiteral("DScaler audio decoder")) ||
            s.TryDecoder(CodecIds::FFDShowAudio, QStringLiteral("FFDShow audio decoder")) ||
            (moon ? s.TryDecoder(CodecIds::MoonlightAudio, QStringLiteral("Moonlight OdioDekoda"))
                  : s.TryDecoder(CodecIds::ElecardAudio, QStringLiteral("Elecard Audio decoder")));
        break;
    }
    case DScaler:
    case FFDShow:
    case VRMMedia: {
        // The FFDShow requirement is only tested while no demultiplexer is chosen.
        const bool required = set == FFDShow ? (!noDemuxYet || decoderSet.Contains(FFDShow)) : decoderSet.Contains(set);
        if (!required)
            return s.Finish(false);
        if (noDemuxYet)
            s.FallbackDemux(set, demuxSet);
        if (s.choice.hasDemux) {
            if (set == DScaler)
                s.TryDecoder(CodecIds::DScalerAudio, QStringLiteral("DScaler Audio Decoder"));
            else if (set == FFDShow)
                s.TryDecoder(CodecIds::FFDShowAudio, QStringLiteral("FFDShow Audio decoder"));
            else
                s.TryDecoder(CodecIds::FFDShowAudio, QStringLiteral("FFDShow Audio Decoder"));
        }
        break;
    }
    default:
        return s.Finish(false);
    }
    return s.Finish(s.choice.hasDemux && s.choice.hasDecoder);
}

} // namespace

CodecChoice SelectCodecs(MediaSubtype subtype, TFilterSet codecSet, TFilterSets demuxSet, TFilterSets decoderSet,
                         const CanCreateFilter& canCreate, const CodecChoice& previous)
{
    Selection s(canCreate, previous);
    switch (subtype) {
    case MediaSubtype::Avi:
        if (!decoderSet.Contains(FFDShow))
            return s.Finish(false);
        if (!s.choice.hasDemux && s.TryDemux(CodecIds::AviSplitter, QStringLiteral("Avi Splitter"), 0))
            s.choice.setCaches = true;
        s.TryDecoder(CodecIds::FFDShowAudio, QStringLiteral("FFDShow Audio decoder"));
        return s.Finish(s.choice.hasDemux && s.choice.hasDecoder);
    case MediaSubtype::Mpeg2Video:
    case MediaSubtype::Mpeg2Program:
    case MediaSubtype::Mpeg2Transport:
        return SelectMpeg(s, codecSet, demuxSet, decoderSet);
    case MediaSubtype::QTMovie:
    case MediaSubtype::Svq1:
    case MediaSubtype::Jpeg:
    case MediaSubtype::Avc1:
    case MediaSubtype::QTOther:
        if (!decoderSet.Contains(FFDShow))
            return s.Finish(false);
        s.TryDecoder(CodecIds::FFDShowAudio, QStringLiteral("FFDShow Audio Decoder"));
        return s.Finish(s.choice.hasDecoder);
    case MediaSubtype::Other:
        break;
    }
    return s.Finish(false);
}

} // namespace kx
