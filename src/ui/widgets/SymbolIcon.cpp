#include "ui/widgets/SymbolIcon.h"

#include <QFile>
#include <QHash>

namespace {

struct SymbolRow {
    const char* symbol;
    const char* freedesktop;
};

// The views' symbols and their nearest counterparts in the freedesktop naming (Adwaita's
// symbolic set); the bundled drawings share the symbol's own name.
constexpr SymbolRow rows[] = {
    {"antenna.radiowaves.left.and.right.slash", "network-offline-symbolic"},
    {"app.dashed", "application-x-executable-symbolic"},
    {"arrow.down.to.line", "document-save-symbolic"},
    {"arrow.left.and.right.righttriangle.left.righttriangle.right", "object-flip-horizontal-symbolic"},
    {"arrow.triangle.swap", "emblem-synchronizing-symbolic"},
    {"backward.fill", "media-skip-backward-symbolic"},
    {"chart.line.uptrend.xyaxis", "x-office-spreadsheet-symbolic"},
    {"checkmark.circle.fill", "emblem-ok-symbolic"},
    {"chevron.up.chevron.down", "pan-down-symbolic"},
    {"crop", "image-crop-symbolic"},
    {"curlybraces", "text-x-generic-symbolic"},
    {"display", "video-display-symbolic"},
    {"doc", "text-x-generic-symbolic"},
    {"ellipsis.circle", "view-more-symbolic"},
    {"exclamationmark.circle.fill", "emblem-important-symbolic"},
    {"exclamationmark.octagon", "dialog-error-symbolic"},
    {"exclamationmark.triangle", "dialog-warning-symbolic"},
    {"exclamationmark.triangle.fill", "dialog-warning-symbolic"},
    {"folder", "folder-symbolic"},
    {"forward.fill", "media-skip-forward-symbolic"},
    {"gauge.with.dots.needle.33percent", "power-profile-balanced-symbolic"},
    {"gearshape", "emblem-system-symbolic"},
    {"gearshape.2", "preferences-system-symbolic"},
    {"hand.raised.fill", "action-unavailable-symbolic"},
    {"hand.tap", "input-touchpad-symbolic"},
    {"list.bullet", "view-list-symbolic"},
    {"macwindow.on.rectangle", "window-new-symbolic"},
    {"minus.circle", "list-remove-symbolic"},
    {"minus.circle.fill", "list-remove-symbolic"},
    {"minus.magnifyingglass", "zoom-out-symbolic"},
    {"moon.stars", "weather-clear-night-symbolic"},
    {"music.note", "audio-x-generic-symbolic"},
    {"network", "network-workgroup-symbolic"},
    {"pause.circle", "media-playback-pause-symbolic"},
    {"pause.fill", "media-playback-pause-symbolic"},
    {"pencil", "document-edit-symbolic"},
    {"play.fill", "media-playback-start-symbolic"},
    {"plus", "list-add-symbolic"},
    {"plus.magnifyingglass", "zoom-in-symbolic"},
    {"plus.square.on.square", "edit-copy-symbolic"},
    {"rectangle.grid.2x2", "view-grid-symbolic"},
    {"rectangle.on.rectangle", "window-restore-symbolic"},
    {"rotate.left", "object-rotate-left-symbolic"},
    {"rotate.right", "object-rotate-right-symbolic"},
    {"square.dashed", "checkbox-symbolic"},
    {"square.grid.3x2", "view-app-grid-symbolic"},
    {"square.grid.3x3", "view-app-grid-symbolic"},
    {"square.grid.3x3.fill", "view-app-grid-symbolic"},
    {"stethoscope", "dialog-information-symbolic"},
    {"terminal", "utilities-terminal-symbolic"},
    {"xmark.octagon.fill", "dialog-error-symbolic"},
};

const QHash<QString, QString>& table()
{
    static const QHash<QString, QString> map = [] {
        QHash<QString, QString> m;
        for (const SymbolRow& row : rows)
            m.insert(QString::fromLatin1(row.symbol), QString::fromLatin1(row.freedesktop));
        return m;
    }();
    return map;
}

}  // namespace

std::optional<QString> freedesktopIconName(const QString& symbol)
{
    const auto found = table().constFind(symbol);
    if (found == table().cend())
        return std::nullopt;
    return *found;
}

QString bundledSymbolPath(const QString& symbol)
{
    const QString path = QStringLiteral(":/symbols/") + symbol + QStringLiteral(".svg");
    return QFile::exists(path) ? path : QString();
}

QIcon symbolIcon(const QString& symbol)
{
    // Each symbol is looked up once: a lookup asks the disk for every place a theme may keep the
    // icon, and rows, buttons and status marks are made again and again. GUI thread only, as
    // icons are.
    static QHash<QString, QIcon> made;
    if (const auto found = made.constFind(symbol); found != made.cend())
        return *found;
    const std::optional<QString> name = freedesktopIconName(symbol);
    if (!name)
        return {};
    const QString bundled = bundledSymbolPath(symbol);
    const QIcon icon = QIcon::fromTheme(*name, bundled.isEmpty() ? QIcon() : QIcon(bundled));
    made.insert(symbol, icon);
    return icon;
}

QStringList knownSymbols()
{
    QStringList out;
    for (const SymbolRow& row : rows)
        out.append(QString::fromLatin1(row.symbol));
    return out;
}
