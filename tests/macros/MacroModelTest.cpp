#include "macros/MacroProfile.h"

#include <QSet>

#include <gtest/gtest.h>

#include <random>

namespace {

MacroProfile fullProfile()
{
    MacroProfile profile = MacroProfile::named(QStringLiteral("P"));
    for (MacroButton& button : profile.buttons)
        button.action = MacroAction::keystroke({4, {}});
    return profile;
}

} // namespace

TEST(MacroModel, HitTestAtTheGridEdges)
{
    const MacroProfile profile = fullProfile();
    auto hit = [&](int x, int y) { return profile.keyIndexAtPoint(std::uint16_t(x), std::uint16_t(y)); };
    EXPECT_EQ(hit(8, 36), 0);
    EXPECT_EQ(hit(117, 112), 0);
    EXPECT_FALSE(hit(118, 36));
    EXPECT_FALSE(hit(125, 36));
    EXPECT_EQ(hit(126, 36), 1);
    EXPECT_EQ(hit(471, 282), 11);
    EXPECT_EQ(hit(362, 121), 7);
    EXPECT_EQ(hit(362, 206), 11);
    EXPECT_FALSE(hit(472, 282));
    EXPECT_FALSE(hit(479, 36));
    EXPECT_FALSE(hit(8, 290));
    EXPECT_FALSE(hit(480, 36));
    EXPECT_FALSE(hit(8, 291));
    EXPECT_FALSE(hit(8, 113));
    EXPECT_EQ(hit(8, 121), 4);
    EXPECT_FALSE(hit(7, 40));
    EXPECT_FALSE(hit(40, 35));
    EXPECT_FALSE(hit(65535, 65535));
}

TEST(MacroModel, HitTestSkipsMissingAndUnassignedKeys)
{
    MacroProfile profile = fullProfile();
    profile.buttons.resize(5);
    EXPECT_EQ(profile.keyIndexAtPoint(8, 121), 4);
    EXPECT_FALSE(profile.keyIndexAtPoint(126, 121)); // index 5, past the end
    profile.buttons[4].action = MacroAction::unassigned();
    EXPECT_FALSE(profile.keyIndexAtPoint(50, 150));
}

TEST(MacroModel, IsConfigured)
{
    EXPECT_TRUE(MacroAction::unassigned().isConfigured());
    EXPECT_TRUE(MacroAction::openURL(QStringLiteral("file:///tmp/a.txt")).isConfigured());
    EXPECT_TRUE(MacroAction::openURL(QStringLiteral("https://example.com/x")).isConfigured());
    EXPECT_TRUE(MacroAction::openURL(QStringLiteral("ssh://host")).isConfigured());
    EXPECT_FALSE(MacroAction::openURL(QStringLiteral("FILE:///tmp/a.txt")).isConfigured());
    EXPECT_FALSE(MacroAction::openURL(QStringLiteral("mailto:someone@example.com")).isConfigured());
    EXPECT_FALSE(MacroAction::openURL(QStringLiteral("http://[::1")).isConfigured());
    EXPECT_FALSE(MacroAction::openURL(QStringLiteral("example.com")).isConfigured());
    EXPECT_FALSE(MacroAction::openURL(QString()).isConfigured());
    EXPECT_FALSE(MacroAction::openApp({QString(), QStringLiteral("Files")}).isConfigured());
    EXPECT_TRUE(MacroAction::openApp({QStringLiteral("org.gnome.Nautilus"), QString()}).isConfigured());
    EXPECT_FALSE(MacroAction::runShortcut({}).isConfigured());
    EXPECT_FALSE(MacroAction::typeText({}).isConfigured());
    EXPECT_FALSE(MacroAction::showScreen({}).isConfigured());
    EXPECT_TRUE(MacroAction::showScreen(QStringLiteral("home")).isConfigured());
}

