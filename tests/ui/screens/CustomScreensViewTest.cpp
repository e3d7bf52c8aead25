// The Custom Screens page in the main window over the real screen store and a Screens folder of
// the test's own, against the fake device: files made, copied and broken, their problems and
// source failures, and approving a file until its page is on the device.

#include "app/ShellFixture.h"
#include "screens/runtime/CustomScreenRenderer.h"
#include "screens/runtime/CustomScreenStore.h"
#include "screens/runtime/ScreenTrust.h"
#include "support/ScreenStoreWait.h"
#include "ui/screens/CustomScreenFilesSection.h"
#include "ui/screens/FileManager.h"
#include "ui/screens/ScreenFileRow.h"
#include "ui/screens/ScreenPermissionsView.h"
#include "ui/widgets/FormSection.h"
#include "ui/widgets/SymbolLabel.h"
#include "ui/widgets/WrappingText.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

namespace {

using Permission = CustomScreen::Permission;

class CustomScreensViewTest : public ShellTest {
protected:
    QString folder = xdg.path("data") + QStringLiteral("/Tarv/Screens");
    // Approvals live in memory, as in a test run of the application.
    std::unique_ptr<CustomScreenStore> store;
    QList<QUrl> opened;

    ~CustomScreensViewTest() override
    {
        window.reset();
        hub.reset();
    }

    CustomScreenFilesSection& section()
    {
        if (!window) {
            if (!store)
                store = std::make_unique<CustomScreenStore>(folder, std::make_unique<ScreenTrust>());
            makeHub(*store);
            store->reload();
            EXPECT_TRUE(waitUntilLoaded(*store));
            makeWindow();
            window->select(SidebarItem::customScreens);
            window->show();
        }
        auto* found = window->findChild<CustomScreenFilesSection*>(QStringLiteral("filesSection"));
        // Nothing is opened on the desktop: the opener records, and no file manager answers.
        if (!recording) {
            found->setFileManager(new FileManager(
                QDBusConnection(QStringLiteral("no-bus")),
                [this](const QUrl& url, const FileManager::Done& done) {
                    opened.append(url);
                    done(std::nullopt);
                },
                found));
            recording = true;
        }
        return *found;
    }

    void connectAndGreet()
    {
        section();
        attach();
        device.sendHello();
        ASSERT_TRUE(waitUntil([&] { return hub->state().isConnected() && idle(); }));
    }
    bool idle() const { return hub->queuedFrames().isEmpty() && hub->outstandingAcks().isEmpty(); }

