// Bar, button, sprite and sparkline widgets: defaults, limits and messages.

#include "WidgetParsing.h"

#include "device/MontserratMetrics.h"

using ControlWidgets = WidgetParsing;

TEST_F(ControlWidgets, BarValues)
{
    auto bar = one<CustomScreen::BarWidget>(R"({"type": "bar", "x": 8, "y": 40, "w": 200, "h": 12, "value": "42"})");
    ASSERT_TRUE(bar);
    EXPECT_TRUE(issues.isEmpty()) << texts().join(u'|').toStdString();
    EXPECT_EQ(bar->max, 100);
    EXPECT_EQ(bar->stops, (QList<CustomScreen::ColorStop>{{0, 0xFFB020}}));
    EXPECT_EQ(bar->track, 0x15171Au);
    EXPECT_EQ(bar->border, 0x2A2E34u);
    EXPECT_EQ(bar->borderWidth, 1);
    EXPECT_EQ(bar->radius, 4);
    EXPECT_EQ(bar->inset, 2);

    entry(R"({"type": "bar", "x": 8, "y": 40, "w": 200, "h": 12, "value": "abc"})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0].value: is neither a number nor a {{key}}")});
    entry(R"({"type": "bar", "x": 8, "y": 40, "w": 200, "h": 12, "value": ""})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0].value: is missing or empty")});
    entry(R"({"type": "bar", "x": 8, "y": 40, "w": 200, "h": 12, "value": "{{gpu}}", "max": 0})");
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("E widgets[0].value: {{gpu}} is not a source in this file"),
                                    QStringLiteral("E widgets[0].max: must be greater than 0")}));

    bar = one<CustomScreen::BarWidget>(
        R"({"type": "bar", "x": 8, "y": 40, "w": 200, "h": 12, "value": "{{cpu}}", "borderWidth": 3, "max": 8.5})");
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->inset, 4);
    EXPECT_EQ(bar->max, 8.5);
}

TEST_F(ControlWidgets, BarColourStops)
{
    auto bar = one<CustomScreen::BarWidget>(
        R"({"type": "bar", "x": 8, "y": 40, "w": 200, "h": 12, "value": "1", "color": [{"at": 50, "color": "down"}, {"at": 20, "color": "up"}]})");
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->stops, (QList<CustomScreen::ColorStop>{{0, 0x3FBF6F}, {20, 0x3FBF6F}, {50, 0xE5484D}}));

    bar = one<CustomScreen::BarWidget>(R"({"type": "bar", "x": 8, "y": 40, "w": 200, "h": 12, "value": "1", "color": "up"})");
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->stops, (QList<CustomScreen::ColorStop>{{0, 0x3FBF6F}}));

    entry(R"({"type": "bar", "x": 8, "y": 40, "w": 200, "h": 12, "value": "1", "color": [{"at": 150, "color": "up"}, {"at": 10}, {"at": 5, "color": "nope"}]})");
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("E widgets[0].color[0].at: must be between 0 and 100"),
                                    QStringLiteral("E widgets[0].color[1].color: is missing or not a colour"),
                                    QStringLiteral("E widgets[0].color[2]: must be \"#RRGGBB\" or a design colour: ")
                                        + designColourNames,
                                    QStringLiteral("E widgets[0].color[2].color: is missing or not a colour")}));
    // An out-of-range stop is kept, clamped, so the bar is still drawn sensibly.
    QList<ScreenIssue> own;
    ScreenIssueSink sink{QStringLiteral("f.json"), own};
    EXPECT_EQ(CustomScreen::readBarColor(object(R"({"c": [{"at": 150, "color": "up"}]})").value(QStringLiteral("c")),
                                         QStringLiteral("c"), sink),
              (QList<CustomScreen::ColorStop>{{0, 0x3FBF6F}, {100, 0x3FBF6F}}));

    const QString listMessage =
        QStringLiteral("E widgets[0].color: must be a colour or a list of { \"at\": percent, \"color\": … } stops");
    entry(R"({"type": "bar", "x": 8, "y": 40, "w": 200, "h": 12, "value": "1", "color": []})");
    EXPECT_EQ(texts(), QStringList{listMessage});
    entry(R"({"type": "bar", "x": 8, "y": 40, "w": 200, "h": 12, "value": "1", "color": 5})");
    EXPECT_EQ(texts(), QStringList{listMessage});
    entry(R"({"type": "bar", "x": 8, "y": 40, "w": 200, "h": 12, "value": "1", "color": "orange"})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0].color: must be \"#RRGGBB\" or a design colour: ")
                                   + designColourNames});
}

