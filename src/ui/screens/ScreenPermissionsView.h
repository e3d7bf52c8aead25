#pragma once
// Inside a screen file's row: what the file's page may do on this computer (the commands it
// runs, the addresses it fetches, the actions of its buttons) and, until the user allows
// exactly that, the way to allow it. Nothing shows for a file that does none of these.

#include "screens/format/CustomScreen.h"

#include <QWidget>

#include <functional>

class QPushButton;
class QToolButton;
class ScreenTrust;

class ScreenPermissionsView : public QWidget {
public:
    enum class Form { none, allowed, waiting };

    // `fileName`: the file the screen comes from, as it is spelled on disk.
    ScreenPermissionsView(const CustomScreen& screen, const QString& fileName, ScreenTrust& trust,
                          bool expanded = false, QWidget* parent = nullptr);

    // "3 sources, 1 button": sources first, a part left out when it counts none.
    static QString summary(const QList<CustomScreen::Permission>& permissions);
    // The lists as a screen reader says them: one line each, its title and what it runs, then
    // a line for each header an address is fetched with.
    static QString spokenList(const QList<CustomScreen::Permission>& permissions);

    Form form() const { return m_form; }
    void setExpanded(bool expanded);
    // The row keeps the disclosure's state across reloads of the file.
    std::function<void(bool)> onExpandedChanged;

private:
    void showForm();
    void showLists();
    QWidget* permissionList(const QString& name) const;

    CustomScreen m_screen;
    ScreenTrust& m_trust;
    Form m_form = Form::none;
    QWidget* m_allowed = nullptr;
    QToolButton* m_disclosure = nullptr;
    QWidget* m_allowedList = nullptr;
    QWidget* m_waiting = nullptr;
    QWidget* m_waitingList = nullptr;
    QPushButton* m_allow = nullptr;
};