    void write(const QString& name, const QByteArray& bytes)
    {
        QDir().mkpath(folder);
        QFile file(QDir(folder).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    QByteArray read(const QString& name) const
    {
        QFile file(QDir(folder).filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QStringList rowNames()
    {
        QStringList out;
        for (ScreenFileRow* row : section().rows())
            out.append(row->fileName());
        return out;
    }
    ScreenFileRow* row(const QString& fileName)
    {
        ScreenFileRow* found = section().row(fileName);
        EXPECT_NE(found, nullptr) << fileName.toStdString();
        return found;
    }
    // The texts of a row's notes of one kind ("issue", "sourceFailure") with their symbols.
    static QStringList notes(ScreenFileRow* row, const char* kind)
    {
        QStringList out;
        for (SymbolLabel* label : row->findChildren<SymbolLabel*>(QLatin1String(kind)))
            if (!label->isHidden() && label->parentWidget()->isVisible())
                out.append(label->symbol() + QStringLiteral(" | ") + label->text());
        return out;
    }
    bool isShown(const char* name) { return section().findChild<QWidget*>(QLatin1String(name))->isVisible(); }

    void newScreen(const char* templateID)
    {
        auto* action = section().findChild<QAction*>(QStringLiteral("newScreen:") + QLatin1String(templateID));
        ASSERT_NE(action, nullptr) << templateID;
        action->trigger();
        ASSERT_TRUE(waitUntilLoaded(*store));
    }

    QStringList pickerEntries() const
    {
        QStringList out;
        for (QAction* action : window->screenPicker()->pickerMenu()->actions())
            if (!action->isSeparator())
                out.append(action->text());
        return out;
    }

    QUrl fileURL(const QString& name) const { return QUrl::fromLocalFile(QDir(folder).filePath(name)); }

private:
    bool recording = false;
};

// Two shell sources, one address and a button that opens an application, all in use.
QByteArray busyScreen(const QString& cpuCommand)
{
    return QStringLiteral(R"({"title": "Busy",
        "sources": {"cpu": {"shell": "%1", "every": 60}, "load": {"shell": "cat /proc/loadavg", "every": 60},
                    "btc": {"url": "http://127.0.0.1:0/btc", "every": 60}},
        "widgets": [{"type": "text", "x": 10, "y": 40, "text": "{{cpu}} {{load}} {{btc}}"},
                    {"type": "button", "x": 10, "y": 100, "w": 100, "h": 60, "label": "Files",
                     "action": {"kind": "openApp", "bundleID": "org.gnome.Nautilus", "name": "Files"}}]})")
        .arg(cpuCommand)
        .toUtf8();
}

TEST_F(CustomScreensViewTest, NewScreenWritesTheTemplateUnderAFreeNameOpensItAndShowsItOnlyWhenItMayRun)
{
    connectAndGreet();
    EXPECT_TRUE(rowNames().isEmpty());
    EXPECT_TRUE(isShown("emptyText"));
    EXPECT_TRUE(isShown("newScreenButton"));
    EXPECT_TRUE(isShown("openFolderButton"));
    EXPECT_FALSE(isShown("failureLabel"));

    newScreen("blank");
    newScreen("blank");
    EXPECT_EQ(rowNames(), (QStringList{QStringLiteral("blank-2.json"), QStringLiteral("blank.json")}));
    EXPECT_FALSE(isShown("emptyText"));
    EXPECT_EQ(opened, (QList<QUrl>{fileURL(QStringLiteral("blank.json")), fileURL(QStringLiteral("blank-2.json"))}));
    // A file that does nothing on this computer needs no approval: it is on the device at once.
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::custom(QStringLiteral("blank-2")));
    EXPECT_TRUE(row(QStringLiteral("blank.json"))->permissionsView()->isHidden());
    EXPECT_EQ(row(QStringLiteral("blank.json"))->permissionsView()->form(), ScreenPermissionsView::Form::none);

    // One whose buttons fire actions opens in its editor but waits before it is shown.
    newScreen("buttons");
    EXPECT_EQ(opened.last(), fileURL(QStringLiteral("buttons.json")));
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::custom(QStringLiteral("blank-2")));
    EXPECT_EQ(row(QStringLiteral("buttons.json"))->permissionsView()->form(), ScreenPermissionsView::Form::waiting);
    EXPECT_FALSE(row(QStringLiteral("buttons.json"))->showOnDeviceAction()->isEnabled());
    EXPECT_FALSE(pickerEntries().contains(QStringLiteral("Buttons")));
}

TEST_F(CustomScreensViewTest, DuplicateCopiesTheBytesToTheNextFreeNameAndAFailedCommandIsShownUntilOneSucceeds)
{
    const QByteArray system = R"({"title": "System", "widgets": []})";
    write(QStringLiteral("system.json"), system);
    write(QStringLiteral("system-2.json"), system);
    write(QStringLiteral("vanishing.json"), system);
    section();
    row(QStringLiteral("system.json"))->duplicateAction()->trigger();
    ASSERT_TRUE(waitUntilLoaded(*store));
    EXPECT_EQ(read(QStringLiteral("system-3.json")), system);
    EXPECT_TRUE(rowNames().contains(QStringLiteral("system-3.json")));
    EXPECT_EQ(section().failure(), std::nullopt);

    // The file went away without the folder's reload having seen it yet.
    QFile::remove(QDir(folder).filePath(QStringLiteral("vanishing.json")));
    row(QStringLiteral("vanishing.json"))->duplicateAction()->trigger();
    ASSERT_TRUE(waitUntilLoaded(*store));
    EXPECT_EQ(section().failure(), QStringLiteral("Could not read vanishing.json"));
    EXPECT_TRUE(isShown("failureLabel"));
    EXPECT_FALSE(QFile::exists(QDir(folder).filePath(QStringLiteral("vanishing-2.json"))));

    newScreen("blank");
    EXPECT_EQ(section().failure(), std::nullopt);
    EXPECT_FALSE(isShown("failureLabel"));
}

TEST_F(CustomScreensViewTest, AFolderThatCannotBeMadeShowsTheSystemsReasonAndWritesNothing)
{
    // The folder's parent is a file, which even an administrator cannot make a folder in.
    TempXdg::write(xdg.path("data") + QStringLiteral("/blocker"), "not a folder");
    folder = xdg.path("data") + QStringLiteral("/blocker/Screens");
    newScreen("system");
    EXPECT_EQ(section().failure(), QStringLiteral("Could not create the folder ") + folder + QStringLiteral(": Not a directory"));
    EXPECT_TRUE(isShown("failureLabel"));
    EXPECT_TRUE(rowNames().isEmpty());
    EXPECT_TRUE(opened.isEmpty());

    // The store's own attempt at its start says the same in the log.
    store->start();
    ASSERT_TRUE(waitUntilLoaded(*store));
    QStringList log;
    for (const LogEntry& entry : hub->log())
        log.append(entry.text);
    EXPECT_TRUE(log.contains(QStringLiteral("Screens: could not create ") + folder + QStringLiteral(": Not a directory")))
        << log.join(u'\n').toStdString();
}

TEST_F(CustomScreensViewTest, BrokenFilesShowTheirStatusIssuesAndTheLastGoodVersion)
{
    write(QStringLiteral("clock.json"), busyScreen(QStringLiteral("date")));
    write(QStringLiteral("weather.json"),
          R"({"title": 7, "sources": {"idle": {"push": "x"}}, "widgets": [{"type": "dial", "x": 0, "y": 0}]})");
    write(QStringLiteral("notes.json"),
          R"({"title": "Notes", "sources": {"idle": {"push": "x"}}, "widgets": [{"type": "text", "x": 1, "y": 40, "text": "hi"}]})");
    section();

    ScreenFileRow* weather = row(QStringLiteral("weather.json"));
    EXPECT_EQ(weather->findChild<QLabel*>(QStringLiteral("statusSymbol"))->property("symbol"),
              QStringLiteral("xmark.octagon.fill"));
    EXPECT_EQ(weather->findChild<QLabel*>(QStringLiteral("summary"))->text(), QStringLiteral("Not loaded"));
    const QStringList issues = notes(weather, "issue");
    ASSERT_EQ(issues.size(), 3) << issues.join(u'\n').toStdString();
    EXPECT_TRUE(issues[0].startsWith(QStringLiteral("exclamationmark.octagon | title: "))) << issues[0].toStdString();
    EXPECT_TRUE(issues.contains(QStringLiteral("exclamationmark.triangle | sources.idle: is not used by any widget, "
                                               "so it is never fetched")));
    // Its one stop, the commands' menu, says what the row shows: the status and the problems.
    const QStringList heard = QAccessible::queryAccessibleInterface(weather->findChild<QToolButton*>(QStringLiteral("actionsButton")))
                                  ->text(QAccessible::Description)
                                  .split(u'\n');
    ASSERT_EQ(heard.size(), 4);
    EXPECT_EQ(heard[0], QStringLiteral("Not loaded"));
    EXPECT_TRUE(heard[1].startsWith(QStringLiteral("title: "))) << heard[1].toStdString();
    // A file that never loaded has no approval and nothing to show.
    EXPECT_EQ(weather->permissionsView(), nullptr);
    EXPECT_FALSE(weather->showOnDeviceAction()->isEnabled());
    EXPECT_TRUE(weather->editAction()->isEnabled());

    // A warning alone does not keep a file from loading; its text can be selected.
    ScreenFileRow* notesRow = row(QStringLiteral("notes.json"));
    EXPECT_EQ(notesRow->findChild<QLabel*>(QStringLiteral("statusSymbol"))->property("symbol"),
              QStringLiteral("checkmark.circle.fill"));
    EXPECT_EQ(notes(notesRow, "issue").size(), 1);
    EXPECT_TRUE(notesRow->findChild<SymbolLabel*>(QStringLiteral("issue"))->textLabel()->textInteractionFlags() &
                Qt::TextSelectableByMouse);

    // Approved, then broken: the last good version stays in use, with its approval view.
    store->trust().approveScreen(*store->screenWithID(QStringLiteral("clock")));
    write(QStringLiteral("clock.json"), "{ \"title\": ");
    store->reload();
    ASSERT_TRUE(waitUntilLoaded(*store));
    ScreenFileRow* clock = row(QStringLiteral("clock.json"));
    EXPECT_TRUE(clock->findChild<QLabel*>(QStringLiteral("summary"))
                    ->text()
                    .endsWith(QStringLiteral(" \u00B7 showing the last version that loaded")));
    EXPECT_EQ(clock->findChild<QLabel*>(QStringLiteral("statusSymbol"))->property("symbol"),
              QStringLiteral("xmark.octagon.fill"));
    ASSERT_NE(clock->permissionsView(), nullptr);
    EXPECT_EQ(clock->permissionsView()->form(), ScreenPermissionsView::Form::allowed);
    EXPECT_TRUE(clock->showOnDeviceAction()->isEnabled());
    EXPECT_EQ(notes(clock, "issue").size(), 1);
}

TEST_F(CustomScreensViewTest, AllowingAFileMakesItAPageOfTheDeviceUntilWhatItDoesChanges)
{
    write(QStringLiteral("busy.json"), busyScreen(QStringLiteral("echo 12")));
    connectAndGreet();
    ScreenFileRow* busy = row(QStringLiteral("busy.json"));
    ScreenPermissionsView* permissions = busy->permissionsView();
    ASSERT_NE(permissions, nullptr);
    EXPECT_EQ(permissions->form(), ScreenPermissionsView::Form::waiting);
    EXPECT_FALSE(busy->showOnDeviceAction()->isEnabled());
    EXPECT_FALSE(hub->availableScreens().contains(DeviceScreen::custom(QStringLiteral("busy"))));

    // Every permission is listed; commands and addresses in the monospaced font, selectable.
    // The font asked for is checked, not the face the machine's fonts resolve it to.
    const QFont monospaced = FormSection::monospacedFont(-1);
    const QList<WrappingText*> details = permissions->findChild<QWidget*>(QStringLiteral("waitingList"))
                                             ->findChildren<WrappingText*>(QStringLiteral("permissionDetail"));
    ASSERT_EQ(details.size(), 4);
    const QList<Permission> expected = store->screenWithID(QStringLiteral("busy"))->permissions();
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(details[i]->text(), expected[i].detail);
        EXPECT_TRUE(details[i]->textInteractionFlags() & Qt::TextSelectableByMouse);
        const bool isMonospaced = details[i]->font().family() == monospaced.family() &&
                                  details[i]->font().styleHint() == QFont::Monospace;
        EXPECT_EQ(isMonospaced, expected[i].kind != Permission::Kind::action);
    }
    EXPECT_TRUE(std::any_of(details.cbegin(), details.cend(), [](WrappingText* d) { return d->text() == u"echo 12"; }));

