#include "platform/Graphemes.h"
#include "platform/Scalars.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString family = u"\U0001F468\u200D\U0001F469\u200D\U0001F467"_s;  // ZWJ sequence
const QString flag = u"\U0001F1E9\U0001F1EA"_s;                         // regional indicators
const QString keycap = u"1\uFE0F\u20E3"_s;
const QString thumbs = u"\U0001F44D\U0001F3FD"_s;  // with skin-tone modifier
const QString eAcute = u"e\u0301"_s;

}  // namespace

TEST(Graphemes, CountsClustersNotCodeUnits)
{
    EXPECT_EQ(graphemeCount(QString()), 0);
    EXPECT_EQ(graphemeCount(u"abc"), 3);
    EXPECT_EQ(graphemeCount(family), 1);
    EXPECT_EQ(graphemeCount(flag), 1);
    EXPECT_EQ(graphemeCount(keycap), 1);
    EXPECT_EQ(graphemeCount(thumbs), 1);
    EXPECT_EQ(graphemeCount(eAcute), 1);
    EXPECT_EQ(graphemeCount(u"a\r\nb"), 3);  // CR LF is one character
    EXPECT_EQ(graphemeCount(u"a\n\rb"), 4);  // LF CR is two
    EXPECT_EQ(graphemeCount(flag + flag), 2);
    EXPECT_EQ(graphemeCount(u"x"_s + family + u"y"_s), 3);
}

TEST(Graphemes, CutsNeverSplitACluster)
{
    const QString text = u"Hi "_s + family + keycap + u"\r\n"_s + eAcute;
    EXPECT_EQ(firstGraphemes(text, 0), QString());
    EXPECT_EQ(firstGraphemes(text, -3), QString());
    EXPECT_EQ(firstGraphemes(text, 4), u"Hi "_s + family);
    EXPECT_EQ(firstGraphemes(text, 5), u"Hi "_s + family + keycap);
    EXPECT_EQ(firstGraphemes(text, 6), u"Hi "_s + family + keycap + u"\r\n"_s);
    EXPECT_EQ(firstGraphemes(text, 100), text);

    EXPECT_EQ(lastGraphemes(text, 1), eAcute);
    EXPECT_EQ(lastGraphemes(text, 2), u"\r\n"_s + eAcute);
    EXPECT_EQ(lastGraphemes(text, 100), text);
    EXPECT_EQ(lastGraphemes(text, 0), QString());

    EXPECT_EQ(dropLastGraphemes(text), u"Hi "_s + family + keycap + u"\r\n"_s);
    EXPECT_EQ(dropLastGraphemes(text, 3), u"Hi "_s + family);
    EXPECT_EQ(dropLastGraphemes(text, 7), QString());
    EXPECT_EQ(dropLastGraphemes(text, 0), text);
    EXPECT_EQ(dropLastGraphemes(QString()), QString());
}

TEST(Graphemes, SplitsAndBoundariesAgree)
{
    const QString text = flag + u"a"_s + thumbs + u"\r\n"_s;
    EXPECT_EQ(graphemes(text), (QStringList{flag, u"a"_s, thumbs, u"\r\n"_s}));
    EXPECT_EQ(graphemeBoundaries(text), (QList<qsizetype>{0, 4, 5, 9, 11}));
    EXPECT_EQ(graphemeBoundaries(QString()), (QList<qsizetype>{0}));
    EXPECT_EQ(graphemeBoundaries(u"ab"), (QList<qsizetype>{0, 1, 2}));
}

TEST(Graphemes, MalformedUtf16IsCutSafely)
{
    // A lone high surrogate and a lone low one: each is a character of its own.
    const QString text = QString(QChar(0xD83D)) + u"a"_s + QChar(0xDE00);
    EXPECT_EQ(graphemeCount(text), 3);
    EXPECT_EQ(firstGraphemes(text, 1).size(), 1);
}

TEST(Scalars, WalksSurrogatePairsAndReplacesLoneSurrogates)
{
    const QString text = u"a\U0001F600"_s + QChar(0xD800) + u"b"_s + QChar(0xDC00);
    QList<char32_t> seen;
    for (qsizetype i = 0; i < text.size();)
        seen.append(nextScalar(text, i));
    EXPECT_EQ(seen, (QList<char32_t>{U'a', U'\U0001F600', 0xFFFD, U'b', 0xFFFD}));
    EXPECT_EQ(scalarCount(text), 5);
    EXPECT_EQ(scalarCount(QString()), 0);
}

TEST(Scalars, MendsOnlyLoneSurrogates)
{
    const QString pair = u"\U0001F600\uFFFDx"_s;
    EXPECT_FALSE(hasLoneSurrogate(pair));
    EXPECT_EQ(replaceLoneSurrogates(pair), pair);
    const QString lone = QChar(0xDC00) + u"a"_s + QChar(0xD83D) + QChar(0xD83D) + QChar(0xDE00) + QChar(0xD800);
    EXPECT_TRUE(hasLoneSurrogate(lone));
    EXPECT_EQ(replaceLoneSurrogates(lone), u"\uFFFDa\uFFFD\U0001F600\uFFFD"_s);
}
