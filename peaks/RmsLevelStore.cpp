#include "RmsLevelStore.h"

namespace kx {

void RmsLevelStore::Begin(const QString& media, const RmsData& format)
{
    std::lock_guard lock(mutex_);
    RmsData& d = levels_[media];
    d = format;
    d.values.clear();
    current_ = media;
    writer_.reset();
}

void RmsLevelStore::BeginStreamed(const QString& name, const OutputRules& rules)
{
    std::lock_guard lock(mutex_);
    current_.clear();
    writer_ = std::make_unique<RmsFileWriter>();
    writerName_ = name;
    writerRules_ = rules;
    writerTried_ = false;
}

std::unique_ptr<RmsFileWriter> RmsLevelStore::TakeWriter()
{
    std::lock_guard lock(mutex_);
    // A track without records still gets its header.
    if (writer_ && !writerTried_)
        writer_->Open(writerName_, writerRules_);
    writerTried_ = true;
    return std::move(writer_);
}

void RmsLevelStore::Append(const uint16_t* values, size_t count)
{
    std::lock_guard lock(mutex_);
    if (writer_) {
        // A refused name is told at the end, from the writer's error.
        if (!writerTried_)
            writer_->Open(writerName_, writerRules_);
        writerTried_ = true;
        writer_->Append(values, count);
        return;
    }
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

void RmsLevelStore::DropWriter()
{
    std::lock_guard lock(mutex_);
    writer_.reset();
}

void RmsLevelStore::Forget(const QString& media)
{
    std::lock_guard lock(mutex_);
    levels_.erase(media);
    if (current_ == media)
        current_.clear();
    writer_.reset();
}

void RmsLevelStore::Clear()
{
    std::lock_guard lock(mutex_);
    levels_.clear();
    current_.clear();
    writer_.reset();
}

} // namespace kx
