// The shared readers of screen files: their messages, whole numbers, colours, unknown keys.

#include "screens/format/CustomScreen.h"
#include "screens/format/DesignColors.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

namespace {

QJsonObject objectOf(const char* json)
{
    return QJsonDocument::fromJson(json).object();
}

struct Reader : ::testing::Test {
    QList<ScreenIssue> issues;
    ScreenIssueSink sink{QStringLiteral("f.json"), issues};

    QStringList messages() const
    {
        QStringList out;
        for (const ScreenIssue& issue : issues)
            out.append(issue.displayText());
        return out;
    }
};

} // namespace

TEST(ScreenIssueTest, DisplayTextAndIdentity)
{
    const ScreenIssue whole{QStringLiteral("a.json"), QString(), QStringLiteral("not valid JSON: x"),
                            ScreenIssue::Severity::error};
    EXPECT_EQ(whole.displayText(), QStringLiteral("not valid JSON: x"));
    ScreenIssue widgets{QStringLiteral("a.json"), QStringLiteral("widgets"), QStringLiteral("is missing"),
                        ScreenIssue::Severity::error};
    EXPECT_EQ(widgets.displayText(), QStringLiteral("widgets: is missing"));
    ScreenIssue warning = widgets;
    warning.severity = ScreenIssue::Severity::warning;
    EXPECT_NE(warning, widgets);
    EXPECT_EQ(warning.id(), widgets.id());
    EXPECT_EQ(widgets.id(), QStringLiteral("a.json|widgets|is missing"));
}

TEST_F(Reader, KeyPath)
{
    EXPECT_EQ(CustomScreen::keyPath(QString(), QStringLiteral("title")), QStringLiteral("title"));
    EXPECT_EQ(CustomScreen::keyPath(QStringLiteral("widgets[2]"), QStringLiteral("x")),
              QStringLiteral("widgets[2].x"));
}

TEST_F(Reader, StringsAndNumbers)
{
    const QJsonObject o = objectOf(R"({"s": "hi", "n": 3.5, "b": true, "z": null})");
    EXPECT_EQ(CustomScreen::readString(o, QStringLiteral("s"), QString(), sink), QStringLiteral("hi"));
    EXPECT_FALSE(CustomScreen::readString(o, QStringLiteral("absent"), QString(), sink));
    EXPECT_TRUE(issues.isEmpty());
    EXPECT_FALSE(CustomScreen::readString(o, QStringLiteral("n"), QStringLiteral("w"), sink));
    EXPECT_EQ(CustomScreen::readNumber(o, QStringLiteral("n"), QString(), sink), 3.5);
    EXPECT_FALSE(CustomScreen::readNumber(o, QStringLiteral("b"), QString(), sink));
    EXPECT_FALSE(CustomScreen::readNumber(o, QStringLiteral("z"), QString(), sink));
    EXPECT_EQ(messages(), (QStringList{QStringLiteral("w.n: must be text in quotes"),
                                       QStringLiteral("b: must be a number"), QStringLiteral("z: must be a number")}));
}

TEST_F(Reader, WholeNumbers)
{
    const QJsonObject o =
        objectOf(R"({"a": 18.0, "b": 18.5, "c": 100000, "d": -99999, "e": true, "f": "18", "g": 1e300})");
    EXPECT_EQ(CustomScreen::readWholeNumber(o, QStringLiteral("a"), QString(), sink), 18);
    EXPECT_EQ(CustomScreen::readWholeNumber(o, QStringLiteral("d"), QString(), sink), -99999);
    EXPECT_TRUE(issues.isEmpty());
    for (const char* key : {"b", "c", "e", "f", "g"})
        EXPECT_FALSE(CustomScreen::readWholeNumber(o, QString::fromLatin1(key), QString(), sink)) << key;
    EXPECT_EQ(messages(), (QStringList{QStringLiteral("b: must be a whole number"),
                                       QStringLiteral("c: must be a whole number"),
                                       QStringLiteral("e: must be a number"), QStringLiteral("f: must be a number"),
                                       QStringLiteral("g: must be a whole number")}));
}

TEST(ParseColorTest, DesignNamesAndHex)
{
    EXPECT_EQ(CustomScreen::parseColor(QStringLiteral("Accent")), 0xFFB020u);
    EXPECT_EQ(CustomScreen::parseColor(QStringLiteral("surface-alt")), 0x1E2126u);
    EXPECT_EQ(CustomScreen::parseColor(QStringLiteral("#ffb020")), 0xFFB020u);
    EXPECT_EQ(CustomScreen::parseColor(QStringLiteral("#0A0b0C")), 0x0A0B0Cu);
    for (const char* bad : {"#FFB02", "FFB020", "#FFB0200", "#GGGGGG", "#+FFFFF", "# FFFFF", "", "#"})
        EXPECT_FALSE(CustomScreen::parseColor(QString::fromLatin1(bad))) << bad;
    EXPECT_EQ(DesignColors::namesText(), QStringLiteral("accent, accent-fill, bg, border, down, surface, "
                                                        "surface-alt, text, text-dim, text-mute, up"));
}

TEST_F(Reader, UnknownKeysAreSortedWarnings)
{
    const QJsonObject o = objectOf(R"({"zeta": 1, "Title": 2, "title": 3, "alpha": 4})");
    CustomScreen::warnUnknownKeys(o, QStringLiteral("sources.x"),
                                  {QStringLiteral("title"), QStringLiteral("background")}, sink);
    ASSERT_EQ(issues.size(), 3);
    for (const ScreenIssue& issue : issues) {
        EXPECT_EQ(issue.severity, ScreenIssue::Severity::warning);
        EXPECT_EQ(issue.message, QStringLiteral("is not a setting here and is ignored (known: background, title)"));
    }
    EXPECT_EQ(issues[0].path, QStringLiteral("sources.x.Title"));
    EXPECT_EQ(issues[1].path, QStringLiteral("sources.x.alpha"));
    EXPECT_EQ(issues[2].path, QStringLiteral("sources.x.zeta"));
}
