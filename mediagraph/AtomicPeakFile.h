#pragma once
#include <QString>
#include <cstddef>
#include <cstdint>

namespace kx {

// A peak file written under a unique temporary name in the folder of its
// final name and renamed into place only when it is complete and its records
// match its header. The temporary file is created exclusively and never
// through a symbolic link, so another user cannot plant one, and two writers
// of the same peak file never share one.
//
// Use: Open(final) -> Write/WriteAt ... -> Commit(records) or Abandon().
// Destroying an open file abandons it.
class AtomicPeakFile
{
public:
    AtomicPeakFile() = default;
    ~AtomicPeakFile();
    AtomicPeakFile(const AtomicPeakFile&) = delete;
    AtomicPeakFile& operator=(const AtomicPeakFile&) = delete;

    // Creates the temporary file (mode 0666 less the umask). False, with
    // ErrorText(), when the folder does not take it.
    bool Open(const QString& finalName);
    bool IsOpen() const { return fd_ >= 0; }
    // Appends bytes after everything written so far.
    bool Write(const void* data, size_t size);
    // Writes bytes at an offset (the header, once the length is known).
    bool WriteAt(uint64_t offset, const void* data, size_t size);
    uint64_t Size() const { return size_; }

    // Checks that the file is a peak file holding exactly expectedRecords
    // whole records that agree with its header, then renames it over the
    // final name while holding an advisory lock on the folder. On any failure
    // the temporary file is removed and the final name left as it was.
    bool Commit(int64_t expectedRecords);
    // Closes and removes the temporary file; harmless when none is open.
    void Abandon();
    // Removes the committed file again while it is still the one this object
    // put in place (a later failure of the same build). False when nothing
    // was removed.
    bool RemoveCommitted();
    bool Committed() const { return committed_; }

    QString FinalName() const { return finalName_; }
    QString TemporaryName() const { return tempName_; }
    // Why the last operation failed.
    QString ErrorText() const { return error_; }

private:
    bool Fail(const QString& what, int err);

    int fd_ = -1;
    uint64_t size_ = 0;
    QString finalName_;
    QString tempName_;
    QString error_;
    bool committed_ = false;
    uint64_t committedDev_ = 0;
    uint64_t committedIno_ = 0;
};

// Marks the temporary names the writer uses ("<final>.<random>.partial").
inline constexpr const char* PartialSuffix = ".partial";

// Whether a 16-byte peak header's decoded length (PcmByteCount, low 32 bits)
// and SamplesPerPeak account for `records` records: within two records plus
// one in a thousand, which leaves room for a partial last run and for format
// changes inside a track. Headers whose BytesPerPeak is not 2 or 4, or whose
// SamplesPerPeak is 0, carry no usable length and always agree.
bool PeakLengthAgrees(uint8_t bytesPerPeak, uint8_t channels, uint32_t pcmByteCount, uint16_t samplesPerPeak,
                      int64_t records);

} // namespace kx
