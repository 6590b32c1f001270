#include "MemoryStream.h"

#include <QFile>
#include "OutputFile.h"
#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

namespace kx {

int64_t TMemoryStream::Size() const
{
    std::lock_guard lock(mutex_);
    return static_cast<int64_t>(data_.size());
}

void TMemoryStream::SetSize(int64_t size)
{
    std::lock_guard lock(mutex_);
    data_.resize(static_cast<size_t>(std::max<int64_t>(size, 0)));
    position_ = std::min(position_, static_cast<int64_t>(data_.size()));
}

int64_t TMemoryStream::Position() const
{
    std::lock_guard lock(mutex_);
    return position_;
}

void TMemoryStream::SetPosition(int64_t position)
{
    std::lock_guard lock(mutex_);
    position_ = std::max<int64_t>(position, 0);
}

int64_t TMemoryStream::Read(void* buffer, int64_t count)
{
    std::lock_guard lock(mutex_);
    const auto size = static_cast<int64_t>(data_.size());
    if (count <= 0 || position_ >= size)
        return 0;
    const int64_t n = std::min(count, size - position_);
    std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int64_t TMemoryStream::WriteLocked(int64_t at, const void* buffer, int64_t count)
{
    const int64_t end = at + count;
    if (end > static_cast<int64_t>(data_.size())) {
        // Geometric growth keeps appends of many small blocks linear; a
        // quarter more at a time keeps the unused room small.
        if (static_cast<size_t>(end) > data_.capacity())
            data_.reserve(std::max(static_cast<size_t>(end), data_.capacity() + data_.capacity() / 4));
        data_.resize(static_cast<size_t>(end));
    }
    std::memcpy(data_.data() + at, buffer, static_cast<size_t>(count));
    return end;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    std::lock_guard lock(mutex_);
    position_ = WriteLocked(position_, buffer, count);
    return count;
}

bool TMemoryStream::Append(const void* buffer, int64_t count)
{
    if (count <= 0)
        return true;
    std::lock_guard lock(mutex_);
    const auto size = static_cast<int64_t>(data_.size());
    if (count > static_cast<int64_t>(data_.max_size()) - size)
        return false;
    try {
        WriteLocked(size, buffer, count);
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}

bool TMemoryStream::WriteAt(int64_t offset, const void* buffer, int64_t count)
{
    std::lock_guard lock(mutex_);
    if (offset < 0 || count < 0 || offset + count > static_cast<int64_t>(data_.size()))
        return false;
    std::memcpy(data_.data() + offset, buffer, static_cast<size_t>(count));
    return true;
}

bool TMemoryStream::Reserve(int64_t bytes)
{
    std::lock_guard lock(mutex_);
    try {
        data_.reserve(static_cast<size_t>(std::max<int64_t>(bytes, 0)));
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}

void TMemoryStream::Trim()
{
    std::lock_guard lock(mutex_);
    try {
        data_.shrink_to_fit();
    } catch (const std::bad_alloc&) {
        // Kept as it is: the room is only wasted.
    }
}

std::vector<uint8_t> TMemoryStream::Copy(int64_t from, int64_t to) const
{
    std::lock_guard lock(mutex_);
    const auto size = static_cast<int64_t>(data_.size());
    from = std::clamp<int64_t>(from, 0, size);
    to = std::clamp<int64_t>(to, from, size);
    return std::vector<uint8_t>(data_.begin() + from, data_.begin() + to);
}

void TMemoryStream::Clear()
{
    std::lock_guard lock(mutex_);
    data_.clear();
    data_.shrink_to_fit();
    position_ = 0;
}

bool TMemoryStream::LoadFromFile(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (size > 0 && file.read(reinterpret_cast<char*>(bytes.data()), size) != size)
        return false;
    std::lock_guard lock(mutex_);
    data_ = std::move(bytes);
    position_ = 0;
    return true;
}

bool TMemoryStream::SaveToFile(const QString& fileName) const
{
    // Whatever the bytes are, they replace only a file of their own kind.
    std::lock_guard lock(mutex_);
    OutputRules rules;
    rules.kind = DetectFileKind(std::span<const uint8_t>(data_.data(), std::min<size_t>(data_.size(), FileKindHeadSize)),
                                data_.size());
    QString error;
    return WriteOutputFile(fileName, rules, {QByteArrayView(data_.data(), qsizetype(data_.size()))}, error);
}

} // namespace kx
