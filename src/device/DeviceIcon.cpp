#include "device/DeviceIcon.h"

#include <utility>

namespace {

struct IconRow {
    const char* rawValue;
    char16_t codePoint;
    const char* label;
    const char* systemImage;
};

// In case order; the raw values are stored data and must never change.
constexpr std::array<IconRow, DeviceIcon::caseCount> rows{{
    {"audio", 0xF001, "Audio", "music.note"},
    {"video", 0xF008, "Video", "video.fill"},
    {"list", 0xF00B, "List", "list.bullet"},
    {"ok", 0xF00C, "Checkmark", "checkmark"},
    {"close", 0xF00D, "Close", "xmark"},
    {"power", 0xF011, "Power", "power"},
    {"settings", 0xF013, "Settings", "gearshape.fill"},
    {"home", 0xF015, "Home", "house.fill"},
    {"download", 0xF019, "Download", "arrow.down.to.line"},
    {"drive", 0xF01C, "Drive", "internaldrive.fill"},
    {"refresh", 0xF021, "Refresh", "arrow.clockwise"},
    {"mute", 0xF026, "Mute", "speaker.slash.fill"},
    {"volumeMid", 0xF027, "Volume", "speaker.wave.1.fill"},
    {"volumeMax", 0xF028, "Volume Max", "speaker.wave.3.fill"},
    {"image", 0xF03E, "Image", "photo.fill"},
    {"tint", 0xF043, "Tint", "drop.fill"},
    {"prev", 0xF048, "Previous", "backward.fill"},
    {"play", 0xF04B, "Play", "play.fill"},
    {"pause", 0xF04C, "Pause", "pause.fill"},
    {"stop", 0xF04D, "Stop", "stop.fill"},
    {"next", 0xF051, "Next", "forward.fill"},
    {"eject", 0xF052, "Eject", "eject.fill"},
    {"left", 0xF053, "Left", "chevron.left"},
    {"right", 0xF054, "Right", "chevron.right"},
    {"plus", 0xF067, "Plus", "plus"},
    {"minus", 0xF068, "Minus", "minus"},
    {"eyeOpen", 0xF06E, "Eye", "eye.fill"},
    {"eyeClose", 0xF070, "Eye Closed", "eye.slash.fill"},
    {"warning", 0xF071, "Warning", "exclamationmark.triangle.fill"},
    {"shuffle", 0xF074, "Shuffle", "shuffle"},
    {"up", 0xF077, "Up", "chevron.up"},
    {"down", 0xF078, "Down", "chevron.down"},
    {"loop", 0xF079, "Loop", "repeat"},
    {"directory", 0xF07B, "Folder", "folder.fill"},
    {"upload", 0xF093, "Upload", "arrow.up.to.line"},
    {"call", 0xF095, "Call", "phone.fill"},
    {"cut", 0xF0C4, "Cut", "scissors"},
    {"copy", 0xF0C5, "Copy", "doc.on.doc.fill"},
    {"save", 0xF0C7, "Save", "square.and.arrow.down.fill"},
    {"bars", 0xF0C9, "Menu", "line.3.horizontal"},
    {"envelope", 0xF0E0, "Mail", "envelope.fill"},
    {"charge", 0xF0E7, "Bolt", "bolt.fill"},
    {"paste", 0xF0EA, "Paste", "doc.on.clipboard.fill"},
    {"bell", 0xF0F3, "Bell", "bell.fill"},
    {"keyboard", 0xF11C, "Keyboard", "keyboard.fill"},
    {"gps", 0xF124, "Location", "location.fill"},
    {"file", 0xF15B, "File", "doc.fill"},
    {"wifi", 0xF1EB, "Wi-Fi", "wifi"},
    {"battery", 0xF240, "Battery", "battery.100percent"},
    {"usb", 0xF287, "USB", "cable.connector"},
    {"bluetooth", 0xF293, "Bluetooth", "dot.radiowaves.left.and.right"},
    {"trash", 0xF2ED, "Trash", "trash.fill"},
    {"edit", 0xF304, "Edit", "pencil"},
    {"backspace", 0xF55A, "Backspace", "delete.left.fill"},
    {"sdCard", 0xF7C2, "SD Card", "sdcard.fill"},
    {"newLine", 0xF8A2, "Return", "return"},
}};

const IconRow& row(DeviceIcon icon) { return rows[std::size_t(DeviceIcon::Case(icon))]; }

}  // namespace

std::optional<DeviceIcon> DeviceIcon::fromRawValue(QStringView rawValue)
{
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rawValue == QLatin1StringView(rows[i].rawValue))
            return DeviceIcon(Case(i));
    }
    return std::nullopt;
}

const std::array<DeviceIcon, DeviceIcon::caseCount>& DeviceIcon::allCases()
{
    static constexpr auto all = []<std::size_t... I>(std::index_sequence<I...>) {
        return std::array<DeviceIcon, caseCount>{DeviceIcon(Case(I))...};
    }(std::make_index_sequence<caseCount>());
    return all;
}

QString DeviceIcon::rawValue() const { return QString::fromLatin1(row(*this).rawValue); }

QString DeviceIcon::label() const { return QString::fromLatin1(row(*this).label); }

QString DeviceIcon::systemImage() const { return QString::fromLatin1(row(*this).systemImage); }

QString DeviceIcon::glyph() const { return QString(QChar(row(*this).codePoint)); }

char32_t DeviceIcon::codePoint() const { return row(*this).codePoint; }
