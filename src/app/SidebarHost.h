#pragma once
// The main window's body: a sidebar of pages in headed groups, with the way into the Settings
// window pinned below the list, and the chosen page beside it. Pages know nothing of the
// sidebar; each is shown inside a frameless scroll area.

#include <QHash>
#include <QIcon>
#include <QString>
#include <QWidget>

class QListWidget;
class QPushButton;
class QScrollArea;
class QSplitter;
class QStackedWidget;

class SidebarHost : public QWidget {
    Q_OBJECT
public:
    static constexpr int sidebarMinimumWidth = 170;
    static constexpr int sidebarIdealWidth = 200;
    static constexpr int sidebarMaximumWidth = 260;

    explicit SidebarHost(QWidget* parent = nullptr);

    // A heading; the pages added after it are listed under it.
    void addSection(const QString& title);
    void addPage(const QString& id, const QString& title, const QIcon& icon, QWidget* page);

    // Shows a page without counting as the user's choice; an unknown id changes nothing.
    void setCurrentPage(const QString& id);
    QString currentPage() const;
    QWidget* page(const QString& id) const;

    void setSidebarVisible(bool visible);
    bool isSidebarVisible() const;

    QListWidget* list() const { return m_list; }
    QPushButton* settingsButton() const { return m_settingsButton; }

signals:
    // The user chose a page in the list.
    void pageSelected(const QString& id);
    void settingsRequested();

private:
    void showRow(int row);

    QSplitter* m_splitter = nullptr;
    QWidget* m_sidebar = nullptr;
    QListWidget* m_list = nullptr;
    QPushButton* m_settingsButton = nullptr;
    QStackedWidget* m_stack = nullptr;
    QHash<QString, QScrollArea*> m_pages;
};