TEST_F(ControlWidgets, ButtonLabelAndIcon)
{
    entry(R"({"type": "button", "x": 8, "y": 40, "w": 100, "h": 50, "action": {"kind": "media", "usage": 205}})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0]: needs a \"label\" or an \"icon\"")});

    auto button = one<CustomScreen::ButtonWidget>(
        R"({"type": "button", "x": 8, "y": 40, "w": 100, "h": 50, "icon": "play", "label": "  ", "action": {"kind": "media", "usage": 205}})");
    ASSERT_TRUE(button);
    EXPECT_EQ(button->fontSize, 14);
    EXPECT_TRUE(button->label.isEmpty());
    EXPECT_EQ(button->icon, DeviceIcon(DeviceIcon::play));
    EXPECT_EQ(button->color, 0xF2F4F6u);
    EXPECT_EQ(button->background, 0x15171Au);
    EXPECT_EQ(button->radius, 8);

    button = one<CustomScreen::ButtonWidget>(
        R"({"type": "button", "x": 8, "y": 40, "w": 100, "h": 50, "label": "Go", "action": {"kind": "media", "usage": 205}})");
    ASSERT_TRUE(button);
    EXPECT_EQ(button->fontSize, 18);

    entry(R"({"type": "button", "x": 8, "y": 40, "w": 100, "h": 50, "label": "Go", "icon": "Audio", "action": {"kind": "media", "usage": 205}})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0].icon: \"Audio\" is not a device icon; the names are "
                                                  "those in the key editor, e.g. audio, video, list, ok")});
}

TEST_F(ControlWidgets, ButtonActions)
{
    const QByteArray head = R"({"type": "button", "x": 8, "y": 40, "w": 100, "h": 50, "label": "Go")";
    entry(head + "}");
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0].action: is missing; a button needs an action such as "
                                                  "{\"kind\": \"openURL\", \"url\": \"https://…\"}")});
    entry(head + R"(, "action": {"kind": "unassigned"}})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral(
                           "E widgets[0].action: must do something; \"unassigned\" is only for empty macro keys")});
    entry(head + R"(, "action": {"kind": "openURL", "url": "https://example.com/{{gpu}}?q={{cpu}}"}})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0].action.url: {{gpu}} is not a source in this file")});
    EXPECT_TRUE(one<CustomScreen::ButtonWidget>(head + R"(, "action": {"kind": "openURL", "url": "https://example.com/{{cpu}}"}})"));
    entry(head + R"(, "action": {"kind": "openURL", "url": "example"}})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0].action.url: must be an http, https or mailto address")});
    entry(head + R"(, "action": {"kind": "openURL", "url": ""}})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0].action: is incomplete: Open URL needs its target")});
    entry(head + R"(, "action": {"kind": "openApp", "bundleID": "", "name": "x"}})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0].action: is incomplete: Open App needs its target")});
    entry(head + R"(, "action": {"kind": "keystroke", "key": "l", "modifiers": ["hyper"]}})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral(
                           "E widgets[0].action: \"hyper\" is not a modifier; use control, option, shift or command")});

    // Action problems do not stop the rest of the button from being checked.
    entry(R"({"type": "button", "x": 8, "y": 40, "w": 100, "h": 50, "label": "Go", "bg": "nope", "action": {"kind": "unassigned"}})");
    ASSERT_EQ(issues.size(), 2);
    EXPECT_EQ(issues[1].path, QStringLiteral("widgets[0].bg"));
}

