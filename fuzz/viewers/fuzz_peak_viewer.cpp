// The peak viewer's load-and-draw path: peak data from a file or a stream,
// drawn at several widths and time scalers, with the scroll bar moved to
// both ends and to a position from the input, the play pointer and a mark set;
// at one width with a time axis.
#include <QImage>
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "platform/widgets/HorzScrollBar.h"
#include "platform/MemoryStream.h"
#include "platform/ScrollState.h"
#include "viewers/KXAudioPeakViewer.h"

using namespace kx;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::InitApplication();
    return 0;
}

namespace {

void Check(const TKXAudioPeakViewer& viewer)
{
    const ScrollState& s = viewer.ScrollBar()->State();
    if (s.nPos < s.nMin || s.nPos > std::max(s.nMin, s.MaxPos()))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::FuzzInput in(data, size);
    const bool fromFile = in.Flag();
    const int trackPos = static_cast<int>(in.Take(4));
    const int64_t playTime = static_cast<int32_t>(in.Take(4)) * int64_t(10000);
    const int markA = static_cast<int32_t>(in.Take(4)), markB = static_cast<int32_t>(in.Take(4));
    const float ownScaler = 0.1f + static_cast<float>(in.Take(2)) / 64.0f;

    TKXAudioPeakViewer viewer;
    bool loaded;
    if (fromFile) {
        loaded = viewer.LoadFromFile(fuzz::WriteScratch(QStringLiteral("v.pek"), in.Rest(), in.RestSize()));
    } else {
        TMemoryStream stream;
        stream.Write(in.Rest(), static_cast<int64_t>(in.RestSize()));
        loaded = viewer.LoadFromStream(&stream);
    }
    if (!loaded)
        return 0;
    for (int width : {1, 57, 640}) {
        viewer.resize(width, 48);
        // The time axis over whatever rate and length the header claims.
        viewer.SetTimeAxisHeight(width == 57 ? 16 : 0);
        for (float scaler : {1.0f, 0.1f, 0.37f, 3.0f, ownScaler}) {
            viewer.SetTimeScaler(scaler);
            viewer.PaintPeaks(false, nullptr);
            Check(viewer);
            for (int code : {SB_RIGHT, SB_PAGELEFT, SB_LINERIGHT, SB_LEFT}) {
                viewer.ScrollBar()->Request(code);
                Check(viewer);
            }
            viewer.ScrollBar()->Request(SB_THUMBPOSITION, trackPos);
            Check(viewer);
        }
    }
    viewer.SetMark(markA, markB);
    viewer.SetPlayTime(playTime);
    viewer.SetPositionAt(trackPos % 700);
    (void)viewer.WindowImage();
    Check(viewer);
    return 0;
}
