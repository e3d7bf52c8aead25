#include "platform/Graphemes.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/utext.h>

#include <memory>

namespace {

// Creating a break iterator loads rule data; one per thread is kept, since an iterator
// carries the text it walks and cannot be shared.
icu::BreakIterator* characterIterator()
{
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> it(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status))
            it.reset();
        return it;
    }();
    return iterator.get();
}

// Printable ASCII and LF alone each form one character (CR is left to ICU: CR LF is one).
bool isTriviallySegmented(QStringView text)
{
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x7F || (u < 0x20 && u != '\n'))
            return false;
    }
    return true;
}

}  // namespace

QList<qsizetype> graphemeBoundaries(QStringView text)
{
    QList<qsizetype> result;
    result.reserve(text.size() + 1);
    if (isTriviallySegmented(text)) {
        for (qsizetype i = 0; i <= text.size(); ++i)
            result.append(i);
        return result;
    }
    icu::BreakIterator* it = characterIterator();
    UErrorCode status = U_ZERO_ERROR;
    UText* ut = it ? utext_openUChars(nullptr, reinterpret_cast<const UChar*>(text.utf16()),
                                      text.size(), &status)
                   : nullptr;
    if (ut && U_SUCCESS(status))
        it->setText(ut, status);
    if (!ut || U_FAILURE(status)) {
        // Without ICU data every code unit counts alone: cutting stays safe, just coarse.
        if (ut)
            utext_close(ut);
        for (qsizetype i = 0; i <= text.size(); ++i)
            result.append(i);
        return result;
    }
    for (int32_t b = it->first(); b != icu::BreakIterator::DONE; b = it->next())
        result.append(b);
    utext_close(ut);
    if (result.isEmpty() || result.last() != text.size())
        result.append(text.size());
    return result;
}

qsizetype graphemeCount(QStringView text)
{
    if (isTriviallySegmented(text))
        return text.size();
    return graphemeBoundaries(text).size() - 1;
}

QString firstGraphemes(QStringView text, qsizetype n)
{
    if (n <= 0)
        return {};
    if (isTriviallySegmented(text))
        return text.left(n).toString();
    const QList<qsizetype> b = graphemeBoundaries(text);
    return n >= b.size() - 1 ? text.toString() : text.left(b[n]).toString();
}

QString lastGraphemes(QStringView text, qsizetype n)
{
    if (n <= 0)
        return {};
    const QList<qsizetype> b = graphemeBoundaries(text);
    const qsizetype count = b.size() - 1;
    return n >= count ? text.toString() : text.mid(b[count - n]).toString();
}

QString dropLastGraphemes(QStringView text, qsizetype n)
{
    if (n <= 0)
        return text.toString();
    const QList<qsizetype> b = graphemeBoundaries(text);
    const qsizetype count = b.size() - 1;
    return n >= count ? QString() : text.left(b[count - n]).toString();
}

QStringList graphemes(QStringView text)
{
    const QList<qsizetype> b = graphemeBoundaries(text);
    QStringList result;
    result.reserve(b.size() - 1);
    for (qsizetype i = 0; i + 1 < b.size(); ++i)
        result.append(text.mid(b[i], b[i + 1] - b[i]).toString());
    return result;
}
