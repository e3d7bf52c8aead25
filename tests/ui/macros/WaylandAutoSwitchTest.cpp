// The profile follows the window in front under a real (headless) sway, as a user sets it up:
// "Add App" lists the two terminal windows, each is linked to a profile, and focusing each
// switches to its profile, the log says so and the device shows that profile's keys; a window
// of no desktop entry is offered and followed by its app id.

#include "MacrosFixture.h"

#include "macros/ProfileAutoSwitcher.h"
#include "macros/SessionAppSource.h"
#include "support/HeadlessSway.h"
#include "ui/macros/ProfileAppsButton.h"
#include "ui/macros/ProfileAppsPopover.h"

#include <QDBusConnection>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>

namespace {

QStringList menuTexts(const QMenu* menu)
{
    QStringList out;
    for (const QAction* action : menu->actions())
        out << action->text();
    return out;
}

void collectTexts(const TarvFake::FakeWidgetTree& tree, std::uint32_t id, QStringList& out)
{
    const TarvFake::FakeWidget* widget = tree.find(id);
    if (!widget || widget->isHidden())
        return;
    if (!widget->text.isEmpty())
        out << widget->text;
    for (std::uint32_t child : widget->children)
        collectTexts(tree, child, out);
}

}  // namespace

class WaylandAutoSwitchTest : public MacrosTest {
protected:
    qsizetype logged(const QString& text) const
    {
        return std::count_if(hub->log().cbegin(), hub->log().cend(), [&](const LogEntry& e) { return e.text == text; });
    }
    QStringList deviceTexts() const
    {
        QStringList out;
        collectTexts(device.widgets(), TarvFake::FakeWidgetTree::rootId, out);
        return out;
    }
    // Opens the profile's popover and waits for "Add App" to take the running applications.
    QMenu* addApp()
    {
        ProfileAppsButton* button = page().profileAppsButton();
        ProfileAppsPopover* popover = button->popover();
        QSignalSpy read(popover, &ProfileAppsPopover::runningAppsRead);
        if (popover->isVisible())
            popover->hide();
        button->click();
        EXPECT_TRUE(!read.isEmpty() || read.wait(10000));
        return popover->addAppMenu();
    }
    QAction* menuItem(QMenu* menu, const QString& text)
    {
        for (QAction* action : menu->actions()) {
            if (action->text() == text)
                return action;
        }
        ADD_FAILURE() << "no item " << text.toStdString() << " in " << menuTexts(menu).join(u'|').toStdString();
        return nullptr;
    }
};

