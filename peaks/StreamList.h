#pragma once
#include <QMutex>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/MemoryStream.h"

namespace kx {

/// The builder's peak streams, one per queued file, guarded by one lock: the
/// peak callback appends from the streaming thread while the GUI thread
/// manages the list. Every operation takes and releases the lock.
class TStreamList
{
public:
    /// Appends a stream to the list.
    void Add(std::unique_ptr<TMemoryStream> stream);
    /// Frees every stream, last first.
    void Clear();
    /// Streams in the list.
    int Count() const;
    /// Frees the last stream; harmless on an empty list.
    void DeleteLast();
    /// Frees the stream at index; out-of-range indexes are ignored.
    void Delete(int index);
    /// Frees the given stream wherever it stands.
    void Remove(const TMemoryStream* stream);
    /// Puts a stream at index (clamped into the list), moving the later ones up.
    void Insert(int index, std::unique_ptr<TMemoryStream> stream);
    /// Streams whose size is above 0.
    int FilledCount() const;
    /// The stream at an index (used without the lock afterwards), or null.
    TMemoryStream* Get(int index) const;
    /// Writes a block at the stream's end; false when the stream is gone or
    /// cannot grow (nothing of the block is then written).
    bool Append(int index, const void* data, int64_t count);

    /// The lock itself, for work that must not interleave with appends
    /// (writing a header, changing the output format).
    QMutex& Lock() const { return mutex_; }

private:
    mutable QMutex mutex_;
    std::vector<std::unique_ptr<TMemoryStream>> streams_;
};

} // namespace kx
