#include "MemoryBudget.h"

#include <algorithm>
#include <unistd.h>

namespace kx {

bool MemoryBudget::TryTake(int64_t bytes)
{
    bytes = std::max<int64_t>(bytes, 0);
    if (bytes > total_ - taken_)
        return false;
    taken_ += bytes;
    return true;
}

void MemoryBudget::Give(int64_t bytes)
{
    taken_ = std::max<int64_t>(taken_ - std::max<int64_t>(bytes, 0), 0);
}

int64_t MemoryBudget::DefaultBytes()
{
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
    const int64_t physical = pages > 0 && pageSize > 0 ? int64_t(pages) * pageSize : int64_t(1) << 30;
    return std::max<int64_t>(physical / 4, int64_t(64) << 20);
}

int64_t MemoryBudget::ParseSize(const QString& text)
{
    QString t = text.trimmed();
    int shift = 0;
    if (!t.isEmpty()) {
        const QChar unit = t.back().toUpper();
        const auto index = QStringLiteral("KMGT").indexOf(unit);
        if (index >= 0) {
            shift = 10 * int(index + 1);
            t.chop(1);
        }
    }
    bool ok = false;
    const qlonglong value = t.toLongLong(&ok);
    if (!ok || value <= 0 || value > (INT64_MAX >> shift))
        return -1;
    return int64_t(value) << shift;
}

} // namespace kx
