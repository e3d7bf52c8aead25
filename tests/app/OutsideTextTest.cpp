// Text from outside (players, quote servers, screen files, photos, profiles, the log, failures)
// is shown as the text it is: never read as markup, its "&" never taken for a mnemonic, and a
// title or name on one line that no control character can extend or reorder.

#include "ShellFixture.h"

#include "app/DeviceCommands.h"
#include "app/SidebarHost.h"
#include "app/TrayMenu.h"
#include "support/ShownText.h"
#include "ui/diagnostics/DiagnosticsView.h"
#include "ui/diagnostics/FrameLogModel.h"
#include "ui/macros/MacrosView.h"
#include "ui/macros/ProfileAppsButton.h"
#include "ui/macros/ProfileAppsPopover.h"
#include "ui/macros/ProfileBar.h"
#include "ui/screens/ScreenFileRow.h"
#include "ui/screens/ScreenPermissionsView.h"
#include "ui/screensaver/PhotoRow.h"
#include "ui/settings/SettingsForm.h"
#include "ui/settings/TrustedScreensSection.h"
#include "ui/widgets/WrappingText.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>

namespace {

// A title that underlines a word and loads a local image when read as markup.
const QString markup = QStringLiteral("Song <u>one</u> <img src='/path/x.jpg'>");

CustomScreen screenDoing(const QString& id, const QString& command)
{
    CustomScreen screen;
    screen.id = id;
    screen.title = markup;
    screen.sources = {{QStringLiteral("s"), CustomScreen::DataSource::Shell{command}, 5, std::nullopt}};
    CustomScreen::TextWidget text;
    text.text = QStringLiteral("{{s}}");
    screen.widgets = {text};
    return screen;
}

}  // namespace

