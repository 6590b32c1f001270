#include "MemoryStream.h"

#include <QFile>
#include "OutputFile.h"
#include <algorithm>
#include <cstring>

namespace kx {

void TMemoryStream::SetSize(int64_t size)
{
    data_.resize(static_cast<size_t>(std::max<int64_t>(size, 0)));
    position_ = std::min(position_, Size());
}

void TMemoryStream::SetPosition(int64_t position)
{
    position_ = std::max<int64_t>(position, 0);
}

int64_t TMemoryStream::Read(void* buffer, int64_t count)
{
    if (count <= 0 || position_ >= Size())
        return 0;
    const int64_t n = std::min(count, Size() - position_);
    std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    const int64_t end = position_ + count;
    if (end > Size()) {
        // Geometric growth keeps appends of many small blocks linear.
        if (static_cast<size_t>(end) > data_.capacity())
            data_.reserve(std::max(static_cast<size_t>(end), data_.capacity() * 3 / 2));
        data_.resize(static_cast<size_t>(end));
    }
    std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
    position_ = end;
    return count;
}

void TMemoryStream::Clear()
{
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
    data_ = std::move(bytes);
    position_ = 0;
    return true;
}

bool TMemoryStream::SaveToFile(const QString& fileName) const
{
    // Whatever the bytes are, they replace only a file of their own kind.
    OutputRules rules;
    rules.kind = DetectFileKind(std::span<const uint8_t>(data_.data(), std::min<size_t>(data_.size(), FileKindHeadSize)),
                                data_.size());
    QString error;
    return WriteOutputFile(fileName, rules, {QByteArrayView(data_.data(), qsizetype(data_.size()))}, error);
}

} // namespace kx
