#pragma once
// The rule for the names values are pushed under (`tarv set <name> <value>`), shared by the
// screen-file reader and the store of pushed values.

#include <QStringView>

// 1 to 64 bytes in UTF-8, each an ASCII letter, digit, "_", "." or "-".
bool isValidPushName(QStringView name);
