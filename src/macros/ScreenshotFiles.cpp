#include "macros/ScreenshotFiles.h"

#include "platform/MakeFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <unicode/smpdtfmt.h>
#include <unicode/unistr.h>

#include <memory>

QString ScreenshotFiles::fileName(const QDateTime& when)
{
    // Made once; the formatter picks up the user's locale and time zone when it is made.
    static const std::unique_ptr<icu::SimpleDateFormat> formatter = [] {
        UErrorCode status = U_ZERO_ERROR;
        auto made = std::make_unique<icu::SimpleDateFormat>(
            icu::UnicodeString(u"yyyy-MM-dd 'at' HH.mm.ss"), status);
        return U_SUCCESS(status) ? std::move(made) : nullptr;
    }();
    QString stamp;
    if (formatter) {
        icu::UnicodeString text;
        formatter->format(UDate(when.toMSecsSinceEpoch()), text);
        stamp = QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
    } else {
        stamp = when.toString(QStringLiteral("yyyy-MM-dd 'at' HH.mm.ss"));
    }
    return QStringLiteral("Screenshot ") + stamp + QStringLiteral(".png");
}

QString ScreenshotFiles::folder(const std::optional<QString>& locationSetting)
{
    if (locationSetting && !locationSetting->isEmpty()) {
        QString path = *locationSetting;
        if (path == u"~")
            path = QDir::homePath();
        else if (path.startsWith(QStringLiteral("~/")))
            path = QDir::homePath() + path.mid(1);
        if (QDir::isRelativePath(path))
            path = QDir::homePath() + u'/' + path;
        return QDir::cleanPath(path);
    }
    QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (pictures.isEmpty())
        pictures = QDir::homePath() + QStringLiteral("/Pictures");
    return pictures + QStringLiteral("/Screenshots");
}

std::optional<QString> ScreenshotFiles::moveInto(const QString& source, const QString& folder,
                                                 const QString& name, QString* finalPath)
{
    const QString cannotSave = QStringLiteral("The screenshot could not be saved in ") + folder;
    if (makeFolder(folder))
        return cannotSave;
    const QFileInfo nameInfo(name);
    const QString base = nameInfo.completeBaseName();
    const QString suffix = nameInfo.suffix().isEmpty() ? QString() : u'.' + nameInfo.suffix();
    QString target = folder + u'/' + name;
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = folder + u'/' + base + u' ' + QString::number(n) + suffix;

    // rename() fails across file systems (the portal may write to /tmp): copy, then remove.
    if (!QFile::rename(source, target)) {
        if (!QFile::copy(source, target))
            return cannotSave;
        QFile::remove(source);
    }
    if (finalPath)
        *finalPath = target;
    return std::nullopt;
}
