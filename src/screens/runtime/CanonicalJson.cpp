#include "screens/runtime/CanonicalJson.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

#include <charconv>
#include <cmath>

namespace {

void writeString(const QString& text, QByteArray& out)
{
    static const char hex[] = "0123456789abcdef";
    out.append('"');
    const QByteArray utf8 = text.toUtf8();
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out.append("\\\""); break;
        case '\\': out.append("\\\\"); break;
        case '/': out.append("\\/"); break;
        case '\b': out.append("\\b"); break;
        case '\f': out.append("\\f"); break;
        case '\n': out.append("\\n"); break;
        case '\r': out.append("\\r"); break;
        case '\t': out.append("\\t"); break;
        default:
            if (byte < 0x20) {
                out.append("\\u00");
                out.append(hex[byte >> 4]);
                out.append(hex[byte & 0xF]);
            } else {
                out.append(c);
            }
        }
    }
    out.append('"');
}

void writeNumber(double value, QByteArray& out)
{
    constexpr double exactLimit = 9007199254740992.0;  // 2^53
    char buffer[32];
    std::to_chars_result result;
    if (std::isfinite(value) && std::trunc(value) == value && std::fabs(value) <= exactLimit)
        result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<long long>(value));
    else if (std::isfinite(value))
        result = std::to_chars(buffer, buffer + sizeof buffer, value);
    else
        return out.append("null"), void();
    out.append(buffer, result.ptr - buffer);
}

void writeValue(const QJsonValue& value, QByteArray& out)
{
    switch (value.type()) {
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        out.append("null");
        break;
    case QJsonValue::Bool:
        out.append(value.toBool() ? "true" : "false");
        break;
    case QJsonValue::Double:
        writeNumber(value.toDouble(), out);
        break;
    case QJsonValue::String:
        writeString(value.toString(), out);
        break;
    case QJsonValue::Array: {
        out.append('[');
        bool first = true;
        for (const QJsonValue& element : value.toArray()) {
            if (!first)
                out.append(',');
            first = false;
            writeValue(element, out);
        }
        out.append(']');
        break;
    }
    case QJsonValue::Object: {
        const QJsonObject object = value.toObject();
        // Ordered by UTF-16 code units, which equals scalar order for every key outside the
        // surrogate range; keys of the macro model are plain ASCII.
        QStringList keys = object.keys();
        std::sort(keys.begin(), keys.end());
        out.append('{');
        bool first = true;
        for (const QString& key : keys) {
            if (!first)
                out.append(',');
            first = false;
            writeString(key, out);
            out.append(':');
            writeValue(object.value(key), out);
        }
        out.append('}');
        break;
    }
    }
}

}  // namespace

QByteArray CanonicalJson::write(const QJsonValue& value)
{
    QByteArray out;
    writeValue(value, out);
    return out;
}
