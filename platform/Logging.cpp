#include "Logging.h"

namespace kx {

Q_LOGGING_CATEGORY(lcPlatform, "kx.platform", QtWarningMsg)
Q_LOGGING_CATEGORY(lcMediaGraph, "kx.mediagraph", QtWarningMsg)
Q_LOGGING_CATEGORY(lcPeakFilter, "kx.peakfilter", QtWarningMsg)
Q_LOGGING_CATEGORY(lcPeaks, "kx.peaks", QtWarningMsg)
Q_LOGGING_CATEGORY(lcViewers, "kx.viewers", QtWarningMsg)
Q_LOGGING_CATEGORY(lcWavViewer, "kx.wavviewer", QtWarningMsg)
Q_LOGGING_CATEGORY(lcPlayback, "kx.playback", QtWarningMsg)
Q_LOGGING_CATEGORY(lcControls, "kx.controls", QtWarningMsg)

} // namespace kx
