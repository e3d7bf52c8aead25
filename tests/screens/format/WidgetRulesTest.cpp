// What all widget types share: the type dispatch, the panel geometry, font sizes, alignment,
// colour and range settings, the checks of shown texts, and colour rules.

#include "WidgetParsing.h"

#include <QJsonArray>

using Rules = WidgetParsing;

TEST_F(Rules, TypeDispatch)
{
    EXPECT_TRUE(entry(R"({"type": "Text", "x": 0, "y": 40, "text": "a"})").isEmpty());
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0].type: \"Text\" is not a widget type; use text, box, "
                                                  "card, bar, button, sprite or sparkline")});
    const QString missing =
        QStringLiteral("E widgets[0]: needs a \"type\": text, box, card, bar, button, sprite or sparkline");
    EXPECT_TRUE(entry(R"({"type": 3})").isEmpty());
    EXPECT_EQ(texts(), QStringList{missing});
    EXPECT_TRUE(entry(R"({"x": 3})").isEmpty());
    EXPECT_EQ(texts(), QStringList{missing});
}

TEST_F(Rules, WarningsKeepTheWidgetErrorsDropIt)
{
    const auto kept = one<CustomScreen::TextWidget>(R"({"type": "text", "x": 0, "y": 40, "text": "a", "zz": 1})");
    ASSERT_TRUE(kept);
    EXPECT_EQ(texts(), QStringList{QStringLiteral("W widgets[0].zz: is not a setting here and is ignored (known: "
                                                  "align, color, colorBy, h, hidden, size, text, type, visible, w, "
                                                  "x, y)")});
    EXPECT_TRUE(entry(R"({"type": "text", "x": 0, "y": 40, "text": "a", "size": 20})").isEmpty());
    EXPECT_EQ(texts(), QStringList{QStringLiteral(
                           "E widgets[0].size: 20 is not a device font size; use 14, 18, 24, 34")});
}

TEST_F(Rules, GeometryAtTheLimits)
{
    EXPECT_TRUE(one<CustomScreen::BoxWidget>(R"({"type": "box", "x": 0, "y": 28, "w": 480, "h": 264})"));
    EXPECT_TRUE(issues.isEmpty());

    entry(R"({"type": "box", "x": 0, "y": 40, "w": 481, "h": 10})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0]: reaches outside the 480 px wide panel (x 0, w 481)")});
    entry(R"({"type": "box", "x": -1, "y": 40, "w": 10, "h": 10})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0]: reaches outside the 480 px wide panel (x -1, w 10)")});
    entry(R"({"type": "box", "x": 0, "y": 27, "w": 10, "h": 10})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0]: overlaps the status bar: y must be at least 28")});
    EXPECT_TRUE(one<CustomScreen::BoxWidget>(R"({"type": "box", "x": 0, "y": 200, "w": 10, "h": 92})"));
    entry(R"({"type": "box", "x": 0, "y": 200, "w": 10, "h": 93})");
    EXPECT_EQ(texts(),
              QStringList{QStringLiteral("E widgets[0]: overlaps the page dots: y + h is 293, the limit is 292")});

    // Each rule is reported once and the others still run.
    entry(R"({"type": "box", "x": 481, "y": 0, "w": 0, "h": 0})");
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("E widgets[0]: w and h must be at least 1"),
                                    QStringLiteral("E widgets[0]: reaches outside the 480 px wide panel (x 481, w 0)"),
                                    QStringLiteral("E widgets[0]: overlaps the status bar: y must be at least 28")}));
}

TEST_F(Rules, RequiredAndWholeNumbers)
{
    entry(R"({"type": "box", "y": 40.5, "w": "10", "h": 18.0})");
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("E widgets[0].x: is missing"),
                                    QStringLiteral("E widgets[0].y: must be a whole number"),
                                    QStringLiteral("E widgets[0].w: must be a number")}));
}

