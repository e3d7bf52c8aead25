#include "device/FoldForDevice.h"

#include "device/MontserratMetrics.h"
#include "platform/Scalars.h"
#include "platform/TextTrim.h"

#include <unicode/translit.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <memory>
#include <mutex>
#include <optional>

namespace {

bool isFullyCovered(QStringView text) { return !hasUncoveredScalar(text); }

// Characters with a fixed stand-in; checked before anything else.
std::optional<QString> tableReplacement(char32_t s)
{
    switch (s) {
    case 0x200B:  // zero-width space
    case 0x200C:  // zero-width non-joiner
    case 0x200D:  // zero-width joiner
    case 0xFEFF:  // zero-width no-break space
        return QString();
    case 0x00B7:  // middle dot
        return QString(QChar(0x2022));
    case 0x00D7:  // multiplication sign
        return QStringLiteral("x");
    case 0x2122:  // trade mark sign
        return QStringLiteral("(TM)");
    default:
        return std::nullopt;
    }
}

// ICU's "Latin-ASCII" transform, created once; calls are serialised since a transliterator
// is not documented as safe to share between threads.
class LatinAscii {
public:
    static LatinAscii& instance()
    {
        static LatinAscii shared;
        return shared;
    }

    std::optional<QString> transliterate(char32_t s)
    {
        if (!m_transliterator)
            return std::nullopt;
        icu::UnicodeString text{UChar32(s)};
        {
            const std::lock_guard lock(m_mutex);
            m_transliterator->transliterate(text);
        }
        return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
    }

private:
    LatinAscii()
    {
        UErrorCode status = U_ZERO_ERROR;
        m_transliterator.reset(
            icu::Transliterator::createInstance("Latin-ASCII", UTRANS_FORWARD, status));
        if (U_FAILURE(status))
            m_transliterator.reset();
    }

    std::mutex m_mutex;
    std::unique_ptr<icu::Transliterator> m_transliterator;
};

// The drawable stand-in for one undrawable scalar, or none.
std::optional<QString> replacement(char32_t s)
{
    if (const std::optional<QString> r = tableReplacement(s))
        return isFullyCovered(*r) ? r : std::nullopt;
    if (u_hasBinaryProperty(UChar32(s), UCHAR_WHITE_SPACE))
        return QStringLiteral(" ");
    const std::optional<QString> ascii = LatinAscii::instance().transliterate(s);
    if (!ascii)
        return std::nullopt;
    const QStringView trimmed = trimSpacesAndTabs(*ascii);
    if (trimmed.isEmpty() || !isFullyCovered(trimmed))
        return std::nullopt;
    return trimmed.toString();
}

}  // namespace

QString foldForDevice(const QString& text)
{
    if (!hasUncoveredScalar(text))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype start = i;
        const char32_t s = nextScalar(text, i);
        const QStringView original = QStringView(text).sliced(start, i - start);
        if (MontserratMetrics::isCovered(s)) {
            out.append(original);
        } else if (const std::optional<QString> r = replacement(s)) {
            out.append(*r);
        } else {
            out.append(original);
        }
    }
    return out;
}
