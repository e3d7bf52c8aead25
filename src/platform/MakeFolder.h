#pragma once
// Making a folder with every missing folder above it, as "mkdir -p" does, with the system's
// reason when it cannot be made ("Not a directory" where a file stands in the way).

#include <QString>

#include <optional>

// None when the folder exists afterwards; otherwise the system's text for the failure.
std::optional<QString> makeFolder(const QString& path);