// The inspector says why a key is not set up exactly when it is not, for any address typed:
// addresses are built at random from the pieces that decide (schemes, separators, hosts, spaces).
TEST(MacroModel, ASetupProblemIsNamedExactlyWhenTheActionIsNotSetUp)
{
    const QStringList pieces{QStringLiteral("https"), QStringLiteral("file"), QStringLiteral("FILE"), QStringLiteral(":"),
                             QStringLiteral("//"),    QStringLiteral("/"),    QStringLiteral("example.com"),
                             QStringLiteral("["),     QStringLiteral(" "),    QStringLiteral("x"),
                             QStringLiteral("%"),     QStringLiteral("?q=1"), QStringLiteral("\u00E9")};
    std::mt19937 rng(63);
    for (int round = 0; round < 5000; ++round) {
        QString url;
        for (int n = int(rng() % 6); n > 0; --n)
            url += pieces[int(rng() % pieces.size())];
        const MacroAction action = MacroAction::openURL(url);
        EXPECT_EQ(action.setupProblem().isEmpty(), action.isConfigured()) << url.toStdString();
    }
    for (const MacroAction& action :
         {MacroAction::unassigned(), MacroAction::openApp({QString(), QStringLiteral("Files")}),
          MacroAction::openApp({QStringLiteral("org.gnome.Nautilus"), QString()}), MacroAction::runShortcut({}),
          MacroAction::runShortcut(QStringLiteral("Backup")), MacroAction::typeText({}), MacroAction::showScreen({}),
          MacroAction::showScreen(QStringLiteral("home")), MacroAction::media(MediaKey::playPause)})
        EXPECT_EQ(action.setupProblem().isEmpty(), action.isConfigured()) << actionSummary(action).toStdString();
    // The grid's mark for an address without a scheme, in words.
    EXPECT_EQ(MacroAction::openURL(QStringLiteral("example.com")).setupProblem(),
              QStringLiteral("The address has no scheme: start it with https:// or another scheme."));
}

TEST(MacroModel, Summaries)
{
    EXPECT_EQ(actionSummary(MacroAction::unassigned()), QStringLiteral("Unassigned"));
    EXPECT_EQ(actionSummary(MacroAction::keystroke({16, HIDModifiers{0x0A}})), QStringLiteral("Shift+Super+M"));
    EXPECT_EQ(actionSummary(MacroAction::media(MediaKey::playPause)), QStringLiteral("Play/Pause"));
    EXPECT_EQ(actionSummary(MacroAction::openApp({QString(), QStringLiteral("Files")})), QStringLiteral("Files"));
    EXPECT_EQ(actionSummary(MacroAction::openApp({QStringLiteral("x"), QString()})), QStringLiteral("No app chosen"));
    EXPECT_EQ(actionSummary(MacroAction::openURL(QString())), QString());
    EXPECT_EQ(actionSummary(MacroAction::runShortcut(QString())), QStringLiteral("No shortcut chosen"));
    EXPECT_EQ(actionSummary(MacroAction::typeText(QString())), QStringLiteral("No text"));
    EXPECT_EQ(actionSummary(MacroAction::screenshot({ScreenshotOptions::Mode::fullScreen,
                                                     ScreenshotOptions::Destination::clipboard})),
              QStringLiteral("Screenshot \u00B7 Full Screen \u2192 Clipboard"));
    EXPECT_EQ(actionSummary(MacroAction::showScreen(QStringLiteral("stocks"))), QStringLiteral("Show stocks"));
    EXPECT_EQ(actionSummary(MacroAction::showScreen(QString())), QStringLiteral("No screen chosen"));
}

TEST(MacroModel, TypedTextSummaryCountsCharactersNotCodeUnits)
{
    const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467"); // one character
    const QString exact = family + QString(23, u'x');
    EXPECT_EQ(actionSummary(MacroAction::typeText(exact)), QChar(0x201C) + exact + QChar(0x201D));
    const QString longer = exact + QStringLiteral("y");
    EXPECT_EQ(actionSummary(MacroAction::typeText(longer)), QChar(0x201C) + exact + QChar(0x2026) + QChar(0x201D));
    // A combining accent stays with its letter at the cut.
    const QString accented = QString(23, u'x') + QStringLiteral("e\u0301z");
    EXPECT_EQ(actionSummary(MacroAction::typeText(accented)),
              QChar(0x201C) + QString(23, u'x') + QStringLiteral("e\u0301") + QChar(0x2026) + QChar(0x201D));
}

