// The file level of a screen file: what ends a parse, the top-level keys, title, background,
// widget list and conditions, and the order the issues come in.

#include "screens/format/CustomScreen.h"
#include "IssueTexts.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

namespace {

struct Parse : ::testing::Test {
    QList<ScreenIssue> issues;

    std::optional<CustomScreen> parse(const QByteArray& data)
    {
        return CustomScreen::parse(data, QStringLiteral("system"), QStringLiteral("system.json"), issues);
    }

    QStringList texts() const { return issueTexts(issues); }
};


} // namespace

TEST_F(Parse, NotJsonEndsTheParse)
{
    EXPECT_FALSE(parse(QByteArray()));
    ASSERT_EQ(issues.size(), 1);
    EXPECT_TRUE(issues[0].path.isEmpty());
    EXPECT_EQ(issues[0].file, QStringLiteral("system.json"));
    EXPECT_TRUE(issues[0].message.startsWith(QStringLiteral("not valid JSON: ")));
    EXPECT_GT(issues[0].message.size(), QStringLiteral("not valid JSON: ").size());

    issues.clear();
    EXPECT_FALSE(parse(R"({"widgets": [} )"));
    ASSERT_EQ(issues.size(), 1);
    EXPECT_TRUE(issues[0].message.startsWith(QStringLiteral("not valid JSON: ")));
}

TEST_F(Parse, NotJsonSaysWhereTheParserStopped)
{
    // One comma missing at the end of line 6: the parser stops at the widget that follows it.
    EXPECT_FALSE(parse("{\n"
                       "  \"title\": \"System\",\n"
                       "  \"background\": \"#101010\",\n"
                       "  \"widgets\": [\n"
                       "  {\"type\": \"text\", \"text\": \"CPU\", \"x\": 10, \"y\": 10},\n"
                       "  {\"type\": \"text\", \"text\": \"GPU\", \"x\": 10, \"y\": 40}\n"
                       "  {\"type\": \"text\", \"text\": \"RAM\", \"x\": 10, \"y\": 70}\n"
                       "  ]\n"
                       "}\n"));
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E not valid JSON: missing value separator at line 7, column 3")});

    // Columns count characters as an editor does: "é" and "ö" are one each, a tab is one.
    issues.clear();
    EXPECT_FALSE(parse("{\n\t\"title\": \"héllo wörld\" \"widgets\": []}"));
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E not valid JSON: unterminated object at line 2, column 25")});
}

TEST_F(Parse, TopLevelMustBeAnObject)
{
    // Qt's own parser refuses bare values; they are still JSON, only not an object.
    for (const char* data : {"[1, 2]", "5", " \"text\" ", "null", "true"}) {
        issues.clear();
        EXPECT_FALSE(parse(data)) << data;
        EXPECT_EQ(texts(), QStringList{QStringLiteral("E the file must hold a JSON object with \"widgets\"")})
            << data;
    }
    issues.clear();
    EXPECT_FALSE(parse("5 6"));
    ASSERT_EQ(issues.size(), 1);
    EXPECT_TRUE(issues[0].message.startsWith(QStringLiteral("not valid JSON: ")));
}

TEST_F(Parse, EmptyObject)
{
    const auto screen = parse("{}");
    ASSERT_TRUE(screen);
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets: is missing")});
    EXPECT_EQ(screen->id, QStringLiteral("system"));
    EXPECT_EQ(screen->title, QStringLiteral("system"));
    EXPECT_EQ(screen->background, 0x0A0B0Cu);
    EXPECT_TRUE(screen->widgets.isEmpty());
}

TEST_F(Parse, UnknownTopLevelKey)
{
    ASSERT_TRUE(parse(R"({"Title": "x", "widgets": []})"));
    EXPECT_EQ(texts(), QStringList{QStringLiteral("W Title: is not a setting here and is ignored (known: "
                                                  "background, sources, title, widgets)")});
}

