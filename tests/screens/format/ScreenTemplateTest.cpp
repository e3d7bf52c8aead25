// The sample files: each is a clean screen file, and new files get a free name.

#include "screens/format/CustomScreen.h"
#include "screens/format/ScreenTemplate.h"
#include "support/Bytes.h"

#include <gtest/gtest.h>

TEST(ScreenTemplateTest, EverySampleParsesClean)
{
    const QList<ScreenTemplate>& templates = ScreenTemplate::all();
    QStringList ids;
    for (const ScreenTemplate& sample : templates)
        ids.append(sample.id);
    EXPECT_EQ(ids, (QStringList{QStringLiteral("system"), QStringLiteral("cards"), QStringLiteral("buttons"),
                                QStringLiteral("pushed"), QStringLiteral("blank")}));

    const QStringList titles{QStringLiteral("System"), QStringLiteral("Cards"), QStringLiteral("Buttons"),
                             QStringLiteral("Pushed"), QStringLiteral("New Screen")};
    for (qsizetype i = 0; i < templates.size(); ++i) {
        QList<ScreenIssue> issues;
        const auto screen = CustomScreen::parse(templates[i].json.toUtf8(), templates[i].id,
                                                templates[i].id + QStringLiteral(".json"), issues);
        ASSERT_TRUE(screen) << templates[i].id.toStdString();
        for (const ScreenIssue& issue : issues)
            ADD_FAILURE() << templates[i].id.toStdString() << ": " << issue.displayText().toStdString();
        EXPECT_EQ(screen->title, titles[i]);
    }
}

TEST(ScreenTemplateTest, SystemSampleShape)
{
    QList<ScreenIssue> issues;
    const auto screen = CustomScreen::parse(ScreenTemplate::all().first().json.toUtf8(), QStringLiteral("system"),
                                            QStringLiteral("system.json"), issues);
    ASSERT_TRUE(screen);
    EXPECT_EQ(screen->widgets.size(), 20);
    EXPECT_EQ(screen->sources.size(), 6);
    const auto* lock = std::get_if<CustomScreen::ButtonWidget>(&screen->widgets[17]);
    ASSERT_TRUE(lock);
    EXPECT_EQ(lock->label, QStringLiteral("Lock"));
    ASSERT_TRUE(lock->action.as<KeyChord>());
    EXPECT_EQ(lock->action.as<KeyChord>()->usage, 0x0F); // "l"
    EXPECT_EQ(lock->action.as<KeyChord>()->modifiers.rawValue, 0x08);
}

TEST(ScreenTemplateTest, UniqueFileName)
{
    const QStringList folder{QStringLiteral("Cards.json"), QStringLiteral("cards-2.json"),
                             QStringLiteral("System.JSON")};
    EXPECT_EQ(ScreenTemplate::uniqueFileName(QStringLiteral("cards"), folder), QStringLiteral("cards-3"));
    EXPECT_EQ(ScreenTemplate::uniqueFileName(QStringLiteral("cards"), {}), QStringLiteral("cards"));
    EXPECT_EQ(ScreenTemplate::uniqueFileName(QStringLiteral("system"), folder), QStringLiteral("system-2"));
    // The wanted letter case is kept; only the last extension is stripped.
    EXPECT_EQ(ScreenTemplate::uniqueFileName(QStringLiteral("Blank"), {QStringLiteral("blank.json.bak")}),
              QStringLiteral("Blank"));
    EXPECT_EQ(ScreenTemplate::uniqueFileName(QStringLiteral("Blank"), {QStringLiteral("BLANK.json")}),
              QStringLiteral("Blank-2"));
}
