// Text, card and box widgets: defaults, the card's expansion and height rules, box frames.

#include "WidgetParsing.h"

#include "device/MontserratMetrics.h"

using TextWidgets = WidgetParsing;

namespace {

int lineHeight(int size)
{
    return MontserratMetrics::fontForSize(size).lineHeight();
}

} // namespace

TEST_F(TextWidgets, TextDefaults)
{
    const auto text = one<CustomScreen::TextWidget>(R"({"type": "text", "x": 12, "y": 37, "text": " Hi {{cpu}} "})");
    ASSERT_TRUE(text);
    EXPECT_TRUE(issues.isEmpty()) << texts().join(u'|').toStdString();
    EXPECT_EQ(text->text, QStringLiteral(" Hi {{cpu}} ")); // kept as written
    EXPECT_EQ(text->fontSize, 14);
    EXPECT_EQ(text->height, lineHeight(14));
    EXPECT_FALSE(text->width);
    EXPECT_EQ(text->color, 0xF2F4F6u);
    EXPECT_EQ(text->alignment, CustomScreen::Alignment::left);
    EXPECT_FALSE(text->rule);

    const auto big = one<CustomScreen::TextWidget>(R"({"type": "text", "x": 12, "y": 37, "text": "a", "size": 24})");
    ASSERT_TRUE(big);
    EXPECT_EQ(big->height, lineHeight(24));
}

TEST_F(TextWidgets, TextWidthForAlignment)
{
    entry(R"({"type": "text", "x": 12, "y": 37, "text": "a", "align": "right"})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0].w: is needed to align text right: it is the column "
                                                  "the text is aligned within")});
    EXPECT_TRUE(one<CustomScreen::TextWidget>(R"({"type": "text", "x": 12, "y": 37, "w": 200, "text": "a", "align": "right"})"));
    // Without a width the text may run to the panel's edge, and no further.
    EXPECT_TRUE(one<CustomScreen::TextWidget>(R"({"type": "text", "x": 479, "y": 37, "text": "a"})"));
    entry(R"({"type": "text", "x": 480, "y": 37, "text": "a"})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0]: reaches outside the 480 px wide panel (x 480, w 1)")});
}

TEST_F(TextWidgets, TextMissingOrEmpty)
{
    for (const char* json : {R"({"type": "text", "x": 0, "y": 40})", R"({"type": "text", "x": 0, "y": 40, "text": "   "})",
                             R"({"type": "text", "x": 0, "y": 40, "text": "\n\t"})"}) {
        EXPECT_TRUE(entry(json).isEmpty());
        EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0].text: is missing or empty")}) << json;
    }
    // Geometry stops nothing but a missing x or y does.
    entry(R"({"type": "text", "y": 0, "text": "a"})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0].x: is missing")});
}

TEST_F(TextWidgets, CardExpansionStacked)
{
    const QList<CustomScreen::Widget> card =
        entry(R"({"type": "card", "x": 8, "y": 62, "w": 148, "h": 96, "caption": "CPU", "value": "{{cpu}}%"})");
    EXPECT_TRUE(issues.isEmpty()) << texts().join(u'|').toStdString();
    ASSERT_EQ(card.size(), 3);
    const auto& box = std::get<CustomScreen::BoxWidget>(card[0]);
    EXPECT_EQ(box.rect, (CustomScreen::Rect{8, 62, 148, 96}));
    EXPECT_EQ(box.background, 0x15171Au);
    EXPECT_EQ(box.border, 0x2A2E34u);
    EXPECT_EQ(box.borderWidth, 1);
    EXPECT_EQ(box.radius, 8);

    const auto& caption = std::get<CustomScreen::TextWidget>(card[1]);
    EXPECT_EQ(caption.x, 20);
    EXPECT_EQ(caption.y, 72);
    EXPECT_EQ(caption.width, 124);
    EXPECT_EQ(caption.color, 0x6B747Eu);
    EXPECT_EQ(caption.fontSize, 14);

    const auto& value = std::get<CustomScreen::TextWidget>(card[2]);
    EXPECT_EQ(value.fontSize, 34); // h 96 >= 80
    EXPECT_EQ(value.x, 20);
    EXPECT_EQ(value.y, 62 + 96 - 14 - lineHeight(34));
    EXPECT_EQ(value.width, 124);
    EXPECT_EQ(value.height, lineHeight(34));
    EXPECT_EQ(value.alignment, CustomScreen::Alignment::right);
}

