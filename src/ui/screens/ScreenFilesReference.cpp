#include "ui/screens/ScreenFilesReference.h"

#include <QDir>
#include <QFileInfo>

namespace ScreenFilesReference {

std::optional<QString> find(const QString& programFolder)
{
    const QDir program(programFolder);
    QStringList candidates{QDir::cleanPath(program.filePath(QStringLiteral(TARV_DOC_FROM_BIN "/") + fileName))};
    // An installed program never reads a source tree that happens to be where it was built.
    if (!program.canonicalPath().isEmpty() && program.canonicalPath() == QDir(QStringLiteral(TARV_BUILD_BIN_DIR)).canonicalPath())
        candidates.append(QDir(QStringLiteral(TARV_SOURCE_DOC_DIR)).filePath(fileName));
    for (const QString& candidate : std::as_const(candidates)) {
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return std::nullopt;
}

}  // namespace ScreenFilesReference
