#pragma once
#include <QString>

#include "mediagraph/PeakFilterContract.h"

namespace kx {

// The peak filter element: an audioconvert feeding the in-process peak sink,
// offered under PeakFilter::ClassId. The library registers it with the filter
// registry when it is loaded; Register() does the same explicitly.
namespace PeakFilter {

// Registers the element and its factory under ClassId (repeat calls are harmless).
void Register();
// The factory itself: a new peak filter element named by the label, or null.
GstElement* Make(const QString& label);

} // namespace PeakFilter

} // namespace kx
