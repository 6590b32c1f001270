#pragma once
// The one way every program writes a file. A writer names its target and
// what it writes; the target is then
//  - refused when it is one of the run's inputs (by identity, whatever name
//    or link leads to it), a read-only file, a folder or a block device, or
//    an existing file of another kind (peak layouts and waveform data formats
//    replace each other only when forced; nothing replaces media);
//  - written directly when it is a character device, a FIFO, a socket or an
//    open stream ("-", /dev/stdout, /dev/fd/N);
//  - otherwise written under a unique temporary name beside it (created
//    anew, never through a link) that replaces it only on Commit, after the
//    target is checked once more under the folder's lock.
#include <QByteArrayView>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <sys/types.h>
#include <vector>

#include "FileKind.h"

namespace kx {

/// A file whatever name or link leads to it.
struct FileIdentity {
    uint64_t device = 0;  ///< st_dev
    uint64_t inode = 0;   ///< st_ino
    /// The same file.
    bool operator==(const FileIdentity&) const = default;
};
/// The identity of what the name leads to, links followed; nothing when there is nothing.
std::optional<FileIdentity> IdentityOf(const QString& name);

/// What a writer may do to what it finds under its target's name.
struct OutputRules {
    FileKind kind = FileKind::Other;  ///< what is written
    /// Replaces a peak file of the other layout or waveform data of the other
    /// format, which are kept otherwise. Never anything else.
    bool force = false;
    /// The writer goes back (a header written last): targets that cannot
    /// seek are refused before anything is written.
    bool needsSeek = false;
    /// The files this run reads: never written.
    std::vector<FileIdentity> inputs;

    /// Adds an input by name; names that lead nowhere are skipped.
    OutputRules& Input(const QString& name);
};

/// The kind of the regular file the name leads to, by its first bytes;
/// nothing when there is no regular file there or it cannot be read.
std::optional<FileKind> KindOfFile(const QString& name);

/// Whether a file of kind `found` may be replaced by one of kind `written`.
/// False for Other, true for an empty file; `force` only widens the peak
/// layouts and waveform data formats to each other.
bool KindMayReplace(FileKind written, FileKind found, bool force);

/// Marks the temporary names of files being written ("<target>.<random>.partial").
inline constexpr const char* PartialSuffix = ".partial";

/// Writes one target under the rules. The target is refused when it is one of
/// the run's inputs, read-only, a folder or block device, or an existing file
/// of another kind; written directly when it is a character device, FIFO,
/// socket or open stream; otherwise written under a unique temporary name
/// beside it that replaces it only on Commit.
class OutputFile
{
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    /// Checks the target against the rules and opens what is written. False,
    /// with ErrorText(), when refused or it cannot be made.
    bool Open(const QString& name, const OutputRules& rules);
    /// Open succeeded and nothing was committed or abandoned since.
    bool IsOpen() const { return fd_ >= 0; }
    /// Written straight into a device, FIFO, socket or open stream: there is
    /// nothing to put in place, and an abandoned write cannot be taken back.
    bool IsDirect() const { return direct_; }

    /// Appends after everything written so far.
    ///@{
    bool Write(const void* data, size_t size);
    bool Write(QByteArrayView bytes) { return Write(bytes.data(), size_t(bytes.size())); }
    ///@}
    /// Writes at an offset (a header once the length is known).
    bool WriteAt(uint64_t offset, const void* data, size_t size);
    /// The end of what was written.
    uint64_t Size() const { return size_; }
    /// The open file, for reading back what was written before committing.
    int Descriptor() const { return fd_; }

    /// Puts the file in place: the target is checked again under the folder's
    /// lock, then replaced by the temporary file. On failure the temporary
    /// file is removed and the target left as it was.
    bool Commit();
    /// Closes and removes the temporary file; harmless when none is open.
    void Abandon();
    /// Removes the committed file again while it is still the one this object
    /// put in place (a later failure of the same run). False when nothing was removed.
    bool RemoveCommitted();
    /// Commit succeeded (and RemoveCommitted did not undo it).
    bool Committed() const { return committed_; }

    /// The target's name, as given to Open.
    QString Name() const { return name_; }
    /// The temporary file's name while one is open; empty for a direct write.
    QString TemporaryName() const { return tempName_; }
    /// Why the last call failed, without the target's name.
    QString ErrorText() const { return error_; }

private:
    bool Fail(const QString& what, int err);
    bool OpenDirect(int fd);

    int fd_ = -1;
    bool direct_ = false;
    uint64_t size_ = 0;
    QString name_;
    QString tempName_;
    QString error_;
    OutputRules rules_;
    mode_t keepMode_ = 0;  // permissions of the file replaced; 0 for a new one
    bool replacing_ = false;  // a file with contents goes on Commit
    bool committed_ = false;
    FileIdentity committedId_;
};

/// Why the rules refuse the target, or empty when it may be written: the
/// checks of Open, with nothing made.
QString OutputRefusal(const QString& name, const OutputRules& rules);

/// Writes the parts one after the other through an OutputFile; false with
/// error set to "NAME: reason".
bool WriteOutputFile(const QString& name, const OutputRules& rules, std::initializer_list<QByteArrayView> parts,
                     QString& error);

} // namespace kx