// What a button opens or runs is read once, as it opens or runs; a text that would open or run
// as another than it reads is refused in the file's row.
TEST_F(ControlWidgets, AButtonsAddressAndShortcutAreReadAsTheyOpenAndRun)
{
    const QByteArray head = R"({"type": "button", "x": 8, "y": 40, "w": 100, "h": 50, "label": "Go", "action": )";
    const auto problems = [&](const QByteArray& action) {
        entry(head + action + "}");
        return texts();
    };
    const auto urlProblem = [&](const QByteArray& url) {
        return problems(R"({"kind": "openURL", "url": ")" + url + R"("})");
    };
    const QString url = QStringLiteral("E widgets[0].action.url: ");
    EXPECT_EQ(urlProblem("https://example.com%2Eevil.example/"),
              QStringList{url + QStringLiteral("writes its host with % escapes, and would open the host "
                                               "example.com.evil.example: write the host as it is")});
    EXPECT_EQ(urlProblem("https://%65vil.example/"),
              QStringList{url + QStringLiteral("writes its host with % escapes, and would open the host evil.example: "
                                               "write the host as it is")});
    EXPECT_EQ(urlProblem("https://accounts.example.com@evil.example/login"),
              QStringList{url + QStringLiteral("names a user before \"@\" (accounts.example.com), and would open the "
                                               "host evil.example: an address a button opens may not name a user")});
    // Browsers take a backslash for a slash, this reader does not: it finds no host, so nothing
    // opens rather than a host the approval never showed.
    EXPECT_EQ(urlProblem("https:\\\\\\\\ex\xD0\xB0mple.com\\\\i"),
              QStringList{url + QStringLiteral("has no host after its scheme, as in https://example.com/")});
    for (const QByteArray& other : {QByteArray("file:///etc/passwd"), QByteArray("javascript:alert(1)")})
        EXPECT_EQ(urlProblem(other), QStringList{url + QStringLiteral("must be an http, https or mailto address")});
    EXPECT_EQ(urlProblem("mailto:"), QStringList{url + QStringLiteral("must be mailto: followed by a recipient")});
    // With placeholders it is judged once filled, but it can only ever open http or https, or
    // what one value alone makes.
    for (const QByteArray& never : {QByteArray("ftp://example.com/{{cpu}}"), QByteArray("{{cpu}}{{cpu}}"),
                                    QByteArray("the app {{cpu}}")})
        EXPECT_EQ(urlProblem(never), QStringList{url + QStringLiteral("must write http: or https: before its first "
                                                                      "placeholder, or be one placeholder alone")});
    for (const QByteArray& fine : {QByteArray(" {{cpu}} "), QByteArray("HTTPS://example.com/{{cpu}}")})
        EXPECT_TRUE(urlProblem(fine).isEmpty()) << fine.toStdString();

    // The address a tap opens is this reading, not the text read again.
    const auto button = one<CustomScreen::ButtonWidget>(
        head + R"({"kind": "openURL", "url": "HTTPS://Example.COM/a b?q=é"}})");
    ASSERT_TRUE(button);
    EXPECT_EQ(button->action.as<MacroAction::OpenURL>()->address.toString(QUrl::FullyEncoded),
              QStringLiteral("https://example.com/a%20b?q=%C3%A9"));

    const QString shortcut = QStringLiteral("E widgets[0].action.shortcut: must be the name of a file in "
                                            "~/.local/share/Tarv/Shortcuts/: without \"/\", and not beginning with \".\"");
    for (const QByteArray& name : {QByteArray("../../usr/bin/xterm"), QByteArray(".hidden")})
        EXPECT_EQ(problems(R"({"kind": "runShortcut", "shortcut": ")" + name + R"("})"), QStringList{shortcut})
            << name.toStdString();
    EXPECT_TRUE(problems(R"({"kind": "runShortcut", "shortcut": "back up.sh"})").isEmpty());
}

TEST_F(ControlWidgets, ButtonLabelWidth)
{
    // 100 wide with a border of 2 leaves 96 px for the label.
    const QString wide = QStringLiteral("Wide label");
    ASSERT_GT(MontserratMetrics::textWidth(wide, 18), 96);
    entry(R"({"type": "button", "x": 8, "y": 40, "w": 100, "h": 50, "borderWidth": 2, "label": "Wide label", "action": {"kind": "media", "usage": 205}})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral(
                           "W widgets[0].label: is wider than the button at 18 px and will be cut off")});
    entry(R"({"type": "button", "x": 8, "y": 40, "w": 100, "h": 50, "borderWidth": 2, "label": "{{cpu}} Wide label", "action": {"kind": "media", "usage": 205}})");
    EXPECT_TRUE(issues.isEmpty()) << texts().join(u'|').toStdString();
    // The exact fit passes.
    const int exact = MontserratMetrics::textWidth(u"Go", 18) + 2;
    entry(QStringLiteral(R"({"type": "button", "x": 8, "y": 40, "w": %1, "h": 50, "label": "Go", "action": {"kind": "media", "usage": 205}})")
              .arg(exact).toUtf8().constData());
    EXPECT_TRUE(issues.isEmpty()) << texts().join(u'|').toStdString();
    entry(QStringLiteral(R"({"type": "button", "x": 8, "y": 40, "w": %1, "h": 50, "label": "Go", "action": {"kind": "media", "usage": 205}})")
              .arg(exact - 1).toUtf8().constData());
    EXPECT_EQ(issues.size(), 1);
}