    auto* allow = permissions->findChild<QPushButton*>(QStringLiteral("allowButton"));
    ASSERT_NE(allow, nullptr);
    EXPECT_EQ(allow->text(), QStringLiteral("Allow busy.json"));
    // A screen reader, which does not reach the list, hears it with the button.
    const QStringList heard =
        QAccessible::queryAccessibleInterface(allow)->text(QAccessible::Description).split(u'\n');
    ASSERT_EQ(heard.size(), expected.size());
    for (int i = 0; i < heard.size(); ++i)
        EXPECT_EQ(heard[i], expected[i].title + QStringLiteral(": ") + expected[i].detail);
    QTest::mouseClick(allow, Qt::LeftButton);
    EXPECT_EQ(permissions->form(), ScreenPermissionsView::Form::allowed);
    auto* disclosure = permissions->findChild<QToolButton*>(QStringLiteral("allowedDisclosure"));
    EXPECT_EQ(disclosure->text(), QStringLiteral("Allowed: 3 sources, 1 button"));
    // Heard as a button that opens and closes, not as a check box.
    QAccessibleInterface* heardDisclosure = QAccessible::queryAccessibleInterface(disclosure);
    EXPECT_EQ(heardDisclosure->role(), QAccessible::Button);
    EXPECT_EQ(heardDisclosure->text(QAccessible::Name), disclosure->text());
    EXPECT_TRUE(heardDisclosure->state().expandable);
    EXPECT_FALSE(heardDisclosure->state().expanded);
    disclosure->click();
    EXPECT_TRUE(heardDisclosure->state().expanded);
    disclosure->click();
    EXPECT_TRUE(pickerEntries().contains(QStringLiteral("Busy")));
    ASSERT_TRUE(busy->showOnDeviceAction()->isEnabled());

