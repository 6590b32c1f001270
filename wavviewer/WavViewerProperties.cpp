// The wave viewer's property writers and typed times.
#include <QCoreApplication>
#include <algorithm>
#include <climits>

#include "WavViewer.h"
#include "platform/Exception.h"
#include "platform/Round.h"

namespace kx {

namespace {

// The property system hands ints; the Byte settings take 0 to 255.
uint8_t ByteSetting(int value, const char* name)
{
    if (value < 0 || value > 255)
        throw Exception(QStringLiteral("%1 must be between 0 and 255").arg(QLatin1String(name)));
    return static_cast<uint8_t>(value);
}

} // namespace

void TWavViewer::SetFileNameChecked(const QString& value)
{
    SetFileName(value);
    if (fileName_ != value)
        throw Exception(QCoreApplication::translate("TWavViewer", "Invalid file"));
}

void TWavViewer::SetMarksIntervalChecked(int value)
{
    const int64_t limit = MarksIntervalLimit();
    if (value < 2 || value > limit)
        throw Exception(
            QCoreApplication::translate("TWavViewer", "Marks interval must be between 2 and %1").arg(limit));
    SetMarksInterval(static_cast<uint8_t>(value));
}

void TWavViewer::SetSecondsToShowChecked(int value)
{
    if (value < 1 || value > 255)
        throw Exception("SecondsToShow must be between 1 and 255");
    SetSecondsToShow(static_cast<uint8_t>(value));
}

void TWavViewer::SetSmallChangeSecondsChecked(int value)
{
    SetSmallChangeSeconds(ByteSetting(value, "SmallChangeSeconds"));
    if (smallChangeSeconds_ != value)
        throw Exception(QStringLiteral("SmallChangeSeconds must be above 0 and below LargeChangeSeconds (%1) "
                                       "and SecondsToShow (%2)")
                            .arg(largeChangeSeconds_)
                            .arg(secondsToShow_));
}

void TWavViewer::SetLargeChangeSecondsChecked(int value)
{
    SetLargeChangeSeconds(ByteSetting(value, "LargeChangeSeconds"));
    if (largeChangeSeconds_ != value)
        throw Exception(QStringLiteral("LargeChangeSeconds must be above SmallChangeSeconds (%1) "
                                       "and below SecondsToShow (%2)")
                            .arg(smallChangeSeconds_)
                            .arg(secondsToShow_));
}

void TWavViewer::SetInfoBevelInnerOrdinal(int value)
{
    if (value < bvNone || value > bvSpace)
        throw Exception("InfoBevelInner must be bvNone, bvLowered, bvRaised or bvSpace");
    SetInfoBevelInner(static_cast<TBevelCut>(value));
}

void TWavViewer::SetInfoBevelOuterOrdinal(int value)
{
    if (value < bvNone || value > bvSpace)
        throw Exception("InfoBevelOuter must be bvNone, bvLowered, bvRaised or bvSpace");
    SetInfoBevelOuter(static_cast<TBevelCut>(value));
}

void TWavViewer::SetInfoBorderStyleOrdinal(int value)
{
    if (value < bsNone || value > bsSingle)
        throw Exception("InfoBorderStyle must be bsNone or bsSingle");
    SetInfoBorderStyle(static_cast<TBorderStyle>(value));
}

// ---------------------------------------------------------------- typed times

void TWavViewer::SetPosition(MediaTime time)
{
    SetPosition(static_cast<int>(std::clamp<int64_t>(ToMilliseconds(time).count(), INT_MIN, INT_MAX)));
}

MediaTime TWavViewer::DurationTime() const
{
    if (info_.SampleRate <= 0 || info_.BlockAlign == 0)
        return MediaTime(0);
    // Exact to the tick: frames × 10^7 / rate.
    const int64_t frames = info_.DataSize / info_.BlockAlign;
    return MediaTime(frames * 10'000'000 / info_.SampleRate);
}

MediaTime TWavViewer::PlayPositionTime() const
{
    return std::chrono::milliseconds(DeviceToMs(PlayPosition()));
}

void TWavViewer::Play(MediaTime from)
{
    // Device times count from an open device's format.
    if (!mediaOpen_)
        OpenMedia();
    if (!mediaOpen_)
        return;
    const int64_t device = MsToDevice(std::max<int64_t>(0, ToMilliseconds(from).count()));
    Play(false, static_cast<uint32_t>(std::min<int64_t>(device, UINT32_MAX)));
}

} // namespace kx
