#pragma once
// The application chooser of an open-app key: the applications installed as desktop entries
// in the XDG application folders, by name and icon, with a search. Entries are read away from
// the GUI thread; the dialog fills its list when they arrive.

#include "macros/AppTarget.h"
#include "platform/DesktopEntry.h"

#include <QDialog>
#include <QList>

class QLineEdit;
class QListWidget;
class QPushButton;

class AppChooser : public QDialog {
    Q_OBJECT
public:
    explicit AppChooser(QWidget* parent = nullptr);

    // The entries a user may choose, sorted by name: those shown in menus (no NoDisplay).
    static QList<DesktopEntry> choosable(QList<DesktopEntry> entries);

    // The selected application: its desktop file id and its Name as the entry has it.
    AppTarget chosenApp() const;
    bool isLoaded() const { return m_loaded; }

signals:
    void appChosen(const AppTarget& app);
    void loaded();

private:
    void fill(const QList<DesktopEntry>& entries);
    void filter();

    QList<DesktopEntry> m_entries;
    bool m_loaded = false;
    QLineEdit* m_searchField = nullptr;
    QListWidget* m_list = nullptr;
    QPushButton* m_chooseButton = nullptr;
};