    // Shown from the row's menu, the page reaches the device.
    busy->showOnDeviceAction()->trigger();
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::custom(QStringLiteral("busy")));
    ASSERT_TRUE(waitUntil([&] { return idle() && device.widgets().find(CustomScreenRenderer::widgetNode(0)) != nullptr; }));

    // A changed command asks again: the file waits and leaves the picker.
    write(QStringLiteral("busy.json"), busyScreen(QStringLiteral("echo 13")));
    store->reload();
    ASSERT_TRUE(waitUntilLoaded(*store));
    EXPECT_EQ(busy->permissionsView()->form(), ScreenPermissionsView::Form::waiting);
    EXPECT_FALSE(busy->showOnDeviceAction()->isEnabled());
    EXPECT_FALSE(pickerEntries().contains(QStringLiteral("Busy")));
}

// The headers an address is fetched with are approved with it: a screen reader hears them with
// the Allow button as the list shows them, so two files that differ only there never sound alike.
TEST(ScreenPermissionsViewTest, AScreenReaderHearsTheHeadersAnAddressIsApprovedWith)
{
    QList<ScreenIssue> issues;
    const std::optional<CustomScreen> screen = CustomScreen::parse(
        R"({"title": "Rate", "sources": {"rate": {"url": "https://example.com/rate", "every": 60,
            "headers": {"X-Token": "abc\u2028def"}}},
            "widgets": [{"type": "text", "x": 10, "y": 40, "text": "{{rate}}"}]})",
        QStringLiteral("rate"), QStringLiteral("rate.json"), issues);
    ASSERT_TRUE(screen && !hasErrors(issues));
    ScreenTrust trust;
    const ScreenPermissionsView view(*screen, QStringLiteral("rate.json"), trust, false);
    const auto* allow = view.findChild<QPushButton*>(QStringLiteral("allowButton"));
    ASSERT_NE(allow, nullptr);
    EXPECT_EQ(allow->accessibleDescription().split(u'\n'),
              (QStringList{QStringLiteral("Fetches every 60 s: https://example.com/rate"),
                           QStringLiteral("X-Token: abc\\u2028def")}));
}

