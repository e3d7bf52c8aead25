#include "platform/LookAlikes.h"

#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/uscript.h>
#include <unicode/uspoof.h>

#include <algorithm>
#include <array>

namespace {

struct CodePoint {
    qsizetype index = 0;
    qsizetype length = 1;
    UChar32 value = 0;
};

// A lone surrogate stands for itself: it is escaped as hidden elsewhere.
std::vector<CodePoint> codePoints(QStringView text)
{
    std::vector<CodePoint> points;
    points.reserve(std::size_t(text.size()));
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            points.push_back({i, 2, UChar32(QChar::surrogateToUcs4(c, text[i + 1]))});
            i += 2;
        } else {
            points.push_back({i, 1, UChar32(c.unicode())});
            ++i;
        }
    }
    return points;
}

const UChar* units(QStringView text, const CodePoint& from)
{
    return reinterpret_cast<const UChar*>(text.utf16()) + from.index;
}

// Checks are made one word at a time, so the checker's own state is never written after this.
const USpoofChecker* spoofChecker()
{
    static const USpoofChecker* const checker = [] {
        UErrorCode status = U_ZERO_ERROR;
        USpoofChecker* made = uspoof_open(&status);
        uspoof_setChecks(made, USPOOF_RESTRICTION_LEVEL | USPOOF_MIXED_NUMBERS | USPOOF_HIDDEN_OVERLAY | USPOOF_INVISIBLE,
                         &status);
        // One script, or the mixes one writing system uses (Latin with Han and kana, with Han and
        // Hangul, with Han and Bopomofo).
        uspoof_setRestrictionLevel(made, USPOOF_HIGHLY_RESTRICTIVE);
        if (U_FAILURE(status)) {
            uspoof_close(made);
            return static_cast<USpoofChecker*>(nullptr);
        }
        return made;
    }();
    return checker;
}

bool isAscii(UChar32 c)
{
    return c < 0x80;
}

bool isWordCharacter(UChar32 c)
{
    return (U_GET_GC_MASK(c) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_ND_MASK)) != 0;
}

bool isLetterOrDigit(UChar32 c)
{
    return (U_GET_GC_MASK(c) & (U_GC_L_MASK | U_GC_ND_MASK)) != 0;
}

bool isMark(UChar32 c)
{
    return (U_GET_GC_MASK(c) & U_GC_M_MASK) != 0;
}

UScriptCode scriptOf(UChar32 c)
{
    UErrorCode status = U_ZERO_ERROR;
    const UScriptCode script = uscript_getScript(c, &status);
    return U_SUCCESS(status) ? script : USCRIPT_INVALID_CODE;
}

enum class Passes { not_, forAsciiLetters, forAsciiSigns };

// Whether the character's confusable skeleton is ASCII of its own: it reads as ASCII text that
// it is not, letters and digits among it or signs only.
Passes passesForAscii(const USpoofChecker* checker, QStringView text, const CodePoint& point)
{
    if (isAscii(point.value) || (U_GET_GC_MASK(point.value) & U_GC_CS_MASK) != 0)
        return Passes::not_;
    std::array<UChar, 32> skeleton{};
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = uspoof_getSkeleton(checker, 0, units(text, point), int32_t(point.length), skeleton.data(),
                                              int32_t(skeleton.size()), &status);
    if (U_FAILURE(status) || length <= 0)
        return Passes::not_;
    const auto end = skeleton.cbegin() + length;
    if (!std::all_of(skeleton.cbegin(), end, [](UChar u) { return u < 0x80; }))
        return Passes::not_;
    return std::any_of(skeleton.cbegin(), end, [](UChar u) { return u_isalnum(u); }) ? Passes::forAsciiLetters
                                                                                     : Passes::forAsciiSigns;
}

// A mark draws on the character before it. On a space or a sign, where no writing puts one, or
// on a letter of another script than its own, it passes for the mark that belongs there.
void markStrayMarks(const std::vector<CodePoint>& points, std::vector<bool>& marked)
{
    const CodePoint* base = nullptr;
    for (const CodePoint& p : points) {
        if (!isMark(p.value)) {
            base = &p;
            continue;
        }
        const UScriptCode script = scriptOf(p.value);
        if (!base || !isLetterOrDigit(base->value)
            || (script != USCRIPT_INHERITED && script != USCRIPT_COMMON && !uscript_hasScript(base->value, script)))
            marked[std::size_t(p.index)] = true;
    }
}

// A character with a compatibility form of its own ("ｅ", "𝐚", "ﬁ", "／", "²") draws as the
// character or characters that form stands for.
void markCompatibilityForms(QStringView text, const std::vector<CodePoint>& points, std::vector<bool>& marked)
{
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* nfkc = unorm2_getNFKCInstance(&status);
    for (const CodePoint& p : points) {
        if (isAscii(p.value) || (U_GET_GC_MASK(p.value) & U_GC_CS_MASK) != 0)
            continue;
        status = U_ZERO_ERROR;
        if (!nfkc || !unorm2_isNormalized(nfkc, units(text, p), int32_t(p.length), &status) || U_FAILURE(status))
            marked[std::size_t(p.index)] = true;
    }
}

