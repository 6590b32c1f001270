// The regions JSON reader: whatever it accepts must write back to JSON that
// reads the same, and draw and hit-test over a small view without fault.
#include <QImage>
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "platform/ScrollState.h"
#include "viewers/PeakRegions.h"
#include "viewers/RegionPaint.h"

using namespace kx;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::InitApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QString error;
    const auto set = ParseRegionsJson(QByteArrayView(data, qsizetype(size)), error);
    if (!set) {
        if (error.isEmpty())
            __builtin_trap();
        return 0;
    }
    const QByteArray encoded = EncodeRegionsJson(*set);
    const auto again = ParseRegionsJson(encoded, error);
    if (!again || EncodeRegionsJson(*again) != encoded)
        __builtin_trap();

    // Ten seconds of 16-bit stereo at 8000 Hz, 80 frames a record.
    ScrollState scroll;
    PeakViewModel model(scroll);
    model.SamplesPerSecond = 8000;
    model.SamplesPerPeak = 80;
    model.PcmByteCount = 8000 * 4 * 10;
    model.PeakData.assign(1000 * 8, 0x80);
    model.ClientWidth = 200;
    QImage image(300, 90, QImage::Format_RGB32);
    image.setDevicePixelRatio(1.5);
    RegionPaintStyle style;
    style.SelectedRegion = set->Regions().empty() ? QString() : set->Regions().front().Id;
    PaintRegionFills(image, 1.5, model, *set, style.SelectedRegion, 200);
    PaintRegions(image, model, *set, style, 200, 60);
    for (int x : {-5, 0, 37, 199, 250})
        (void)HitTestRegions(model, *set, x);
    return 0;
}