// A file that arrives later for an allowed page waits beside it with the reason, and offers to
// allow nothing, also when its page name is the same letter for letter; a file is allowed by
// the name it has on disk.
TEST_F(CustomScreensViewTest, AFileForAnAllowedPageWaitsBesideItAndEveryFileIsNamedAsOnDisk)
{
    write(QStringLiteral("disk.json"), busyScreen(QStringLiteral("df -h /")));
    section();
    QTest::mouseClick(row(QStringLiteral("disk.json"))->permissionsView()->findChild<QPushButton*>(
                          QStringLiteral("allowButton")),
                      Qt::LeftButton);
    write(QStringLiteral("DISK.JSON"), busyScreen(QStringLiteral("df -h /home")));
    write(QStringLiteral("disk.JSON"), busyScreen(QStringLiteral("df -h /tmp")));
    write(QStringLiteral("NET.JSON"), busyScreen(QStringLiteral("ip a")));
    store->reload();
    ASSERT_TRUE(waitUntilLoaded(*store));

    EXPECT_EQ(row(QStringLiteral("disk.json"))->permissionsView()->form(), ScreenPermissionsView::Form::allowed);
    for (const QString& newcomer : {QStringLiteral("DISK.JSON"), QStringLiteral("disk.JSON")}) {
        EXPECT_EQ(row(newcomer)->permissionsView(), nullptr) << newcomer.toStdString();
        EXPECT_FALSE(row(newcomer)->showOnDeviceAction()->isEnabled());
        EXPECT_EQ(notes(row(newcomer), "issue"),
                  QStringList{QStringLiteral("exclamationmark.octagon | another file already provides a page named "
                                             "\u201C") + newcomer.chopped(5) + QStringLiteral("\u201D")});
    }
    EXPECT_EQ(row(QStringLiteral("NET.JSON"))
                  ->permissionsView()
                  ->findChild<QPushButton*>(QStringLiteral("allowButton"))
                  ->text(),
              QStringLiteral("Allow NET.JSON"));
}

