#include "RmsLevelStore.h"

namespace kx {

void RmsLevelStore::Begin(const QString& media, const RmsData& format)
{
    std::lock_guard lock(mutex_);
    RmsData& d = levels_[media];
    d = format;
    d.values.clear();
    current_ = media;
}

void RmsLevelStore::Append(const uint16_t* values, size_t count)
{
    std::lock_guard lock(mutex_);
    const auto it = levels_.find(current_);
    if (it != levels_.end() && values)
        it->second.values.insert(it->second.values.end(), values, values + count);
}

std::optional<RmsData> RmsLevelStore::Snapshot(const QString& media) const
{
    std::lock_guard lock(mutex_);
    const auto it = levels_.find(media);
    if (it == levels_.end())
        return std::nullopt;
    return it->second;
}

void RmsLevelStore::Forget(const QString& media)
{
    std::lock_guard lock(mutex_);
    levels_.erase(media);
    if (current_ == media)
        current_.clear();
}

void RmsLevelStore::Clear()
{
    std::lock_guard lock(mutex_);
    levels_.clear();
    current_.clear();
}

} // namespace kx
