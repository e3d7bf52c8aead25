#include "ui/widgets/AppIconView.h"

#include "platform/ContextContinuation.h"
#include "platform/BoundedFile.h"
#include "platform/DesktopEntries.h"
#include "platform/OutsideImages.h"
#include "ui/widgets/SymbolIcon.h"

#include <QFileInfo>
#include <QFuture>
#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

namespace {

// Icons found so far, by desktop file id. Misses are not kept: they are asked again.
QHash<QString, QIcon>& foundIcons()
{
    static QHash<QString, QIcon> icons;
    return icons;
}

// What a worker hands back: a decoded picture for a path, or a theme name for the GUI
// thread to resolve (the theme's own loader caches and reads lazily).
struct Lookup {
    bool found = false;
    QImage image;
    QString themeName;
};

Lookup lookUpEntry(const QString& id)
{
    Lookup out;
    const std::optional<DesktopEntry> entry = DesktopEntries::find(id);
    if (!entry || entry->icon.isEmpty())
        return out;
    if (QFileInfo(entry->icon).isAbsolute()) {
        out.image = AppIconView::decodedIconFile(entry->icon);
        out.found = !out.image.isNull();
    } else {
        out.themeName = entry->icon;
        out.found = true;
    }
    return out;
}

}  // namespace

AppIconView::AppIconView(QWidget* parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("appIconView"));
    setFixedSize(side, side);
    showIcon(fallbackIcon(), true);
}

QIcon AppIconView::fallbackIcon()
{
    return symbolIcon(QStringLiteral("app.dashed"));
}

QImage AppIconView::decodedIconFile(const QString& path)
{
    const std::optional<QByteArray> bytes = readRegularFile(path, maxIconFileBytes);
    if (!bytes)
        return {};
    OutsideImages::Limits limits;
    limits.maxSide = side * 4;
    limits.maxStoredPixels = qint64(4096) * 4096;
    limits.upright = true;
    return OutsideImages::decode(*bytes, limits).value_or(QImage());
}

QIcon AppIconView::iconForEntryIcon(const QString& iconValue)
{
    // A file is decoded as any picture from outside is, away from the GUI thread: such an
    // entry's icon comes from decodedIconFile().
    if (iconValue.isEmpty() || QFileInfo(iconValue).isAbsolute())
        return {};
    // Some entries name their icon with the file's extension, which themes do not use.
    QString name = iconValue;
    for (const char* suffix : {".png", ".svg", ".xpm"}) {
        if (name.endsWith(QLatin1String(suffix)))
            name.chop(4);
    }
    return QIcon::fromTheme(name);
}

void AppIconView::setApp(const AppTarget& app)
{
    const bool same = app.bundleID == m_app.bundleID;
    m_app = app;
    if (same && !m_showsFallback)
        return;
    lookUp();
}

void AppIconView::lookUp()
{
    const quint64 lookup = ++m_lookup;
    const QString id = m_app.bundleID;
    if (id.isEmpty()) {
        showIcon(fallbackIcon(), true);
        emit iconResolved();
        return;
    }
    const auto cached = foundIcons().constFind(id);
    if (cached != foundIcons().constEnd()) {
        showIcon(*cached, false);
        emit iconResolved();
        return;
    }
    showIcon(fallbackIcon(), true);
    continueOn(this, QtConcurrent::run(lookUpEntry, id), [this, lookup, id](const Lookup& result) {
        // A newer application was set meanwhile: its own lookup answers.
        if (lookup != m_lookup)
            return;
        QIcon icon;
        if (result.found)
            icon = result.image.isNull() ? QIcon::fromTheme(result.themeName) : QIcon(QPixmap::fromImage(result.image));
        if (!icon.isNull() && !result.image.isNull()) {
            foundIcons().insert(id, icon);
        } else if (!icon.isNull()) {
            // A theme name the current theme lacks gives an icon without pictures.
            if (icon.availableSizes().isEmpty() && icon.pixmap(side, side).isNull())
                icon = QIcon();
            else
                foundIcons().insert(id, icon);
        }
        showIcon(icon.isNull() ? fallbackIcon() : icon, icon.isNull());
        emit iconResolved();
    });
}

void AppIconView::showIcon(const QIcon& icon, bool fallback)
{
    m_showsFallback = fallback;
    setPixmap(icon.pixmap(side, side));
}
