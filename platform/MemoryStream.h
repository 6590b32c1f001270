#pragma once
#include <QString>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

namespace kx {

/// The byte stream of the components: size, position, reads that stop at the
/// end, writes that grow the stream. Sizes and positions are 64-bit.
/// One writer may append from another thread while readers read: every
/// operation takes the stream's lock, appends go to the end whatever the
/// read position is, and a reader sees each append whole or not at all.
class TMemoryStream
{
public:
    TMemoryStream() = default;
    TMemoryStream(const TMemoryStream&) = delete;
    TMemoryStream& operator=(const TMemoryStream&) = delete;

    /// Bytes in the stream.
    int64_t Size() const;
    /// Grows with zero bytes or cuts; a position past the new end moves to it.
    void SetSize(int64_t size);
    /// Where Read and Write start; may lie past the end (a write there fills the gap with zeros).
    ///@{
    int64_t Position() const;
    void SetPosition(int64_t position);
    ///@}

    /// Bytes actually read (fewer at the end of the stream).
    int64_t Read(void* buffer, int64_t count);
    /// Writes at the position, growing the stream as needed; gives count.
    int64_t Write(const void* buffer, int64_t count);
    /// Empties the stream and rewinds it.
    void Clear();

    /// Writes at the end without moving the read position; false, with
    /// nothing written, when the stream cannot grow.
    bool Append(const void* buffer, int64_t count);
    /// Overwrites bytes inside the stream without moving the position; false
    /// when the range is not inside it.
    bool WriteAt(int64_t offset, const void* buffer, int64_t count);
    /// Room for `bytes` in all, so that appends up to it need no new block;
    /// false when that much cannot be had (the appends still grow it).
    bool Reserve(int64_t bytes);
    /// Gives back room beyond the size.
    void Trim();
    /// The bytes [from, to) that exist, copied under the lock.
    std::vector<uint8_t> Copy(int64_t from, int64_t to) const;

    /// Direct access, for streams that nothing appends to any more.
    ///@{
    std::span<const uint8_t> Bytes() const { return data_; }
    const uint8_t* Data() const { return data_.data(); }
    uint8_t* Data() { return data_.data(); }
    ///@}

    /// Whole-file helpers; false when the file cannot be read or written.
    ///@{
    bool LoadFromFile(const QString& fileName);
    bool SaveToFile(const QString& fileName) const;
    ///@}

private:
    int64_t WriteLocked(int64_t at, const void* buffer, int64_t count);

    mutable std::mutex mutex_;
    std::vector<uint8_t> data_;
    int64_t position_ = 0;
};

} // namespace kx