TEST_F(WaylandAutoSwitchTest, FocusingEachWindowSwitchesToItsProfileAndAddAppListsBoth)
{
    TarvFake::HeadlessSway sway;
    // Setup installs sway and foot: a machine without them fails here rather than skip.
    ASSERT_TRUE(sway.start()) << sway.lastError().toStdString();
    for (const char* id : {"term-one", "term-two"}) {
        const QByteArray name = QByteArray(id) == "term-one" ? "Term One" : "Term Two";
        TempXdg::write(xdg.path("data") + "/applications/" + id + ".desktop",
                       "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=foot\n");
        ASSERT_TRUE(sway.openWindow(QString::fromLatin1(id))) << sway.lastError().toStdString();
    }
    qputenv("WAYLAND_DISPLAY", sway.waylandDisplay().toLocal8Bit());

    SessionAppSource source(QDBusConnection(QStringLiteral("no bus")), xdg.path("runtime") + QStringLiteral("/kwin.js"));
    profiles = std::make_unique<ProfileStore>(*settings);
    DeviceManager::Environment environment;
    environment.settings = settings.get();
    environment.isTesting = true;
    environment.frontmostSource = &source;
    environment.runningAppsSource = &source;
    hub = std::make_unique<DeviceManager>(*profiles, photos, stocks, screens, false, std::move(environment));
    ASSERT_TRUE(waitUntil([&] { return hub->pendingPhotoWork() == 0; }));
    ASSERT_TRUE(waitUntil([&] { return source.isAvailable(); })) << source.unavailableReason().toStdString();

    // Profile One, then Two, each with its own first key.
    const QUuid one = profiles->activeID();
    profiles->renameProfile(one, QStringLiteral("One"));
    putKey(0, key(QStringLiteral("Uno"), MacroAction::keystroke({4, HIDModifiers::control()})));
    const QUuid two = profiles->addProfile(false).id;
    profiles->renameProfile(two, QStringLiteral("Two"));
    profiles->activateProfile(two);
    putKey(0, key(QStringLiteral("Dos"), MacroAction::keystroke({5, HIDModifiers::control()})));

    // Add App offers both terminals, named by their entries, and says where they come from.
    profiles->activateProfile(one);
    QMenu* menu = addApp();
    EXPECT_EQ(menuTexts(menu), (QStringList{"Term One", "Term Two", "", "Choose…"}));
    EXPECT_EQ(page().profileAppsButton()->popover()->sourceNote()->text(), source.description());
    // And to a screen reader, on the button.
    EXPECT_EQ(page().profileAppsButton()->popover()->findChild<QPushButton*>(QStringLiteral("addAppButton"))
                  ->accessibleDescription(),
              source.description());
    menuItem(menu, QStringLiteral("Term One"))->trigger();
    profiles->activateProfile(two);
    menu = addApp();
    EXPECT_EQ(menuTexts(menu), (QStringList{"Term One (moves from \u201COne\u201D)", "Term Two", "", "Choose…"}));
    menuItem(menu, QStringLiteral("Term Two"))->trigger();
    page().profileAppsButton()->popover()->hide();
    profiles->activateProfile(one);

    connectAndGreet();
    hub->autoSwitcher().start();
    // Term Two opened last and has the focus.
    ASSERT_TRUE(waitUntil([&] { return logged(QStringLiteral("Profile \u201CTwo\u201D for Term Two")) == 1; }));
    EXPECT_EQ(profiles->activeID(), two);

    ASSERT_TRUE(sway.focus(QStringLiteral("term-one")));
    ASSERT_TRUE(waitUntil([&] { return logged(QStringLiteral("Profile \u201COne\u201D for Term One")) == 1; }));
    EXPECT_EQ(profiles->activeID(), one);
    ASSERT_TRUE(waitUntil([&] { return deviceTexts().contains(QStringLiteral("Uno")); })) << deviceTexts().join(u'|').toStdString();

    ASSERT_TRUE(sway.focus(QStringLiteral("term-two")));
    ASSERT_TRUE(waitUntil([&] { return logged(QStringLiteral("Profile \u201CTwo\u201D for Term Two")) == 2; }));
    EXPECT_EQ(profiles->activeID(), two);
    ASSERT_TRUE(waitUntil([&] { return deviceTexts().contains(QStringLiteral("Dos")); })) << deviceTexts().join(u'|').toStdString();
    EXPECT_FALSE(deviceTexts().contains(QStringLiteral("Uno")));

    // A terminal started with an app id of its own has no desktop entry: Add App offers it by
    // that id, and linked, it switches as the others do.
    ASSERT_TRUE(sway.openWindow(QStringLiteral("scratch"))) << sway.lastError().toStdString();
    // Sway has shown it; Tarv hears of it on its own connection.
    ASSERT_TRUE(waitUntil([&] { return source.frontmostApp() == FrontmostApp{QStringLiteral("scratch"), QStringLiteral("scratch")}; }));
    menu = addApp();
    EXPECT_EQ(menuTexts(menu), (QStringList{"scratch", "Term One (moves from \u201COne\u201D)", "", "Choose…"}));
    menuItem(menu, QStringLiteral("scratch"))->trigger();
    page().profileAppsButton()->popover()->hide();
    EXPECT_EQ(profiles->activeProfile().linkedApps.last(), (AppTarget{QStringLiteral("scratch"), QStringLiteral("scratch")}));
    ASSERT_TRUE(sway.focus(QStringLiteral("term-one")));
    ASSERT_TRUE(waitUntil([&] { return logged(QStringLiteral("Profile \u201COne\u201D for Term One")) == 2; }));
    ASSERT_TRUE(sway.focus(QStringLiteral("scratch")));
    ASSERT_TRUE(waitUntil([&] { return logged(QStringLiteral("Profile \u201CTwo\u201D for scratch")) == 1; }));
    EXPECT_EQ(profiles->activeID(), two);
    window.reset();
    hub.reset();
}
