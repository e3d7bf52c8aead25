#include "ui/macros/AppChooser.h"

#include "platform/ContextContinuation.h"
#include "platform/DesktopEntries.h"
#include "platform/OneLineText.h"
#include "ui/widgets/AppIconView.h"
#include "ui/widgets/PlainText.h"

#include <QBoxLayout>
#include <QCollator>
#include <QDialogButtonBox>
#include <QFuture>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace {

constexpr int idRole = Qt::UserRole;
constexpr int nameRole = Qt::UserRole + 1;

QList<DesktopEntry> readEntries(const QStringList& dirs)
{
    return AppChooser::choosable(DesktopEntries::all(dirs));
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
    m_list = new QListWidget;
    m_list->setObjectName(QStringLiteral("appList"));
    m_list->setAccessibleName(QStringLiteral("Applications"));
    m_list->setIconSize(QSize(24, 24));
    m_list->setUniformItemSizes(true);
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
    connect(m_list, &QListWidget::currentItemChanged, this,
            [this](QListWidgetItem* item) { m_chooseButton->setEnabled(item && !item->isHidden()); });
    connect(m_list, &QListWidget::itemActivated, this, &AppChooser::choose);
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
               [this](const QList<DesktopEntry>& entries) { fill(entries); });
}

void AppChooser::choose()
{
    // One Return reaches both the list or the field and the dialog's default button; the
    // first of them chooses, the second finds the dialog closed.
    if (!isVisible() || !m_chooseButton->isEnabled())
        return;
    accept();
}

void AppChooser::fill(const QList<DesktopEntry>& entries)
{
    m_entries = entries;
    m_list->clear();
    for (const DesktopEntry& entry : m_entries) {
        auto* item = new QListWidgetItem(oneLineText(entry.name), m_list);
        const QIcon icon = AppIconView::iconForEntryIcon(entry.icon);
        item->setIcon(icon.isNull() ? AppIconView::fallbackIcon() : icon);
        item->setData(idRole, entry.id);
        item->setData(nameRole, entry.name);
        item->setToolTip(PlainText::toolTip(entry.id));
    }
    m_loaded = true;
    filter();
    emit loaded();
}

void AppChooser::filter()
{
    const QString query = m_searchField->text().trimmed();
    QListWidgetItem* firstShown = nullptr;
    for (int i = 0; i < m_list->count(); ++i) {
        QListWidgetItem* item = m_list->item(i);
        const bool shown = query.isEmpty() || item->data(nameRole).toString().contains(query, Qt::CaseInsensitive) ||
                           item->data(idRole).toString().contains(query, Qt::CaseInsensitive);
        item->setHidden(!shown);
        if (shown && !firstShown)
            firstShown = item;
    }
    QListWidgetItem* current = m_list->currentItem();
    if (!current || current->isHidden())
        m_list->setCurrentItem(firstShown);
    m_chooseButton->setEnabled(m_list->currentItem() && !m_list->currentItem()->isHidden());
}

AppTarget AppChooser::chosenApp() const
{
    const QListWidgetItem* item = m_list->currentItem();
    if (!item || item->isHidden())
        return {};
    return {item->data(idRole).toString(), item->data(nameRole).toString()};
}

QList<AppTarget> AppChooser::chosenApps() const
{
    if (m_selection == Selection::one) {
        const AppTarget app = chosenApp();
        return app.bundleID.isEmpty() ? QList<AppTarget>() : QList<AppTarget>{app};
    }
    QList<AppTarget> apps;
    for (int i = 0; i < m_list->count(); ++i) {
        const QListWidgetItem* item = m_list->item(i);
        if (item->isSelected() && !item->isHidden())
            apps.append({item->data(idRole).toString(), item->data(nameRole).toString()});
    }
    return apps;
}
