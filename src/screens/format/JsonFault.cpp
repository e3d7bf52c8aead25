#include "screens/format/JsonFault.h"

#include <QList>

#include <algorithm>

namespace {

const QByteArray byteOrderMark = QByteArrayLiteral("\xEF\xBB\xBF");

// Qt's parser refuses a bracket that opens the 1025th level.
constexpr qsizetype maxDepth = 1024;

// The two grammars one scan can follow. `qt` is exactly what QJsonDocument::fromJson takes,
// with any value at the top level: it lets some texts pass that standard JSON does not (a
// control character or an unknown escape inside quotes, ".5", "1."). `standard` is RFC 8259
// within Qt's limits: each of its refusals is one more than `qt` has, so a text it takes Qt
// takes too.
enum class Grammar { qt, standard };

// Whether Qt's parser takes the number it read: a whole number of a 64-bit integer, or one a
// double holds (neither too large nor so small it would become 0), by Qt's own conversions.
bool qtTakesNumber(const QByteArray& number, bool whole)
{
    bool ok = false;
    if (whole) {
        number.toLongLong(&ok);
        if (ok)
            return true;
    }
    number.toDouble(&ok);
    return ok;
}

bool isJsonSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isHexDigit(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The length of the well-formed UTF-8 sequence at `i` (overlong forms, surrogates and
// scalars past U+10FFFF are not), or 0.
qsizetype utf8SequenceLength(const QByteArray& data, qsizetype i)
{
    const auto byte = [&](qsizetype k) { return k < data.size() ? static_cast<unsigned char>(data[k]) : 0u; };
    const unsigned lead = byte(i);
    const auto continuation = [&](qsizetype k, unsigned lo = 0x80, unsigned hi = 0xBF) {
        return byte(k) >= lo && byte(k) <= hi;
    };
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return continuation(i + 1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        const unsigned lo = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned hi = lead == 0xED ? 0x9F : 0xBF;
        return continuation(i + 1, lo, hi) && continuation(i + 2) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned lo = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned hi = lead == 0xF4 ? 0x8F : 0xBF;
        return continuation(i + 1, lo, hi) && continuation(i + 2) && continuation(i + 3) ? 4 : 0;
    }
    return 0;
}

// One pass over the text, without recursion, so no nesting depth can exhaust the stack.
class Scanner {
public:
    Scanner(const QByteArray& data, Grammar grammar) : m_data(data), m_grammar(grammar) {}

    std::optional<JsonFault> run()
    {
        qsizetype i = m_data.startsWith(byteOrderMark) ? byteOrderMark.size() : 0;
        const qsizetype start = i;
        State state = State::value;
        for (;;) {
            while (i < m_data.size() && isJsonSpace(m_data[i]))
                ++i;
            if (i == m_data.size()) {
                if (state == State::end)
                    return std::nullopt;
                if (m_open.isEmpty())
                    return fault(start, QStringLiteral("the file is empty"));
                const qsizetype opener = m_open.last();
                return fault(opener, QStringLiteral("the file ends before this %1 is closed")
                                         .arg(QChar::fromLatin1(m_data[opener])));
            }
            const char c = m_data[i];
            switch (state) {
            case State::value:
            case State::valueOrClose:
                if (c == ']' && state == State::valueOrClose) {
                    state = close(i);
                    break;
                }
                if (c == ']' && m_comma >= 0)
                    return strayComma();
                if (c == '{' || c == '[') {
                    if (m_open.size() == maxDepth)
                        return fault(i, QStringLiteral("the values are nested too deeply here: %1 levels at most")
                                            .arg(maxDepth));
                    m_open.append(i++);
                    m_comma = -1;
                    state = c == '{' ? State::nameOrClose : State::valueOrClose;
                    break;
                }
                if (auto failed = value(i))
                    return failed;
                state = afterValue();
                break;
            case State::nameOrClose:
            case State::name:
                if (c == '}' && state == State::nameOrClose) {
                    state = close(i);
                    break;
                }
                if (c == '}')
                    return strayComma();
                if (c != '"')
                    return fault(i, c == '\'' ? QStringLiteral("names and texts are written in double quotes")
                                              : QStringLiteral("a name in double quotes should start here"));
                if (auto failed = string(i))
                    return failed;
                state = State::colon;
                break;
            case State::colon:
                if (c != ':')
                    return fault(i, QStringLiteral("a colon is missing here"));
                ++i;
                m_comma = -1;
                state = State::value;
                break;
            case State::commaOrClose: {
                const char closing = m_data[m_open.last()] == '{' ? '}' : ']';
                if (c == closing) {
                    state = close(i);
                } else if (c == ',') {
                    m_comma = i++;
                    state = closing == '}' ? State::name : State::value;
                } else {
                    return fault(i, QStringLiteral("a comma or %1 is missing here").arg(QChar::fromLatin1(closing)));
                }
                break;
            }
            case State::end:
                return fault(i, QStringLiteral("text after the end of the document"));
            }
        }
    }

private:
    enum class State { value, valueOrClose, nameOrClose, name, colon, commaOrClose, end };

    static JsonFault fault(qsizetype offset, const QString& message) { return {offset, message}; }

    // The bracket at `i` closes the innermost one open.
    State close(qsizetype& i)
    {
        m_open.removeLast();
        ++i;
        return afterValue();
    }

    State afterValue()
    {
        m_comma = -1;
        return m_open.isEmpty() ? State::end : State::commaOrClose;
    }

    JsonFault strayComma() const
    {
        return fault(m_comma, m_data[m_open.last()] == '{' ? QStringLiteral("a comma here has no member after it")
                                                          : QStringLiteral("a comma here has no value after it"));
    }

    // A string, number or word at `i`; `i` moves past it.
    std::optional<JsonFault> value(qsizetype& i) const
    {
        const char c = m_data[i];
        if (c == '"')
            return string(i);
        if (c == ',' || c == ':' || c == '}' || c == ']')
            return fault(i, QStringLiteral("a value is missing here"));
        if (c == '\'')
            return fault(i, QStringLiteral("names and texts are written in double quotes"));
        if (m_grammar == Grammar::qt) {
            // Qt reads the word its first letter starts, and a number from anything else.
            for (const QByteArrayView word : {QByteArrayView("true"), QByteArrayView("false"), QByteArrayView("null")}) {
                if (c != word.front())
                    continue;
                if (!QByteArrayView(m_data).sliced(i).startsWith(word))
                    return fault(i, QStringLiteral("a value should start here: a text in double quotes, a number, "
                                                   "true, false, null, [ or {"));
                i += word.size();
                return std::nullopt;
            }
            return number(i);
        }
        if (c == '-' || isDigit(c))
            return number(i);
        if (isLetter(c)) {
            qsizetype end = i;
            while (end < m_data.size() && isLetter(m_data[end]))
                ++end;
            const QByteArray word = m_data.mid(i, end - i);
            if (word == "true" || word == "false" || word == "null") {
                i = end;
                return std::nullopt;
            }
            const QByteArray lower = word.toLower();
            if (lower == "true" || lower == "false" || lower == "null")
                return fault(i, QStringLiteral("true, false and null are written in small letters"));
        }
        return fault(i, QStringLiteral("a value should start here: a text in double quotes, a number, true, "
                                       "false, null, [ or {"));
    }

    std::optional<JsonFault> string(qsizetype& i) const
    {
        const qsizetype opening = i;
        for (qsizetype k = i + 1; k < m_data.size();) {
            const auto c = static_cast<unsigned char>(m_data[k]);
            if (c == '"') {
                i = k + 1;
                return std::nullopt;
            }
            if (c == '\\') {
                if (k + 1 == m_data.size())
                    break;
                const char escaped = m_data[k + 1];
                if (escaped == 'u') {
                    for (qsizetype h = k + 2; h < k + 6; ++h) {
                        if (h == m_data.size() || !isHexDigit(m_data[h]))
                            return fault(k, QStringLiteral("\\u needs four hexadecimal digits after it"));
                    }
                    k += 6;
                } else if (m_grammar == Grammar::qt || QByteArrayView("\"\\/bfnrt").contains(escaped)) {
                    // Qt takes any other character after a backslash as itself.
                    k += 2;
                } else {
                    return fault(k, QStringLiteral("a backslash here starts no escape; a backslash itself is "
                                                   "written \\\\"));
                }
                continue;
            }
            // Qt takes control characters inside quotes as they are.
            if (m_grammar == Grammar::standard && (c == '\n' || c == '\r'))
                return fault(k, QStringLiteral("a closing quote is missing before the end of this line"));
            if (m_grammar == Grammar::standard && c < 0x20)
                return fault(k, QStringLiteral("a control character inside quotes must be written as an escape, "
                                               "such as \\t for a tab"));
            const qsizetype length = utf8SequenceLength(m_data, k);
            if (length == 0)
                return fault(k, QStringLiteral("this is not UTF-8 text"));
            k += length;
        }
        return fault(opening, QStringLiteral("the file ends before the text in quotes that starts here is closed"));
    }

    // A number as Qt reads it: an optional minus, a 0 or any digits, then a point with any
    // digits and an exponent with any digits, each if there. Qt then converts what it read,
    // and refuses it when the conversion fails.
    std::optional<JsonFault> number(qsizetype& i) const
    {
        const auto at = [&](qsizetype k) { return k < m_data.size() ? m_data[k] : '\0'; };
        qsizetype k = i;
        bool whole = true;
        if (at(k) == '-')
            ++k;
        if (at(k) == '0') {
            ++k;
        } else {
            while (isDigit(at(k)))
                ++k;
        }
        if (at(k) == '.') {
            ++k;
            for (; isDigit(at(k)); ++k)
                whole = whole && at(k) == '0';
        }
        if (at(k) == 'e' || at(k) == 'E') {
            whole = false;
            ++k;
            if (at(k) == '+' || at(k) == '-')
                ++k;
            while (isDigit(at(k)))
                ++k;
        }
        const std::optional<JsonFault> nonstandard = standardNumberFault(i);
        if (!qtTakesNumber(m_data.mid(i, k - i), whole))
            return nonstandard ? nonstandard : fault(i, QStringLiteral("this number is too large or too small"));
        if (m_grammar == Grammar::standard && nonstandard)
            return nonstandard;
        i = k;
        return std::nullopt;
    }

    // Where a number that starts at `i` leaves the standard form, if it does.
    std::optional<JsonFault> standardNumberFault(qsizetype i) const
    {
        const auto at = [&](qsizetype k) { return k < m_data.size() ? m_data[k] : '\0'; };
        const auto digits = [&](qsizetype& k) -> std::optional<JsonFault> {
            if (!isDigit(at(k)))
                return fault(k, QStringLiteral("a digit is missing here"));
            while (isDigit(at(k)))
                ++k;
            return std::nullopt;
        };
        qsizetype k = i;
        if (at(k) == '-')
            ++k;
        if (at(k) == '0') {
            ++k;
            if (isDigit(at(k)))
                return fault(k, QStringLiteral("a number does not go on after a leading 0"));
        } else if (auto failed = digits(k)) {
            return failed;
        }
        if (at(k) == '.') {
            ++k;
            if (auto failed = digits(k))
                return failed;
        }
        if (at(k) == 'e' || at(k) == 'E') {
            ++k;
            if (at(k) == '+' || at(k) == '-')
                ++k;
            if (auto failed = digits(k))
                return failed;
        }
        return std::nullopt;
    }

    const QByteArray& m_data;
    const Grammar m_grammar;
    // Offsets of the brackets open now, innermost last.
    QList<qsizetype> m_open;
    // The comma just read, until what follows it is.
    qsizetype m_comma = -1;
};

}  // namespace

std::optional<JsonFault> JsonFault::find(const QByteArray& data)
{
    // Whether the text has a fault at all is Qt's grammar's to say; where it is, the standard
    // one's, which names the first place the text leaves standard JSON. That place comes no
    // later than the one where Qt stopped, and standard JSON refuses every text Qt refuses.
    std::optional<JsonFault> qt = Scanner(data, Grammar::qt).run();
    if (!qt)
        return std::nullopt;
    if (std::optional<JsonFault> standard = Scanner(data, Grammar::standard).run())
        return standard;
    return qt;
}

QString JsonFault::placeText(const QByteArray& data, qsizetype offset)
{
    offset = std::clamp<qsizetype>(offset, 0, data.size());
    const qsizetype start = data.startsWith(byteOrderMark) ? std::min(byteOrderMark.size(), offset) : 0;
    qsizetype lineStart = start;
    qsizetype line = 1;
    for (qsizetype i = start; i < offset; ++i) {
        if (data[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    qsizetype column = 1;
    for (qsizetype i = lineStart; i < offset; ++i) {
        // Continuation bytes belong to the character their sequence began.
        if ((static_cast<unsigned char>(data[i]) & 0xC0) != 0x80)
            ++column;
    }
    return QStringLiteral("line %1, column %2").arg(line).arg(column);
}
