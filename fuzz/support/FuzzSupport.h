#pragma once
// Helpers shared by the fuzz targets.
#include <QString>
#include <cstddef>
#include <cstdint>

namespace kx::fuzz {

// Creates the (offscreen) application object once per process.
void InitApplication();

// A folder private to this run, removed when the process ends normally.
QString ScratchDir();
// Writes the bytes to name inside the scratch folder, replacing any file.
QString WriteScratch(const QString& name, const uint8_t* data, size_t size);

// Reads little-endian values off the front of the input; zeros past its end.
class FuzzInput
{
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint32_t Take(int bytes);
    bool Flag() { return Take(1) & 1; }
    // A number in [0, n) for n > 0.
    uint32_t Pick(uint32_t n) { return Take(4) % n; }
    const uint8_t* Rest() const { return data_ + at_; }
    size_t RestSize() const { return size_ - at_; }
    // Up to count bytes, advancing past them.
    QByteArray Bytes(size_t count);

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

} // namespace kx::fuzz
