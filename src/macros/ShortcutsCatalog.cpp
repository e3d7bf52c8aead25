#include "macros/ShortcutsCatalog.h"

#include "platform/ContextContinuation.h"
#include "platform/FolderWatcher.h"

#include <QCollator>

#include <algorithm>

ShortcutsCatalog::ShortcutsCatalog(QObject* parent)
    : QObject(parent)
{
}

QStringList ShortcutsCatalog::sorted(QStringList names)
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(names.begin(), names.end(),
                     [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    return names;
}

QFuture<QStringList> ShortcutsCatalog::listShortcuts() const
{
    // The tool's failure is not used: whatever it printed is the list.
    return runner.runShortcutsTool({QStringLiteral("list")}).then([](const ProcessResult& result) {
        return result.output.split(u'\n', Qt::SkipEmptyParts);
    });
}

void ShortcutsCatalog::load()
{
    watchFolder();
    if (m_isLoading)
        return;
    setLoading(true);
    // The continuation belongs to this catalog: it never runs once the catalog is gone.
    continueOn(this, listShortcuts(), [this](const QStringList& list) {
        setNames(sorted(list));
        setLoading(false);
        if (m_changedWhileLoading) {
            m_changedWhileLoading = false;
            load();
        }
    });
}

void ShortcutsCatalog::watchFolder()
{
    if (m_watcher || runner.shortcutsFolder.isEmpty())
        return;
    // A file added, removed or made executable there shows in the picker without a visit
    // elsewhere and back.
    m_watcher = new FolderWatcher(runner.shortcutsFolder, [this] {
        if (m_isLoading)
            m_changedWhileLoading = true;
        else
            load();
    }, this);
    m_watcher->start();
}

void ShortcutsCatalog::setNames(const QStringList& names)
{
    if (names == m_names)
        return;
    m_names = names;
    emit namesChanged();
}

void ShortcutsCatalog::setLoading(bool loading)
{
    if (loading == m_isLoading)
        return;
    m_isLoading = loading;
    emit isLoadingChanged();
}
