#pragma once
// Memory that the peak streams of one run may take together.
#include <QString>
#include <cstdint>

namespace kx {

/// The bytes of peaks the builders of one run may keep in memory at once.
/// Builders take their stream's expected size before they start and give it
/// back when the stream is emptied; used on the GUI thread only.
class MemoryBudget
{
public:
    /// A budget of bytes (negative counts as 0), nothing taken.
    explicit MemoryBudget(int64_t bytes) : total_(bytes > 0 ? bytes : 0) {}

    /// The bytes of the budget.
    int64_t Total() const { return total_; }
    /// The bytes taken and not given back.
    int64_t Taken() const { return taken_; }
    /// False, taking nothing, when fewer than `bytes` are left.
    bool TryTake(int64_t bytes);
    /// Gives bytes back (never below nothing taken).
    void Give(int64_t bytes);

    /// A quarter of the physical memory (at least 64 MiB): the default of a run.
    static int64_t DefaultBytes();
    /// "512M", "2G", "1048576" (bytes; K, M, G, T in powers of 1024); -1 when unreadable.
    static int64_t ParseSize(const QString& text);

private:
    int64_t total_ = 0;
    int64_t taken_ = 0;
};

} // namespace kx