TEST_F(ControlWidgets, Sprites)
{
    auto sprite = one<CustomScreen::SpriteWidget>(R"({"type": "sprite", "x": 8, "y": 40, "sheet": "cat.png", "count": 3})");
    ASSERT_TRUE(sprite);
    EXPECT_TRUE(issues.isEmpty()) << texts().join(u'|').toStdString();
    EXPECT_EQ(sprite->frames, (QList<CustomScreen::SpriteFrame>{{0.2, 0}, {0.2, 1}, {0.2, 2}}));

    sprite = one<CustomScreen::SpriteWidget>(R"({"type": "sprite", "x": 8, "y": 40, "sheet": "cat.png", "count": 1})");
    ASSERT_TRUE(sprite);
    EXPECT_EQ(texts(), QStringList{QStringLiteral("W widgets[0]: has one frame, so it never animates")});

    sprite = one<CustomScreen::SpriteWidget>(
        R"({"type": "sprite", "x": 360, "y": 180, "sheet": "cat.png", "count": 4, "for": 0.5, "frames": [{"cell": 3}, {"for": 0.14, "cell": 2}]})");
    ASSERT_TRUE(sprite);
    EXPECT_EQ(sprite->frames, (QList<CustomScreen::SpriteFrame>{{0.5, 3}, {0.14, 2}}));

    entry(R"({"type": "sprite", "x": 8, "y": 200, "sheet": "cat.png", "count": 4, "frames": [{"cell": 4}, {"for": 0.01}]})");
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("E widgets[0]: overlaps the page dots: y + h is 312, the limit is 292"),
                                    QStringLiteral("E widgets[0].frames[0].cell: must be 0 to 3: which column of the "
                                                   "sheet this frame shows"),
                                    QStringLiteral("E widgets[0].frames[1].for: must be between 0.1 and 3600 seconds")}));
    entry(R"({"type": "sprite", "x": 361, "y": 40, "sheet": "cat.png", "count": 2})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0]: reaches outside the 480 px wide panel (x 361, w 120)")});
}

TEST_F(ControlWidgets, SpriteSheetsAndCounts)
{
    const QString notPath = QStringLiteral("E widgets[0].sheet: must be a file name in the Screens folder, not a path");
    for (const char* json : {R"({"type": "sprite", "x": 8, "y": 40, "sheet": "art/cat.png", "count": 2})",
                             R"({"type": "sprite", "x": 8, "y": 40, "sheet": ".cat.png", "count": 2})",
                             R"({"type": "sprite", "x": 8, "y": 40, "sheet": "../cat.png", "count": 2})",
                             R"({"type": "sprite", "x": 8, "y": 40, "sheet": "/tmp/cat.png", "count": 2})"}) {
        EXPECT_TRUE(entry(json).isEmpty());
        EXPECT_EQ(texts(), QStringList{notPath}) << json;
    }
    entry(R"({"type": "sprite", "x": 8, "y": 40, "sheet": "", "count": 2})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0].sheet: is missing: the image file beside this screen, "
                                                  "e.g. \"codex-typing.png\"")});
    entry(R"({"type": "sprite", "x": 8, "y": 40, "sheet": "cat.png", "count": 9})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0].count: must be 1 to 8: the frames the sheet is cut "
                                                  "into, one per device sprite slot")});
    entry(R"({"type": "sprite", "x": 8, "y": 40, "sheet": "cat.png", "count": 2, "for": 3601})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0].for: must be between 0.1 and 3600 seconds: how long "
                                                  "each frame shows")});
    entry(R"({"type": "sprite", "x": 8, "y": 40, "sheet": "cat.png", "count": 2, "frames": []})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral(
                           "E widgets[0].frames: is empty: an animation needs at least one frame")});
    entry(R"({"type": "sprite", "x": 8, "y": 40, "sheet": "cat.png", "count": 2, "frames": 1})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0].frames: must be an array of frames such as {\"for\": "
                                                  "0.14, \"cell\": 2}")});
}

