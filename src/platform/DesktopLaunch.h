#pragma once
// Turns a desktop entry's Exec line into a program and its arguments, strictly by the
// desktop entry rules, and starts it detached, never through a shell.

#include "platform/DesktopEntry.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

struct ExecError {
    QString message;
};

class DesktopLaunch {
public:
    // The argument vector of the entry's Exec line with no files or URLs to open: %f %F
    // %u %U and the deprecated codes vanish, %i becomes "--icon" and the icon, %c the name,
    // %k the file's path, %% a percent sign. A quote left open, an unknown escape inside
    // quotes or an unknown field code makes the line unreadable.
    static std::variant<QStringList, ExecError> expandExec(const DesktopEntry& entry);

    // Starts the application detached. An entry with Terminal=true runs inside
    // x-terminal-emulator. The error text is for the user.
    static std::optional<QString> launch(const DesktopEntry& entry);
};

