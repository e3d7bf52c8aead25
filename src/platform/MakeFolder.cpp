#include "platform/MakeFolder.h"

#include <QFile>

#include <filesystem>
#include <system_error>

std::optional<QString> makeFolder(const QString& path)
{
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(path).toStdString()), error);
    if (!error)
        return std::nullopt;
    return qt_error_string(error.value());
}