TEST_F(ControlWidgets, Sparklines)
{
    auto line = one<CustomScreen::SparklineWidget>(R"({"type": "sparkline", "x": 8, "y": 40, "w": 24, "h": 6, "value": "{{cpu}}"})");
    ASSERT_TRUE(line);
    EXPECT_TRUE(issues.isEmpty()) << texts().join(u'|').toStdString();
    EXPECT_EQ(line->points, 12);
    EXPECT_EQ(line->color, 0xFFB020u);
    EXPECT_EQ(line->background, 0x15171Au);
    EXPECT_FALSE(line->min);
    EXPECT_FALSE(line->max);

    entry(R"({"type": "sparkline", "x": 8, "y": 40, "w": 20, "h": 5, "value": "{{cpu}}", "points": 30})");
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("E widgets[0].points: must be between 4 and 24"),
                                    QStringLiteral("E widgets[0].w: must be at least 24 for 12 points: each is 2 px "
                                                   "wide or more"),
                                    QStringLiteral("E widgets[0].h: must be at least 6")}));
    entry(R"({"type": "sparkline", "x": 8, "y": 40, "w": 47, "h": 20, "value": "{{cpu}}", "points": 24})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral(
                           "E widgets[0].w: must be at least 48 for 24 points: each is 2 px wide or more")});

    entry(R"({"type": "sparkline", "x": 8, "y": 40, "w": 60, "h": 20, "value": "42"})");
    EXPECT_EQ(texts(), QStringList{QStringLiteral("E widgets[0].value: must be a {{key}}: a list of numbers, or one "
                                                  "number whose readings are kept")});
    entry(R"({"type": "sparkline", "x": 8, "y": 40, "w": 60, "h": 20, "value": "{{gpu}}", "min": 10, "max": 10})");
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("E widgets[0].value: {{gpu}} is not a source in this file"),
                                    QStringLiteral("E widgets[0].max: must be more than min")}));
    line = one<CustomScreen::SparklineWidget>(
        R"({"type": "sparkline", "x": 8, "y": 40, "w": 60, "h": 20, "value": "{{cpu}}", "min": 0, "max": 100, "points": 4})");
    ASSERT_TRUE(line);
    EXPECT_EQ(line->min, 0.0);
    EXPECT_EQ(line->max, 100.0);
}

TEST(PageLimitsTest, NodesAndSpriteSlotsWithRealWidgets)
{
    const auto page = [](int texts, int buttons) {
        QByteArray json = R"({"widgets": [)";
        for (int i = 0; i < texts; ++i)
            json += R"({"type": "text", "x": 0, "y": 40, "text": "t"},)";
        for (int i = 0; i < buttons; ++i)
            json += R"({"type": "button", "x": 0, "y": 40, "w": 100, "h": 40, "label": "Go", "icon": "play", "action": {"kind": "media", "usage": 205}},)";
        json.chop(1);
        return json + "]}";
    };
    QList<ScreenIssue> issues;
    auto screen = CustomScreen::parse(page(12, 49), QStringLiteral("p"), QStringLiteral("p.json"), issues);
    ASSERT_TRUE(screen);
    ASSERT_EQ(issues.size(), 1);
    EXPECT_EQ(issues[0].displayText(), QStringLiteral("widgets: too many for the device: 159 nodes, the limit is 108 "
                                                      "(text and box count 1, a button up to 3)"));
    issues.clear();
    screen = CustomScreen::parse(page(12, 32), QStringLiteral("p"), QStringLiteral("p.json"), issues);
    ASSERT_TRUE(screen);
    EXPECT_EQ(screen->nodeCount(), 108);
    EXPECT_TRUE(issues.isEmpty());

    const auto sprites = [](int a, int b) {
        return QStringLiteral(R"({"widgets": [{"type": "sprite", "x": 0, "y": 40, "sheet": "a.png", "count": %1},
                                              {"type": "sprite", "x": 200, "y": 40, "sheet": "b.png", "count": %2}]})")
            .arg(a).arg(b).toUtf8();
    };
    issues.clear();
    ASSERT_TRUE(CustomScreen::parse(sprites(5, 4), QStringLiteral("p"), QStringLiteral("p.json"), issues));
    ASSERT_EQ(issues.size(), 1);
    EXPECT_EQ(issues[0].displayText(), QStringLiteral("widgets: too many sprite frames for the device: 9, the limit is "
                                                      "8 across the page (one asset slot each)"));
    issues.clear();
    ASSERT_TRUE(CustomScreen::parse(sprites(4, 4), QStringLiteral("p"), QStringLiteral("p.json"), issues));
    EXPECT_TRUE(issues.isEmpty());
}