TEST_F(Rules, FontSizesAndAlignment)
{
    auto text = one<CustomScreen::TextWidget>(R"({"type": "text", "x": 0, "y": 40, "text": "a", "size": 18.0})");
    ASSERT_TRUE(text);
    EXPECT_EQ(text->fontSize, 18);

    entry(R"({"type": "text", "x": 0, "y": 40, "text": "a", "size": "18"})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0].size: must be a number")});

    entry(R"({"type": "text", "x": 0, "y": 40, "w": 100, "text": "a", "align": "Center"})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral(
                           "E widgets[0].align: \"Center\" is not an alignment; use left, center or right")});
    text = one<CustomScreen::TextWidget>(R"({"type": "text", "x": 0, "y": 40, "w": 100, "text": "a", "align": "center"})");
    ASSERT_TRUE(text);
    EXPECT_EQ(text->alignment, CustomScreen::Alignment::center);
}

TEST_F(Rules, ColourAndRangeSettings)
{
    entry(R"({"type": "box", "x": 0, "y": 40, "w": 10, "h": 10, "bg": 5, "radius": 161, "borderWidth": -1})");
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("E widgets[0].bg: must be text in quotes"),
                                    QStringLiteral("E widgets[0].bg: must be \"#RRGGBB\" or a design colour: ")
                                        + designColourNames,
                                    QStringLiteral("E widgets[0].borderWidth: must be between 0 and 16"),
                                    QStringLiteral("E widgets[0].radius: must be between 0 and 160")}));
    const auto box = one<CustomScreen::BoxWidget>(
        R"({"type": "box", "x": 0, "y": 40, "w": 10, "h": 10, "bg": "Accent", "border": "#00ff7F", "radius": 160, "borderWidth": 16})");
    ASSERT_TRUE(box);
    EXPECT_EQ(box->background, 0xFFB020u);
    EXPECT_EQ(box->border, 0x00FF7Fu);
    EXPECT_EQ(box->radius, 160);
    EXPECT_EQ(box->borderWidth, 16);
}

TEST_F(Rules, ShownTextPlaceholders)
{
    entry(R"({"type": "text", "x": 0, "y": 40, "text": "{{gpu}} {{cpu}} {{gpu}} {{cpu.load}}"})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0].text: {{gpu}} is not a source in this file")});

    entry(R"({"type": "text", "x": 0, "y": 40, "text": "{{ cpu}"})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral(
                           "W widgets[0].text: has \"{{\" but no valid {{key}}; it will be shown as written")});
}

TEST_F(Rules, ShownTextLength)
{
    const QByteArray letters64(64, 'a');
    const QByteArray object = R"({"type": "text", "x": 0, "y": 40, "text": ")";
    entry(object + letters64 + "\"}");
    EXPECT_TRUE(issues.isEmpty());
    entry(object + letters64 + "b\"}");
    EXPECT_EQ(texts(), QStringList{QStringLiteral(
                           "W widgets[0].text: is longer than 64 characters and will be cut")});
    // Blanks around the text do not count; a text with a value is never measured.
    entry(object + "   " + letters64 + "   \"}");
    EXPECT_TRUE(issues.isEmpty());
    entry(object + QByteArray(100, 'a') + "{{cpu}}\"}");
    EXPECT_TRUE(issues.isEmpty());
    // Characters, not UTF-16 units: 64 flags (four units each) are 64 characters.
    QByteArray flags;
    for (int i = 0; i < 64; ++i)
        flags += "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7";
    entry(object + flags + "\"}");
    EXPECT_FALSE(texts().join(u'|').contains(QStringLiteral("longer"))) << texts().join(u'|').toStdString();
}

TEST_F(Rules, ShownTextGlyphs)
{
    // A CJK character has no glyph and no ASCII fold; each distinct one is named once, in order.
    entry(R"({"type": "text", "x": 0, "y": 40, "text": "{{cpu}} 中 文 中"})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral(
                           "W widgets[0].text: the device font has no glyph for 中 文; each is drawn as an empty box")});
    // Folded characters draw fine.
    entry(R"({"type": "text", "x": 0, "y": 40, "text": "Café – 20 °C"})");
    EXPECT_TRUE(issues.isEmpty()) << texts().join(u'|').toStdString();
}

