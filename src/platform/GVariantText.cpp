#include "platform/GVariantText.h"

#include <string>

namespace GVariantText {

namespace {

class Reader {
public:
    explicit Reader(const QString& text) : m_text(text.toUcs4()) {}

    void skipSpace()
    {
        while (m_at < m_text.size() && (m_text[m_at] == ' ' || m_text[m_at] == '\t' || m_text[m_at] == '\n'
                                         || m_text[m_at] == '\r'))
            ++m_at;
    }
    bool take(char32_t c)
    {
        skipSpace();
        if (m_at < m_text.size() && m_text[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }
    bool takeWord(const char* word)
    {
        skipSpace();
        qsizetype at = m_at;
        for (const char* c = word; *c; ++c, ++at) {
            if (at >= m_text.size() || m_text[at] != char32_t(*c))
                return false;
        }
        m_at = at;
        return true;
    }
    bool atEnd()
    {
        skipSpace();
        return m_at == m_text.size();
    }

    // A quoted string, either quote, with GVariant's escapes.
    std::optional<QString> string()
    {
        skipSpace();
        if (m_at >= m_text.size() || (m_text[m_at] != '\'' && m_text[m_at] != '"'))
            return std::nullopt;
        const char32_t quote = m_text[m_at++];
        std::u32string out;
        while (m_at < m_text.size()) {
            const char32_t c = m_text[m_at++];
            if (c == quote)
                return QString::fromUcs4(out.data(), qsizetype(out.size()));
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (m_at >= m_text.size())
                return std::nullopt;
            const char32_t e = m_text[m_at++];
            switch (e) {
            case '\\': case '\'': case '"': out.push_back(e); break;
            case 'a': out.push_back(0x07); break;
            case 'b': out.push_back(0x08); break;
            case 'f': out.push_back(0x0C); break;
            case 'n': out.push_back(0x0A); break;
            case 'r': out.push_back(0x0D); break;
            case 't': out.push_back(0x09); break;
            case 'v': out.push_back(0x0B); break;
            case 'u':
            case 'U': {
                const auto code = hex(e == 'u' ? 4 : 8);
                if (!code)
                    return std::nullopt;
                out.push_back(*code);
                break;
            }
            default:
                return std::nullopt;
            }
        }
        return std::nullopt;
    }

private:
    std::optional<char32_t> hex(int digits)
    {
        if (m_at + digits > m_text.size())
            return std::nullopt;
        char32_t value = 0;
        for (int i = 0; i < digits; ++i) {
            const char32_t c = m_text[m_at++];
            int digit = -1;
            if (c >= '0' && c <= '9')
                digit = int(c - '0');
            else if (c >= 'a' && c <= 'f')
                digit = int(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                digit = int(c - 'A' + 10);
            if (digit < 0)
                return std::nullopt;
            value = value * 16 + char32_t(digit);
        }
        if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return std::nullopt;
        return value;
    }

    QList<uint> m_text;
    qsizetype m_at = 0;
};

}  // namespace

std::optional<QStringList> parseStringArray(const QString& text)
{
    Reader reader(text);
    // An empty array names its type, as it cannot be told otherwise.
    reader.takeWord("@as");
    if (!reader.take('['))
        return std::nullopt;
    QStringList strings;
    if (!reader.take(']')) {
        do {
            const auto string = reader.string();
            if (!string)
                return std::nullopt;
            strings.append(*string);
        } while (reader.take(','));
        if (!reader.take(']'))
            return std::nullopt;
    }
    if (!reader.atEnd())
        return std::nullopt;
    return strings;
}

QString formatStringArray(const QStringList& strings)
{
    if (strings.isEmpty())
        return QStringLiteral("@as []");
    QStringList quoted;
    for (const QString& string : strings) {
        QString out = QStringLiteral("'");
        for (const uint code : string.toUcs4()) {
            const auto c = char32_t(code);
            if (c == '\\' || c == '\'') {
                out += u'\\';
                out += QChar(c);
            } else if (c < 0x20 || c == 0x7F) {
                out += QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
            } else {
                out += QString::fromUcs4(&c, 1);
            }
        }
        out += u'\'';
        quoted.append(out);
    }
    return u'[' + quoted.join(QStringLiteral(", ")) + u']';
}

}  // namespace GVariantText
