// What an approval shows of a button's action, over actions generated as screen files write
// them: two actions that do different things never read alike.

#include "screens/format/CustomScreen.h"
#include "support/ActionEffect.h"
#include "support/Bytes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <map>
#include <random>

using namespace Qt::StringLiterals;

namespace {

class Generator {
public:
    explicit Generator(unsigned seed) : m_random(seed) {}

    QJsonObject action()
    {
        static const QStringList kinds{u"keystroke"_s, u"media"_s,    u"openApp"_s,    u"openURL"_s, u"runShortcut"_s,
                                       u"typeText"_s,  u"screenshot"_s, u"showScreen"_s};
        const QString kind = pick(kinds);
        QJsonObject object{{u"kind"_s, kind}};
        if (kind == u"keystroke") {
            if (below(2) == 0) {
                object.insert(u"key"_s, pick({u"a"_s, u"L"_s, u"1"_s, u"/"_s, u"return"_s, u"f13"_s, u"space"_s}));
                QJsonArray names;
                for (int n = below(3); n > 0; --n)
                    names.append(pick({u"control"_s, u"shift"_s, u"alt"_s, u"cmd"_s}));
                object.insert(u"modifiers"_s, names);
            } else {
                object.insert(u"usage"_s, below(3) == 0 ? below(65536) : below(240));
                object.insert(u"modifiers"_s, below(256));
            }
        } else if (kind == u"media") {
            object.insert(u"usage"_s, pickNumber({205, 181, 182, 183, 226, 233, 234, 111, 112, 184, 0, 999}));
        } else if (kind == u"openApp") {
            object.insert(u"bundleID"_s, text());
            object.insert(u"name"_s, below(3) == 0 ? QString() : text());
        } else if (kind == u"openURL") {
            object.insert(u"url"_s, address());
        } else if (kind == u"runShortcut") {
            object.insert(u"shortcut"_s, text());
        } else if (kind == u"typeText") {
            object.insert(u"text"_s, text());
        } else if (kind == u"screenshot") {
            object.insert(u"mode"_s, pick({u"selection"_s, u"window"_s, u"fullScreen"_s}));
            object.insert(u"destination"_s, pick({u"file"_s, u"clipboard"_s}));
        } else {
            object.insert(u"screen"_s, text());
        }
        return object;
    }

private:
    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }
    QString pick(const QStringList& from) { return from[below(int(from.size()))]; }
    int pickNumber(const QList<int>& from) { return from[below(int(from.size()))]; }

    // Names and texts from pieces that pass for each other, mixed scripts, quotes that could
    // close the ones around them, escapes typed out and characters that show as nothing.
    QString text()
    {
        static const QStringList pieces{
            u"a"_s, u"e"_s, u"x"_s, u"l"_s, u"1"_s, u"I"_s, u"0"_s, u"O"_s, u"m"_s, u"rn"_s, u" "_s, u"."_s, u"/"_s,
            u"("_s, u")"_s, u"\\"_s, u"\\u0430"_s, u"\""_s, u"'"_s, u"\u201C"_s, u"\u201D"_s, u"\u2019"_s,
            u"\u0430"_s, u"\u0435"_s, u"\u03BF"_s, u"\u00E9"_s, u"e\u0301"_s, u"\u0301"_s, u"\u212B"_s,
            u"\u00C5"_s, u"\u200B"_s, u"\n"_s, u"\t"_s, u"\u2010"_s, u" (\u201C"_s, u"\u201D)"_s, u"{{cpu}}"_s,
            u"Opens "_s, u"the app "_s, u"https://"_s};
        QString out;
        for (int n = below(6); n > 0; --n)
            out += pick(pieces);
        return out;
    }

