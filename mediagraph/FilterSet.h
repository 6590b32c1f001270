#pragma once
#include "platform/EnumSet.h"

namespace kx {

/// Demultiplexer and decoder family for MPEG media.
enum TFilterSet { Default, Moonlight, Elecard, DScaler, FFDShow, VRMMedia, Dirac, Illiminable, Custom, Test };
/// The families available; stored as 16-bit sets.
using TFilterSets = EnumSet<TFilterSet>;

} // namespace kx