TEST_F(TextWidgets, CardSideBySide)
{
    const QList<CustomScreen::Widget> card =
        entry(R"({"type": "card", "x": 8, "y": 168, "w": 228, "h": 60, "caption": "DISK {{cpu}}", "value": "{{disk}}"})");
    ASSERT_EQ(card.size(), 0); // {{disk}} is no source
    sources.insert(QStringLiteral("disk"));
    const QList<CustomScreen::Widget> beside =
        entry(R"({"type": "card", "x": 8, "y": 168, "w": 228, "h": 60, "caption": "DISK {{cpu}}", "value": "{{disk}}"})");
    ASSERT_EQ(beside.size(), 3);
    const int captionWidth = MontserratMetrics::textWidth(u"DISK --", 14);
    const auto& caption = std::get<CustomScreen::TextWidget>(beside[1]);
    EXPECT_EQ(caption.y, 168 + (60 - lineHeight(14)) / 2);
    EXPECT_EQ(caption.width, captionWidth);
    const auto& value = std::get<CustomScreen::TextWidget>(beside[2]);
    EXPECT_EQ(value.fontSize, 24);
    EXPECT_EQ(value.x, 8 + 12 + captionWidth + 12);
    EXPECT_EQ(value.y, 168 + (60 - lineHeight(24)) / 2);
    EXPECT_EQ(value.width, 228 - 24 - (captionWidth + 12));
}

TEST_F(TextWidgets, CardSizes)
{
    auto valueOf = [](const QList<CustomScreen::Widget>& card) { return std::get<CustomScreen::TextWidget>(card.last()); };
    auto card = entry(R"({"type": "card", "x": 8, "y": 40, "w": 140, "h": 80, "value": "1"})");
    ASSERT_FALSE(card.isEmpty());
    EXPECT_EQ(valueOf(card).fontSize, 34);
    card = entry(R"({"type": "card", "x": 8, "y": 40, "w": 140, "h": 79, "value": "1"})");
    ASSERT_FALSE(card.isEmpty());
    EXPECT_EQ(valueOf(card).fontSize, 24);

    // Without a caption: the value's line height + 26.
    const int low = lineHeight(24) + 26;
    EXPECT_FALSE(entry(QStringLiteral(R"({"type": "card", "x": 8, "y": 40, "w": 140, "h": %1, "value": "1"})")
                           .arg(low).toUtf8().constData()).isEmpty());
    EXPECT_TRUE(entry(QStringLiteral(R"({"type": "card", "x": 8, "y": 40, "w": 140, "h": %1, "value": "1"})")
                          .arg(low - 1).toUtf8().constData()).isEmpty());
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0].h: must be at least %1 for a 24 px value").arg(low)});

    // With a caption the minimum drops to line height + 12 and the message names the stacked height.
    const int beside = lineHeight(24) + 12;
    const int stacked = lineHeight(14) + lineHeight(24) + 26;
    EXPECT_FALSE(entry(QStringLiteral(R"({"type": "card", "x": 8, "y": 40, "w": 140, "h": %1, "caption": "A", "value": "1"})")
                           .arg(beside).toUtf8().constData()).isEmpty());
    EXPECT_TRUE(entry(QStringLiteral(R"({"type": "card", "x": 8, "y": 40, "w": 140, "h": %1, "caption": "A", "value": "1"})")
                          .arg(beside - 1).toUtf8().constData()).isEmpty());
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0].h: must be at least %1 for a 24 px value beside its "
                                                  "caption (%2 to stack them)").arg(beside).arg(stacked)});

    EXPECT_TRUE(entry(R"({"type": "card", "x": 8, "y": 40, "w": 31, "h": 80, "value": "1"})").isEmpty());
    EXPECT_EQ(texts().value(0), QStringLiteral("E widgets[0].w: must be at least 32"));
}