    QString address()
    {
        if (below(8) == 0)
            return pick({u"{{cpu}}"_s, u" {{net}} "_s, u"{{cpu}}{{net}}"_s, u"mailto:{{cpu}}"_s});
        const QString scheme = pick({u"http"_s, u"https"_s, u"HTTPS"_s, u"mailto"_s, u"ftp"_s, u"file"_s});
        QString path;
        for (int n = below(3); n > 0; --n)
            path += pick({u"/"_s, u"/a b"_s, u"/caf\u00E9"_s, u"/cafe\u0301"_s, u"/%2e%2e/x"_s, u"/\u201Cq\u201D"_s,
                          u"?q=1"_s, u"#f"_s, u"/{{cpu}}"_s, u"\\x"_s, u"/%41"_s, u"/A"_s, u" (x)"_s});
        if (scheme == u"mailto")
            return scheme + u':' + pick({u"a"_s, u"\u0430"_s, u"%61"_s, QString()}) + u"@example.com"_s +
                   pick({QString(), u"?subject=hi there"_s, u"?subject=hi%20there"_s});
        // Hosts in Unicode are shown in ASCII in an address with placeholders, as they are
        // looked up: those two spellings would do the same, so they stay in whole addresses.
        const bool filled = path.contains(u"{{");
        const QString host =
            filled ? pick({u"example.com"_s, u"EXAMPLE.com"_s, u"{{cpu}}.example.com"_s})
                   : pick({u"example.com"_s, u"EXAMPLE.com"_s, u"ex\u0430mple.com"_s, u"b\u00FCcher.de"_s,
                           u"xn--bcher-kva.de"_s, u"%65vil.example"_s, u"example.com%2Eevil.example"_s,
                           u"127.0.0.1"_s, u"0x7f.1"_s, u"[::1]"_s, QString()});
        const QString user = below(8) == 0 ? u"accounts.example.com@"_s : QString();
        const QString port = below(6) == 0 ? pick({u":8443"_s, u":443"_s, u":80"_s}) : QString();
        return scheme + pick({u"://"_s, u":\\\\"_s, u":"_s}) + user + host + port + path;
    }

    std::mt19937 m_random;
};

QByteArray screenFile(const QJsonObject& action)
{
    const QJsonObject button{{u"type"_s, u"button"_s}, {u"x"_s, 8}, {u"y"_s, 40}, {u"w"_s, 100},
                             {u"h"_s, 50},          {u"label"_s, u"Go"_s}, {u"action"_s, action}};
    const QJsonObject sources{{u"cpu"_s, QJsonObject{{u"shell"_s, u"echo 1"_s}}},
                              {u"net"_s, QJsonObject{{u"shell"_s, u"echo 2"_s}}}};
    return QJsonDocument(QJsonObject{{u"title"_s, u"t"_s}, {u"sources"_s, sources}, {u"widgets"_s, QJsonArray{button}}})
        .toJson(QJsonDocument::Compact);
}

}  // namespace

// Over generated actions of every kind (keys with every modifier bit, addresses that normalise,
// hide a user or escape their host, names and texts of mixed scripts and quotes), each file that
// loads shows its action in words no action that does something else shows.
TEST(ShownActions, TwoActionsThatDoDifferentThingsNeverReadAlike)
{
    Generator generate(73);
    QHash<QString, QString> effectShownAs;
    std::map<MacroAction::Kind, int> loaded;
    for (int round = 0; round < 20000; ++round) {
        const QJsonObject written = generate.action();
        QList<ScreenIssue> issues;
        const std::optional<CustomScreen> screen =
            CustomScreen::parse(screenFile(written), u"t"_s, u"t.json"_s, issues);
        ASSERT_TRUE(screen);
        if (hasErrors(issues))
            continue;
        const MacroAction& action = std::get<CustomScreen::ButtonWidget>(screen->widgets.first()).action;
        ++loaded[action.kind()];
        const QString shown = CustomScreen::actionDetail(action);
        // The approval lists it with these words, after the sources its address reads, unless
        // it only switches the page.
        if (action.kind() != MacroAction::Kind::showScreen) {
            const QList<CustomScreen::Permission> permissions = screen->permissions();
            ASSERT_FALSE(permissions.isEmpty());
            EXPECT_EQ(permissions.last().detail, shown);
        }
        const QString effect = effectOf(action);
        const auto seen = effectShownAs.constFind(shown);
        if (seen == effectShownAs.cend()) {
            effectShownAs.insert(shown, effect);
            continue;
        }
        ASSERT_EQ(*seen, effect) << "both show as \"" << shown.toStdString() << "\"";
    }
    // Every kind is reached, addresses that open as well as those filled by values.
    for (MacroAction::Kind kind : MacroAction::allKinds) {
        if (kind != MacroAction::Kind::unassigned) {
            EXPECT_GT(loaded[kind], 100) << MacroAction::kindRawValue(kind).toStdString();
        }
    }
}
