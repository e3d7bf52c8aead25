#include "ui/macros/AppChooser.h"

#include "platform/ContextContinuation.h"
#include "platform/DesktopEntries.h"
#include "platform/OneLineText.h"
#include "ui/widgets/AppIconView.h"
#include "ui/widgets/PlainText.h"

#include <QBoxLayout>
#include <QCollator>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFuture>
#include <QHash>
#include <QPixmap>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace {

constexpr int idRole = Qt::UserRole;
constexpr int nameRole = Qt::UserRole + 1;
// What the search looks in: the name and the id, a line each, so no query spans both.
constexpr int searchRole = Qt::UserRole + 2;

struct ReadEntries {
    QList<DesktopEntry> entries;
    // The icons that entries name by a file's path, decoded here, by path.
    QHash<QString, QImage> iconFiles;
};

ReadEntries readEntries(const QStringList& dirs)
{
    ReadEntries read{AppChooser::choosable(DesktopEntries::all(dirs)), {}};
    for (const DesktopEntry& entry : read.entries) {
        if (QFileInfo(entry.icon).isAbsolute() && !read.iconFiles.contains(entry.icon))
            read.iconFiles.insert(entry.icon, AppIconView::decodedIconFile(entry.icon));
    }
    return read;
}

}  // namespace

QList<DesktopEntry> AppChooser::choosable(QList<DesktopEntry> entries)
{
    entries.removeIf([](const DesktopEntry& entry) { return entry.noDisplay; });
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(entries.begin(), entries.end(), [&collator](const DesktopEntry& a, const DesktopEntry& b) {
        return collator.compare(a.name, b.name) < 0;
    });
    return entries;
}

AppChooser::AppChooser(QWidget* parent, const QString& messageText, Selection selection)
    : QDialog(parent), m_selection(selection)
{
    setObjectName(QStringLiteral("appChooser"));
    setWindowTitle(QStringLiteral("Choose Application"));
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    resize(380, 440);

    auto* layout = new QVBoxLayout(this);
    auto* message = new QLabel(messageText);
    message->setWordWrap(true);
    message->setObjectName(QStringLiteral("appChooserMessage"));
    layout->addWidget(message);
    m_searchField = new QLineEdit;
    m_searchField->setObjectName(QStringLiteral("appSearchField"));
    m_searchField->setPlaceholderText(QStringLiteral("Search"));
    m_searchField->setAccessibleName(QStringLiteral("Search applications"));
    m_searchField->setClearButtonEnabled(true);
    layout->addWidget(m_searchField);
    m_apps = new QStandardItemModel(this);
    m_shown = new QSortFilterProxyModel(this);
    m_shown->setSourceModel(m_apps);
    m_shown->setFilterRole(searchRole);
    m_shown->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_list = new QListView;
    m_list->setObjectName(QStringLiteral("appList"));
    m_list->setAccessibleName(QStringLiteral("Applications"));
    m_list->setIconSize(QSize(24, 24));
    m_list->setUniformItemSizes(true);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setModel(m_shown);
    if (m_selection == Selection::several)
        m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    layout->addWidget(m_list, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    m_chooseButton = buttons->addButton(QStringLiteral("Choose"), QDialogButtonBox::AcceptRole);
    m_chooseButton->setObjectName(QStringLiteral("appChooseButton"));
    m_chooseButton->setEnabled(false);
    layout->addWidget(buttons);
    // Only once the button is inside the dialog does the dialog take it as its default; made
    // default before, the dialog picks the first button itself, Cancel, at its first showing.
    m_chooseButton->setDefault(true);

    connect(buttons, &QDialogButtonBox::accepted, this, &AppChooser::choose);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_searchField, &QLineEdit::textChanged, this, &AppChooser::filter);
    // Return in the search field takes the highlighted application.
    connect(m_searchField, &QLineEdit::returnPressed, this, &AppChooser::choose);
    connect(m_list->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { m_chooseButton->setEnabled(current.isValid()); });
    connect(m_list, &QListView::activated, this, &AppChooser::choose);
    connect(this, &QDialog::accepted, this, [this] {
        if (m_selection == Selection::several) {
            const QList<AppTarget> apps = chosenApps();
            if (!apps.isEmpty())
                emit appsChosen(apps);
            return;
        }
        const AppTarget app = chosenApp();
        if (!app.bundleID.isEmpty())
            emit appChosen(app);
    });

    continueOn(this, QtConcurrent::run(readEntries, DesktopEntries::applicationDirs()),
               [this](const ReadEntries& read) { fill(read.entries, read.iconFiles); });
}

void AppChooser::choose()
{
    // One Return reaches both the list or the field and the dialog's default button; the
    // first of them chooses, the second finds the dialog closed.
    if (!isVisible() || !m_chooseButton->isEnabled())
        return;
    accept();
}

void AppChooser::fill(const QList<DesktopEntry>& entries, const QHash<QString, QImage>& iconFiles)
{
    m_apps->clear();
    for (const DesktopEntry& entry : entries) {
        auto* item = new QStandardItem(oneLineText(entry.name));
        const QImage file = iconFiles.value(entry.icon);
        const QIcon icon = file.isNull() ? AppIconView::iconForEntryIcon(entry.icon) : QIcon(QPixmap::fromImage(file));
        item->setIcon(icon.isNull() ? AppIconView::fallbackIcon() : icon);
        item->setData(entry.id, idRole);
        item->setData(entry.name, nameRole);
        item->setData(entry.name + u'\n' + entry.id, searchRole);
        item->setToolTip(PlainText::toolTip(entry.id));
        m_apps->appendRow(item);
    }
    m_loaded = true;
    filter();
    emit loaded();
}

void AppChooser::filter()
{
    m_shown->setFilterFixedString(m_searchField->text().trimmed());
    // The highlighted application stays while the search leaves it; else one listed is
    // highlighted, and chosen where nothing listed is.
    QModelIndex current = m_list->currentIndex();
    if (!current.isValid() && m_shown->rowCount() > 0)
        current = m_shown->index(0, 0);
    QItemSelectionModel* selection = m_list->selectionModel();
    if (current.isValid() && (!selection->hasSelection() || current != m_list->currentIndex()))
        selection->setCurrentIndex(current, QItemSelectionModel::ClearAndSelect);
    m_chooseButton->setEnabled(current.isValid());
}

AppTarget AppChooser::appAt(const QModelIndex& shown) const
{
    return {shown.data(idRole).toString(), shown.data(nameRole).toString()};
}

AppTarget AppChooser::chosenApp() const
{
    const QModelIndex current = m_list->currentIndex();
    return current.isValid() ? appAt(current) : AppTarget{};
}

QList<AppTarget> AppChooser::chosenApps() const
{
    if (m_selection == Selection::one) {
        const AppTarget app = chosenApp();
        return app.bundleID.isEmpty() ? QList<AppTarget>() : QList<AppTarget>{app};
    }
    QModelIndexList selected = m_list->selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QList<AppTarget> apps;
    for (const QModelIndex& index : std::as_const(selected))
        apps.append(appAt(index));
    return apps;
}
