#pragma once
#include <QColor>
#include <QObject>
#include <cstdint>
#include <functional>

#include "platform/widgets/Color.h"
#include "platform/EnumSet.h"

namespace kx {

/// The three effect types, one envelope each.
enum TEffectType {
    fcA, ///< effect A
    fcB, ///< effect B
    fcC  ///< effect C (no list while the viewer's StereoEffects is set)
};
/// A set of effect types (bit = ordinal).
using TEffectTypes = EnumSet<TEffectType>;
/// The channel an effect point applies to.
enum TEffectChannel {
    ecBoth, ///< both channels (the whole height)
    ecLeft, ///< the left channel (upper half)
    ecRight ///< the right channel (lower half)
};

/// One envelope point: a peak index, a value and the channel it applies to.
struct TEffectPointRec {
    int32_t Position = 0;             ///< peak index
    int32_t Value = 0;                ///< between the type's Min and Max
    TEffectChannel Channel = ecBoth;  ///< channel band the value is drawn in

    /// Field by field.
    bool operator==(const TEffectPointRec&) const = default;
};

/// Asked before a point is added or deleted; clearing Allow refuses it.
using TNewPoint = std::function<void(QObject* Sender, TEffectType EffectType, TEffectChannel EffectChannel,
                                     int Position, int Value, int Index, bool& Allow)>;

/// Colours and value limits of the three effect types.
class TEffectPoints
{
public:
    /// Stored default of a form file for the Max limits; the constructor's value differs.
    static constexpr int StoredMaxDefault = 65535;
    /// Stored default of a form file for the Min limits; the constructor's value differs.
    static constexpr int StoredMinDefault = 0;

    /// `changed` is called when a colour changes (the viewer repaints).
    explicit TEffectPoints(std::function<void()> changed = {});

    /// Colour of type A.
    TColor ColorA() const { return color_[fcA]; }
    /// Colour of type B.
    TColor ColorB() const { return color_[fcB]; }
    /// Colour of type C.
    TColor ColorC() const { return color_[fcC]; }
    /// Sets the colour of type A.
    void SetColorA(TColor value) { SetColor(fcA, value); }
    /// Sets the colour of type B.
    void SetColorB(TColor value) { SetColor(fcB, value); }
    /// Sets the colour of type C.
    void SetColorC(TColor value) { SetColor(fcC, value); }
    /// As SetColorA(TColor).
    void SetColorA(const QColor& value) { SetColor(fcA, FromQColor(value)); }
    /// As SetColorB(TColor).
    void SetColorB(const QColor& value) { SetColor(fcB, FromQColor(value)); }
    /// As SetColorC(TColor).
    void SetColorC(const QColor& value) { SetColor(fcC, FromQColor(value)); }

    /// Highest value of type A.
    int MaxA() const { return max_[fcA]; }
    /// Highest value of type B.
    int MaxB() const { return max_[fcB]; }
    /// Highest value of type C.
    int MaxC() const { return max_[fcC]; }
    /// Lowest value of type A.
    int MinA() const { return min_[fcA]; }
    /// Lowest value of type B.
    int MinB() const { return min_[fcB]; }
    /// Lowest value of type C.
    int MinC() const { return min_[fcC]; }
    /// SetMax(fcA, value).
    void SetMaxA(int value) { SetMax(fcA, value); }
    /// SetMax(fcB, value).
    void SetMaxB(int value) { SetMax(fcB, value); }
    /// SetMax(fcC, value).
    void SetMaxC(int value) { SetMax(fcC, value); }
    /// SetMin(fcA, value).
    void SetMinA(int value) { SetMin(fcA, value); }
    /// SetMin(fcB, value).
    void SetMinB(int value) { SetMin(fcB, value); }
    /// SetMin(fcC, value).
    void SetMinC(int value) { SetMin(fcC, value); }

    /// The type the mouse edits.
    TEffectType Focused() const { return focused_; }
    /// Plain store (the viewer's FocusedType repaints).
    void SetFocused(TEffectType value) { focused_ = value; }

    /// Colour of a type.
    TColor Color(TEffectType type) const { return color_[type]; }
    /// Sets the colour of a type; calls the change callback when it changes.
    void SetColor(TEffectType type, TColor value);
    /// Highest value of a type.
    int Max(TEffectType type) const { return max_[type]; }
    /// Lowest value of a type.
    int Min(TEffectType type) const { return min_[type]; }
    /// Ignored when equal or not above Min; |value| > 32767 raises.
    void SetMax(TEffectType type, int value);
    /// Ignored when equal or not below Max; |value| > 32767 raises.
    void SetMin(TEffectType type, int value);

private:
    TColor color_[3] = {clRed, clYellow, clFuchsia};
    int max_[3] = {32767, 32767, 32767};
    int min_[3] = {-32767, -32767, -32767};
    TEffectType focused_ = fcA;
    std::function<void()> changed_;
};

} // namespace kx
