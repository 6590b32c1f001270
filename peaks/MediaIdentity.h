#pragma once
// Which file a media name stands for, and whether two names are one file.
#include <QString>
#include <cstdint>

namespace kx {

/// What stat(2) says identifies a file and its content: while all of it
/// stays equal, the file was neither replaced nor rewritten.
struct MediaIdentity {
    bool exists = false;     ///< stat(2) succeeded; the rest is 0 otherwise
    uint64_t device = 0;     ///< st_dev
    uint64_t inode = 0;      ///< st_ino
    int64_t size = 0;        ///< in bytes
    int64_t modifiedNs = 0;  ///< since the epoch

    /// The same file (device and inode), whatever happened to its content.
    bool SameFile(const MediaIdentity& other) const
    {
        return exists && other.exists && device == other.device && inode == other.inode;
    }
    /// The same file with the same content.
    bool operator==(const MediaIdentity&) const = default;
};

/// The identity of what the name leads to, links followed.
MediaIdentity IdentifyMedia(const QString& name);

/// Whether two queued names are one media file: equal names are; names that
/// differ beyond ASCII case are not; names that differ in case alone are one
/// file when both exist as the same device and inode, or when either is not
/// on disk (no file decides, so case is ignored as the queue always did).
bool SameMediaFile(const QString& a, const QString& b);

} // namespace kx
