#pragma once
#include <QLoggingCategory>

// One logging category per subsystem. Only warnings show by default; switch
// the rest on with QT_LOGGING_RULES, for example "kx.peaks.debug=true" or
// "kx.*.debug=true".
namespace kx {

/// The categories kx.platform, kx.mediagraph, kx.peakfilter, kx.peaks,
/// kx.viewers, kx.wavviewer, kx.playback and kx.controls.
///@{
Q_DECLARE_LOGGING_CATEGORY(lcPlatform)
Q_DECLARE_LOGGING_CATEGORY(lcMediaGraph)
Q_DECLARE_LOGGING_CATEGORY(lcPeakFilter)
Q_DECLARE_LOGGING_CATEGORY(lcPeaks)
Q_DECLARE_LOGGING_CATEGORY(lcViewers)
Q_DECLARE_LOGGING_CATEGORY(lcWavViewer)
Q_DECLARE_LOGGING_CATEGORY(lcPlayback)
Q_DECLARE_LOGGING_CATEGORY(lcControls)
///@}

} // namespace kx
