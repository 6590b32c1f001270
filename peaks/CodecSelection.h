#pragma once
#include <QString>
#include <QStringList>
#include <functional>

#include "mediagraph/FilterSet.h"

namespace kx {

/// Media subtypes that matter to the choice of demultiplexer and decoder.
enum class MediaSubtype {
    Other,  ///< decoded by automatic plugging
    Avi,
    Mpeg2Video,
    Mpeg2Program,
    Mpeg2Transport,
    QTMovie,
    Svq1,
    Jpeg,
    Avc1,
    QTOther,  ///< {C4C4C4D0-0049-4E2B-98FB-9537F6CE516D}
};

/// The subtype of what type finding reports: the caps' media name and, for
/// MPEG, its version and whether it is a system stream.
MediaSubtype SubtypeOf(const QString& mediaName, int mpegVersion = 0, bool systemStream = false);

/// A filter to create: its class identifier and the name it gets in the graph.
struct CodecFilter {
    QString classId;  ///< as FilterRegistry knows it
    QString label;    ///< the element's name
    /// Same identifier and label.
    bool operator==(const CodecFilter&) const = default;
};

/// The demultiplexer and decoder chosen for one subtype.
struct CodecChoice {
    bool success = false;  ///< the filters the subtype needs could be created
    /// Demultiplexer; kept across the subtypes of one source.
    bool hasDemux = false;
    CodecFilter demux;     ///< when hasDemux
    /// Kind for the codec configuration library's demultiplexer setup; 0 for none.
    int setupKind = 0;
    /// The AVI splitter is handed the video and audio caches.
    bool setCaches = false;
    bool hasDecoder = false;  ///< a decoder was chosen
    CodecFilter decoder;      ///< when hasDecoder
    /// Every class identifier the selection tried to create, in order.
    QStringList tried;
};

/// Tries to create a filter; true when it exists afterwards.
using CanCreateFilter = std::function<bool(const CodecFilter& filter)>;

/// The codec selection for one subtype. `previous` carries the demultiplexer
/// chosen for an earlier subtype of the same source; the decoder is chosen anew.
CodecChoice SelectCodecs(MediaSubtype subtype, TFilterSet codecSet, TFilterSets demuxSet, TFilterSets decoderSet,
                         const CanCreateFilter& canCreate, const CodecChoice& previous = {});

/// Class identifiers of the filters the table names.
namespace CodecIds {
/// The demultiplexers and decoders of the selection table.
///@{
inline const QString AviSplitter = QStringLiteral("{901C084B-729D-40FB-A613-E31AB5C8F203}");
inline const QString FFDShowAudio = QStringLiteral("{0F40E1E5-4F79-4988-B1A9-CC98794E6B55}");
inline const QString DScalerAudio = QStringLiteral("{D2CA75C2-05A1-4915-88A8-D433F876D186}");
inline const QString MoonlightDemux = QStringLiteral("{731B8592-4001-46D4-B1A5-33EC792B4501}");
inline const QString MoonlightAudio = QStringLiteral("{E32C3B01-C81B-4D01-8AD4-2B93F7FA544C}");
inline const QString ElecardDemux = QStringLiteral("{136DCBF5-3874-4B70-AE3E-15997D6334F7}");
inline const QString ElecardAudio = QStringLiteral("{F6C4C97D-FBFF-433F-B099-B96A12D32391}");
inline const QString VrmDemux = QStringLiteral("{C18D0AA2-A6F5-4C8B-9115-EF6B183ABDF8}");
inline const QString MicrosoftMpeg2Demux = QStringLiteral("{AFB6C280-2C41-11D3-8A60-0000F81E0E4A}");
///@}
/// The AVI splitter's cache interface.
inline const QString AviCacheInterface = QStringLiteral("{A644578E-5168-46B3-88E8-94533837DF8A}");
} // namespace CodecIds

} // namespace kx
