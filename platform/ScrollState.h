#pragma once
#include <cstdint>

namespace kx {

/// Scroll-bar request codes carried by scroll events.
enum ScrollCode : int {
    SB_LINELEFT = 0,
    SB_LINERIGHT = 1,
    SB_PAGELEFT = 2,
    SB_PAGERIGHT = 3,
    SB_THUMBPOSITION = 4,
    SB_THUMBTRACK = 5,
    SB_LEFT = 6,
    SB_RIGHT = 7,
    SB_ENDSCROLL = 8,
};

/// The numbers of a classic window scroll bar, kept exactly because the
/// viewers' conversions read nMax and nPage. The position is clamped to
/// [nMin, nMax - max(nPage - 1, 0)] as such a scroll bar does.
class ScrollState
{
public:
    int nMin = 0;        ///< lowest position
    int nMax = 0;        ///< highest value of the range (not of the position)
    unsigned nPage = 0;  ///< positions one page shows
    int nPos = 0;        ///< the position
    int nTrackPos = 0;   ///< where the thumb is while it is dragged

    /// Range, page and position together; the page is clamped to the range
    /// size and the position into the range less the page.
    void SetInfo(int min, int max, unsigned page, int pos);
    /// Gives the previous position.
    int SetPos(int pos);
    /// Highest position the bar keeps.
    int MaxPos() const;
    /// True when the page covers the whole range, so nothing can scroll.
    bool Disabled() const;

private:
    int Clamp(int pos) const;
};

} // namespace kx
