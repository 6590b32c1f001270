#pragma once
#include <cstdint>
#include <initializer_list>

namespace kx {

/// A set of enumeration values with the ordinal as bit index (up to 32 values),
/// the layout stored sets such as the 16-bit availability sets rely on.
template <typename E>
class EnumSet
{
public:
    constexpr EnumSet() = default;
    constexpr EnumSet(std::initializer_list<E> values)
    {
        for (E v : values)
            Include(v);
    }
    static constexpr EnumSet FromBits(uint32_t bits)
    {
        EnumSet s;
        s.bits_ = bits;
        return s;
    }

    constexpr bool Contains(E v) const { return (bits_ >> Bit(v)) & 1u; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr uint32_t Bits() const { return bits_; }
    constexpr void Include(E v) { bits_ |= 1u << Bit(v); }
    constexpr void Exclude(E v) { bits_ &= ~(1u << Bit(v)); }
    constexpr void Set(E v, bool on) { on ? Include(v) : Exclude(v); }

    constexpr EnumSet operator|(EnumSet o) const { return FromBits(bits_ | o.bits_); }
    constexpr EnumSet operator&(EnumSet o) const { return FromBits(bits_ & o.bits_); }
    constexpr EnumSet operator-(EnumSet o) const { return FromBits(bits_ & ~o.bits_); }
    constexpr bool operator==(const EnumSet&) const = default;

private:
    static constexpr uint32_t Bit(E v) { return static_cast<uint32_t>(v) & 31u; }
    uint32_t bits_ = 0;
};

} // namespace kx
