// JSON text as Tarv reads it: Qt's parser decides what is JSON, with any value at the top
// level, and the fault finder names a place in exactly the texts it refuses.

#include "screens/format/JsonFault.h"
#include "screens/format/JsonText.h"

#include <gtest/gtest.h>

namespace {

const QByteArray byteOrderMark = QByteArrayLiteral("\xEF\xBB\xBF");

} // namespace

// Each corner where Qt and standard JSON part, or Qt has a limit of its own, in every place a
// value can stand: alone, in an array, as a member, behind a byte-order mark.
TEST(JsonText, TheFinderNamesAPlaceExactlyWhenQtRefuses)
{
    const QList<QByteArray> values{
        "42", "-0", ".5", "-.5", "1.", "1.e5", "-", "1e", "1e+", "01", "+1", "1e400", "1e-400", "4e-320",
        "99999999999999999999", "1.000", "nul", "null", "nullx", "True", "'a'",
        // Inside quotes: raw controls and NUL, unknown escapes, a lone surrogate escape, a short
        // \u, a non-character, and UTF-8 that is not: overlong, an encoded surrogate, past
        // U+10FFFF, cut short.
        "\"a\tb\"", "\"a\nb\"", QByteArray("\"a\0b\"", 5), "\"\\q\"", "\"\\\xC3\xA9\"", "\"\\ud800\"", "\"\\u00e\"",
        "\"\xEF\xBF\xBE\"", "\"\xC0\xAF\"", "\"\xED\xA0\x80\"", "\"\xF4\x90\x80\x80\"", "\"\xE2\x82\"", "\"abc",
        QByteArray(1024, '[') + QByteArray(1024, ']'), QByteArray(1025, '[') + QByteArray(1025, ']'),
        "", " ", "[1,]", "{\"a\":1,}", "1 2", "\xEF\xBB\xBF" "1",
    };
    qsizetype refused = 0;
    qsizetype taken = 0;
    for (const QByteArray& value : values) {
        for (const QByteArray& prefix : {QByteArray(), byteOrderMark, QByteArray(" \n"), byteOrderMark + byteOrderMark}) {
            for (const QByteArray& text : {prefix + value, prefix + '[' + value + ']', prefix + "{\"k\": " + value + '}'}) {
                const bool parsed = JsonText::parse(text).has_value();
                const std::optional<JsonFault> fault = JsonFault::find(text);
                EXPECT_NE(parsed, fault.has_value()) << text.toStdString() << (fault ? fault->message.toStdString() : "");
                (parsed ? taken : refused) += 1;
            }
        }
    }
    EXPECT_GT(taken, 100);
    EXPECT_GT(refused, 200);
}

TEST(JsonText, ABareValueMayFollowAByteOrderMarkAndTheDepthLimitIsNamed)
{
    EXPECT_EQ(JsonText::parse(byteOrderMark + "42"), QJsonValue(42));
    EXPECT_EQ(JsonText::parse(byteOrderMark + "\"x\""), QJsonValue(QStringLiteral("x")));

    QString error;
    EXPECT_FALSE(JsonText::parse(byteOrderMark, &error));
    EXPECT_EQ(error, QStringLiteral("line 1, column 1: the file is empty"));
    EXPECT_FALSE(JsonText::parse(QByteArray(1025, '[') + QByteArray(1025, ']'), &error));
    EXPECT_EQ(error, QStringLiteral("line 1, column 1025: the values are nested too deeply here: 1024 levels at most"));
    // Qt lets a tab inside quotes pass; the place named is still the first that leaves
    // standard JSON, not the brace Qt stopped at.
    EXPECT_FALSE(JsonText::parse("{\"x\": \"a\tb\"}}", &error));
    EXPECT_EQ(error, QStringLiteral("line 1, column 9: a control character inside quotes must be written as an "
                                    "escape, such as \\t for a tab"));
}
