// Lists of strings in GVariant's text format: whatever the strings hold, what is written reads
// back as the same strings, here and in GNOME's own settings tool.

#include "platform/GVariantText.h"

#include "support/DesktopTestEnv.h"

#include <QProcess>
#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace {

// A string of code points that settings strings may hold: quotes, backslashes, controls,
// letters beyond the first plane; never NUL.
QString randomString(QRandomGenerator& random)
{
    static const char32_t tricky[] = {'\'', '"', '\\', '\n', '\t', 0x01, 0x7F, ' ', '@', '[', ']', ',', 0xE9, 0x1F600};
    QString out;
    const int length = random.bounded(12);
    for (int i = 0; i < length; ++i) {
        char32_t c = random.bounded(3) == 0 ? tricky[random.bounded(int(std::size(tricky)))]
                                            : char32_t(random.bounded(0x20, 0x3000));
        if (c >= 0xD800 && c <= 0xDFFF)
            c = 'x';
        out += QString::fromUcs4(&c, 1);
    }
    return out;
}

}  // namespace

TEST(GVariantText, WhatIsWrittenReadsBackAsTheSameStrings)
{
    QRandomGenerator random(70);
    for (int round = 0; round < 2000; ++round) {
        QStringList strings;
        const int count = random.bounded(5);
        for (int i = 0; i < count; ++i)
            strings.append(randomString(random));
        const QString text = GVariantText::formatStringArray(strings);
        EXPECT_EQ(GVariantText::parseStringArray(text), strings) << text.toStdString();
    }
    // What gsettings prints: either quote, a typed empty array, escapes of its own.
    EXPECT_EQ(GVariantText::parseStringArray(QStringLiteral(R"(['a@b', "it's", 'x\\y\u00e9'])")),
              (QStringList{"a@b", "it's", QStringLiteral("x\\y\u00e9")}));
    EXPECT_EQ(GVariantText::parseStringArray(QStringLiteral("@as []")), QStringList());
    for (const char* broken : {"", "['a'", "['a' 'b']", "['a',]", "[a]", "['\\q']", "['a'] x", "@as ['\\u0000']"})
        EXPECT_EQ(GVariantText::parseStringArray(QString::fromUtf8(broken)), std::nullopt) << broken;
}

TEST(GVariantText, GnomesSettingsToolReadsWhatIsWritten)
{
    TempXdg xdg;
    qputenv("GSETTINGS_BACKEND", "keyfile");
    qputenv("GSETTINGS_SCHEMA_DIR", "/usr/share/glib-2.0/schemas");
    QRandomGenerator random(45);
    QStringList strings{QStringLiteral("it's \"quoted\" \\ \n\u0007 \U0001F600")};
    for (int i = 0; i < 8; ++i)
        strings.append(randomString(random));
    QProcess set;
    set.start(QStringLiteral("gsettings"), {QStringLiteral("set"), QStringLiteral("org.gnome.shell"),
                                            QStringLiteral("enabled-extensions"), GVariantText::formatStringArray(strings)});
    ASSERT_TRUE(set.waitForFinished(10000));
    ASSERT_EQ(set.exitCode(), 0) << set.readAllStandardError().toStdString();
    QProcess get;
    get.start(QStringLiteral("gsettings"), {QStringLiteral("get"), QStringLiteral("org.gnome.shell"),
                                            QStringLiteral("enabled-extensions")});
    ASSERT_TRUE(get.waitForFinished(10000));
    const QString printed = QString::fromUtf8(get.readAllStandardOutput()).trimmed();
    EXPECT_EQ(GVariantText::parseStringArray(printed), strings) << printed.toStdString();
    qunsetenv("GSETTINGS_BACKEND");
    qunsetenv("GSETTINGS_SCHEMA_DIR");
}
