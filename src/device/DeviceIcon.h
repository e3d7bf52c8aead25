#pragma once
// The closed set of icons the device's symbol font draws: stable raw names for stored
// profiles and screen files, the glyph sent to the device, a label and a preview symbol name.

#include <QHashFunctions>
#include <QString>
#include <QStringView>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

class DeviceIcon {
public:
    enum Case : std::uint8_t {
        audio,
        video,
        list,
        ok,
        close,
        power,
        settings,
        home,
        download,
        drive,
        refresh,
        mute,
        volumeMid,
        volumeMax,
        image,
        tint,
        prev,
        play,
        pause,
        stop,
        next,
        eject,
        left,
        right,
        plus,
        minus,
        eyeOpen,
        eyeClose,
        warning,
        shuffle,
        up,
        down,
        loop,
        directory,
        upload,
        call,
        cut,
        copy,
        save,
        bars,
        envelope,
        charge,
        paste,
        bell,
        keyboard,
        gps,
        file,
        wifi,
        battery,
        usb,
        bluetooth,
        trash,
        edit,
        backspace,
        sdCard,
        newLine
    };
    static constexpr int caseCount = 56;

    constexpr DeviceIcon(Case c) : m_case(c) {}
    constexpr operator Case() const { return m_case; }

    // Exact, case-sensitive match of a raw value; none for anything else.
    static std::optional<DeviceIcon> fromRawValue(QStringView rawValue);
    // Every case in its fixed order.
    static const std::array<DeviceIcon, caseCount>& allCases();

    QString rawValue() const;
    QString label() const;
    // A desktop symbol name for previews in the editors; never sent to the device.
    QString systemImage() const;
    // The text of the icon's private-use code point in the device font.
    QString glyph() const;
    char32_t codePoint() const;

private:
    Case m_case;
};

inline std::size_t qHash(DeviceIcon icon, std::size_t seed = 0) noexcept
{
    return qHash(int(DeviceIcon::Case(icon)), seed);
}

template <>
struct std::hash<DeviceIcon> {
    std::size_t operator()(DeviceIcon icon) const noexcept
    {
        return std::hash<int>()(int(DeviceIcon::Case(icon)));
    }
};
