#pragma once
#include <QString>
#include <atomic>
#include <cstdint>

#include "CodecSelection.h"

typedef struct _GstElement GstElement;
typedef struct _GstPad GstPad;
typedef struct _GstMessage GstMessage;
namespace kx {

class TKXPeakBuilder;

/// Bytes a file source of a build reads at a time.
constexpr unsigned SourceBlockBytes = 64 * 1024;

/// The AVI splitter's cache interface, found on a created splitter element
/// under AviSplitterCacheKey; the two values are taken by their low bytes.
class IAviSplitterCache
{
public:
    virtual ~IAviSplitterCache() = default;
    /// Hands the builder's video and audio cache settings to the splitter.
    virtual int32_t SetCaches(const int32_t* videoCache, const int32_t* audioCache) = 0;
};
/// The object data key the splitter's IAviSplitterCache is stored under.
inline constexpr const char* AviSplitterCacheKey = "kx-avi-splitter-cache";

/// What type finding reports for the start of a file (an empty name when
/// nothing is recognised).
struct TypeFound {
    QString name;               ///< the caps' media name ("video/mpeg", ...)
    int mpegVersion = 0;        ///< for MPEG: its version, else 0
    bool systemStream = false;  ///< for MPEG: a system (multiplexed) stream
};

/// The graph that decodes one media file into the peak filter, built inside
/// the builder's graph manager (a pipeline). "Source" reads the file; the
/// codec selection may add "Demux" and "Decoder"; the peak filter is "Pre
/// Filter"; automatic plugging connects the source to the filter's audio input.
class TBuildGraph
{
public:
    /// A graph for one file, feeding the builder's peak callback and writing
    /// peakFile (none when empty); nothing is built before Build().
    TBuildGraph(TKXPeakBuilder& builder, const QString& mediaFile, const QString& peakFile);
    /// Tears down.
    ~TBuildGraph();
    TBuildGraph(const TBuildGraph&) = delete;
    TBuildGraph& operator=(const TBuildGraph&) = delete;

    /// Builds and prerolls the graph; false when the file cannot be decoded
    /// into the peak filter (no audio, no such file, not media, a refused
    /// peak file name). The manager is left empty on failure.
    bool Build();
    /// Stops the manager and removes every element from it.
    void Teardown();
    /// Removes the peak file the filter put in place in this graph, if any
    /// (a failure after its end of stream); before Teardown.
    void RemoveCommittedPeakFile();
    /// Before Build: only the decoded frames [skip, end) of the stream reach
    /// the filter (an encoder delay and padding no element trims).
    void TrimDecoded(uint64_t skip, uint64_t end)
    {
        trimSkip_ = skip;
        trimEnd_ = end;
    }

    /// The subtype type finding gave the file.
    MediaSubtype Subtype() const { return subtype_; }
    /// The demultiplexer and decoder the codec selection chose.
    const CodecChoice& Choice() const { return choice_; }
    /// Why the last build failed, for diagnostics.
    QString FailureText() const { return failure_; }

private:
    bool Fail(const QString& why);
    // Plugs from the source pin to the filter's audio input and prerolls.
    bool Connect(GstPad* sourcePin);
    // Runs the graph to PAUSED: made synchronous, so a file without audio
    // fails the build at once.
    bool Preroll();
    // The failure the bus reports (a missing plug-in, else the error given or
    // the first queued one), or the fallback text.
    QString BusFailure(const QString& fallback, GstMessage* error = nullptr);
    static void OnPadAdded(GstElement* decodebin, GstPad* pad, TBuildGraph* self);
    static void OnNoMorePads(GstElement* decodebin, TBuildGraph* self);

    TKXPeakBuilder& builder_;
    GstElement* manager_;
    QString mediaFile_;
    QString peakFile_;
    GstElement* source_ = nullptr;
    GstPad* filterPin_ = nullptr;
    TypeFound mediaType_;
    MediaSubtype subtype_ = MediaSubtype::Other;
    CodecChoice choice_;
    QString failure_;
    std::atomic<bool> linked_{false};
    uint64_t trimSkip_ = 0;
    uint64_t trimEnd_ = UINT64_MAX;
};

/// Why no peak file can be written under the name (its folder is missing,
/// read-only, ...).
QString PeakFolderProblem(const QString& peakFile);
/// What type finding reports for a file.
TypeFound FindMediaType(const QString& mediaFile);
/// Makes a decodebin choose the decoders the build graph chooses (so that
/// other pipelines decode a file to the same samples).
void ChooseDecoders(GstElement* decodebin);
/// The media subtype of a file, from its type.
MediaSubtype FindSubtype(const QString& mediaFile);

} // namespace kx
