#include "PeakViewSource.h"

#include <QFile>
#include <QPointer>
#include <algorithm>
#include <cmath>
#include <limits>

#include "peaks/KXPeakBuilder.h"
#include "peaks/PeakFormat.h"
#include "platform/Logging.h"
#include "platform/MemoryStream.h"
#include "platform/NativeName.h"
#include "platform/Round.h"

namespace kx {

std::optional<PeakLoad> ReadViewerPeakFile(const QString& fileName)
{
    try {
        // The records are read straight into their own buffer, so a long
        // file is copied once.
        QFile file;
        if (!StatNative(fileName).isFile || !OpenNativeFile(file, fileName, QIODevice::ReadOnly))
            return std::nullopt;
        const qint64 size = file.size();
        PeakLoad load;
        load.Header.resize(PeakHeaderSize);
        const qint64 got = file.read(reinterpret_cast<char*>(load.Header.data()), PeakHeaderSize);
        const PeakCheck check =
            got < 0 ? PeakCheck::ReadFailed
                    : CheckPeakData(std::span<const uint8_t>(load.Header.data(), static_cast<size_t>(got)),
                                    static_cast<uint64_t>(size), PeakReader::ViewerFile);
        if (check != PeakCheck::Accepted) {
            qCDebug(lcViewers) << "refusing" << fileName << ":" << PeakCheckText(check);
            return std::nullopt;
        }
        load.Records.resize(static_cast<size_t>(size - PeakHeaderSize));
        if (file.read(reinterpret_cast<char*>(load.Records.data()), size - PeakHeaderSize) != size - PeakHeaderSize)
            return std::nullopt;
        return load;
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<PeakLoad> ReadViewerPeakStream(TMemoryStream* stream)
{
    if (!stream)
        return std::nullopt;
    stream->SetPosition(0);
    const int64_t size = stream->Size();
    if (size < PeakHeaderSize)
        return std::nullopt;
    PeakLoad load;
    load.Header.resize(PeakHeaderSize);
    if (stream->Read(load.Header.data(), PeakHeaderSize) != PeakHeaderSize)
        return std::nullopt;
    if (CheckPeakData(load.Header, static_cast<uint64_t>(size), PeakReader::ViewerStream) != PeakCheck::Accepted)
        return std::nullopt;
    load.Records.resize(static_cast<size_t>(size - PeakHeaderSize));
    if (stream->Read(load.Records.data(), size - PeakHeaderSize) != size - PeakHeaderSize)
        return std::nullopt;
    return load;
}

void StorePeakHeader(PeakViewModel& model, std::span<const uint8_t> header)
{
    const auto h = DecodePeakHeader(header);
    if (!h)
        return;
    model.BytesPerPeak = h->BytesPerPeak;
    model.Channels = h->Channels;
    model.SamplesPerSecond = h->SamplesPerSecond;
    model.PcmByteCount = h->PcmByteCount;
    model.SamplesPerPeak = h->SamplesPerPeak;
}

bool ApplyPeakLoad(PeakViewModel& model, PeakLoad&& load)
{
    if (!DecodePeakHeader(load.Header) || load.Records.empty())
        return false;
    StorePeakHeader(model, load.Header);
    model.PeakData = std::move(load.Records);
    model.ExpectedBytes = 0;
    model.Rms.Clear();
    model.RebuildPyramid();
    return true;
}

void SetPeakScrollRange(ScrollState& scroll, const PeakViewModel& model, int pos)
{
    const int64_t peaks = model.DataBytes() == 0 ? 0 : std::max<int64_t>(model.PeakCount(), 0);
    const int nMax = static_cast<int>(std::min<int64_t>(peaks, std::numeric_limits<int>::max()));
    const int64_t page = std::min<int64_t>(nMax, model.PeaksInView());
    scroll.SetInfo(0, nMax, static_cast<unsigned>(std::max<int64_t>(page, 0)), pos);
}

bool PeakMarkAccepted(const PeakViewModel& model, int startMs, int endMs)
{
    const int64_t pcm = model.PcmByteCount;
    if (startMs < 0 || endMs < 0 || startMs >= pcm || endMs >= pcm)
        return false;
    return !(startMs > 0 && startMs >= endMs);
}

bool PeakTimeScalerAccepted(float value)
{
    // Beyond a million peaks a column the column rules leave the integer range.
    return std::isfinite(value) && static_cast<long double>(value) >= 0.1L && value <= 1e6f;
}

std::optional<int> PlayPagePosition(const PeakViewModel& model, const ScrollState& scroll, PeakSteps steps,
                                    int playStepPercent, int clientWidth, int64_t pointerX)
{
    const double keep = 1.0 - playStepPercent / 100.0;
    const int64_t threshold = Round(clientWidth * keep);
    if (pointerX <= threshold)
        return std::nullopt;
    const int64_t jump = model.PeakAtMs(Round(steps.PageSeconds * double(model.TimeScaler) * keep * 1000.0));
    const int64_t next = std::min<int64_t>(scroll.nMax, std::max<int64_t>(scroll.nPos + jump, scroll.nPos + 10));
    return static_cast<int>(next);
}

// --- live streams ------------------------------------------------------------

void PeakLiveFollow::Start(Source source, std::function<bool()> stillWriting)
{
    source_ = std::move(source);
    writing_ = source_ ? std::move(stillWriting) : nullptr;
    head_.clear();
}

void PeakLiveFollow::Stop()
{
    source_ = nullptr;
    writing_ = nullptr;
}

PeakLiveFollow::Pulled PeakLiveFollow::Pull(PeakViewModel& model)
{
    if (!source_)
        return Pulled::Nothing;
    const bool live = !head_.empty();
    // Bytes taken so far: the header and whole records.
    const int64_t have = live ? PeakHeaderSize + static_cast<int64_t>(model.PeakData.size()) : 0;
    std::vector<uint8_t> head, tail;
    int64_t total = 0;
    if (!source_(live ? have : PeakHeaderSize, head, tail, total)) {
        Stop();
        return Pulled::Stopped;
    }
    const bool writing = writing_ && writing_();
    if (total < have) {
        // The stream was replaced (a new build): start over with it.
        head_.clear();
        return Pull(model);
    }
    const auto h = DecodePeakHeader(head);
    const int recordBytes = h ? PeakRecordSize(*h) : 0;
    if (!h || recordBytes <= 0 ||
        CheckPeakData(head, static_cast<uint64_t>(std::max<int64_t>(total, PeakHeaderSize + 1)),
                      PeakReader::ViewerStream) != PeakCheck::Accepted) {
        // Nothing usable yet; a stream that is no longer written never will be.
        if (!writing && total > 0) {
            Stop();
            return Pulled::Stopped;
        }
        return Pulled::Nothing;
    }
    // Whole records only: a block may still be on its way.
    const int64_t wholeEnd = PeakHeaderSize + (total - PeakHeaderSize) / recordBytes * recordBytes;
    const int64_t from = live ? have : PeakHeaderSize;
    const auto take = static_cast<size_t>(std::max<int64_t>(0, wholeEnd - from));
    const bool headerChanged = head != head_;
    if (take == 0 && !headerChanged) {
        if (!writing && live) {
            Stop();
            return Pulled::Stopped;
        }
        return Pulled::Nothing;
    }
    if (!live) {
        model.PeakData.clear();
        model.ExpectedBytes = 0;
        model.Rms.Clear();
    }
    StorePeakHeader(model, head);
    head_ = head;
    model.PeakData.insert(model.PeakData.end(), tail.begin(), tail.begin() + static_cast<std::ptrdiff_t>(take));
    if (!live) {
        model.RebuildPyramid();
        return Pulled::First;
    }
    model.Pyramid.Extend(model.PeakData);
    return Pulled::More;
}

std::pair<PeakLiveFollow::Source, std::function<bool()>> PeakLiveFollow::OfBuilder(TKXPeakBuilder* builder,
                                                                                     int index)
{
    QPointer<TKXPeakBuilder> b(builder);
    return {[b, index](int64_t from, std::vector<uint8_t>& head, std::vector<uint8_t>& tail, int64_t& total) {
                return b && b->CopyStream(index, from, head, tail, total);
            },
            [b, index] { return b && b->BuildState() == bsBuilding && b->CurrentItemIndex() == index; }};
}

} // namespace kx
