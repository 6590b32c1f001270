#pragma once
#include "KXCustomPeakViewer.h"

namespace kx {

// The peak viewer with its properties published; no state or behaviour of its own.
class TKXAudioPeakViewer : public TKXCustomPeakViewer
{
    Q_OBJECT
public:
    explicit TKXAudioPeakViewer(QWidget* parent = nullptr) : TKXCustomPeakViewer(parent) {}
};

} // namespace kx
