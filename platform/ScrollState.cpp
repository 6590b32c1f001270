#include "ScrollState.h"

#include <algorithm>

namespace kx {

void ScrollState::SetInfo(int min, int max, unsigned page, int pos)
{
    nMin = min;
    nMax = std::max(min, max);
    const int64_t span = static_cast<int64_t>(nMax) - nMin + 1;
    nPage = static_cast<unsigned>(std::min<int64_t>(page, span));
    nPos = Clamp(pos);
    nTrackPos = nPos;
}

int ScrollState::SetPos(int pos)
{
    const int previous = nPos;
    nPos = Clamp(pos);
    return previous;
}

int ScrollState::MaxPos() const
{
    const int64_t top = static_cast<int64_t>(nMax) - std::max<int64_t>(static_cast<int64_t>(nPage) - 1, 0);
    return static_cast<int>(std::max<int64_t>(top, nMin));
}

bool ScrollState::Disabled() const
{
    return MaxPos() <= nMin;
}

int ScrollState::Clamp(int pos) const
{
    return std::clamp(pos, nMin, MaxPos());
}

} // namespace kx
