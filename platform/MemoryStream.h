#pragma once
#include <QString>
#include <cstdint>
#include <span>
#include <vector>

namespace kx {

// The byte stream of the components: size, position, reads that stop at the
// end, writes that grow the stream. Sizes and positions are 64-bit.
class TMemoryStream
{
public:
    TMemoryStream() = default;

    int64_t Size() const { return static_cast<int64_t>(data_.size()); }
    // Grows with zero bytes or cuts; a position past the new end moves to it.
    void SetSize(int64_t size);
    int64_t Position() const { return position_; }
    void SetPosition(int64_t position);

    // Bytes actually read (fewer at the end of the stream).
    int64_t Read(void* buffer, int64_t count);
    // Writes at the position, growing the stream as needed; gives count.
    int64_t Write(const void* buffer, int64_t count);
    void Clear();

    std::span<const uint8_t> Bytes() const { return data_; }
    const uint8_t* Data() const { return data_.data(); }
    uint8_t* Data() { return data_.data(); }

    // Whole-file helpers; false when the file cannot be read or written.
    bool LoadFromFile(const QString& fileName);
    bool SaveToFile(const QString& fileName) const;

private:
    std::vector<uint8_t> data_;
    int64_t position_ = 0;
};

} // namespace kx
