// The file level of a screen file: what ends a parse, the top-level keys, title, background,
// widget list and conditions, and the order the issues come in.

#include "screens/format/CustomScreen.h"
#include "screens/format/ScreenTemplate.h"
#include "IssueTexts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

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

TEST_F(Parse, NotJsonNamesTheCharacterWhereTheFileGoesWrong)
{
    // A comma missing at the end of line 7: the widget on line 8 is where it goes wrong.
    const QByteArray missingComma = "{\n"
                                    "  \"title\": \"System\",\n"
                                    "  \"widgets\": [\n"
                                    "    {\"type\": \"text\", \"text\": \"CPU\", \"x\": 10, \"y\": 40},\n"
                                    "    {\"type\": \"text\", \"text\": \"GPU\", \"x\": 10, \"y\": 60},\n"
                                    "    {\"type\": \"text\", \"text\": \"RAM\", \"x\": 10, \"y\": 80},\n"
                                    "    {\"type\": \"text\", \"text\": \"NET\", \"x\": 10, \"y\": 100}\n"
                                    "    {\"type\": \"text\", \"text\": \"DISK\", \"x\": 10, \"y\": 120}\n"
                                    "  ]\n"
                                    "}\n";
    // A comma after the last widget: the comma is the mistake, not the bracket after it.
    const QByteArray strayComma = "{\n"
                                  "  \"widgets\": [\n"
                                  "  {\"type\": \"text\", \"text\": \"CPU\", \"x\": 10, \"y\": 40\n"
                                  "  },\n"
                                  "  ]\n"
                                  "}\n";
    const struct {
        QByteArray data;
        QString message;
    } cases[] = {
        {missingComma, QStringLiteral("line 8, column 5: a comma or ] is missing here")},
        {strayComma, QStringLiteral("line 4, column 4: a comma here has no value after it")},
        {R"({"a":1}})", QStringLiteral("line 1, column 8: text after the end of the document")},
        {R"({"title": "A" "widgets": []})", QStringLiteral("line 1, column 15: a comma or } is missing here")},
        {R"({"title": "A",})", QStringLiteral("line 1, column 14: a comma here has no member after it")},
        {R"({"title" "A"})", QStringLiteral("line 1, column 10: a colon is missing here")},
        {R"({title: "A"})", QStringLiteral("line 1, column 2: a name in double quotes should start here")},
        {R"({'title': 'A'})", QStringLiteral("line 1, column 2: names and texts are written in double quotes")},
        {R"({"x": , "y": 1})", QStringLiteral("line 1, column 7: a value is missing here")},
        {R"({"x": yes})", QStringLiteral("line 1, column 7: a value should start here: a text in double quotes, "
                                         "a number, true, false, null, [ or {")},
        {R"({"x": True})", QStringLiteral("line 1, column 7: true, false and null are written in small letters")},
        {R"({"x": 012})", QStringLiteral("line 1, column 8: a number does not go on after a leading 0")},
        // The first place the text leaves standard JSON is named, also where Qt's reader would
        // have let it pass and stumbled only on the extra brace at the end.
        {R"({"x": 1.}})", QStringLiteral("line 1, column 9: a digit is missing here")},
        {R"({"x": 1e999})", QStringLiteral("line 1, column 7: this number is too large or too small")},
        {R"({"x": "a\qb"}})", QStringLiteral("line 1, column 9: a backslash here starts no escape; a backslash "
                                            "itself is written \\\\")},
        {R"({"x": "\u00e"})", QStringLiteral("line 1, column 8: \\u needs four hexadecimal digits after it")},
        {"{\"x\": \"a\tb\"}}", QStringLiteral("line 1, column 9: a control character inside quotes must be "
                                              "written as an escape, such as \\t for a tab")},
        {"{\"x\": \"ab\n\"}}", QStringLiteral("line 1, column 10: a closing quote is missing before the end of "
                                              "this line")},
        {"{\"x\": \"\xff\"}", QStringLiteral("line 1, column 8: this is not UTF-8 text")},
        {"{\"x\": \"abc}", QStringLiteral("line 1, column 7: the file ends before the text in quotes that starts "
                                          "here is closed")},
        {"{\"widgets\": [\n", QStringLiteral("line 1, column 13: the file ends before this [ is closed")},
        {" \n\t", QStringLiteral("line 1, column 1: the file is empty")},
        // Columns count characters as an editor does: "é" and "ö" are one each, a tab is one,
        // and a byte-order mark none.
        {"\xEF\xBB\xBF{\n\t\"title\": \"h\xC3\xA9llo w\xC3\xB6rld\" \"widgets\": []}",
         QStringLiteral("line 2, column 25: a comma or } is missing here")},
    };
    for (const auto& c : cases) {
        issues.clear();
        EXPECT_FALSE(parse(c.data)) << c.data.toStdString();
        EXPECT_EQ(texts(), QStringList{QStringLiteral("E not valid JSON: ") + c.message}) << c.data.toStdString();
    }
}