TEST_F(TextWidgets, CardErrorsDropEverything)
{
    EXPECT_TRUE(entry(R"({"type": "card", "x": 8, "y": 40, "w": 140, "h": 80, "caption": "", "value": "1"})").isEmpty());
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0].caption: is empty; leave it out for a card without one")});

    EXPECT_TRUE(entry(R"({"type": "card", "x": 8, "y": 40, "w": 140, "h": 80, "value": " "})").isEmpty());
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0].value: is missing or empty: the text along the card's "
                                                  "bottom edge, usually a {{key}}")});

    // A bad colour late in the card still drops the box and caption made before it.
    EXPECT_TRUE(entry(R"({"type": "card", "x": 8, "y": 40, "w": 140, "h": 80, "caption": "A", "value": "1", "captionColor": "nope"})").isEmpty());
    ASSERT_EQ(issues.size(), 1);
    EXPECT_EQ(issues[0].path, QStringLiteral("widgets[0].captionColor"));
}

TEST_F(TextWidgets, CardWidthWarning)
{
    // A placeholder is measured as two dashes: "-- %" fits in 140 − 24 at 34 px; a longer fixed text does not.
    auto card = entry(R"({"type": "card", "x": 8, "y": 40, "w": 140, "h": 80, "value": "{{cpu}} %"})");
    EXPECT_EQ(card.size(), 2);
    EXPECT_TRUE(issues.isEmpty()) << texts().join(u'|').toStdString();
    ASSERT_LE(MontserratMetrics::textWidth(u"-- %", 34), 116);
    ASSERT_GT(MontserratMetrics::textWidth(u"WWWW", 34), 116);
    card = entry(R"({"type": "card", "x": 8, "y": 40, "w": 140, "h": 80, "value": "WWWW", "align": "left"})");
    EXPECT_EQ(card.size(), 2);
    EXPECT_EQ(texts(), QStringList{QStringLiteral("W widgets[0].value: is wider than the card even before its values "
                                                  "arrive")});
    EXPECT_EQ(std::get<CustomScreen::TextWidget>(card[1]).alignment, CustomScreen::Alignment::left);
}

TEST_F(TextWidgets, BoxFrames)
{
    auto box = one<CustomScreen::BoxWidget>(
        R"({"type": "box", "x": 8, "y": 100, "w": 40, "h": 8, "bg": "up", "frames": [{"for": 1}]})");
    ASSERT_TRUE(box);
    EXPECT_EQ(texts(), QStringList{QStringLiteral("W widgets[0].frames: has one frame, so the box never changes; an "
                                                  "animation needs two or more")});
    EXPECT_EQ(box->frames, (QList<CustomScreen::BoxFrame>{{1, {8, 100, 40, 8}, 0x3FBF6F}}));

    box = one<CustomScreen::BoxWidget>(
        R"({"type": "box", "x": 8, "y": 100, "w": 40, "h": 8, "frames": [{"for": 0.2, "y": 96, "h": 4, "bg": "down"}, {"for": 0.3}]})");
    ASSERT_TRUE(box);
    EXPECT_TRUE(issues.isEmpty()) << texts().join(u'|').toStdString();
    ASSERT_EQ(box->frames.size(), 2);
    EXPECT_EQ(box->frames[0].rect, (CustomScreen::Rect{8, 96, 40, 4}));
    EXPECT_EQ(box->frames[0].background, 0xE5484Du);

    EXPECT_TRUE(one<CustomScreen::BoxWidget>(R"({"type": "box", "x": 8, "y": 100, "w": 40, "h": 8, "frames": []})"));
    EXPECT_TRUE(issues.isEmpty());

    entry(R"({"type": "box", "x": 8, "y": 100, "w": 40, "h": 8, "frames": [{"for": 0.05}, {"y": 96}, {"for": 1, "y": 20}, 4]})");
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("E widgets[0].frames[0].for: must be between 0.1 and 3600 seconds"),
                                    QStringLiteral("E widgets[0].frames[1].for: is missing: the seconds this frame shows"),
                                    QStringLiteral("E widgets[0].frames[2]: overlaps the status bar: y must be at least 28"),
                                    QStringLiteral("E widgets[0].frames[3]: must be an object")}));
    entry(R"({"type": "box", "x": 8, "y": 100, "w": 40, "h": 8, "frames": {"for": 1}})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0].frames: must be an array of frames such as {\"for\": "
                                                  "0.2, \"y\": 96, \"h\": 4}")});
}
