#include "StreamList.h"

#include <algorithm>

namespace kx {

void TStreamList::Add(std::unique_ptr<TMemoryStream> stream)
{
    QMutexLocker lock(&mutex_);
    streams_.push_back(std::move(stream));
}

void TStreamList::Clear()
{
    QMutexLocker lock(&mutex_);
    while (!streams_.empty())
        streams_.pop_back();
}

int TStreamList::Count() const
{
    QMutexLocker lock(&mutex_);
    return static_cast<int>(streams_.size());
}

void TStreamList::DeleteLast()
{
    QMutexLocker lock(&mutex_);
    if (!streams_.empty())
        streams_.pop_back();
}

void TStreamList::Delete(int index)
{
    QMutexLocker lock(&mutex_);
    if (index >= 0 && index < static_cast<int>(streams_.size()))
        streams_.erase(streams_.begin() + index);
}

void TStreamList::Remove(const TMemoryStream* stream)
{
    QMutexLocker lock(&mutex_);
    std::erase_if(streams_, [stream](const auto& s) { return s.get() == stream; });
}

void TStreamList::Insert(int index, std::unique_ptr<TMemoryStream> stream)
{
    QMutexLocker lock(&mutex_);
    index = std::clamp(index, 0, static_cast<int>(streams_.size()));
    streams_.insert(streams_.begin() + index, std::move(stream));
}

int TStreamList::FilledCount() const
{
    QMutexLocker lock(&mutex_);
    int n = 0;
    for (const auto& s : streams_)
        n += s->Size() > 0 ? 1 : 0;
    return n;
}

TMemoryStream* TStreamList::Get(int index) const
{
    QMutexLocker lock(&mutex_);
    if (index < 0 || index >= static_cast<int>(streams_.size()))
        return nullptr;
    return streams_[static_cast<size_t>(index)].get();
}

bool TStreamList::Append(int index, const void* data, int64_t count)
{
    QMutexLocker lock(&mutex_);
    if (index < 0 || index >= static_cast<int>(streams_.size()))
        return false;
    return streams_[static_cast<size_t>(index)]->Append(data, count);
}

} // namespace kx