TEST_F(Parse, Titles)
{
    const QString fifty = QString(50, u'x');
    auto screen = parse(QJsonDocument(QJsonObject{{"title", fifty}, {"widgets", QJsonArray()}}).toJson());
    ASSERT_TRUE(screen);
    EXPECT_EQ(screen->title, QString(40, u'x'));

    // Forty characters, not forty UTF-16 units: each flag is four units.
    QString flags;
    for (int i = 0; i < 45; ++i)
        flags += QStringLiteral("\U0001F1F8\U0001F1EA");
    screen = parse(QJsonDocument(QJsonObject{{"title", flags}, {"widgets", QJsonArray()}}).toJson());
    ASSERT_TRUE(screen);
    EXPECT_EQ(screen->title, flags.left(40 * 4));

    screen = parse(R"({"title": 7, "widgets": []})");
    ASSERT_TRUE(screen);
    EXPECT_EQ(screen->title, QStringLiteral("system"));
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E title: must be text in quotes")});
}

TEST_F(Parse, ATitleIsOneLineAndTheFileStillLoads)
{
    const auto screen = parse(R"({"title": "Clock\tCtrl+Q\nfake\u001b]0;x\u0007", "widgets": []})");
    ASSERT_TRUE(screen);
    EXPECT_EQ(screen->title, QStringLiteral("Clock Ctrl+Q fake ]0;x "));
    EXPECT_EQ(texts(), QStringList());
}

TEST_F(Parse, Backgrounds)
{
    EXPECT_EQ(parse(R"({"background": "Accent", "widgets": []})")->background, 0xFFB020u);
    EXPECT_EQ(parse(R"({"background": "#ffb020", "widgets": []})")->background, 0xFFB020u);
    EXPECT_TRUE(issues.isEmpty());

    for (const char* data : {R"({"background": "#FFB02", "widgets": []})", R"({"background": "FFB020", "widgets": []})"}) {
        issues.clear();
        EXPECT_EQ(parse(data)->background, 0x0A0B0Cu);
        EXPECT_EQ(texts(), QStringList{QStringLiteral("E background: must be \"#RRGGBB\" or a design colour: ")
                                       + designColourNames});
    }
    issues.clear();
    EXPECT_EQ(parse(R"({"background": 5, "widgets": []})")->background, 0x0A0B0Cu);
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("E background: must be text in quotes"),
                                    QStringLiteral("E background: must be \"#RRGGBB\" or a design colour: ")
                                        + designColourNames}));
}

TEST_F(Parse, WidgetListShapes)
{
    parse(R"({"widgets": {}})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets: must be an array")});
    issues.clear();
    parse(R"({"widgets": [1, {"type": "text"}, "x"]})");
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("E widgets[0]: must be an object"),
                                    QStringLiteral("E widgets[1].x: is missing"),
                                    QStringLiteral("E widgets[2]: must be an object")}));
}

TEST_F(Parse, IssuesComeInFileOrder)
{
    parse(R"({"zzz": 1, "title": false, "background": "nope",
              "sources": {"cpu": {"shell": "uptime"}, "bad name": {}}, "widgets": 3})");
    EXPECT_EQ(texts(),
              (QStringList{QStringLiteral("W zzz: is not a setting here and is ignored (known: background, sources, "
                                          "title, widgets)"),
                           QStringLiteral("E title: must be text in quotes"),
                           QStringLiteral("E background: must be \"#RRGGBB\" or a design colour: ") + designColourNames,
                           QStringLiteral("E sources.bad name: a source name may use letters, digits, _ . and -, "
                                          "starting with a letter or _"),
                           QStringLiteral("E widgets: must be an array"),
                           QStringLiteral("W sources.cpu: is not used by any widget, so it is never fetched")}));
}

TEST_F(Parse, LoneSurrogateInAStringKeepsItsPlaceholders)
{
    // Qt's parser would hand the escape on as a lone UTF-16 unit, on which no placeholder matches.
    const auto screen = parse(R"({"sources": {"cpu": {"shell": "x"}},
                                  "widgets": [{"type": "text", "x": 8, "y": 40, "text": "\ud800 {{cpu}}"}]})");
    ASSERT_TRUE(screen);
    const CustomScreen::TextWidget widget = std::get<CustomScreen::TextWidget>(screen->widgets.value(0));
    EXPECT_EQ(widget.text, QStringLiteral("\uFFFD {{cpu}}"));
    EXPECT_EQ(screen->usedKeys(), QSet<QString>{QStringLiteral("cpu")});
}