// Composed normalisation, segment by segment: where it would change a segment, every
// character that it would join or replace is marked.
void markUncomposed(QStringView text, const std::vector<CodePoint>& points, std::vector<bool>& marked)
{
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* nfc = unorm2_getNFCInstance(&status);
    if (U_FAILURE(status))
        return;
    for (std::size_t start = 0; start < points.size();) {
        std::size_t end = start + 1;
        while (end < points.size() && !unorm2_hasBoundaryBefore(nfc, points[end].value))
            ++end;
        const bool ascii = std::all_of(points.cbegin() + qsizetype(start), points.cbegin() + qsizetype(end),
                                       [](const CodePoint& p) { return isAscii(p.value); });
        const qsizetype length = points[end - 1].index + points[end - 1].length - points[start].index;
        status = U_ZERO_ERROR;
        if (!ascii && !unorm2_isNormalized(nfc, units(text, points[start]), int32_t(length), &status)) {
            std::array<UChar, 8> alone{};
            status = U_ZERO_ERROR;
            const int32_t aloneLength = unorm2_normalize(nfc, units(text, points[start]), int32_t(points[start].length),
                                                         alone.data(), int32_t(alone.size()), &status);
            const bool kept = U_SUCCESS(status) && aloneLength == points[start].length
                && std::equal(alone.cbegin(), alone.cbegin() + aloneLength, units(text, points[start]));
            if (!kept)
                marked[std::size_t(points[start].index)] = true;
            for (std::size_t i = start + 1; i < end; ++i)
                marked[std::size_t(points[i].index)] = true;
        }
        start = end;
    }
}

// Marks what in the word passes for another; whether it marked anything.
bool markWord(const USpoofChecker* checker, QStringView text, const std::vector<CodePoint>& points, std::size_t start,
              std::size_t end, std::vector<bool>& marked)
{
    const auto begin = points.cbegin() + qsizetype(start);
    const auto finish = points.cbegin() + qsizetype(end);
    if (std::all_of(begin, finish, [](const CodePoint& p) { return isAscii(p.value); }))
        return false;
    const qsizetype length = points[end - 1].index + points[end - 1].length - points[start].index;
    UErrorCode status = U_ZERO_ERROR;
    const int32_t failed = uspoof_check2(checker, units(text, points[start]), int32_t(length), nullptr, &status);
    bool any = false;
    const auto mark = [&](const CodePoint& p) {
        any = true;
        marked[std::size_t(p.index)] = true;
    };
    if (U_FAILURE(status)) {
        std::for_each(begin, finish, [&](const CodePoint& p) {
            if (!isAscii(p.value))
                mark(p);
        });
        return true;
    }
    if ((failed & (USPOOF_RESTRICTION_LEVEL | USPOOF_MIXED_NUMBERS)) != 0) {
        for (auto p = begin; p != finish; ++p) {
            const UScriptCode script = scriptOf(p->value);
            const bool foreign = script != USCRIPT_LATIN && script != USCRIPT_COMMON && script != USCRIPT_INHERITED;
            if (!isAscii(p->value) && (foreign || u_charType(p->value) == U_DECIMAL_DIGIT_NUMBER))
                mark(*p);
        }
    }
    if ((failed & (USPOOF_HIDDEN_OVERLAY | USPOOF_INVISIBLE)) != 0) {
        for (auto p = begin; p != finish; ++p)
            if (isMark(p->value))
                mark(*p);
    }
    // A letter that passes for ASCII among Latin ones, or a word made only of such letters,
    // reads as a word it is not; one that passes for ASCII signs (U+02D0 for ":") does so in
    // any word.
    std::vector<bool> passes(end - start);
    bool latin = false;
    bool allPass = true;
    for (auto p = begin; p != finish; ++p) {
        if (!isLetterOrDigit(p->value))
            continue;
        latin = latin || (p->value >= u'0' && p->value <= u'9') || scriptOf(p->value) == USCRIPT_LATIN;
        const Passes passing = passesForAscii(checker, text, *p);
        if (passing == Passes::forAsciiSigns)
            mark(*p);
        passes[std::size_t(p - begin)] = passing == Passes::forAsciiLetters;
        allPass = allPass && (isAscii(p->value) || passing != Passes::not_);
    }
    if (latin || allPass) {
        for (auto p = begin; p != finish; ++p)
            if (passes[std::size_t(p - begin)])
                mark(*p);
    }
    return any;
}

}  // namespace

std::vector<bool> lookAlikeCharacters(QStringView text)
{
    std::vector<bool> marked(std::size_t(text.size()), false);
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; }))
        return marked;
    const std::vector<CodePoint> points = codePoints(text);
    const USpoofChecker* checker = spoofChecker();
    if (!checker) {
        // Without the confusable data nothing can be told apart: every character outside ASCII
        // is written out.
        for (const CodePoint& p : points)
            marked[std::size_t(p.index)] = !isAscii(p.value);
        return marked;
    }
    markUncomposed(text, points, marked);
    markCompatibilityForms(text, points, marked);
    markStrayMarks(points, marked);
    for (const CodePoint& p : points)
        if (!isWordCharacter(p.value) && passesForAscii(checker, text, p) != Passes::not_)
            marked[std::size_t(p.index)] = true;
    // A word reads as the letters of it that show: what is written out splits it, and what is
    // left between may pass for ASCII on its own ("α" beside an escape). So words are judged
    // again until nothing more is written out.
    const auto shows = [&](std::size_t i) {
        return isWordCharacter(points[i].value) && !marked[std::size_t(points[i].index)];
    };
    for (bool again = true; again;) {
        again = false;
        for (std::size_t i = 0; i < points.size();) {
            if (!shows(i)) {
                ++i;
                continue;
            }
            std::size_t end = i + 1;
            while (end < points.size() && shows(end))
                ++end;
            again = markWord(checker, text, points, i, end, marked) || again;
            i = end;
        }
    }
    return marked;
}