TEST_F(CustomScreensViewTest, SourceFailuresOfTheShownPageAreListedByName)
{
    write(QStringLiteral("status.json"), R"({"title": "Status",
        "sources": {"weather": {"shell": "echo no weather >&2; exit 3", "every": 60},
                    "cpu": {"shell": "exit 4", "every": 60}},
        "widgets": [{"type": "text", "x": 10, "y": 40, "text": "{{weather}} {{cpu}}"}]})");
    connectAndGreet();
    store->trust().approveScreen(*store->screenWithID(QStringLiteral("status")));
    hub->showScreen(DeviceScreen::custom(QStringLiteral("status")));
    ScreenFileRow* status = row(QStringLiteral("status.json"));
    ASSERT_TRUE(waitUntil([&] { return notes(status, "sourceFailure").size() == 2; }));
    const QStringList failures = notes(status, "sourceFailure");
    EXPECT_TRUE(failures[0].startsWith(QStringLiteral("antenna.radiowaves.left.and.right.slash | {{cpu}}: ")))
        << failures[0].toStdString();
    EXPECT_TRUE(failures[1].startsWith(QStringLiteral("antenna.radiowaves.left.and.right.slash | {{weather}}: ")))
        << failures[1].toStdString();
    EXPECT_EQ(section().sourceFailures(QStringLiteral("status.json")).size(), 2);
}

TEST(ScreenPermissionsSummaryTest, CountsSourcesThenButtonsAndLeavesOutWhatIsNone)
{
    const auto make = [](std::initializer_list<Permission::Kind> kinds) {
        QList<Permission> out;
        for (Permission::Kind kind : kinds)
            out.append(Permission{kind, {}, {}, {}, {}});
        return out;
    };
    using K = Permission::Kind;
    EXPECT_EQ(ScreenPermissionsView::summary(make({K::shell, K::action, K::shell, K::url})),
              QStringLiteral("3 sources, 1 button"));
    EXPECT_EQ(ScreenPermissionsView::summary(make({K::action, K::action})), QStringLiteral("2 buttons"));
    EXPECT_EQ(ScreenPermissionsView::summary(make({K::url})), QStringLiteral("1 source"));
}

}  // namespace

TEST_F(CustomScreensViewTest, ALongAddressWrapsInsideThePageAndItsAllowButtonStaysInReach)
{
    QByteArray address = "https://status.example.com/v2/summary?token=";
    while (address.size() < 300)
        address += "8f14e45fceea167a5a36dedd4bea2543";
    address.truncate(300);
    write(QStringLiteral("status.json"), R"({"title": "Status", "sources": {"s": {"url": ")" + address +
                                             R"(", "every": 300}}, "widgets": [{"type": "text", "x": 10, "y": 40, "text": "{{s}}"}]})");
    section();
    window->resize(MainWindow::minimumWidth, MainWindow::minimumHeight);
    auto* scroll = window->findChild<QScrollArea*>(QStringLiteral("customScreensScroll"));
    ASSERT_TRUE(waitUntil([&] { return scroll->viewport()->width() < MainWindow::minimumWidth; }));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);

    auto* detail = row(QStringLiteral("status.json"))->findChild<WrappingText*>(QStringLiteral("permissionDetail"));
    ASSERT_NE(detail, nullptr);
    EXPECT_EQ(detail->text(), QString::fromLatin1(address));
    EXPECT_EQ(scroll->horizontalScrollBar()->maximum(), 0);
    EXPECT_LE(scroll->widget()->width(), scroll->viewport()->width());
    auto* allow = row(QStringLiteral("status.json"))->findChild<QPushButton*>(QStringLiteral("allowButton"));
    EXPECT_LE(allow->mapTo(scroll->viewport(), QPoint(allow->width(), 0)).x(), scroll->viewport()->width());
}

