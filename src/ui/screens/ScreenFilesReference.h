#pragma once
// Where the reference of the screen-file format is: installed with the program, in its
// prefix's share/doc/tarv, or, for a program run from the build folder it was built in, in
// the source tree it was built from.

#include <QString>

#include <optional>

namespace ScreenFilesReference {

inline const QString fileName = QStringLiteral("screen-files.md");

// `programFolder` is the folder of the running program. Looks at the file system, so it is
// asked on a worker.
std::optional<QString> find(const QString& programFolder);

}  // namespace ScreenFilesReference
