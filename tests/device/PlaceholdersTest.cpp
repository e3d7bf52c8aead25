#include "device/Placeholders.h"

#include <gtest/gtest.h>

TEST(Placeholders, KeysInOrderWithDuplicatesAndOnlyValidNames)
{
    EXPECT_EQ(extractPlaceholderKeys(QStringLiteral("{{ cpu }} / {{cpu}}")),
              QStringList({QStringLiteral("cpu"), QStringLiteral("cpu")}));
    EXPECT_EQ(extractPlaceholderKeys(QStringLiteral("{{b}}{{a.x-1_y}}")),
              QStringList({QStringLiteral("b"), QStringLiteral("a.x-1_y")}));
    for (const char* text : {"{{1x}}", "{{a b}}", "{cpu}", "", "{{}}", "{{ -a }}"})
        EXPECT_TRUE(extractPlaceholderKeys(QString::fromUtf8(text)).isEmpty()) << text;
}

TEST(Placeholders, FillTrimsValuesAndFailsOnAMissingKey)
{
    const QHash<QString, QString> values{{QStringLiteral("q"), QStringLiteral(" a b \n")}};
    EXPECT_EQ(fillActionPlaceholders(QStringLiteral("q={{q}}"), values), QStringLiteral("q=a b"));
    EXPECT_EQ(fillActionPlaceholders(QStringLiteral("{{ q }}&{{q}}!"), values), QStringLiteral("a b&a b!"));
    EXPECT_EQ(fillActionPlaceholders(QStringLiteral("no placeholder {x}"), {}), QStringLiteral("no placeholder {x}"));
    EXPECT_FALSE(fillActionPlaceholders(QStringLiteral("q={{q}}&r={{r}}"), values).has_value());
}