TEST(MacroModel, ResolvedWebURL)
{
    const QHash<QString, QString> values{{QStringLiteral("q"), QStringLiteral("  word \n")}};
    EXPECT_EQ(MacroAction::openURL(QStringLiteral("https://example.com/search/{{q}}")).resolvedWebURL(values),
              MacroAction::openURL(QStringLiteral("https://example.com/search/word")));
    EXPECT_EQ(MacroAction::openURL(QStringLiteral("https://example.com/{{q}}")).resolvedWebURL({}),
              MacroAction::openURL(QString()));
    EXPECT_EQ(MacroAction::openURL(QStringLiteral("ftp://example.com/{{q}}")).resolvedWebURL(values),
              MacroAction::openURL(QString()));
    EXPECT_EQ(MacroAction::openURL(QStringLiteral("{{q}}")).resolvedWebURL(values), MacroAction::openURL(QString()));
    EXPECT_EQ(MacroAction::openURL(QStringLiteral("HTTP://example.com/{{q}}")).resolvedWebURL(values),
              MacroAction::openURL(QStringLiteral("HTTP://example.com/word")));
    const MacroAction plain = MacroAction::openURL(QStringLiteral("ftp://x"));
    EXPECT_EQ(plain.resolvedWebURL(values), plain);

    // A value fills the path, query or fragment; it never moves the address elsewhere.
    const MacroAction glued = MacroAction::openURL(QStringLiteral("https://example.com{{v}}"));
    const auto resolved = [&](const char* value, QString* refusal = nullptr) {
        return glued.resolvedWebURL({{QStringLiteral("v"), QString::fromUtf8(value)}}, refusal);
    };
    EXPECT_EQ(resolved("/status?x=1#top"), MacroAction::openURL(QStringLiteral("https://example.com/status?x=1#top")));
    QString refusal;
    EXPECT_EQ(resolved("@127.0.0.1:18097/phish", &refusal), MacroAction::openURL(QString()));
    EXPECT_EQ(refusal, QStringLiteral("its values would make it open https://example.com@127.0.0.1:18097/phish; "
                                      "a value may fill only the part of the address where its placeholder stands"));
    for (const char* moved : {".evil.test/x?", ":8443/x", "\\@evil.test", "%2e.evil.test"})
        EXPECT_EQ(resolved(moved), MacroAction::openURL(QString())) << moved;
    const QHash<QString, QString> whole{{QStringLiteral("v"), QStringLiteral("file:///etc/passwd")}};
    EXPECT_EQ(MacroAction::openURL(QStringLiteral("{{v}}")).resolvedWebURL(whole), MacroAction::openURL(QString()));
    const MacroAction text = MacroAction::typeText(QStringLiteral("{{q}}"));
    EXPECT_EQ(text.resolvedWebURL(values), text);
}

TEST(MacroModel, ResolvedWebURLValueFillsItsOwnPart)
{
    const auto resolved = [](const char* url, const char* value) {
        return MacroAction::openURL(QString::fromUtf8(url))
            .resolvedWebURL({{QStringLiteral("v"), QString::fromUtf8(value)}})
            .as<MacroAction::OpenURL>()
            ->url;
    };
    EXPECT_EQ(resolved("{{v}}", "https://docs.example.org/a?b"), QStringLiteral("https://docs.example.org/a?b"));
    EXPECT_EQ(resolved("{{v}}", "mailto:help@example.com"), QStringLiteral("mailto:help@example.com"));
    EXPECT_EQ(resolved("https://{{v}}.example.com/", "docs"), QStringLiteral("https://docs.example.com/"));
    EXPECT_EQ(resolved("http://[::1]{{v}}/", ":8080"), QStringLiteral("http://[::1]:8080/"));
    EXPECT_EQ(resolved("https://example.com:{{v}}/", "443"), QStringLiteral("https://example.com:443/"));
    // Each value stays in its part.
    EXPECT_EQ(resolved("https://{{v}}.example.com/", "evil.test/x?"), QString());
    EXPECT_EQ(resolved("https://{{v}}.example.com/", "evil.test%2fx"), QString());
    EXPECT_EQ(resolved("https://example.com:{{v}}/", "443@evil.test"), QString());
    EXPECT_EQ(resolved("http://[::1]{{v}}/", ":8080@evil.test"), QString());
    EXPECT_EQ(resolved("{{v}}", "javascript:alert(1)"), QString());
}

