#pragma once
#include <QString>
#include <cstdint>

#include "FilterSet.h"

typedef struct _GstElement GstElement;

namespace kx {

/// The codec configuration library "libmpgconf.so", an outside library that
/// comes with third-party demultiplexers and decoders. It is loaded once at
/// start-up; its exports are looked up at every call, and every call gives 0
/// when the library or the export is missing.
namespace CodecConfig {

/// Loads the library by its usual name, or from the given path (tests).
bool Load(const QString& path = QString());
/// Unloads the library; harmless when none is loaded.
void Unload();
/// Whether the library is loaded.
bool Loaded();

/// Fills the demultiplexer and decoder availability sets (TFilterSets bits).
uint32_t CheckFiltersPresent(uint16_t* demuxSet, uint16_t* decoderSet);
/// Configures a third-party demultiplexer of the given kind before it runs.
uint32_t SetupDemux(int32_t kind, GstElement* demux, uint8_t flag);
/// Non-zero for success.
uint32_t SetResolution(int32_t kind, uint8_t value, GstElement* filter);

/// The two availability sets, filled once from the library.
///@{
TFilterSets DemuxSet();
TFilterSets DecoderSet();
///@}
/// Asks the library when the given set is still empty (the builder tests the
/// demultiplexer set, the video panel the decoder set).
///@{
void FillSetsIfDemuxEmpty();
void FillSetsIfDecoderEmpty();
///@}
/// Test support: forget both sets.
void ResetSets();

} // namespace CodecConfig

} // namespace kx
