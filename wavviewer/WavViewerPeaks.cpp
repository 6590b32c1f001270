// The wave viewer's file and peaks: reading the WAV, extracting and saving peaks, conversions.
#include "WavViewer.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTimerEvent>
#include <algorithm>
#include <climits>

#include "platform/widgets/HorzScrollBar.h"
#include "platform/Logging.h"
#include "platform/LittleEndian.h"
#include "platform/widgets/MessageBox.h"
#include "platform/NativeName.h"
#include "platform/OutputFile.h"
#include "platform/PostedEvent.h"
#include "platform/QtInput.h"
#include "platform/Round.h"
#include "wavviewer/WaveDevice.h"

namespace kx {

namespace {

QString InvalidFileText()
{
    return QCoreApplication::translate("TWavViewer", "Invalid file");
}

QString InvalidPathText()
{
    return QCoreApplication::translate("TWavViewer", "Invalid path or protected file");
}

} // namespace

// ---------------------------------------------------------------- file and peaks

void TWavViewer::SetFileName(const QString& value)
{
    if (value == fileName_)
        return;
    if (value.isEmpty()) {
        // Nothing is shown any more, so nothing may keep playing either.
        CloseMedia();
        peakData_.Clear();
        info_.DataSize = 0;
        fileName_.clear();
        UpdateScrollRange();
        Repaint();
        Q_EMIT fileNameChanged(fileName_);
        Q_EMIT peaksChanged();
        return;
    }
    const QString previous = fileName_;
    fileName_ = value;
    if (!ReadHeader()) {
        qCDebug(lcWavViewer) << "refusing" << value;
        // The previous file, its header and its peaks stay as they were.
        fileName_ = previous;
        return;
    }
    const bool hadPeaks = peakData_.Size() > 0;
    peakData_.Clear();
    CloseMedia();
    unsetCursor();
    UpdateScrollRange();
    Repaint();
    Q_EMIT fileNameChanged(fileName_);
    if (hadPeaks)
        Q_EMIT peaksChanged();
}

void TWavViewer::SetPeaksFileExt(const QString& value)
{
    const QString ext = NormalizePeaksFileExt(value);
    if (ext == peaksFileExt_)
        return;
    peaksFileExt_ = ext;
}

bool TWavViewer::ReadHeader()
{
    if (fileName_.isEmpty())
        return false;
    WavInfo info;
    bool ok = false;
    {
        FileByteReader reader(fileName_);
        ok = reader.IsOpen() && ReadWavHeader(reader, info) == WavCheck::Ok;
    }
    if (!ok) {
        ShowMessageBox(this, InvalidFileText());
        return false;
    }
    info_ = info;
    RepaintPanel(leftPanel_);
    return true;
}

bool TWavViewer::Extract(FileByteReader& reader, const WavInfo& info)
{
    peakData_.Clear();
    const int w = PeakAreaWidth();
    const uint32_t framesPerPeak = FramesPerPeakFor(secondsToShow_, info.SampleRate, w, info.BlockAlign);
    const uint32_t bufferSize = BufferSizeFor(secondsToShow_, info.SampleRate, w, info.BlockAlign);
    std::vector<uint8_t> buffer(bufferSize);
    WavPeakExtractor extractor(info, framesPerPeak, peakData_);

    // Only the data chunk holds samples; later chunks are not read.
    uint64_t consumed = 0;
    bool breakProcess = true;
    bool last = false;
    do {
        const uint64_t want = std::min<uint64_t>(bufferSize, info.DataSize - consumed);
        const int64_t n = reader.Read(buffer.data(), static_cast<int64_t>(want));
        if (n < 0)
            return false;
        extractor.Process(buffer.data(), static_cast<size_t>(n));
        consumed += static_cast<uint64_t>(n);
        last = static_cast<uint64_t>(n) < bufferSize;
        if (last)
            extractor.Finish();
        const float percent =
            info.DataSize ? static_cast<float>(static_cast<double>(consumed) / info.DataSize) : 1.0f;
        const int bytesRead = static_cast<int>(std::min<uint64_t>(consumed, INT_MAX));
        Fire(OnBuildingPeaks, this, bytesRead, percent, breakProcess);
        Q_EMIT buildingPeaks(bytesRead, percent);
    } while (breakProcess && !last);

    info_ = info;
    // A file cut short inside its data: the times follow the samples present.
    if (last && consumed < info.DataSize && consumed >= info.BlockAlign)
        info_.DataSize = static_cast<uint32_t>(consumed - consumed % info.BlockAlign);
    return true;
}

bool TWavViewer::BuildPeaks()
{
    if (info_.DataSize == 0 && !ReadHeader())
        return false;
    bool result = false;
    try {
        FileByteReader reader(fileName_);
        WavInfo info;
        if (!reader.IsOpen() || ReadWavHeader(reader, info) != WavCheck::Ok)
            return false;
        if (!Extract(reader, info))
            return false;
        result = true;
        if (savePeaks_)
            SavePeaksToFile(QString());
        setCursor(Qt::PointingHandCursor);
        UpdateScrollRange();
        RepaintPanel(topPanel_);
        Repaint();
        Q_EMIT peaksChanged();
    } catch (...) {
        // A failed build leaves what was reached; the control keeps running.
    }
    return result;
}

bool TWavViewer::SavePeaksToFile(const QString& PeakFileName)
{
    return SavePeaksToFile(PeakFileName, false);
}

bool TWavViewer::SavePeaksToFile(const QString& PeakFileName, bool force)
{
    QString name = PeakFileName;
    if (name.isEmpty() && !fileName_.isEmpty())
        name = ReplaceExtension(fileName_, peaksFileExt_);
    saveError_.clear();
    bool ok = !name.isEmpty();
    if (ok) {
        // Written beside and renamed into place, so a failed write never
        // leaves half a file; never over the WAV or a file of another kind.
        const std::vector<uint8_t> header = EncodeWavPeakHeader(info_);
        OutputRules rules;
        rules.kind = FileKind::WaveViewerPeaks;
        rules.force = force;
        rules.Input(fileName_);
        ok = WriteOutputFile(name, rules,
                             {QByteArrayView(header.data(), WavPeakHeaderSize),
                              QByteArrayView(peakData_.Data(), static_cast<qsizetype>(peakData_.Size()))},
                             saveError_);
    } else {
        saveError_ = QStringLiteral("no peak file name");
    }
    if (!ok) {
        qCWarning(lcWavViewer) << "peaks not saved:" << saveError_;
        ShowMessageBox(this, InvalidPathText());
    }
    return ok;
}

// ---------------------------------------------------------------- conversions

int64_t TWavViewer::ValueCount() const
{
    if (info_.DataSize == 0 || info_.BlockAlign == 0)
        return 0;
    return Round(static_cast<double>(peakData_.Size() * info_.Channels) / info_.BlockAlign);
}

int64_t TWavViewer::PeakAtValueIndex(int64_t V) const
{
    if (info_.DataSize == 0 || info_.Channels == 0)
        return 0;
    return Round(static_cast<double>(V) / (2.0 * info_.Channels));
}

int64_t TWavViewer::PeakCount() const
{
    return PeakAtValueIndex(ValueCount());
}

int64_t TWavViewer::ValueIndexAtMs(int64_t Ms) const
{
    if (info_.DataSize == 0 || info_.BlockAlign == 0 || info_.SampleRate <= 0)
        return 0;
    const double seconds = static_cast<double>(info_.DataSize) / info_.BlockAlign / info_.SampleRate;
    return Round(static_cast<double>(ValueCount()) * (static_cast<double>(Ms) / 1000.0) / seconds);
}

int64_t TWavViewer::PeakAtMs(int64_t Ms) const
{
    return PeakAtValueIndex(ValueIndexAtMs(Ms));
}

int64_t TWavViewer::FrameAtValueIndex(int64_t V) const
{
    const int64_t n = ValueCount();
    if (n == 0)
        return 0;
    return Round(static_cast<double>(info_.DataSize) / info_.BlockAlign * static_cast<double>(V) /
                 static_cast<double>(n));
}

int64_t TWavViewer::MsAtValueIndex(int64_t V) const
{
    if (info_.DataSize == 0 || info_.SampleRate <= 0)
        return 0;
    return Round(static_cast<double>(FrameAtValueIndex(V)) / info_.SampleRate * 1000.0);
}

int64_t TWavViewer::ValueIndexAtPixel(int64_t P) const
{
    const ScrollState& s = scrollBar_->State();
    const int64_t divisor = static_cast<int64_t>(s.nMax) - static_cast<int64_t>(s.nPage) + PeakAreaWidth();
    if (divisor <= 0)
        return 0;
    return Round(static_cast<double>(ValueCount()) * static_cast<double>(P) / static_cast<double>(divisor));
}

int64_t TWavViewer::MsAtPixel(int64_t P) const
{
    return MsAtValueIndex(ValueIndexAtPixel(P));
}

} // namespace kx