// A mail address a value chose (a server's, say) opens a new message and no more: a field such
// as "attach" would have the mail program pick up a file of the user's.
TEST(MacroModel, ResolvedMailAddressKeepsOnlyTheMessageFields)
{
    const auto resolved = [](const QString& value, QString* note) {
        return MacroAction::openURL(QStringLiteral("{{v}}"))
            .resolvedWebURL({{QStringLiteral("v"), value}}, nullptr, note)
            .as<MacroAction::OpenURL>()
            ->url;
    };
    QString note;
    const QString asked = QStringLiteral("mailto:a@b.c?attach=/etc/passwd&Subject=Hi%20there&cc=d@e.f&att%61chment=x"
                                         "&body=a;attach=/etc/shadow&to=g@h.i&bcc=j@k.l&X-Mailer=1#&attach=y");
    EXPECT_EQ(resolved(asked, &note), QStringLiteral("mailto:a@b.c?subject=Hi%20there&cc=d@e.f&body=a%3Battach%3D%2Fetc"
                                                     "%2Fshadow&to=g@h.i&bcc=j@k.l"));
    EXPECT_EQ(note, QStringLiteral("its values would make it open ") + asked +
                        QStringLiteral("; a mail address chosen by a value keeps only to, cc, bcc, subject and body, "
                                       "and leaves out \u201Cattach\u201D, \u201Cattachment\u201D, "
                                       "\u201CX-Mailer\u201D, \u201C#&attach=y\u201D"));
    // With nothing to leave out there is nothing to say.
    note.clear();
    EXPECT_EQ(resolved(QStringLiteral("mailto:a@b.c?subject=Hi"), &note), QStringLiteral("mailto:a@b.c?subject=Hi"));
    EXPECT_EQ(note, QString());
    EXPECT_EQ(resolved(QStringLiteral("mailto:a@b.c?attach=x"), &note), QStringLiteral("mailto:a@b.c"));
    // An address the file writes out is shown whole for approval, and opens as it is.
    const MacroAction written = MacroAction::openURL(QStringLiteral("mailto:a@b.c?attach=/tmp/report.pdf"));
    EXPECT_EQ(written.resolvedWebURL({}), written);
}

TEST(MacroModel, ResolvedWebURLTakesNoSchemeFromAValueBesideText)
{
    const auto resolved = [](const char* url, const char* value, QString* refusal = nullptr) {
        return MacroAction::openURL(QString::fromUtf8(url))
            .resolvedWebURL({{QStringLiteral("v"), QString::fromUtf8(value)}}, refusal)
            .as<MacroAction::OpenURL>()
            ->url;
    };
    // The approved text names example.com; a value in or before its scheme would open elsewhere.
    QString refusal;
    EXPECT_EQ(resolved("http{{v}}://example.com/", "s://evil.test/#", &refusal), QString());
    EXPECT_EQ(refusal, QStringLiteral("its values would make it open https://evil.test/#://example.com/; only an "
                                      "address made wholly of a value takes its scheme from a value"));
    EXPECT_EQ(resolved("{{v}}://example.com/", "https://evil.test/?", &refusal), QString());
    EXPECT_EQ(refusal, QStringLiteral("its values would make it open https://evil.test/?://example.com/; only an "
                                      "address made wholly of a value takes its scheme from a value"));
}

// The filled address is read once, as a button's written address is, and that reading is what
// opens: one naming a user, or its host in escapes, is refused like a written one.
TEST(MacroModel, ResolvedWebURLKeepsTheAddressItOpens)
{
    const auto resolved = [](const char* url, const char* value, QString* refusal = nullptr) {
        return MacroAction::openURL(QString::fromUtf8(url))
            .resolvedWebURL({{QStringLiteral("v"), QString::fromUtf8(value)}}, refusal);
    };
    const MacroAction filled = resolved("https://example.com/{{v}}", "a b");
    EXPECT_EQ(filled.as<MacroAction::OpenURL>()->address, QUrl(QStringLiteral("https://example.com/a%20b")));
    QString refusal;
    EXPECT_EQ(resolved("{{v}}", "https://accounts.example.com@evil.example/", &refusal), MacroAction::openURL({}));
    EXPECT_TRUE(refusal.endsWith(QStringLiteral("an address a button opens may not name a user"))) << refusal.toStdString();
}

TEST(MacroModel, MediaKeyFromUsage)
{
    EXPECT_EQ(mediaKeyFromUsage(0xE9), MediaKey::volumeUp);
    EXPECT_EQ(mediaKeyFromUsage(0x70), MediaKey::brightnessDown);
    EXPECT_FALSE(mediaKeyFromUsage(0x00));
    EXPECT_FALSE(mediaKeyFromUsage(0x30));
}

