// The "sources" of a screen file, key resolution and what the page's placeholders read.

#include "screens/format/CustomScreen.h"
#include "IssueTexts.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

namespace {

struct Sources : ::testing::Test {
    QList<ScreenIssue> issues;
    ScreenIssueSink sink{QStringLiteral("f.json"), issues};

    QList<CustomScreen::DataSource> parse(const char* json)
    {
        issues.clear();
        const QJsonDocument document = QJsonDocument::fromJson(json);
        return CustomScreen::parseSources(document.isObject() ? QJsonValue(document.object())
                                                              : QJsonValue(document.array()),
                                          sink);
    }

    QStringList texts() const { return issueTexts(issues); }
};

const QString pushNameMessage = QStringLiteral(
    "must be the name values are pushed under with `tarv set <name> <value>`: up to 64 letters, digits, _ . and -");

} // namespace

TEST_F(Sources, AbsentOrNotAnObject)
{
    EXPECT_TRUE(CustomScreen::parseSources(std::nullopt, sink).isEmpty());
    EXPECT_TRUE(issues.isEmpty());
    EXPECT_TRUE(parse("[]").isEmpty());
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E sources: must be an object of named sources")});
}

TEST_F(Sources, NamesAndOrder)
{
    const auto sources = parse(R"({"b": {"shell": "x"}, "_x": {"shell": "x"}, "cpu.load": {"shell": "x"},
                                   "a-b": {"shell": "x"}, "1st": {"shell": "x"}, "cpu load": {"shell": "x"}})");
    QStringList keys;
    for (const auto& s : sources)
        keys.append(s.key);
    EXPECT_EQ(keys, (QStringList{QStringLiteral("_x"), QStringLiteral("a-b"), QStringLiteral("b"),
                                 QStringLiteral("cpu.load")}));
    const QString message =
        QStringLiteral("a source name may use letters, digits, _ . and -, starting with a letter or _");
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("E sources.1st: ") + message,
                                    QStringLiteral("E sources.cpu load: ") + message}));
}

TEST_F(Sources, IntervalsAndDecimals)
{
    auto sources = parse(R"({"a": {"shell": "uptime", "every": 0.5}, "b": {"shell": "uptime"},
                             "c": {"shell": "x", "decimals": 7}, "d": {"shell": "x", "decimals": -1},
                             "e": {"shell": "x", "decimals": 2.5}, "f": {"shell": "x", "decimals": 6, "every": 5}})");
    ASSERT_EQ(sources.size(), 6); // kept, but the errors reject the file
    EXPECT_EQ(sources[1].interval, 60);
    EXPECT_FALSE(sources[1].decimals);
    EXPECT_EQ(sources[5].interval, 5);
    EXPECT_EQ(sources[5].decimals, 6);
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("E sources.a.every: must be at least 1 second"),
                                    QStringLiteral("E sources.c.decimals: must be between 0 and 6"),
                                    QStringLiteral("E sources.d.decimals: must be between 0 and 6"),
                                    QStringLiteral("E sources.e.decimals: must be a whole number")}));
}

TEST_F(Sources, KindsAndUnknownKeys)
{
    EXPECT_TRUE(parse(R"({"s": {"shell": "x", "url": "http://a", "push": "p", "Every": 3}})").isEmpty());
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("W sources.s.Every: is not a setting here and is ignored (known: "
                                                   "decimals, every, expires, field, headers, push, shell, url)"),
                                    QStringLiteral("E sources.s: has \"shell\" and \"url\" and \"push\"; a source is "
                                                   "one of them")}));
    EXPECT_TRUE(parse(R"({"s": {}, "t": 3})").isEmpty());
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("E sources.s: needs \"shell\" (a command), \"url\", or \"push\" (a "
                                                   "name for `tarv set`)"),
                                    QStringLiteral("E sources.t: must be an object")}));
}

TEST_F(Sources, PushSources)
{
    auto sources = parse(R"({"t": {"push": "cpu.temp", "every": 5, "field": "x", "expires": 30}})");
    ASSERT_EQ(sources.size(), 1);
    EXPECT_EQ(sources[0].interval, 5);
    EXPECT_EQ(sources[0].kind, (CustomScreen::DataSource::Kind{
                                   CustomScreen::DataSource::Push{QStringLiteral("cpu.temp"), 30.0}}));
    EXPECT_EQ(texts(), (QStringList{
                           QStringLiteral("W sources.t.field: does not apply to a \"push\" source: nothing is fetched"),
                           QStringLiteral("W sources.t.every: does not apply to a \"push\" source: nothing is fetched")}));

    const QByteArray name64(64, 'n');
    sources = parse(QByteArray(R"({"a": {"push": ")" + name64 + R"("}, "b": {"push": ")" + name64
                               + R"(n"}, "c": {"push": "has blank"}, "d": {"push": 5}, "e": {"push": "1-x.", "expires": 0.5}})")
                        .constData());
    ASSERT_EQ(sources.size(), 2);
    EXPECT_EQ(sources[0].key, QStringLiteral("a"));
    EXPECT_EQ(sources[1].key, QStringLiteral("e"));
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("E sources.b.push: ") + pushNameMessage,
                                    QStringLiteral("E sources.c.push: ") + pushNameMessage,
                                    QStringLiteral("E sources.d.push: must be text in quotes"),
                                    QStringLiteral("E sources.d.push: ") + pushNameMessage,
                                    QStringLiteral("E sources.e.expires: must be at least 1 second")}));

    parse(R"({"s": {"shell": "x", "expires": 3}})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral("W sources.s.expires: only applies to a \"push\" source")});
}

