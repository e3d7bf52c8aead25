#pragma once
// One screen file on the custom screens page: whether it loaded, its summary, what it may do
// (and its approval), its problems and the failures of its data sources, with the file's
// commands in a menu at its corner and as its context menu. Updated in place on each reload.

#include "screens/format/CustomScreen.h"
#include "screens/runtime/CustomScreenStore.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <optional>
#include <utility>

class QAction;
class QLabel;
class QMenu;
class QToolButton;
class QVBoxLayout;
class ScreenPermissionsView;
class ScreenTrust;
class SymbolLabel;

class ScreenFileRow : public QWidget {
public:
    struct Content {
        CustomScreenStore::FileReport report;
        // The screen this file gives its page, if it gives one.
        std::optional<CustomScreen> screen;
        // Source name and message, in the order they are listed.
        QList<std::pair<QString, QString>> sourceFailures;
        friend bool operator==(const Content&, const Content&) = default;
    };

    ScreenFileRow(const QString& fileName, ScreenTrust& trust, QWidget* parent = nullptr);

    // Everything the row shows of its file is drawn from this, here and nowhere else.
    void setContent(const Content& content);
    const Content& content() const { return m_content; }
    const QString& fileName() const { return m_fileName; }

    ScreenPermissionsView* permissionsView() const { return m_permissions; }
    QAction* showOnDeviceAction() const { return m_showOnDevice; }
    QAction* editAction() const { return m_edit; }
    QAction* duplicateAction() const { return m_duplicate; }
    QAction* revealAction() const { return m_reveal; }

    // Why the row's last Edit or Reveal could not open anything; none once one went through.
    void setCommandFailure(const std::optional<QString>& failure);
    std::optional<QString> commandFailure() const;

private:
    void showApproval();
    void placeTabStops();

    QString m_fileName;
    ScreenTrust& m_trust;
    Content m_content;
    bool m_expanded = false;
    QLabel* m_status = nullptr;
    QLabel* m_name = nullptr;
    QLabel* m_summary = nullptr;
    QVBoxLayout* m_body = nullptr;
    ScreenPermissionsView* m_permissions = nullptr;
    QWidget* m_notes = nullptr;
    SymbolLabel* m_commandFailure = nullptr;
    QToolButton* m_actionsButton = nullptr;
    QMenu* m_menu = nullptr;
    QAction* m_showOnDevice = nullptr;
    QAction* m_edit = nullptr;
    QAction* m_duplicate = nullptr;
    QAction* m_reveal = nullptr;
};
