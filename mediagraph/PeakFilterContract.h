#pragma once
#include <QString>
#include <QStringList>
#include <cstdint>


typedef struct _GstElement GstElement;

namespace kx {

/// The peak filter as the builder sees it: an element created by class
/// identifier, set up through three interfaces before the graph runs, that
/// hands whole peak records to a callback on its streaming thread.
///
/// The element is "kxpeaksink" of the GStreamer plugin "kxpeaks"
/// (libgstkxpeaks.so), found through GStreamer's registry; the class
/// identifier maps to a bin of an audioconvert and that element, and the
/// interfaces are a thin layer over its properties and signals.
namespace PeakFilter {

/// The class identifier the builder creates the filter by.
inline const QString ClassId = QStringLiteral("{C79B5024-9862-4172-AB47-3DFF1CB18813}");
/// The element's factory name in GStreamer's registry.
inline constexpr const char* FactoryName = "kxpeaksink";

/// Result of an interface call: 0 or above succeeded, negative failed.
using HResult = int32_t;
constexpr HResult S_OK = 0;                             ///< done
constexpr HResult S_FALSE = 1;                          ///< done, nothing to do
constexpr HResult E_FAIL = int32_t(0x80004005u);        ///< failed
constexpr HResult E_INVALIDARG = int32_t(0x80070057u);  ///< a value out of range
/// A setting offered after streaming began.
constexpr HResult VFW_E_WRONG_STATE = int32_t(0x80040227u);

/// Called on the streaming thread with whole records (no header) and the
/// media time reached, in 100-ns units split in halves. S_OK when taken.
using PeakCallback = HResult (*)(void* context, int32_t count, const uint8_t* peaks, uint32_t timeLow,
                                 uint32_t timeHigh);

/// Called on the streaming thread with the RMS levels of the records the
/// next PeakCallback carries: count values, channels in order, in 16-bit
/// sample units after the gains.
using RmsCallback = void (*)(void* context, int32_t count, const uint16_t* values);

/// Output format. Calls after the element left the stopped state are refused.
class IConfiguration
{
public:
    virtual ~IConfiguration() = default;
    /// Gains in 1/4096 units (4096 unity), applied with saturation.
    virtual HResult SetGains(uint32_t left, uint32_t right) = 0;
    /// Processing mode; 1 (reduce to peaks) is the only mode.
    virtual HResult SetMode(uint32_t mode) = 0;
    /// Output rate: runs of SamplesPerPeak frames are counted at this rate.
    virtual HResult SetSampleRate(uint32_t hz) = 0;
    /// Channels of the records: 1 or 2.
    virtual HResult SetChannels(uint32_t channels) = 0;
    /// Width of the stored values: 8 or 16.
    virtual HResult SetBitsPerSample(uint32_t bits) = 0;
    /// Accepted and ignored: the output format is always the one requested.
    virtual HResult SetFreeOutputFormat(uint32_t free) = 0;
    /// Reserved: only 0, 0, 0 is accepted.
    virtual HResult SetDelays(uint32_t a, uint32_t b, uint32_t c) = 0;
    /// Reserved: only 0, 0, 0, 0 is accepted.
    virtual HResult SetWindow(uint32_t a, uint32_t b, uint32_t c, uint32_t d) = 0;
};

/// The records: how many frames each covers and where they go.
class IPeaks
{
public:
    virtual ~IPeaks() = default;
    /// Accepted and ignored: records always hold the plain maximum and
    /// minimum of their run.
    virtual HResult SetPostProcessing(uint32_t on) = 0;
    /// Frames per record, 1..65535 (0 is refused).
    virtual HResult SetSamplesPerPeak(uint32_t frames) = 0;
    /// The function that takes the records, with the context it is given
    /// back; null stops the delivery.
    virtual HResult SetCallback(void* context, PeakCallback callback) = 0;
};

/// The peak file the filter writes beside handing records on.
class IFileSink
{
public:
    virtual ~IFileSink() = default;
    /// The filter also writes the peak file, under a unique temporary name
    /// that is renamed into place only at an end of stream that no error
    /// preceded. E_INVALIDARG for an empty name, E_FAIL when the folder cannot
    /// be written.
    virtual HResult SetFileName(const QString& fileName) = 0;
    /// What the peak file may replace (force: the wave viewer's layout or
    /// waveform data too) and the files it must never be, by name (the
    /// output rules every writer follows). By default nothing is forced.
    virtual HResult SetOutputRules(bool force, const QStringList& inputs) = 0;
    /// Removes the peak file this element put in place, as long as it is still
    /// that file: for a graph that fails after its end of stream. S_FALSE when
    /// there is none.
    virtual HResult RemoveCommitted() = 0;
};

/// The RMS of every record, beside the records (an addition of this
/// library: off unless a callback is set).
class IRmsLevels
{
public:
    virtual ~IRmsLevels() = default;
    /// The function that takes the levels, with its context; null turns the
    /// computation off. Refused once the element streams.
    virtual HResult SetRmsCallback(void* context, RmsCallback callback) = 0;
};

/// The interfaces of a peak filter made by Make, or null when it has none.
///@{
IConfiguration* QueryConfiguration(GstElement* filter);
IPeaks* QueryPeaks(GstElement* filter);
IFileSink* QueryFileSink(GstElement* filter);
IRmsLevels* QueryRmsLevels(GstElement* filter);
///@}

/// A new peak filter named by the label (a floating reference), or null when
/// the plugin is not found: an audioconvert (no dithering: plain truncation
/// keeps the extremes) feeding the element.
GstElement* Make(const QString& label);
/// Maps ClassId to Make in the filter registry (repeat calls are harmless);
/// done when the library is loaded.
void Register();

} // namespace PeakFilter

} // namespace kx
