#pragma once
#include "KXCustomPeakViewer.h"

namespace kx {

/// The peak viewer with its properties published; no state or behaviour of
/// its own. Its signals and properties are those of TKXCustomPeakViewer.
class TKXAudioPeakViewer : public TKXCustomPeakViewer
{
    Q_OBJECT
public:
    /// An empty viewer.
    explicit TKXAudioPeakViewer(QWidget* parent = nullptr) : TKXCustomPeakViewer(parent) {}
};

} // namespace kx
