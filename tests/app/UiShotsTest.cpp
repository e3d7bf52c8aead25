// tarv-ui-shots draws every view: each image is a real picture of the view's size.

#include "app/MainWindow.h"
#include "app/SettingsWindow.h"
#include "support/DesktopTestEnv.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// The size of the view an image is named after; invalid for a name of no known view.
QSize viewSize(const QString& name)
{
    if (name.startsWith(QStringLiteral("main-")))
        return {MainWindow::defaultWidth, MainWindow::defaultHeight};
    return {};
}

// Menus, whole pages and dialogs take the size of their content; a whole screen its own.
bool isSizedByContent(const QString& name)
{
    return name.startsWith(QStringLiteral("tray-")) || name.startsWith(QStringLiteral("page-")) ||
           name.startsWith(QStringLiteral("dialog-")) || name.startsWith(QStringLiteral("screen-"));
}

int distinctColours(const QImage& image)
{
    QSet<QRgb> seen;
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3)
            seen.insert(image.pixel(x, y));
    return int(seen.size());
}

}  // namespace

TEST(UiShotsTest, DrawsEveryViewInEveryStateAtTheViewsSize)
{
    QTemporaryDir out;
    QProcess shots;
    shots.start(QStringLiteral(TARV_UI_SHOTS_PATH), {out.path()});
    ASSERT_TRUE(shots.waitForFinished(60000));
    ASSERT_EQ(shots.exitCode(), 0) << shots.readAllStandardError().toStdString();

    const QStringList files = QDir(out.path()).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
    for (const char* expected : {"main-macros-disconnected", "main-diagnostics-disconnected", "main-macros-connecting",
                                 "main-stocks-connected", "main-picker-connected", "main-picker-connected-custom",
                                 "main-device-menu-connected", "tray-menu-connected",
                                 "main-diagnostics-snapshot", "page-diagnostics-snapshot", "page-diagnostics-log-focus",
                                 "main-screensaver-one-photo", "main-screensaver-three-photos", "dialog-crop-editor",
                                 "page-customScreens-empty", "page-customScreens-normal", "page-customScreens-error",
                                 "page-nowPlaying-normal", "page-stocks-refreshing", "page-stocks-error",
                                 "settings-general", "settings-device", "settings-auto-switching",
                                 "settings-advanced", "settings-advanced-trusted", "settings-advanced-installed",
                                 "settings-advanced-tool-missing", "settings-advanced-30-trusted",
                                 "page-customScreens-long-address", "dialog-crop-editor-frame-only",
                                 "settings-auto-switching-gnome-not-installed",
                                 "settings-auto-switching-gnome-at-next-login", "settings-auto-switching-gnome-off",
                                 "settings-auto-switching-gnome-extensions-off"})
        EXPECT_TRUE(files.contains(QLatin1String(expected) + QStringLiteral(".png"))) << expected;
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        const QImage image(QDir(out.path()).filePath(file));
        ASSERT_FALSE(image.isNull());
        const QString name = QFileInfo(file).completeBaseName();
        if (isSizedByContent(name))
            EXPECT_GT(image.width() * image.height(), 100 * 100);
        else if (name.startsWith(QStringLiteral("settings-")))
            // As wide as always, as tall as the tab needs.
            EXPECT_EQ(image.width(), SettingsWindow::defaultWidth);
        else
            EXPECT_EQ(image.size(), viewSize(name));
        // The windows always draw their sidebar, toolbar, menus or tabs.
        if (file.startsWith(QStringLiteral("main-")) || file.startsWith(QStringLiteral("settings-"))) {
            EXPECT_GT(distinctColours(image), 3);
        }
    }
}