class OutsideTextTest : public ShellTest {
protected:
    template <class T> T* find(QWidget* in, const char* name)
    {
        T* found = in->findChild<T*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QWidget* page(SidebarItem item)
    {
        window->select(item);
        return window->sidebarHost()->page(rawValue(item));
    }
};

TEST_F(OutsideTextTest, MarkupFromEverySourceShowsAsItsText)
{
    makeWindow();
    // A player's title and artist.
    NowPlayingState playing;
    playing.title = markup;
    playing.artist = markup;
    hub->setNowPlaying(playing);
    QWidget* nowPlaying = page(SidebarItem::nowPlaying);
    EXPECT_EQ(shownText(find<QLabel>(nowPlaying, "trackValue")), markup);
    EXPECT_EQ(shownText(find<QLabel>(nowPlaying, "artistValue")), markup);

    // A company name from the quote server.
    StockQuote quote;
    quote.symbol = stocks.symbols().value(0);
    quote.companyName = markup;
    stocks.applyRefresh({quote}, std::nullopt, QDateTime::currentDateTime());
    EXPECT_EQ(shownText(find<QLabel>(page(SidebarItem::stocks), "companyName1")), markup);

    // A log line.
    hub->log(LogEntry::Direction::system, markup);
    FrameLogModel* log = dynamic_cast<DiagnosticsView*>(page(SidebarItem::diagnostics))->logModel();
    log->sync();
    EXPECT_TRUE(shownToolTip(log->index(0).data(Qt::ToolTipRole).toString()).endsWith(markup));

    // A screen file's name and title, and the command it runs.
    const QString command = QStringLiteral("echo '<b>bold</b>'");
    ScreenFileRow row(markup + QStringLiteral(".json"), screens.trust());
    ScreenFileRow::Content content;
    content.report = {markup + QStringLiteral(".json"), true, false, markup, {}};
    content.screen = screenDoing(markup, command);
    row.setContent(content);
    EXPECT_EQ(shownText(find<QLabel>(&row, "fileName")), markup + QStringLiteral(".json"));
    EXPECT_EQ(shownText(find<QLabel>(&row, "summary")), markup);
    EXPECT_EQ(shownToolTip(find<QToolButton>(&row, "actionsButton")->toolTip()),
              QStringLiteral("Actions for ") + markup + QStringLiteral(".json"));
    // Always plain text: it wraps long commands anywhere.
    EXPECT_EQ(find<WrappingText>(&row, "permissionDetail")->toPlainText(), command);

    // A photo's name.
    PhotoRow photo{QUuid::createUuid()};
    photo.setName(markup);
    EXPECT_EQ(shownText(find<QLabel>(&photo, "photoName")), markup);
    EXPECT_EQ(shownToolTip(find<QToolButton>(&photo, "removeButton")->toolTip()), QStringLiteral("Remove ") + markup);

    // A profile's name, asked about before it goes.
    profiles->renameProfile(profiles->activeID(), markup);
    profiles->addProfile(false);
    profiles->activateProfile(profiles->profiles().first().id);
    ProfileBar* bar = dynamic_cast<MacrosView*>(page(SidebarItem::macros))->profileBar();
    bar->findChild<QAction*>(QStringLiteral("deleteProfileAction"))->trigger();
    ASSERT_TRUE(bar->deleteConfirmation());
    EXPECT_EQ(bar->deleteConfirmation()->textFormat(), Qt::PlainText);
    EXPECT_EQ(bar->deleteConfirmation()->text(), QStringLiteral("Delete \u201C") + markup + QStringLiteral("\u201D?"));
    bar->deleteConfirmation()->reject();

    // An application's name.
    profiles->linkApps({QStringLiteral("org.example.Player"), markup}, profiles->activeID());
    ProfileAppsButton* apps = dynamic_cast<MacrosView*>(page(SidebarItem::macros))->profileAppsButton();
    apps->click();
    ASSERT_TRUE(apps->popover()->isVisible());
    EXPECT_EQ(shownToolTip(find<QToolButton>(apps->popover(), "removeAppButton")->toolTip()),
              QStringLiteral("Stop switching to this profile for ") + markup);
    apps->popover()->close();

    // A failure that quotes a name.
    std::unique_ptr<QLabel> failure(SettingsForm::failureLabel("failure"));
    SettingsForm::showFailure(failure.get(), QStringLiteral("could not write ") + markup);
    EXPECT_EQ(shownText(failure.get()), QStringLiteral("could not write ") + markup);
}

TEST_F(OutsideTextTest, AmpersandsInNamesShowInMenusAndButtons)
{
    const QString work = QStringLiteral("Work & Play");
    screens.add(QStringLiteral("qa"), QStringLiteral("Q&A"), true);
    makeWindow();
    profiles->renameProfile(profiles->activeID(), work);
    profiles->addProfile(false);
    profiles->activateProfile(profiles->profiles().first().id);
    profiles->linkApps({QStringLiteral("org.example.TomJerry"), QStringLiteral("Tom & Jerry")}, profiles->activeID());

    TrayMenu tray(*hub, *window);
    QStringList trayTexts;
    for (const QAction* action : tray.menu()->actions())
        trayTexts.append(shownActionText(action->text()));
    EXPECT_TRUE(trayTexts.contains(work)) << trayTexts.join(u'|').toStdString();
    EXPECT_TRUE(trayTexts.contains(QStringLiteral("Q&A"))) << trayTexts.join(u'|').toStdString();

    EXPECT_EQ(shownActionText(window->findChild<QAction*>(QStringLiteral("devicePage:qa"))->text()),
              QStringLiteral("Q&A"));
    EXPECT_EQ(shownActionText(pickerEntry(QStringLiteral("qa"))->text()), QStringLiteral("Q&A"));

    auto* macros = dynamic_cast<MacrosView*>(page(SidebarItem::macros));
    const QAction* duplicate = macros->profileBar()->findChild<QAction*>(QStringLiteral("duplicateProfileAction"));
    EXPECT_EQ(shownActionText(duplicate->text()), QStringLiteral("Duplicate \u201CWork & Play\u201D"));
    EXPECT_EQ(shownActionText(macros->profileAppsButton()->text()), QStringLiteral("Tom & Jerry"));

    ScreenPermissionsView approval(screenDoing(QStringLiteral("a&b"), QStringLiteral("true")), QStringLiteral("a&b.json"),
                                   screens.trust());
    EXPECT_EQ(shownActionText(find<QPushButton>(&approval, "allowButton")->text()), QStringLiteral("Allow a&b.json"));
}

TEST_F(OutsideTextTest, TitlesShowOnOneLineWithoutReordering)
{
    screens.add(QStringLiteral("clock"), QStringLiteral("Clock\tCtrl+Q"), true);
    screens.add(QStringLiteral("mail"), QStringLiteral("Mail \u202Eexe.TXT"), true);
    makeWindow();
    TrayMenu tray(*hub, *window);
    QStringList trayTexts;
    for (const QAction* action : tray.menu()->actions())
        trayTexts.append(action->text());

    for (const auto& [id, shown] : {std::pair{QStringLiteral("clock"), QStringLiteral("Clock Ctrl+Q")},
                                    std::pair{QStringLiteral("mail"), QStringLiteral("Mail exe.TXT")}}) {
        EXPECT_EQ(window->findChild<QAction*>(QStringLiteral("devicePage:") + id)->text(), shown);
        EXPECT_EQ(pickerEntry(id)->text(), shown);
        EXPECT_TRUE(trayTexts.contains(shown)) << trayTexts.join(u'|').toStdString();
    }
}

// What a screen asks to run hides behind a right-to-left override and isolates: laid out, the
// payload would read as a comment after "#". It ends in a Hangul filler, which draws nothing, so
// a planted file of that name runs. It shows as the characters that run, in order.
TEST_F(OutsideTextTest, WhatAScreenAsksToRunShowsAsItWillRun)
{
    const QString command =
        QStringLiteral("echo ok \u202E\u2066; touch %1/spoof-ran; echo ran\u2069 \u2066#\u2069; sh stats.sh\u3164")
            .arg(xdg.root());
    const QString shown = QStringLiteral("echo ok \\u202E\\u2066; touch %1/spoof-ran; echo ran\\u2069 "
                                         "\\u2066#\\u2069; sh stats.sh\\u3164")
                              .arg(xdg.root());
    const CustomScreen screen = screenDoing(QStringLiteral("spoof"), command);
    ScreenPermissionsView approval(screen, screen.id + QStringLiteral(".json"), screens.trust());
    EXPECT_EQ(find<WrappingText>(&approval, "permissionDetail")->text(), shown);

    // Allowed, it is listed among the trusted screens the same way.
    screens.loaded.append(screen);
    screens.trust().approveScreen(screen);
    TrustedScreensSection trusted(screens);
    EXPECT_EQ(find<WrappingText>(&trusted, "trustedScreenDetails")->text(), shown);

    // `tarv screen list` separates its columns with tabs: one in a file name is written out.
    screens.add(QStringLiteral("a\tb"), QStringLiteral("Tab"), true);
    makeHub();
    const QStringList listed = hub->screenListLines();
    EXPECT_TRUE(listed.contains(QStringLiteral("a\\tb\tTab"))) << listed.join(u'|').toStdString();
}

// A header goes where the request goes: its value is approved in sight, escaped as a command is,
// and a line break in it never passes for a second header.
TEST_F(OutsideTextTest, AHeaderIsApprovedWithItsValueInSight)
{
    CustomScreen screen = screenDoing(QStringLiteral("keyed"), QString());
    screen.sources = {{QStringLiteral("s"),
                       CustomScreen::DataSource::Url{QUrl(QStringLiteral("https://example.com/v1")), std::nullopt,
                                                     {{QStringLiteral("X-Api-Key"), QStringLiteral("k\\n\u2028X: y")}}},
                       60, std::nullopt}};
    ScreenPermissionsView approval(screen, screen.id + QStringLiteral(".json"), screens.trust());
    EXPECT_EQ(find<WrappingText>(&approval, "permissionDetail")->text(), QStringLiteral("https://example.com/v1"));
    EXPECT_EQ(find<QLabel>(&approval, "permissionHeaderName")->text(), QStringLiteral("X-Api-Key:"));
    EXPECT_EQ(find<WrappingText>(&approval, "permissionHeaderValue")->text(), QStringLiteral("k\\\\n\\u2028X: y"));
}