TEST(MacroModel, EqualityAndHashFollowCaseAndPayload)
{
    EXPECT_NE(MacroAction::openURL(QStringLiteral("a")), MacroAction::typeText(QStringLiteral("a")));
    EXPECT_NE(MacroAction::runShortcut(QStringLiteral("a")), MacroAction::showScreen(QStringLiteral("a")));
    EXPECT_EQ(MacroAction::keystroke({4, HIDModifiers{2}}), MacroAction::keystroke({4, HIDModifiers{2}}));
    EXPECT_NE(MacroAction::keystroke({4, HIDModifiers{2}}), MacroAction::keystroke({4, HIDModifiers{0}}));
    QSet<MacroAction> set{MacroAction::unassigned(), MacroAction::unassigned(),
                          MacroAction::openURL(QStringLiteral("a")), MacroAction::typeText(QStringLiteral("a"))};
    EXPECT_EQ(set.size(), 3);
}

TEST(MacroModel, DefaultProfile)
{
    const MacroProfile& profile = MacroProfile::defaultProfile();
    EXPECT_EQ(&profile, &MacroProfile::defaultProfile());
    EXPECT_EQ(profile.name, QStringLiteral("Default"));
    EXPECT_EQ(profile.version, 1);
    ASSERT_EQ(profile.buttons.size(), 12);
    EXPECT_EQ(profile.buttons[0].label, QStringLiteral("MIC"));
    EXPECT_EQ(profile.buttons[0].action, MacroAction::keystroke({16, HIDModifiers{0x0A}}));
    EXPECT_EQ(profile.buttons[0].icon, DeviceIcon(DeviceIcon::mute));
    EXPECT_TRUE(profile.buttons[0].isToggle && profile.buttons[0].isActive);
    EXPECT_EQ(profile.buttons[1].action, MacroAction::keystroke({9, HIDModifiers{0x0A}}));
    EXPECT_EQ(profile.buttons[3].action, MacroAction::media(MediaKey::volumeDown));
    EXPECT_EQ(profile.buttons[9].label, QStringLiteral("G"));
    EXPECT_EQ(profile.buttons[9].action, MacroAction::keystroke({10, {}}));
    EXPECT_FALSE(profile.buttons[9].icon);
    EXPECT_EQ(profile.buttons[11].action, MacroAction::unassigned());
    EXPECT_TRUE(profile.buttons[11].label.isEmpty());
    QSet<QUuid> ids;
    for (const MacroButton& button : profile.buttons)
        ids.insert(button.id);
    EXPECT_EQ(ids.size(), 12);
}

TEST(MacroModel, NormalizedButtons)
{
    QList<MacroButton> thirteen(13);
    const QList<MacroButton> kept = MacroProfile::normalizedButtons(thirteen);
    EXPECT_EQ(kept, thirteen.first(12));
    const QList<MacroButton> padded = MacroProfile::normalizedButtons({});
    ASSERT_EQ(padded.size(), 12);
    QSet<QUuid> ids;
    for (const MacroButton& button : padded) {
        ids.insert(button.id);
        EXPECT_EQ(button.action, MacroAction::unassigned());
    }
    EXPECT_EQ(ids.size(), 12);
}

TEST(MacroModel, DuplicateCopiesKeysUnderFreshIdsWithoutLinks)
{
    MacroProfile source = MacroProfile::defaultProfile();
    source.version = 1;
    source.linkedApps = {{QStringLiteral("org.gnome.Terminal"), QStringLiteral("Terminal")}};
    source.buttons[2].emoji = QStringLiteral("\U0001F600");
    source.buttons[2].tint = KeyTint::red;
    const MacroProfile copy = source.duplicate(QStringLiteral("Copy"));
    EXPECT_NE(copy.id, source.id);
    EXPECT_EQ(copy.name, QStringLiteral("Copy"));
    EXPECT_TRUE(copy.linkedApps.isEmpty());
    ASSERT_EQ(copy.buttons.size(), source.buttons.size());
    for (int i = 0; i < copy.buttons.size(); ++i) {
        EXPECT_NE(copy.buttons[i].id, source.buttons[i].id);
        MacroButton same = copy.buttons[i];
        same.id = source.buttons[i].id;
        EXPECT_EQ(same, source.buttons[i]);
    }
}
