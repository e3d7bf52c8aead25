#pragma once
// The main window over a hub built as the application builds it, against the fake device on a
// pseudo-terminal and a custom screen store held in memory, in private XDG folders.

#include "app/MainWindow.h"
#include "app/ScreenPickerToolbar.h"
#include "hub/DeviceManager.h"
#include "link/Payloads.h"
#include "macros/ProfileStore.h"
#include "media/ScreensaverPhotoService.h"
#include "media/StockService.h"
#include "media/StockStore.h"
#include "platform/Settings.h"
#include "screens/runtime/CustomScreenStore.h"
#include "screens/runtime/ScreenTrust.h"
#include "support/DesktopTestEnv.h"
#include "support/FakeDevice.h"
#include "support/FakeScreenStore.h"
#include "support/ScreenStoreWait.h"
#include "ui/widgets/LazyRowList.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMenu>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

// A control as a failure message names it: its object name, or the nearest named parent's.
inline QString describe(const QWidget* widget)
{
    if (!widget)
        return QStringLiteral("nothing");
    QString name = widget->objectName();
    for (const QWidget* up = widget->parentWidget(); up && name.isEmpty(); up = up->parentWidget())
        name = up->objectName() + QStringLiteral(" > ") + QString::fromLatin1(widget->metaObject()->className());
    return name;
}

class ShellTest : public ::testing::Test {
protected:
    TempXdg xdg;
    std::unique_ptr<Settings> settings = std::make_unique<Settings>(xdg.path("config") + QStringLiteral("/Tarv.conf"));
    // The stocks page never reaches the real quote service: nothing listens on port 0.
    bool quotesStayLocal = [this] {
        settings->setText(StockService::serviceBaseKey, QStringLiteral("http://127.0.0.1:0"));
        return true;
    }();
    std::unique_ptr<ProfileStore> profiles;
    ScreensaverPhotoService photos{xdg.path("data")};
    StockStore stocks{*settings};
    TarvFake::MemoryScreenStore screens;
    TarvFake::FakeDevice device;
    std::unique_ptr<DeviceManager> hub;
    std::unique_ptr<MainWindow> window;

    void makeHub() { makeHub(screens); }
    // Over a store of the test's own, which must outlive the hub.
    void makeHub(CustomScreenStore& customScreens)
    {
        profiles = std::make_unique<ProfileStore>(*settings);
        DeviceManager::Environment environment;
        environment.settings = settings.get();
        environment.isTesting = true;
        hub = std::make_unique<DeviceManager>(*profiles, photos, stocks, customScreens, false, std::move(environment));
        // The photo library is read on the photo worker.
        ASSERT_TRUE(waitUntil([&] { return hub->pendingPhotoWork() == 0; }));
    }

    MainWindow& makeWindow()
    {
        if (!hub)
            makeHub();
        window = std::make_unique<MainWindow>(*hub, *settings);
        return *window;
    }

    void attach()
    {
        ASSERT_TRUE(device.start()) << device.lastError().toStdString();
        hub->connect(7, device.portPath());
        ASSERT_TRUE(hub->isPortOpen());
    }

    // Attaches, greets, and waits until the device holds the home page.
    void connectAndGreet()
    {
        attach();
        device.sendHello();
        ASSERT_TRUE(waitUntil([&] { return hub->state().isConnected() && patchCount() >= 3; }));
        ASSERT_TRUE(waitUntil([&] { return hub->outstandingAcks().isEmpty() && hub->queuedFrames().isEmpty(); }));
    }

    qsizetype patchCount() const
    {
        return std::count_if(device.received().cbegin(), device.received().cend(),
                             [](const TarvUSB::Frame& f) { return f.get<TarvUSB::PatchPayload>() != nullptr; });
    }

    // The picker's entries as the menu shows them.
    QStringList pickerEntries() const
    {
        QStringList out;
        for (QAction* action : window->screenPicker()->pickerMenu()->actions())
            if (!action->isSeparator())
                out.append(action->text());
        return out;
    }

    QAction* pickerEntry(const QString& screenID) const
    {
        return window->screenPicker()->pickerMenu()->findChild<QAction*>(QStringLiteral("showScreen:") + screenID);
    }
};

// The same over a Screens folder on disk, read by the store the application uses.
class ShellWithScreensTest : public ShellTest {
protected:
    QString folder = xdg.path("data") + QStringLiteral("/Tarv/Screens");
    std::unique_ptr<CustomScreenStore> store;

    ~ShellWithScreensTest() override
    {
        window.reset();
        hub.reset();
    }

    void write(const QString& name, const QByteArray& bytes)
    {
        QDir().mkpath(folder);
        QFile file(QDir(folder).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    // The hub over the folder as written so far, once the store has read it.
    void makeHubOverFolder()
    {
        store = std::make_unique<CustomScreenStore>(folder, std::make_unique<ScreenTrust>());
        makeHub(*store);
        store->reload();
        EXPECT_TRUE(waitUntilLoaded(*store));
    }

    // `count` photos of `size`, each a colour of its own, in the library.
    void importPhotos(int count, QSize size)
    {
        QList<ScreensaverPhotoService::ImportItem> items;
        for (int i = 0; i < count; ++i) {
            QImage image(size, QImage::Format_RGB32);
            image.fill(QColor::fromHsv((i * 30) % 360, 200 - (i / 12) * 50 % 200, 200));
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
            items.append({QStringLiteral("Photo %1").arg(i), bytes});
        }
        if (items.isEmpty())
            return;
        hub->importPhotoData(items);
        EXPECT_TRUE(waitUntil([&] { return hub->pendingPhotoWork() == 0; }));
    }

    // Waits until every list of rows in `page` made its rows, and they are laid out.
    static void waitForRows(QWidget* page)
    {
        EXPECT_TRUE(waitUntil([&] {
            const QList<QWidget*> widgets = page->findChildren<QWidget*>();
            return std::all_of(widgets.cbegin(), widgets.cend(), [](QWidget* widget) {
                const auto* rows = dynamic_cast<const LazyRowList*>(widget);
                return !rows || rows->builtRows().size() == rows->keys().size();
            });
        }));
        QApplication::processEvents();
    }
};
