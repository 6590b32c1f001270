#pragma once
#include <QString>
#include <cstddef>
#include <cstdint>

#include "platform/FileKind.h"
#include "platform/OutputFile.h"

namespace kx {

/// A peak file written through the output path (a unique temporary file
/// beside its final name, the target judged by the output rules) and put in
/// place only when it is complete and its records match its header.
///
/// Use: Open(final) -> Write/WriteAt ... -> Commit(records) or Abandon().
/// Destroying an open file abandons it.
class AtomicPeakFile
{
public:
    /// Rules for a builder's peak file: its header is written last.
    static OutputRules Rules();

    /// Opens the peak file under the given rules (Rules() when none are
    /// given). False, with ErrorText(), when refused or the folder does not take it.
    ///@{
    bool Open(const QString& finalName) { return Open(finalName, Rules()); }
    bool Open(const QString& finalName, const OutputRules& rules);
    ///@}
    /// Open succeeded and nothing was committed or abandoned since.
    bool IsOpen() const { return file_.IsOpen(); }
    /// Appends bytes after everything written so far.
    bool Write(const void* data, size_t size);
    /// Writes bytes at an offset (the header, once the length is known).
    bool WriteAt(uint64_t offset, const void* data, size_t size);
    /// The end of what was written, in bytes.
    uint64_t Size() const { return file_.Size(); }

    /// Checks that the file is a peak file holding exactly expectedRecords
    /// whole records that agree with its header, then puts it in place. On
    /// any failure the temporary file is removed and the final name left as it was.
    bool Commit(int64_t expectedRecords);
    /// Closes and removes the temporary file; harmless when none is open.
    void Abandon() { file_.Abandon(); }
    /// Removes the committed file again while it is still the one this object
    /// put in place (a later failure of the same build). False when nothing
    /// was removed.
    bool RemoveCommitted() { return file_.RemoveCommitted(); }
    /// Commit succeeded (and RemoveCommitted did not undo it).
    bool Committed() const { return file_.Committed(); }

    /// The name the file takes on Commit.
    QString FinalName() const { return file_.Name(); }
    /// The temporary file's name while one is open.
    QString TemporaryName() const { return file_.TemporaryName(); }
    /// Why the last operation failed.
    QString ErrorText() const { return error_; }

private:
    bool Fail(const QString& what);

    OutputFile file_;
    QString error_;
};

} // namespace kx
