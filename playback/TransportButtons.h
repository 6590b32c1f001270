#pragma once
#include <QToolButton>
#include <array>
#include <functional>

#include "platform/EnumSet.h"

class QPixmap;

namespace kx {

// Button index of the transport bar.
enum TPLBtnType {
    btGoToStart, btFR, btStepBack, btStop, btPlay, btStepFrwd, btFF, btGoToEnd, btMarkIn, btMarkOut, btPlaySel,
    btCapture
};
using TButtonSet = EnumSet<TPLBtnType>;
constexpr int kButtonCount = 12;
constexpr TButtonSet kAllButtons = TButtonSet::FromBits(0x0FFF);

// Twelve per-button pixel values (widths, or gaps for TButtonSpacings).
class TButtonParams
{
public:
    explicit TButtonParams(int value);
    virtual ~TButtonParams() = default;

    int Value(TPLBtnType button) const { return values_[button]; }
    // Stores and always reports OnChange, also for an unchanged value.
    void SetValue(TPLBtnType button, int value);
    std::array<int, kButtonCount> GetValues() const { return values_; }
    // Adds to every value without OnChange.
    void AddToAll(int delta);

#define KX_BUTTON_PARAM(Name, Index)                                  \
    int Name() const { return values_[Index]; }                       \
    void Set##Name(int value) { SetValue(Index, value); }
    KX_BUTTON_PARAM(GotToStart, btGoToStart)
    KX_BUTTON_PARAM(FR, btFR)
    KX_BUTTON_PARAM(StepBack, btStepBack)
    KX_BUTTON_PARAM(Stop, btStop)
    KX_BUTTON_PARAM(Play, btPlay)
    KX_BUTTON_PARAM(StepForward, btStepFrwd)
    KX_BUTTON_PARAM(FF, btFF)
    KX_BUTTON_PARAM(GotToEnd, btGoToEnd)
    KX_BUTTON_PARAM(MarkIn, btMarkIn)
    KX_BUTTON_PARAM(MarkOut, btMarkOut)
    KX_BUTTON_PARAM(PlaySelection, btPlaySel)
    KX_BUTTON_PARAM(Capture, btCapture)
#undef KX_BUTTON_PARAM

    std::function<void(TButtonParams* Sender)> OnChange;

private:
    std::array<int, kButtonCount> values_{};
};

// The gap to the right of each button.
class TButtonSpacings : public TButtonParams
{
public:
    explicit TButtonSpacings(int value) : TButtonParams(value) {}
};

// A flat speed button: in a group (GroupIndex > 0) it stays down until
// another button of the group goes down, or toggles when AllowAllUp is set.
class TSpeedButton : public QToolButton
{
public:
    explicit TSpeedButton(QWidget* parent);
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int value);
    bool AllowAllUp() const { return allowAllUp_; }
    void SetAllowAllUp(bool value) { allowAllUp_ = value; }
    bool Down() const { return isChecked(); }
    // Going down releases the other buttons of the group.
    void SetDown(bool value);
    int NumGlyphs() const { return numGlyphs_; }
    // A strip of NumGlyphs cells: up, disabled, clicked, down.
    void SetGlyph(const QPixmap& strip, int numGlyphs);

protected:
    void nextCheckState() override;

private:
    int groupIndex_ = 0;
    bool allowAllUp_ = false;
    int numGlyphs_ = 1;
};

// Where each button goes. Buttons that do not exist have exists false;
// shown tells whether an existing button is visible. With AutoSpace the
// widths are changed in place to spread the buttons over barWidth.
struct TButtonLayout {
    std::array<bool, kButtonCount> exists{};
    std::array<bool, kButtonCount> shown{};
    std::array<int, kButtonCount> lefts{};
    std::array<int, kButtonCount> widths{};
};
int LayoutButtons(TButtonLayout& layout, TButtonSet visibleButtons, const std::array<int, kButtonCount>& spacings,
                  int barWidth, bool autoSpace);

} // namespace kx
