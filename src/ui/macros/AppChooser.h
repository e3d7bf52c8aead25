#pragma once
// The application chooser: the applications installed as desktop entries in the XDG
// application folders, by name and icon, with a search; one for an open-app key, or several
// to link to a profile. Entries are read away from
// the GUI thread; the dialog fills its list when they arrive.

#include "macros/AppTarget.h"
#include "platform/DesktopEntry.h"

#include <QDialog>
#include <QHash>
#include <QImage>
#include <QList>
#include <QModelIndex>

class QLineEdit;
class QListView;
class QPushButton;
class QSortFilterProxyModel;
class QStandardItemModel;

class AppChooser : public QDialog {
    Q_OBJECT
public:
    enum class Selection { one, several };

    explicit AppChooser(QWidget* parent = nullptr,
                        const QString& message = QStringLiteral("Choose the app this key opens."),
                        Selection selection = Selection::one);

    // The entries a user may choose, sorted by name: those shown in menus (no NoDisplay).
    static QList<DesktopEntry> choosable(QList<DesktopEntry> entries);

    // The selected application: its desktop file id and its Name as the entry has it.
    AppTarget chosenApp() const;
    // Every selected application, in list order.
    QList<AppTarget> chosenApps() const;
    bool isLoaded() const { return m_loaded; }

signals:
    void appChosen(const AppTarget& app);
    // On "Choose" with several allowed: the chosen applications, at least one.
    void appsChosen(const QList<AppTarget>& apps);
    void loaded();

private:
    void choose();
    void fill(const QList<DesktopEntry>& entries, const QHash<QString, QImage>& iconFiles);
    void filter();
    AppTarget appAt(const QModelIndex& shown) const;

    Selection m_selection = Selection::one;
    bool m_loaded = false;
    QLineEdit* m_searchField = nullptr;
    QListView* m_list = nullptr;
    QStandardItemModel* m_apps = nullptr;
    // The search leaves out rows, never hides them: a hidden row would still be read.
    QSortFilterProxyModel* m_shown = nullptr;
    QPushButton* m_chooseButton = nullptr;
};