// Every text Qt refuses gets a place and plain words, not only the ones above: each one-character
// slip in a sample file.
TEST_F(Parse, EveryTextThatIsNotJsonGetsAPlaceInPlainWords)
{
    const QByteArray sample = ScreenTemplate::all().first().json.toUtf8();
    const QByteArray slips = ",:{}[]\"'\\ 0.-etx\n";
    qsizetype refused = 0;
    const auto check = [&](const QByteArray& data) {
        if (!QJsonDocument::fromJson('[' + data + ']').isNull())
            return;
        ++refused;
        issues.clear();
        EXPECT_FALSE(parse(data));
        ASSERT_EQ(issues.size(), 1) << data.toStdString();
        // Qt's own words are never the ones shown.
        static const QRegularExpression place(QStringLiteral("^not valid JSON: line \\d+, column \\d+: [a-z\\\\]"));
        EXPECT_TRUE(place.match(issues[0].message).hasMatch()) << issues[0].message.toStdString();
        for (const char* qtWords : {"separator", "garbage", "unterminated", "illegal"})
            EXPECT_FALSE(issues[0].message.contains(QLatin1String(qtWords))) << issues[0].message.toStdString();
    };
    for (qsizetype i = 0; i < sample.size(); ++i) {
        check(QByteArray(sample).remove(i, 1));
        for (const char slip : slips)
            check(QByteArray(sample).insert(i, slip));
    }
    EXPECT_GT(refused, sample.size());
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

// A widget with an error is dropped, but the sources it names are not unused: saying so would
// send the user after the wrong mistake. A source nothing names, or only a key that is ignored,
// still is.
TEST_F(Parse, OnlySourcesThatNoWidgetNamesAreUnused)
{
    parse(R"({"sources": {"cpu": {"shell": "a"}, "gpu": {"shell": "b"}, "net": {"shell": "c"},
                          "idle": {"shell": "d"}, "up": {"shell": "e"}},
              "widgets": [{"type": "text", "x": 12, "y": 10, "text": "CPU {{cpu}}"},
                          {"type": "card", "x": 8, "y": 62, "w": 148, "h": 96, "caption": "", "value": "{{gpu.temp}}"},
                          {"type": "text", "x": 12, "y": 40, "text": "Net", "visible": "{{net}}", "hidden": "{{net}}"},
                          {"type": "text", "x": 12, "y": 200, "text": "Up {{up}}", "txt": "{{idle}}"}]})");
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("E widgets[0]: overlaps the status bar: y must be at least 28"),
                                    QStringLiteral("E widgets[1].caption: is empty; leave it out for a card without "
                                                   "one"),
                                    QStringLiteral("E widgets[2]: has both \"visible\" and \"hidden\"; use one"),
                                    QStringLiteral("W widgets[3].txt: is not a setting here and is ignored (known: "
                                                   "align, color, colorBy, h, hidden, size, text, type, visible, w, x, "
                                                   "y)"),
                                    QStringLiteral("W sources.idle: is not used by any widget, so it is never "
                                                   "fetched")}));
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