TEST_F(Sources, UrlSources)
{
    auto sources = parse(R"({"a": {"url": "HTTPS://example.com/x?q=1", "field": "main.temp",
                                   "headers": {"Accept": "application/json"}},
                             "b": {"url": "ftp://example.com"}, "c": {"url": "not a url"}, "d": {"url": "http://"},
                             "e": {"url": "http://h", "headers": {"n": 1}}, "f": {"url": 3}})");
    ASSERT_EQ(sources.size(), 2);
    const auto* url = std::get_if<CustomScreen::DataSource::Url>(&sources[0].kind);
    ASSERT_TRUE(url);
    EXPECT_EQ(url->url.host(), QStringLiteral("example.com"));
    EXPECT_EQ(url->field, QStringLiteral("main.temp"));
    EXPECT_EQ(url->headers.value(QStringLiteral("Accept")), QStringLiteral("application/json"));
    const auto* second = std::get_if<CustomScreen::DataSource::Url>(&sources[1].kind);
    ASSERT_TRUE(second);
    EXPECT_TRUE(second->headers.isEmpty());
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("E sources.b.url: must be an http or https URL"),
                                    QStringLiteral("E sources.c.url: must be an http or https URL"),
                                    QStringLiteral("E sources.d.url: must be an http or https URL"),
                                    QStringLiteral("E sources.e.headers: must be an object of strings"),
                                    QStringLiteral("E sources.f.url: must be text in quotes"),
                                    QStringLiteral("E sources.f.url: must be an http or https URL")}));
}

TEST_F(Sources, ShellSources)
{
    auto sources = parse(R"({"a": {"shell": " ls "}, "b": {"shell": " \t "}, "c": {"shell": "x", "headers": {},
                             "field": "y"}})");
    ASSERT_EQ(sources.size(), 2);
    EXPECT_EQ(sources[0].kind, CustomScreen::DataSource::Kind{CustomScreen::DataSource::Shell{QStringLiteral(" ls ")}});
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("E sources.b.shell: must be a command line"),
                                    QStringLiteral("W sources.c.field: only applies to a \"url\" source"),
                                    QStringLiteral("W sources.c.headers: only applies to a \"url\" source")}));
}

TEST_F(Sources, CharactersThatJoinFingerprintsAreRefused)
{
    // Two approved commands rewritten as one would otherwise keep their fingerprint.
    auto sources = parse(R"({"a": {"shell": "sh /H/stats.sh\u0001shell\u0000uptime"},
                             "b": {"shell": "printf 'a\tb\r\n'\nuptime"},
                             "c": {"url": "http://h/x\u0000y"},
                             "d": {"url": "http://h/", "headers": {"X-A=b": "c", "X\u0001": "1", "X-B": "v\u0000"}}})");
    ASSERT_EQ(sources.size(), 2);
    EXPECT_EQ(sources[0].key, QStringLiteral("b"));
    const QString joiner = QStringLiteral("must not hold the control characters U+0000 or U+0001");
    const QString name = QStringLiteral("a header name may use only letters, digits and ! # $ % & ' * + - . ^ _ ` | ~");
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("E sources.a.shell: ") + joiner,
                                    QStringLiteral("E sources.c.url: ") + joiner,
                                    QStringLiteral("E sources.d.headers.X\u0001: ") + name,
                                    QStringLiteral("E sources.d.headers.X-A=b: ") + name,
                                    QStringLiteral("E sources.d.headers.X-B: ") + joiner}));
}

