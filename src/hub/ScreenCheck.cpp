#include "hub/ScreenCheck.h"

#include "platform/BoundedFile.h"
#include "platform/VisibleText.h"
#include "screens/format/CustomScreen.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QSet>

#include <algorithm>

namespace {

constexpr qint64 maxScreenFileBytes = 1 << 20;

QJsonArray jsonLines(const QStringList& lines)
{
    return QJsonArray::fromStringList(lines);
}

}  // namespace

NotifyChannel::Reply checkScreenFile(const QString& path)
{
    const std::optional<QByteArray> data = readRegularFile(path, maxScreenFileBytes);
    if (!data)
        return NotifyChannel::reply(false, QStringLiteral("could not read ") + path);

    const QFileInfo info(path);
    const QString file = info.fileName();
    QList<ScreenIssue> issues;
    const std::optional<CustomScreen> screen = CustomScreen::parse(*data, info.completeBaseName(), file, issues);

    // Each line is shown as it is: what came from the file is written out here already, the
    // approvals with every look-alike, as the Custom Screens page lists them.
    QStringList lines;
    for (const ScreenIssue& issue : issues)
        lines.append(visibleText(file + (issue.severity == ScreenIssue::Severity::error ? QStringLiteral(": error: ")
                                                                                          : QStringLiteral(": warning: ")) +
                                 issue.displayText()));
    if (!screen || hasErrors(issues)) {
        NotifyChannel::Reply reply = NotifyChannel::reply(false);
        reply.insert(QStringLiteral("lines"), jsonLines(lines));
        return reply;
    }

    QStringList sheets;
    for (const CustomScreen::SpriteWidget& sprite : screen->spriteWidgets())
        if (!sheets.contains(sprite.sheet))
            sheets.append(sprite.sheet);
    std::sort(sheets.begin(), sheets.end());
    const QDir folder = info.absoluteDir();
    for (const QString& sheet : sheets)
        if (!QFileInfo::exists(folder.filePath(sheet)))
            lines.append(visibleText(file + QStringLiteral(": warning: sprite sheet ") + sheet +
                                     QStringLiteral(" is not beside the file")));

    // Nodes are what the device draws a page with: the share says how close the page is to full.
    const qint64 nodes = screen->nodeCount();
    lines.append(visibleText(file) + QStringLiteral(": ok: ") + quotedTitle(screen->title) +
                 QStringLiteral(", %1 %2, using %3% of what one device page can hold (%4 of %5 nodes)")
                     .arg(screen->widgets.size())
                     .arg(screen->widgets.size() == 1 ? QStringLiteral("widget") : QStringLiteral("widgets"))
                     .arg(qRound(100.0 * double(nodes) / double(CustomScreen::maxNodes)))
                     .arg(nodes)
                     .arg(CustomScreen::maxNodes));
    for (const CustomScreen::Permission& permission : screen->permissions()) {
        lines.append(QStringLiteral("  ") + permission.title + QStringLiteral(": ") + permission.detail);
        for (const auto& [name, value] : permission.headers)
            lines.append(QStringLiteral("    ") + name + QStringLiteral(": ") + value);
    }

    NotifyChannel::Reply reply = NotifyChannel::reply(true);
    reply.insert(QStringLiteral("lines"), jsonLines(lines));
    return reply;
}