TEST(ConditionTest, Rules)
{
    QList<ScreenIssue> issues;
    ScreenIssueSink sink{QStringLiteral("f.json"), issues};
    const QSet<QString> sources{QStringLiteral("net"), QStringLiteral("w")};
    const auto read = [&](const char* json) {
        issues.clear();
        return CustomScreen::parseCondition(QJsonDocument::fromJson(json).object(), QStringLiteral("widgets[0]"),
                                            sources, sink);
    };

    EXPECT_FALSE(read(R"({"type": "text"})"));
    EXPECT_TRUE(issues.isEmpty());

    EXPECT_FALSE(read(R"({"visible": "{{net}}", "hidden": "{{net}}"})"));
    ASSERT_EQ(issues.size(), 1);
    EXPECT_EQ(issues[0].displayText(), QStringLiteral("widgets[0]: has both \"visible\" and \"hidden\"; use one"));

    EXPECT_FALSE(read(R"({"visible": "on"})"));
    ASSERT_EQ(issues.size(), 1);
    EXPECT_EQ(issues[0].displayText(),
              QStringLiteral("widgets[0].visible: must hold a {{key}}: the value that says yes or no (no is empty, 0, "
                             "false, no, off, none, null, or not arrived yet)"));

    EXPECT_FALSE(read(R"({"hidden": 1})"));
    ASSERT_EQ(issues.size(), 1);
    EXPECT_EQ(issues[0].displayText(), QStringLiteral("widgets[0].hidden: must be text in quotes"));

    const auto kept = read(R"({"hidden": "{{zz}} {{w.up}} {{ab}} {{zz}} {{net}}"})");
    ASSERT_TRUE(kept);
    EXPECT_TRUE(kept->hidesWhenTrue);
    EXPECT_EQ(kept->templateText, QStringLiteral("{{zz}} {{w.up}} {{ab}} {{zz}} {{net}}"));
    ASSERT_EQ(issues.size(), 2);
    EXPECT_EQ(issues[0].displayText(), QStringLiteral("widgets[0].hidden: {{ab}} is not a source in this file"));
    EXPECT_EQ(issues[1].displayText(), QStringLiteral("widgets[0].hidden: {{zz}} is not a source in this file"));

    const auto visible = read(R"({"visible": "{{ net }}"})");
    ASSERT_TRUE(visible);
    EXPECT_FALSE(visible->hidesWhenTrue);
    EXPECT_TRUE(issues.isEmpty());
}

TEST(ConditionTest, Shows)
{
    const CustomScreen::Condition visible{QStringLiteral("{{up}}"), false};
    const CustomScreen::Condition hidden{QStringLiteral("{{up}}"), true};
    EXPECT_FALSE(visible.shows({}));
    EXPECT_TRUE(hidden.shows({}));
    EXPECT_TRUE(visible.shows({{QStringLiteral("up"), QStringLiteral("yes")}}));
    EXPECT_FALSE(hidden.shows({{QStringLiteral("up"), QStringLiteral("yes")}}));
}

TEST(NodeCountTest, PerWidget)
{
    CustomScreen screen;
    CustomScreen::ButtonWidget button;
    button.label = QStringLiteral("Go");
    button.icon = DeviceIcon(DeviceIcon::play);
    for (int i = 0; i < 30; ++i)
        screen.widgets.append(button);
    EXPECT_EQ(screen.nodeCount(), 90);

    CustomScreen bare;
    bare.widgets.append(CustomScreen::ButtonWidget{});
    EXPECT_EQ(bare.nodeCount(), 1);
    bare.widgets.append(CustomScreen::BarWidget{});
    bare.widgets.append(CustomScreen::TextWidget{});
    bare.widgets.append(CustomScreen::BoxWidget{});
    EXPECT_EQ(bare.nodeCount(), 5);

    CustomScreen line;
    CustomScreen::SparklineWidget sparkline;
    sparkline.points = 60;
    line.widgets.append(sparkline);
    EXPECT_EQ(line.nodeCount(), 120);
}
