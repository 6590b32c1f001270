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
    /// The empty set.
    constexpr EnumSet() = default;
    /// The set of the values listed.
    constexpr EnumSet(std::initializer_list<E> values)
    {
        for (E v : values)
            Include(v);
    }
    /// The set whose bit n stands for the value of ordinal n (as stored).
    static constexpr EnumSet FromBits(uint32_t bits)
    {
        EnumSet s;
        s.bits_ = bits;
        return s;
    }

    /// Whether the value is in the set.
    constexpr bool Contains(E v) const { return (bits_ >> Bit(v)) & 1u; }
    /// Whether no value is in the set.
    constexpr bool Empty() const { return bits_ == 0; }
    /// The stored form: bit n for the value of ordinal n.
    constexpr uint32_t Bits() const { return bits_; }
    /// Adds a value.
    constexpr void Include(E v) { bits_ |= 1u << Bit(v); }
    /// Removes a value.
    constexpr void Exclude(E v) { bits_ &= ~(1u << Bit(v)); }
    /// Adds the value when on is true, removes it otherwise.
    constexpr void Set(E v, bool on) { on ? Include(v) : Exclude(v); }

    /// Union.
    constexpr EnumSet operator|(EnumSet o) const { return FromBits(bits_ | o.bits_); }
    /// Intersection.
    constexpr EnumSet operator&(EnumSet o) const { return FromBits(bits_ & o.bits_); }
    /// The values of this set that are not in o.
    constexpr EnumSet operator-(EnumSet o) const { return FromBits(bits_ & ~o.bits_); }
    /// Same values.
    constexpr bool operator==(const EnumSet&) const = default;

private:
    static constexpr uint32_t Bit(E v) { return static_cast<uint32_t>(v) & 31u; }
    uint32_t bits_ = 0;
};

} // namespace kx