// A header that says where the request goes or where it ends would send it elsewhere than the
// address the user approved, or smuggle a second request in: refused in any letter case, and so
// is any name that is not one plain word, which a server could read as one of them.
TEST_F(Sources, HeadersThatRouteOrFrameTheRequestAreRefusedByName)
{
    const QStringList refused{QStringLiteral("Host"), QStringLiteral("Content-Length"),
                              QStringLiteral("Transfer-Encoding"), QStringLiteral("Connection"),
                              QStringLiteral("Upgrade"), QStringLiteral("TE"), QStringLiteral("Trailer"),
                              QStringLiteral("Proxy-Authorization"), QStringLiteral("Proxy-Connection")};
    const QString tokenRule = QStringLiteral("a header name may use only letters, digits and ! # $ % & ' * + - . ^ _ ` | ~");
    for (const QString& header : refused) {
        for (const QString& name : {header, header.toLower(), header.toUpper()}) {
            const QString path = QStringLiteral("E sources.s.headers.") + name + QStringLiteral(": ");
            parse(QStringLiteral(R"({"s": {"url": "https://example.com/", "headers": {"%1": "v", "X-Api-Key": "k"}}})")
                      .arg(name).toUtf8().constData());
            EXPECT_EQ(texts(), QStringList{path + u'"' + name +
                                           QStringLiteral("\" is not sent from a screen file: it decides where the "
                                                          "request goes or how it is framed")});
            // Written so that a server reads it under that name all the same.
            for (const QString& disguised : {name + u':' + QStringLiteral("x"), name + u' ', u' ' + name, QString()}) {
                parse(QStringLiteral(R"({"s": {"url": "https://example.com/", "headers": {"%1": "v"}}})")
                          .arg(disguised).toUtf8().constData());
                EXPECT_EQ(texts(), QStringList{QStringLiteral("E sources.s.headers.") + disguised +
                                               QStringLiteral(": ") + tokenRule});
            }
        }
    }
    // Sent once whatever the letter case, so given once; a value ends at the line's end.
    parse(R"({"s": {"url": "https://example.com/", "headers": {"X-Api-Key": "a", "x-api-key": "b",
                                                                "X-Note": "a\r\nHost: example.net"}}})");
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("E sources.s.headers.X-Note: must be one line"),
                                    QStringLiteral("E sources.s.headers.x-api-key: \"x-api-key\" is the same header "
                                                   "as \"X-Api-Key\" (letter case does not count); give it once")}));
}

TEST(ResolveKeyTest, LongestSourcePrefixWins)
{
    const QSet<QString> names{QStringLiteral("w"), QStringLiteral("weather"), QStringLiteral("a"),
                              QStringLiteral("a.b")};
    using R = CustomScreen::ResolvedKey;
    EXPECT_EQ(CustomScreen::resolveKey(QStringLiteral("weather"), names), (R{QStringLiteral("weather"), std::nullopt}));
    EXPECT_EQ(CustomScreen::resolveKey(QStringLiteral("weather.temp"), names),
              (R{QStringLiteral("weather"), QStringLiteral("temp")}));
    EXPECT_EQ(CustomScreen::resolveKey(QStringLiteral("w.x"), names), (R{QStringLiteral("w"), QStringLiteral("x")}));
    EXPECT_EQ(CustomScreen::resolveKey(QStringLiteral("a.b.c"), names), (R{QStringLiteral("a.b"), QStringLiteral("c")}));
    EXPECT_EQ(CustomScreen::resolveKey(QStringLiteral("a.bc"), names), (R{QStringLiteral("a"), QStringLiteral("bc")}));
    EXPECT_EQ(CustomScreen::resolveKey(QStringLiteral("w."), names), (R{QStringLiteral("w"), QString()}));
    EXPECT_FALSE(CustomScreen::resolveKey(QStringLiteral("weat"), names));
    EXPECT_FALSE(CustomScreen::resolveKey(QStringLiteral("wx.y"), names));
}

TEST(SourceUsesTest, EveryKindOfUseCounts)
{
    CustomScreen screen;
    for (const char* key : {"cpu", "net", "w", "hist", "url", "unused"}) {
        CustomScreen::DataSource source;
        source.key = QString::fromLatin1(key);
        source.kind = CustomScreen::DataSource::Shell{QStringLiteral("x")};
        screen.sources.append(source);
    }
    CustomScreen::TextWidget text;
    text.text = QStringLiteral("{{cpu}} {{w.temp}} {{nobody}}");
    text.rule = CustomScreen::ColorRule{QStringLiteral("{{w.state}}"), {}, {}};
    CustomScreen::SparklineWidget sparkline;
    sparkline.value = QStringLiteral("{{hist}}");
    CustomScreen::ButtonWidget button;
    button.action = MacroAction::openURL(QStringLiteral("https://x.org/?q={{url.q}}"));
    screen.widgets = {text, sparkline, button};
    screen.conditions[0] = {QStringLiteral("{{net}}"), false};

    EXPECT_EQ(screen.sparklineKeys(), QSet<QString>{QStringLiteral("hist")});
    const auto uses = screen.sourceUses();
    EXPECT_EQ(uses.size(), 5);
    EXPECT_FALSE(uses.contains(QStringLiteral("unused")));
    EXPECT_EQ(uses.value(QStringLiteral("cpu")), (CustomScreen::SourceUse{true, {}}));
    EXPECT_EQ(uses.value(QStringLiteral("w")),
              (CustomScreen::SourceUse{false, {QStringLiteral("temp"), QStringLiteral("state")}}));
    EXPECT_EQ(uses.value(QStringLiteral("url")), (CustomScreen::SourceUse{false, {QStringLiteral("q")}}));
    EXPECT_TRUE(uses.value(QStringLiteral("net")).whole);
    EXPECT_TRUE(uses.value(QStringLiteral("hist")).whole);
}
