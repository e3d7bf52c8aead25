#pragma once
// JSON text that is the same bytes for the same value on every run: object keys in ascending
// order, no blanks or line breaks, and every "/" written as "\/". Fingerprints hash this
// text, so stored approvals stay valid only as long as it never changes. Qt's own writer
// keeps member order by hash and writes "/" bare, hence this writer.

#include <QByteArray>
#include <QJsonValue>

namespace CanonicalJson {

// Numbers that are whole and within ±2^53 are written without a fraction; others in the
// shortest form that reads back to the same double. Text is UTF-8; the quote, the backslash,
// the solidus and control characters are escaped.
QByteArray write(const QJsonValue& value);

}  // namespace CanonicalJson
