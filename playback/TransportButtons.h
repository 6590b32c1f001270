#pragma once
#include <QToolButton>
#include <array>
#include <functional>

#include "platform/EnumSet.h"

class QPixmap;

namespace kx {

/// Button index of the transport bar.
enum TPLBtnType {
    btGoToStart, btFR, btStepBack, btStop, btPlay, btStepFrwd, btFF, btGoToEnd, btMarkIn, btMarkOut, btPlaySel,
    btCapture
};
/// A set of buttons, bit n for TPLBtnType n.
using TButtonSet = EnumSet<TPLBtnType>;
/// Buttons of a full bar.
constexpr int kButtonCount = 12;
/// Every button.
constexpr TButtonSet kAllButtons = TButtonSet::FromBits(0x0FFF);

/// Twelve per-button pixel values (widths, or gaps for TButtonSpacings).
/// A plain settings object owned by its bar, which takes OnChange for itself.
class TButtonParams
{
public:
    /// Every button's value is value.
    explicit TButtonParams(int value);
    virtual ~TButtonParams() = default;

    /// One button's value in pixels.
    int Value(TPLBtnType button) const { return values_[button]; }
    /// Stores and always reports OnChange, also for an unchanged value.
    void SetValue(TPLBtnType button, int value);
    /// All twelve values.
    std::array<int, kButtonCount> GetValues() const { return values_; }
    /// Adds to every value without OnChange.
    void AddToAll(int delta);

// One button's value by name, and its setter.
#define KX_BUTTON_PARAM(Name, Index)                                  \
    /** The value of button Index. */                                 \
    int Name() const { return values_[Index]; }                       \
    /** Sets the value of button Index. */                            \
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

    /// A value was set.
    std::function<void(TButtonParams* Sender)> OnChange;

private:
    std::array<int, kButtonCount> values_{};
};

/// The gap to the right of each button.
class TButtonSpacings : public TButtonParams
{
public:
    /// Every gap is value.
    explicit TButtonSpacings(int value) : TButtonParams(value) {}
};

/// A flat speed button: in a group (GroupIndex > 0) it stays down until
/// another button of the group goes down, or toggles when AllowAllUp is set.
class TSpeedButton : public QToolButton
{
    Q_OBJECT
    /// GroupIndex(); 0 is none.
    Q_PROPERTY(int groupIndex READ GroupIndex WRITE setGroupIndex)
    /// AllowAllUp().
    Q_PROPERTY(bool allowAllUp READ AllowAllUp WRITE setAllowAllUp)
    /// Down(): stays down in its group (QAbstractButton's down is the
    /// pressed look of a click).
    Q_PROPERTY(bool buttonDown READ Down WRITE setButtonDown NOTIFY buttonDownChanged)
public:
    /// @name Property writers under the names forms compiled by uic call
    ///@{
    void setGroupIndex(int value) { SetGroupIndex(value); } ///< Writes groupIndex.
    void setAllowAllUp(bool value) { SetAllowAllUp(value); } ///< Writes allowAllUp.
    void setButtonDown(bool value) { SetDown(value); } ///< Writes buttonDown.
    ///@}
public:
    /// A checkable flat button in no group.
    explicit TSpeedButton(QWidget* parent);
    /// The group; 0 is none.
    int GroupIndex() const { return groupIndex_; }
    /// Joins a group; the button becomes checkable in one.
    void SetGroupIndex(int value);
    /// A click on the down button of the group raises it.
    bool AllowAllUp() const { return allowAllUp_; }
    /// Sets AllowAllUp.
    void SetAllowAllUp(bool value) { allowAllUp_ = value; }
    /// The button stays down.
    bool Down() const { return isChecked(); }
    /// Going down releases the other buttons of the group.
    void SetDown(bool value);
    /// Cells in the glyph strip.
    int NumGlyphs() const { return numGlyphs_; }
    /// A strip of NumGlyphs cells: up, disabled, clicked, down.
    void SetGlyph(const QPixmap& strip, int numGlyphs);

Q_SIGNALS:
    /// Down() changed (toggled() under the property's name).
    void buttonDownChanged(bool down);

protected:
    /// A click follows the group rules instead of toggling.
    void nextCheckState() override;

private:
    int groupIndex_ = 0;
    bool allowAllUp_ = false;
    int numGlyphs_ = 1;
};

/// Where each button goes. Buttons that do not exist have exists false;
/// shown tells whether an existing button is visible. With AutoSpace the
/// widths are changed in place to spread the buttons over barWidth.
struct TButtonLayout {
    std::array<bool, kButtonCount> exists{}; ///< the button exists
    std::array<bool, kButtonCount> shown{};  ///< an existing button is visible
    std::array<int, kButtonCount> lefts{};   ///< left edges, set by LayoutButtons
    std::array<int, kButtonCount> widths{};  ///< widths, spread with AutoSpace
};
/// Places the buttons of layout; returns the bar width they need.
int LayoutButtons(TButtonLayout& layout, TButtonSet visibleButtons, const std::array<int, kButtonCount>& spacings,
                  int barWidth, bool autoSpace);

} // namespace kx
