// The symbols the views name and the device's own icons, drawn without any icon theme.

#include "device/DeviceIcon.h"
#include "ui/widgets/DeviceIconGlyph.h"
#include "ui/widgets/SymbolIcon.h"

#include <QImage>
#include <QPixmap>
#include <QRawFont>

#include <gtest/gtest.h>

namespace {

// Pixels that are not fully transparent.
int inkedPixels(const QImage& image)
{
    int count = 0;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            count += qAlpha(argb.pixel(x, y)) > 0;
    return count;
}

}  // namespace

TEST(SymbolIconTest, EverySymbolHasAThemeNameAndABundledDrawing)
{
    const QStringList symbols = knownSymbols();
    ASSERT_FALSE(symbols.isEmpty());
    for (const QString& symbol : symbols) {
        SCOPED_TRACE(symbol.toStdString());
        const std::optional<QString> name = freedesktopIconName(symbol);
        ASSERT_TRUE(name);
        EXPECT_TRUE(name->endsWith(QStringLiteral("-symbolic")));
        const QString bundled = bundledSymbolPath(symbol);
        ASSERT_FALSE(bundled.isEmpty());
        EXPECT_GT(inkedPixels(QIcon(bundled).pixmap(32, 32).toImage()), 20);
    }
    // The sidebar's and the toolbar's symbols are among them.
    for (const char* used : {"square.grid.3x3", "chart.line.uptrend.xyaxis", "music.note", "curlybraces", "moon.stars",
                             "stethoscope", "gearshape", "display"})
        EXPECT_TRUE(symbols.contains(QLatin1String(used))) << used;
}

TEST(SymbolIconTest, AnUnknownSymbolGivesNoIcon)
{
    EXPECT_FALSE(freedesktopIconName(QStringLiteral("not.a.symbol")));
    EXPECT_TRUE(symbolIcon(QStringLiteral("not.a.symbol")).isNull());
    EXPECT_FALSE(symbolIcon(QStringLiteral("gearshape")).isNull());
}

TEST(DeviceIconGlyphTest, EveryDeviceIconIsDrawnFromTheDevicesOwnFont)
{
    ASSERT_FALSE(deviceIconFontFamily().isEmpty());
    const QRawFont raw = QRawFont::fromFont(deviceIconFont(24));
    ASSERT_TRUE(raw.isValid());
    for (DeviceIcon icon : DeviceIcon::allCases()) {
        SCOPED_TRACE(icon.rawValue().toStdString());
        EXPECT_TRUE(raw.supportsCharacter(uint(icon.codePoint())));
        EXPECT_GT(inkedPixels(deviceIconImage(icon, Qt::black).pixmap(32, 32).toImage()), 20);
    }
    // Different glyphs give different pictures.
    EXPECT_NE(deviceIconImage(DeviceIcon::play, Qt::black).pixmap(32, 32).toImage(),
              deviceIconImage(DeviceIcon::pause, Qt::black).pixmap(32, 32).toImage());
}
