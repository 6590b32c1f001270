#pragma once
#include <QString>
#include <cstdint>

typedef struct _GstElement GstElement;

namespace kx {

/// Start-up and shutdown of the media support: the codec configuration
/// library and GStreamer, in that order (once per process; repeat calls are
/// harmless).
///@{
void InitMediaFramework();
void ShutdownMediaFramework();
///@}

/// The fastest decoder of a format is preferred (its rank raised, slower
/// ones passed over) unless the user set the rank of one of the competing
/// decoders through GST_PLUGIN_FEATURE_RANK. Called by InitMediaFramework.
void ApplyDecoderRanks();
/// Whether the user's GST_PLUGIN_FEATURE_RANK names any MP3 decoder.
bool UserRanksMp3Decoders();
/// Whether GST_PLUGIN_FEATURE_RANK names the feature (setting: the variable's value).
bool UserRanksFeature(const QString& feature);
/// Whether the setting ("name:rank,name:rank", as GStreamer reads it) names the feature.
bool FeatureRankedIn(const QString& setting, const QString& feature);

/// Lists a graph in the process-wide graph registry under
/// "FilterGraph %p pid %x" (doRegister) or revokes the entry held in cookie.
/// Revoking leaves the cookie unchanged.
void RegisterGraph(GstElement* graph, bool doRegister, uint32_t& cookie);

/// Version class of the platform: 3 for a current kernel (4.x and later),
/// 2 for 3.x, 1 for 2.6, 0 otherwise.
int VersionClass();
/// Parses a kernel release such as "6.1.0-18-amd64"; the rule of VersionClass.
int VersionClassOf(const QString& release);

/// True when the media framework is usable: GStreamer 1.22 or later with the
/// elements the components build their graphs from.
bool MediaFrameworkPresent();

} // namespace kx
