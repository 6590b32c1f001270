#pragma once
#include <QString>
#include <cstdint>

#include "PeakFormat.h"
#include "mediagraph/AtomicPeakFile.h"

namespace kx {

/// The peak file of a build without the peak filter, through the writer the
/// filter uses: a unique temporary file beside it, put in place only when its
/// records match its header. The header is written last.
class PeakFileOutput
{
public:
    /// Opens the file and reserves room for the header; false with ErrorText().
    bool Open(const QString& fileName, const OutputRules& rules)
    {
        const uint8_t placeholder[PeakHeaderSize] = {};
        return file_.Open(fileName, rules) && file_.Write(placeholder, sizeof placeholder);
    }
    /// Appends records; once a write failed, every later one fails too.
    bool Append(const uint8_t* data, size_t size)
    {
        // A block lost to a failed write must fail the whole file.
        failed_ = failed_ || !file_.Write(data, size);
        return !failed_;
    }
    /// Writes the header and puts the file in place when the records match it.
    bool Commit(const uint8_t header[PeakHeaderSize])
    {
        if (failed_ || !file_.WriteAt(0, header, PeakHeaderSize)) {
            file_.Abandon();
            return false;
        }
        const auto recordSize = uint64_t(header[4]) * header[5];
        return recordSize > 0 && file_.Commit(int64_t((file_.Size() - PeakHeaderSize) / recordSize));
    }
    /// Removes the temporary file; harmless when none is open.
    void Abort() { file_.Abandon(); }
    /// Takes back the committed file while it is still the one put in place.
    bool RemoveCommitted() { return file_.RemoveCommitted(); }
    /// Why the last operation failed.
    QString ErrorText() const { return file_.ErrorText(); }

private:
    AtomicPeakFile file_;
    bool failed_ = false;
};

} // namespace kx
