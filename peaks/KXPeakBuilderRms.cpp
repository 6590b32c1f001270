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
        rms_.BeginStreamed(RmsFileFor(currentPeakFile_), RmsRules(index));
        return;
    }
    rms_.Begin(files_[index], RmsFormat());
}

RmsData TKXPeakBuilder::RmsFormat() const
{
    RmsData format;
    format.channels = uint16_t(buildChannels_);
    format.samplesPerPeak = buildSamplesPerPeak_;
    format.rate = buildRate_;
    return format;
}

OutputRules TKXPeakBuilder::RmsRules(int index) const
{
    // Never over the media or the peak file.
    OutputRules rules;
    rules.Input(files_[index]);
    rules.Input(currentPeakFile_);
    return rules;
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
    const QString name = RmsFileFor(currentPeakFile_);
    const auto shape = PeakFileShape(currentPeakFile_);
    QString error;
    if (auto writer = rms_.TakeWriter()) {
        // After the peak file, so that it is never older.
        const RmsData format = RmsFormat();
        if (!writer->IsOpen())
            error = writer->ErrorText();
        else if (!shape || writer->Records(format.channels) != shape->second)
            error = QStringLiteral("%1: %2 records of levels do not match the peak file's %3")
                        .arg(name)
                        .arg(writer->Records(format.channels))
                        .arg(shape ? shape->second : 0);
        else if (writer->Commit(format))
            return;
        else
            error = writer->ErrorText();
        rmsWarning_ = error;
        qCWarning(lcPeaks) << "RMS side file not written:" << error;
        return;
    }
    const auto levels = rms_.Snapshot(files_[index]);
    if (!levels || !shape || !RmsMatchesPeaks(*levels, shape->first, shape->second)) {
        error = QStringLiteral("%1: %2 records of levels do not match the peak file's %3")
                    .arg(name)
                    .arg(levels ? levels->Records() : 0)
                    .arg(shape ? shape->second : 0);
    } else {
        if (WriteRmsFile(name, *levels, RmsRules(index), error))
            return;
    }
    rmsWarning_ = error;
    qCWarning(lcPeaks) << "RMS side file not written:" << error;
}

} // namespace kx
