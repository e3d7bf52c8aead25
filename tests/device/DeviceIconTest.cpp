#include "device/DeviceIcon.h"

#include <gtest/gtest.h>

#include <QSet>

using namespace Qt::StringLiterals;

TEST(DeviceIcon, RawValuesMatchExactly)
{
    EXPECT_EQ(DeviceIcon::fromRawValue(u"audio"), DeviceIcon(DeviceIcon::audio));
    EXPECT_EQ(DeviceIcon::fromRawValue(u"Audio"), std::nullopt);  // the label, not the raw value
    EXPECT_EQ(DeviceIcon::fromRawValue(u"audio "), std::nullopt);
    EXPECT_EQ(DeviceIcon::fromRawValue(u""), std::nullopt);
    EXPECT_EQ(DeviceIcon::fromRawValue(u"newLine"), DeviceIcon(DeviceIcon::newLine));
    for (DeviceIcon icon : DeviceIcon::allCases())
        EXPECT_EQ(DeviceIcon::fromRawValue(icon.rawValue()), icon) << icon.rawValue().toStdString();
}

TEST(DeviceIcon, TableRows)
{
    const auto& all = DeviceIcon::allCases();
    ASSERT_EQ(all.size(), 56u);
    EXPECT_EQ(all.front(), DeviceIcon::audio);
    EXPECT_EQ(all[49], DeviceIcon::usb);
    EXPECT_EQ(all.back(), DeviceIcon::newLine);

    const DeviceIcon volumeMax = DeviceIcon::volumeMax;
    EXPECT_EQ(volumeMax.rawValue(), u"volumeMax"_s);
    EXPECT_EQ(volumeMax.label(), u"Volume Max"_s);
    EXPECT_EQ(volumeMax.systemImage(), u"speaker.wave.3.fill"_s);
    EXPECT_EQ(volumeMax.codePoint(), 0xF028u);

    const DeviceIcon wifi = DeviceIcon::wifi;
    EXPECT_EQ(wifi.label(), u"Wi-Fi"_s);
    EXPECT_EQ(wifi.codePoint(), 0xF1EBu);

    const DeviceIcon warning = DeviceIcon::warning;
    EXPECT_EQ(warning.systemImage(), u"exclamationmark.triangle.fill"_s);
    EXPECT_EQ(DeviceIcon(DeviceIcon::sdCard).label(), u"SD Card"_s);
    EXPECT_EQ(DeviceIcon(DeviceIcon::bluetooth).systemImage(), u"dot.radiowaves.left.and.right"_s);
}

TEST(DeviceIcon, GlyphsAreDistinctPrivateUseCharacters)
{
    EXPECT_EQ(DeviceIcon(DeviceIcon::usb).glyph().toUtf8(), QByteArray("\xEF\x8A\x87"));
    QSet<char32_t> seen;
    QSet<QString> raw;
    for (DeviceIcon icon : DeviceIcon::allCases()) {
        const QByteArray utf8 = icon.glyph().toUtf8();
        ASSERT_EQ(utf8.size(), 3);
        EXPECT_EQ(std::uint8_t(utf8[0]), 0xEF);
        EXPECT_EQ(std::uint8_t(utf8[1]), 0x80 + ((icon.codePoint() >> 6) & 63));
        EXPECT_EQ(std::uint8_t(utf8[2]), 0x80 + (icon.codePoint() & 63));
        seen.insert(icon.codePoint());
        raw.insert(icon.rawValue());
    }
    EXPECT_EQ(seen.size(), 56);
    EXPECT_EQ(raw.size(), 56);
}