TEST_F(CustomScreensViewTest, AFileThatCannotBeOpenedSaysSoNextToItsCommandUntilOneOpens)
{
    // A stand-in xdg-open first on the path, answering as the real one does when no
    // application is set up for the file.
    const QString bin = xdg.path("system") + QStringLiteral("/bin");
    const QString status = xdg.path("system") + QStringLiteral("/xdg-open-status");
    TempXdg::write(bin + QStringLiteral("/xdg-open"), "#!/bin/sh\nexit $(cat '" + status.toLocal8Bit() + "')\n", true);
    TempXdg::write(status, "3");
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.toLocal8Bit() + ':' + path);
    const auto restorePath = qScopeGuard([&] { qputenv("PATH", path); });
    CustomScreenFilesSection& files = section();
    files.setFileManager(new FileManager(QDBusConnection(QStringLiteral("no-bus")), &files));

    // The whole path, so the user can open it some other way.
    const QString notOpened = QStringLiteral(": no application is set up to open it.");
    const auto couldNotOpen = [&](const QString& path) {
        return QStringLiteral("Could not open \u201C") + path + QStringLiteral("\u201D") + notOpened;
    };
    const QString blankPath = QDir(folder).filePath(QStringLiteral("blank.json"));
    newScreen("blank");
    ASSERT_TRUE(waitUntil([&] { return files.failure().has_value(); }));
    EXPECT_EQ(*files.failure(), couldNotOpen(blankPath));
    EXPECT_TRUE(isShown("failureLabel"));

    // A file's own commands say so in its row.
    ScreenFileRow* blank = row(QStringLiteral("blank.json"));
    blank->editAction()->trigger();
    ASSERT_TRUE(waitUntil([&] { return blank->commandFailure().has_value(); }));
    EXPECT_EQ(*blank->commandFailure(), couldNotOpen(blankPath));
    EXPECT_TRUE(blank->findChild<QWidget*>(QStringLiteral("commandFailure"))->isVisible());
    // With no file manager on the bus, Reveal opens the folder, which fails the same way.
    blank->revealAction()->trigger();
    ASSERT_TRUE(waitUntil([&] { return blank->commandFailure() != couldNotOpen(blankPath); }));
    EXPECT_EQ(*blank->commandFailure(), couldNotOpen(folder));

    // Once the desktop can open them, the notes go.
    TempXdg::write(status, "0");
    blank->editAction()->trigger();
    ASSERT_TRUE(waitUntil([&] { return !blank->commandFailure(); }));
    files.findChild<QPushButton*>(QStringLiteral("openFolderButton"))->click();
    ASSERT_TRUE(waitUntil([&] { return !files.failure(); }));
    EXPECT_FALSE(isShown("failureLabel"));

    // A failure under the folder's commands goes once a file was edited after it.
    TempXdg::write(status, "3");
    files.findChild<QPushButton*>(QStringLiteral("openFolderButton"))->click();
    ASSERT_TRUE(waitUntil([&] { return files.failure().has_value(); }));
    write(QStringLiteral("blank.json"), R"({"title": "Edited", "widgets": []})");
    store->reload();
    ASSERT_TRUE(waitUntilLoaded(*store));
    EXPECT_EQ(files.failure(), std::nullopt);
    EXPECT_FALSE(isShown("failureLabel"));
}

// A newcomer finds where screen files go and what they may hold on the page itself.
TEST_F(CustomScreensViewTest, ThePageShowsTheFolderAndOpensTheFormatReference)
{
    CustomScreenFilesSection& files = section();
    auto* path = files.findChild<WrappingText*>(QStringLiteral("folderPath"));
    ASSERT_NE(path, nullptr);
    EXPECT_TRUE(path->isVisible());
    EXPECT_EQ(path->text(), QDir::toNativeSeparators(folder));
    EXPECT_TRUE(path->textInteractionFlags() & Qt::TextSelectableByMouse);

    // Run from the build folder, the page finds the reference in the source tree.
    files.findChild<QPushButton*>(QStringLiteral("openReferenceButton"))->click();
    ASSERT_TRUE(waitUntil([&] { return !opened.isEmpty(); }));
    EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(QStringLiteral(TARV_SOURCE_DIR "/docs/screen-files.md"))});
    EXPECT_FALSE(files.failure());
}

