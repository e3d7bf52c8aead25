#pragma once
// The modifier byte of a USB HID keyboard report, as a set of modifier keys. Bits without a
// named member are carried unchanged so a stored byte survives a round trip.

#include <cstdint>

struct HIDModifiers {
    std::uint8_t rawValue = 0;

    static constexpr std::uint8_t controlBit = 0x01;
    static constexpr std::uint8_t shiftBit = 0x02;
    static constexpr std::uint8_t optionBit = 0x04;
    static constexpr std::uint8_t commandBit = 0x08;

    static constexpr HIDModifiers none() { return {0}; }
    static constexpr HIDModifiers control() { return {controlBit}; }
    static constexpr HIDModifiers shift() { return {shiftBit}; }
    static constexpr HIDModifiers option() { return {optionBit}; }
    static constexpr HIDModifiers command() { return {commandBit}; }

    constexpr bool isEmpty() const { return rawValue == 0; }
    constexpr bool contains(HIDModifiers other) const { return (rawValue & other.rawValue) == other.rawValue; }
    constexpr bool isSubset(HIDModifiers of) const { return (rawValue & of.rawValue) == rawValue; }
    constexpr bool isDisjoint(HIDModifiers with) const { return (rawValue & with.rawValue) == 0; }
    constexpr void insert(HIDModifiers other) { rawValue = static_cast<std::uint8_t>(rawValue | other.rawValue); }
    constexpr void remove(HIDModifiers other) { rawValue = static_cast<std::uint8_t>(rawValue & ~other.rawValue); }

    friend constexpr HIDModifiers operator|(HIDModifiers a, HIDModifiers b)
    {
        return {static_cast<std::uint8_t>(a.rawValue | b.rawValue)};
    }
    friend constexpr HIDModifiers operator&(HIDModifiers a, HIDModifiers b)
    {
        return {static_cast<std::uint8_t>(a.rawValue & b.rawValue)};
    }
    friend constexpr HIDModifiers operator^(HIDModifiers a, HIDModifiers b)
    {
        return {static_cast<std::uint8_t>(a.rawValue ^ b.rawValue)};
    }
    friend constexpr bool operator==(HIDModifiers, HIDModifiers) = default;
};
