#include "device/FoldForDevice.h"
#include "device/MontserratMetrics.h"
#include "device/TextFit.h"
#include "platform/Graphemes.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using DynamicUIDemo::fitText;

TEST(TextFit, NothingFitsBelowOnePixel)
{
    EXPECT_EQ(fitText("Hello", 14, 0), "");
    EXPECT_EQ(fitText("Hello", 14, -5), "");
}

TEST(TextFit, AFittingTextComesBackFolded)
{
    EXPECT_EQ(fitText(QStringLiteral("Caf\u00E9"), 14, 240), "Cafe");
    EXPECT_EQ(fitText("", 14, 10), "");
}

TEST(TextFit, ATooWideTextLosesItsEndAndGainsThreeDots)
{
    const QString text = "The quick brown fox jumps over the lazy dog";
    for (int size : {14, 18, 24, 34}) {
        const QString fitted = fitText(text, size, 120);
        EXPECT_TRUE(fitted.endsWith("...")) << size;
        EXPECT_TRUE(text.startsWith(fitted.chopped(3))) << size;
        EXPECT_LE(MontserratMetrics::textWidth(fitted, size), 120) << size;
        // One more character would not have fitted.
        qsizetype n = fitted.size() - 3;
        do {
            ++n;
        } while (text[n - 1] == QLatin1Char(' '));
        const QString longer = text.left(n).trimmed() + "...";
        EXPECT_GT(MontserratMetrics::textWidth(longer, size), 120) << size;
    }
}

TEST(TextFit, ACutRightAfterASpaceDropsTheSpace)
{
    const int width = MontserratMetrics::textWidth(u"ab...", 14);
    EXPECT_EQ(fitText("ab cdefgh", 14, width), "ab...");
    EXPECT_EQ(fitText("ab\tcdefgh", 14, width), "ab...");
}

TEST(TextFit, EmptyWhenNotEvenTheDotsFit)
{
    EXPECT_EQ(fitText("Hello", 14, MontserratMetrics::textWidth(u"...", 14) - 1), "");
    EXPECT_EQ(fitText("Hello", 14, MontserratMetrics::textWidth(u"...", 14)), "...");
}

TEST(TextFit, CharactersAreNeverSplit)
{
    // Each flag is one character of two scalars; a cut keeps whole flags only.
    const QString flags = QStringLiteral("\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7\U0001F1EE\U0001F1F9\U0001F1EA\U0001F1F8");
    const QString fitted = fitText(flags, 14, 50);
    EXPECT_TRUE(fitted.endsWith("..."));
    EXPECT_EQ((fitted.size() - 3) % 4, 0);
}

// Every cut measured, from the longest down.
QString referenceFit(const QString& text, int size, int maxWidth)
{
    if (maxWidth < 1)
        return {};
    const QString folded = foldForDevice(text);
    if (MontserratMetrics::textWidth(folded, size) <= maxWidth)
        return folded;
    QStringList characters = graphemes(folded);
    while (!characters.isEmpty()) {
        characters.removeLast();
        QString rest = characters.join(QString());
        while (!rest.isEmpty() && (rest.front() == ' ' || rest.front() == '\t'))
            rest.remove(0, 1);
        while (!rest.isEmpty() && (rest.back() == ' ' || rest.back() == '\t'))
            rest.chop(1);
        if (MontserratMetrics::textWidth(rest + "...", size) <= maxWidth)
            return rest + "...";
    }
    return {};
}

TEST(TextFit, LongTextsGiveWhatMeasuringEveryCutGives)
{
    const QStringList pieces{" ", "\t", "  ", "W", "i", "A", "V", "T", "o", ".", QStringLiteral("\u00E9"),
                             QStringLiteral("\u4E2D"), QStringLiteral("e\u0301"), "AV", "To"};
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        QString text;
        const int length = int(rng() % 400);
        for (int i = 0; i < length; ++i)
            text += pieces[rng() % pieces.size()];
        const int size = QList<int>{14, 18, 24, 34}[rng() % 4];
        const int maxWidth = int(rng() % 300);
        ASSERT_EQ(fitText(text, size, maxWidth), referenceFit(text, size, maxWidth)) << text.toStdString() << " " << size
                                                                                      << " " << maxWidth;
    }
}

}  // namespace