TEST_F(CustomScreensViewTest, TabWalksTheRowsAsTheyReadAlsoAfterAnAllowButtonWasMadeAgain)
{
    write(QStringLiteral("a.json"), busyScreen(QStringLiteral("echo 1")));
    write(QStringLiteral("b.json"), R"({"title": "Plain", "widgets": []})");
    write(QStringLiteral("c.json"), busyScreen(QStringLiteral("echo 3")));
    CustomScreenFilesSection& files = section();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    // What a changes asks for approval again: its Allow button is made anew.
    write(QStringLiteral("a.json"), busyScreen(QStringLiteral("echo 2")));
    store->reload();
    ASSERT_TRUE(waitUntilLoaded(*store));
    auto* allowA = row(QStringLiteral("a.json"))->findChild<QPushButton*>(QStringLiteral("allowButton"));
    ASSERT_TRUE(waitUntil([&] { return allowA->isVisible(); }));

    const auto name = [](QWidget* widget) {
        for (QWidget* up = widget; up; up = up->parentWidget())
            if (up->objectName().startsWith(u"fileRow:"))
                return up->objectName().mid(8) + u' ' + widget->objectName();
        return widget->objectName();
    };
    row(QStringLiteral("a.json"))->findChild<QToolButton*>(QStringLiteral("actionsButton"))->setFocus();
    QStringList stops{name(QApplication::focusWidget())};
    while (stops.size() < 10 && QApplication::focusWidget() != files.findChild<QWidget*>(QStringLiteral("openFolderButton"))) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        stops.append(name(QApplication::focusWidget()));
    }
    EXPECT_EQ(stops, (QStringList{QStringLiteral("a.json actionsButton"), QStringLiteral("a.json allowButton"),
                                  QStringLiteral("b.json actionsButton"), QStringLiteral("c.json actionsButton"),
                                  QStringLiteral("c.json allowButton"), QStringLiteral("newScreenButton"),
                                  QStringLiteral("openFolderButton")}));
}

TEST_F(CustomScreensViewTest, TheAllowedDisclosureShowsWhenItHasTheFocus)
{
    write(QStringLiteral("a.json"), busyScreen(QStringLiteral("echo 1")));
    section();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    store->trust().approveScreen(*store->screenWithID(QStringLiteral("a")));
    auto* disclosure = row(QStringLiteral("a.json"))->findChild<QToolButton*>(QStringLiteral("allowedDisclosure"));
    ASSERT_NE(disclosure, nullptr);
    ASSERT_TRUE(waitUntil([&] { return disclosure->isVisible(); }));
    const QImage unfocused = disclosure->grab().toImage();
    disclosure->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(waitUntil([&] { return disclosure->hasFocus(); }));
    EXPECT_NE(disclosure->grab().toImage(), unfocused);
}

TEST_F(CustomScreensViewTest, OnAFullHDWindowARowsActionsStayNearItsFileName)
{
    write(QStringLiteral("a.json"), busyScreen(QStringLiteral("echo 1")));
    section();
    window->resize(1920, 1080);
    auto* scroll = window->findChild<QScrollArea*>(QStringLiteral("customScreensScroll"));
    ASSERT_TRUE(waitUntil([&] { return scroll->viewport()->width() > 1500; }));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);

    ScreenFileRow* a = row(QStringLiteral("a.json"));
    auto* name = a->findChild<QLabel*>(QStringLiteral("fileName"));
    auto* actions = a->findChild<QToolButton*>(QStringLiteral("actionsButton"));
    const int from = name->mapTo(scroll->viewport(), QPoint()).x();
    const int to = actions->mapTo(scroll->viewport(), QPoint(actions->width(), 0)).x();
    EXPECT_LE(to - from, FormSection::readableWidth);
    // The column stands in the middle of the page, as the other pages' do.
    auto* files = scroll->findChild<QWidget*>(QStringLiteral("filesSection"));
    const int left = files->mapTo(scroll->viewport(), QPoint()).x();
    EXPECT_NEAR(left, scroll->viewport()->width() - (left + files->width()), 2);
}
