#pragma once
// What `tarv set <name> <value>` may push: the rule for names, shared by the tool, the store
// of pushed values and the screen-file reader, and the rules for a value, shared by the tool
// and the store, so the tool refuses before it connects what Tarv would refuse.

#include <QString>
#include <QStringView>

#include <optional>

constexpr qsizetype maxPushValueBytes = 8192;

// 1 to 64 bytes in UTF-8, each an ASCII letter, digit, "_", "." or "-".
bool isValidPushName(QStringView name);

// Why a name and value would be refused, in the words Tarv answers with; none when both are
// taken. A value is not empty, not only white space, and at most maxPushValueBytes in UTF-8.
std::optional<QString> pushRefusal(QStringView name, QStringView value);
