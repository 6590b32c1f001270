// The RMS levels of the peak builder's builds: collected beside the records
// on every build path, kept per file, and written to the side file once the
// peak file is in place.
#include <unistd.h>

#include "KXPeakBuilder.h"
#include "platform/Logging.h"
#include "platform/NativeName.h"

namespace kx {

namespace {

// The header and record count of a peak file on disk, read without its records.
std::optional<std::pair<TPeakHeader, int64_t>> PeakFileShape(const QString& peakFile)
{
    uint64_t size = 0;
    const int fd = OpenNativeRegular(peakFile, size);
    if (fd < 0)
        return std::nullopt;
    uint8_t bytes[PeakHeaderSize] = {};
    const size_t got = ReadNativeAt(fd, 0, bytes, sizeof bytes);
    ::close(fd);
    const auto header = DecodePeakHeader({bytes, got});
    if (!header)
        return std::nullopt;
    return std::pair{*header, PeakRecordCount(*header, size)};
}

RmsData RmsFormat(uint32_t channels, uint16_t samplesPerPeak, uint32_t rate)
{
    RmsData format;
    format.channels = uint16_t(channels);
    format.samplesPerPeak = samplesPerPeak;
    format.rate = rate;
    return format;
}

// Never over the media or the peak file.
OutputRules RmsRules(const QString& media, const QString& peakFile)
{
    OutputRules rules;
    rules.Input(media);
    rules.Input(peakFile);
    return rules;
}

} // namespace

void TKXPeakBuilder::BeginRms(int index)
{
    buildRms_ = writeRms_;
    if (!buildRms_) {
        rms_.Forget(files_[index]);
        return;
    }
    // A build that keeps no records keeps no levels either: they go
    // straight to the side file, committed after the peak file.
    if (saveToPeakFiles_ && !buildKeepsStream_) {
        rms_.Forget(files_[index]);
        rms_.BeginStreamed(RmsFileFor(currentPeakFile_), RmsRules(files_[index], currentPeakFile_));
        return;
    }
    rms_.Begin(files_[index], RmsFormat(buildChannels_, buildSamplesPerPeak_, buildRate_));
}

void TKXPeakBuilder::RmsCallback(void* context, int32_t count, const uint16_t* values)
{
    if (count > 0)
        static_cast<TKXPeakBuilder*>(context)->rms_.Append(values, size_t(count));
}

std::optional<RmsData> TKXPeakBuilder::RmsLevels(int index) const
{
    if (index < 0 || index >= FileCount())
        return std::nullopt;
    if (auto built = rms_.Snapshot(files_[index]))
        return built;
    bool exists = false;
    QString peakFile;
    GetPeakFilename(index, exists, peakFile);
    if (!exists)
        return std::nullopt;
    const auto shape = PeakFileShape(peakFile);
    return shape ? ReadRmsFor(peakFile, shape->first, shape->second) : std::nullopt;
}

void TKXPeakBuilder::WriteRmsSideFile(int index)
{
    rmsWarning_.clear();
    if (!buildRms_ || !saveToPeakFiles_ || index < 0 || index >= FileCount())
        return;
    // Called once the peak file is in place, so that the side file is never older.
    const QString name = RmsFileFor(currentPeakFile_);
    const auto shape = PeakFileShape(currentPeakFile_);
    const RmsData format = RmsFormat(buildChannels_, buildSamplesPerPeak_, buildRate_);
    const auto writer = rms_.TakeWriter();
    const auto levels = writer ? std::nullopt : rms_.Snapshot(files_[index]);
    const int64_t records = writer ? writer->Records(format.channels) : levels ? levels->Records() : 0;
    QString error;
    if (writer && !writer->IsOpen()) {
        error = writer->ErrorText();
    } else if ((!writer && !levels) || !shape || records != shape->second || (levels && !RmsMatchesPeaks(*levels, shape->first, records))) {
        error = QStringLiteral("%1: %2 records of levels do not match the peak file's %3")
                    .arg(name)
                    .arg(records)
                    .arg(shape ? shape->second : 0);
    } else if (writer) {
        if (writer->Commit(format))
            return;
        error = writer->ErrorText();
    } else if (WriteRmsFile(name, *levels, RmsRules(files_[index], currentPeakFile_), error)) {
        return;
    }
    rmsWarning_ = error;
    qCWarning(lcPeaks) << "RMS side file not written:" << error;
}

} // namespace kx
