#pragma once
#include <QObject>
#include <cstdint>
#include <functional>

#include "platform/widgets/Color.h"
#include "platform/EnumSet.h"

namespace kx {

enum TEffectType { fcA, fcB, fcC };
using TEffectTypes = EnumSet<TEffectType>;
enum TEffectChannel { ecBoth, ecLeft, ecRight };

// One envelope point: a peak index, a value and the channel it applies to.
struct TEffectPointRec {
    int32_t Position = 0;
    int32_t Value = 0;
    TEffectChannel Channel = ecBoth;

    bool operator==(const TEffectPointRec&) const = default;
};

// Asked before a point is added or deleted; clearing Allow refuses it.
using TNewPoint = std::function<void(QObject* Sender, TEffectType EffectType, TEffectChannel EffectChannel,
                                     int Position, int Value, int Index, bool& Allow)>;

// Colours and value limits of the three effect types.
class TEffectPoints
{
public:
    // Stored defaults of a form file; the constructor's values differ for the limits.
    static constexpr int StoredMaxDefault = 65535;
    static constexpr int StoredMinDefault = 0;

    // `changed` is called when a colour changes (the viewer repaints).
    explicit TEffectPoints(std::function<void()> changed = {});

    TColor ColorA() const { return color_[fcA]; }
    TColor ColorB() const { return color_[fcB]; }
    TColor ColorC() const { return color_[fcC]; }
    void SetColorA(TColor value) { SetColor(fcA, value); }
    void SetColorB(TColor value) { SetColor(fcB, value); }
    void SetColorC(TColor value) { SetColor(fcC, value); }

    int MaxA() const { return max_[fcA]; }
    int MaxB() const { return max_[fcB]; }
    int MaxC() const { return max_[fcC]; }
    int MinA() const { return min_[fcA]; }
    int MinB() const { return min_[fcB]; }
    int MinC() const { return min_[fcC]; }
    void SetMaxA(int value) { SetMax(fcA, value); }
    void SetMaxB(int value) { SetMax(fcB, value); }
    void SetMaxC(int value) { SetMax(fcC, value); }
    void SetMinA(int value) { SetMin(fcA, value); }
    void SetMinB(int value) { SetMin(fcB, value); }
    void SetMinC(int value) { SetMin(fcC, value); }

    TEffectType Focused() const { return focused_; }
    void SetFocused(TEffectType value) { focused_ = value; }

    // By type.
    TColor Color(TEffectType type) const { return color_[type]; }
    void SetColor(TEffectType type, TColor value);
    int Max(TEffectType type) const { return max_[type]; }
    int Min(TEffectType type) const { return min_[type]; }
    // Ignored when equal or not above Min; |value| > 32767 raises.
    void SetMax(TEffectType type, int value);
    // Ignored when equal or not below Max; |value| > 32767 raises.
    void SetMin(TEffectType type, int value);

private:
    TColor color_[3] = {clRed, clYellow, clFuchsia};
    int max_[3] = {32767, 32767, 32767};
    int min_[3] = {-32767, -32767, -32767};
    TEffectType focused_ = fcA;
    std::function<void()> changed_;
};

} // namespace kx