TEST_F(Rules, ColourLists)
{
    auto text = one<CustomScreen::TextWidget>(
        R"({"type": "text", "x": 0, "y": 40, "text": "{{cpu}}", "color": [{"at": 80, "color": "down"}, {"at": 0, "color": "up"}, {"is": "  Hot \t", "color": "#FF0000"}, {"at": 0, "color": "text"}]})");
    ASSERT_TRUE(text);
    EXPECT_TRUE(issues.isEmpty()) << texts().join(u'|').toStdString();
    ASSERT_TRUE(text->rule);
    EXPECT_EQ(text->color, 0xF2F4F6u);
    EXPECT_EQ(text->rule->stops, (QList<CustomScreen::ColorStop>{{0, 0x3FBF6F}, {0, 0xF2F4F6}, {80, 0xE5484D}}));
    EXPECT_EQ(text->rule->matches, (QList<CustomScreen::ColorRule::Match>{{QStringLiteral("hot"), 0xFF0000}}));

    entry(R"({"type": "text", "x": 0, "y": 40, "text": "{{cpu}}", "color": [{"at": 1, "is": "x", "color": "up"}, {"at": 1}, 3, {"is": "x", "color": "nope"}, {"color": "up"}]})");
    const QString needsEither = QStringLiteral(
        "needs either \"at\" (a number: this colour from there up) or \"is\" (a word: this colour when the value is "
        "exactly that)");
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("E widgets[0].color[0]: ") + needsEither,
                                    QStringLiteral("E widgets[0].color[1].color: is missing"),
                                    QStringLiteral("E widgets[0].color[2]: must be an object"),
                                    QStringLiteral("E widgets[0].color[3].color: must be \"#RRGGBB\" or a design "
                                                   "colour: ") + designColourNames,
                                    QStringLiteral("E widgets[0].color[4]: ") + needsEither}));

    entry(R"({"type": "text", "x": 0, "y": 40, "text": "{{cpu}}", "color": []})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0].color: is an empty list; give a colour, or { \"at\" | "
                                                  "\"is\", \"color\" } entries")});
}

TEST_F(Rules, ColourRuleWarnings)
{
    auto text = one<CustomScreen::TextWidget>(
        R"({"type": "text", "x": 0, "y": 40, "text": "{{cpu}}", "colorBy": "{{cpu}}", "color": "accent"})");
    ASSERT_TRUE(text);
    EXPECT_EQ(texts(), QStringList{QStringLiteral("W widgets[0].colorBy: does nothing without a \"color\" list for it "
                                                  "to pick from")});
    EXPECT_EQ(text->color, 0xFFB020u);
    EXPECT_FALSE(text->rule);

    text = one<CustomScreen::TextWidget>(
        R"({"type": "text", "x": 0, "y": 40, "text": "fixed", "color": [{"at": 0, "color": "up"}]})");
    ASSERT_TRUE(text);
    EXPECT_EQ(texts(), QStringList{QStringLiteral("W widgets[0].color: follows the text, which never changes; add "
                                                  "\"colorBy\": \"{{key}}\" or put the {{key}} in the text")});

    text = one<CustomScreen::TextWidget>(
        R"({"type": "text", "x": 0, "y": 40, "text": "fixed", "colorBy": "{{net.state}}", "color": [{"is": "up", "color": "up"}]})");
    ASSERT_TRUE(text);
    EXPECT_TRUE(issues.isEmpty()) << texts().join(u'|').toStdString();
    ASSERT_TRUE(text->rule);
    EXPECT_EQ(text->rule->by, QStringLiteral("{{net.state}}"));

    entry(R"({"type": "text", "x": 0, "y": 40, "text": "{{cpu}}", "colorBy": "cpu", "color": [{"at": 0, "color": "up"}]})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral(
                           "E widgets[0].colorBy: must hold a {{key}}: the value the colour follows")});
    entry(R"({"type": "text", "x": 0, "y": 40, "text": "{{cpu}}", "colorBy": "{{gpu}}", "color": [{"at": 0, "color": "up"}]})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0].colorBy: {{gpu}} is not a source in this file")});
}

TEST(ColorStopsTest, SortIsStable)
{
    QList<CustomScreen::ColorStop> stops;
    for (int i = 0; i < 40; ++i)
        stops.append({double((i * 7) % 5), std::uint32_t(i)});
    CustomScreen::sortColorStops(stops);
    for (qsizetype i = 1; i < stops.size(); ++i) {
        ASSERT_LE(stops[i - 1].at, stops[i].at);
        if (stops[i - 1].at == stops[i].at) {
            EXPECT_LT(stops[i - 1].color, stops[i].color);
        }
    }
}
