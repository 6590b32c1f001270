#include "EffectPoints.h"

#include <cstdlib>

#include "platform/Exception.h"

namespace kx {

namespace {

void CheckLimit(int value)
{
    if (value > 32767 || value < -32767)
        throw Exception("Value must be between -32767 and 32767");
}

} // namespace

TEffectPoints::TEffectPoints(std::function<void()> changed) : changed_(std::move(changed)) {}

void TEffectPoints::SetColor(TEffectType type, TColor value)
{
    if (value == color_[type])
        return;
    color_[type] = value;
    if (changed_)
        changed_();
}

void TEffectPoints::SetMax(TEffectType type, int value)
{
    if (value == max_[type] || value <= min_[type])
        return;
    CheckLimit(value);
    max_[type] = value;
}

void TEffectPoints::SetMin(TEffectType type, int value)
{
    if (value == min_[type] || value >= max_[type])
        return;
    CheckLimit(value);
    min_[type] = value;
}

} // namespace kx
