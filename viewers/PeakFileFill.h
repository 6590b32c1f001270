#pragma once
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "PeakPyramid.h"

class QFile;

namespace kx {

class PeakViewModel;

/// Reads a peak file's records into a model a piece at a time, so a long file
/// shows its first picture long before it is read whole: Start takes the
/// header and the first FirstBytes of records, each Next appends the next
/// piece and extends the levels, and the RMS side file is read once the
/// records are whole. Meanwhile the model's ExpectedBytes keeps counts and
/// the scroll range at the whole file's, and what is not read yet draws flat.
///
/// The file stays open between pieces and is read with pread, never mapped:
/// a file replaced meanwhile is still read as it was opened, and one cut
/// short ends the records where it ends.
class PeakFileFill
{
public:
    /// Bytes of records read before the first picture at least.
    static constexpr int64_t MinFirstBytes = int64_t(64) << 10;
    /// Bytes of records read before the first picture at most (1920 columns
    /// up to about 130 records a column): a view zoomed out further shows
    /// the rest as it arrives.
    static constexpr int64_t MaxFirstBytes = int64_t(2) << 20;
    /// Bytes of records read by one Next: a few milliseconds of work, so
    /// input keeps flowing between pieces.
    static constexpr int64_t StepBytes = int64_t(4) << 20;

    /// What one Next did.
    enum class Step {
        Idle,  ///< nothing is being read
        More,  ///< records were appended; more follow
        Done,  ///< the last records were appended (and the RMS levels read)
        Cut,   ///< the file ended early: the model keeps what was read
    };

    /// Nothing being read.
    PeakFileFill();
    /// Closes the file.
    ~PeakFileFill();
    PeakFileFill(const PeakFileFill&) = delete;             ///< Holds an open file.
    PeakFileFill& operator=(const PeakFileFill&) = delete;  ///< Holds an open file.

    /// Opens and checks the file as the viewers do and takes its header and
    /// first records into the model, replacing what it held: `firstRecords`
    /// (what the first picture shows), within MinFirstBytes to MaxFirstBytes.
    /// A file that fits in them is read whole. False when the file cannot be
    /// read or is refused: the model and any fill under way are then left
    /// alone.
    bool Start(const QString& fileName, PeakViewModel& model, int64_t firstRecords = 0);
    /// Reads the next piece into the model.
    Step Next(PeakViewModel& model);
    /// Reads everything left at once.
    Step Finish(PeakViewModel& model);
    /// Ends reading; the model keeps what it took.
    void Stop();
    /// Whether records are still to be read.
    bool Active() const { return static_cast<bool>(file_); }

private:
    void LoadRms(PeakViewModel& model) const;

    QString name_;
    std::unique_ptr<QFile> file_;
    // The records and levels this load replaced: freed by the first piece,
    // not before the first picture.
    std::vector<uint8_t> spentData_;
    PeakPyramid spentLevels_;
    std::vector<uint8_t> header_;
    int64_t total_ = 0;  // record bytes of the file as opened
};

} // namespace kx
