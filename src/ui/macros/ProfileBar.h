#pragma once
// The bar along the bottom of the macros page: pick, rename, create, duplicate and delete
// profiles, and send the Home screen to the device again. Every change is one call of the
// profile store; the bar follows the store and the connection.

#include <QFrame>
#include <QList>
#include <QPair>
#include <QString>
#include <QUuid>

class DeviceManager;
class QAction;
class QComboBox;
class QLineEdit;
class QMenu;
class QMessageBox;
class QPushButton;
class QToolButton;

class ProfileBar : public QFrame {
    Q_OBJECT
public:
    explicit ProfileBar(DeviceManager& deviceManager, QWidget* parent = nullptr);

    // Reads the profiles and the active one again; the rename field keeps what is typed.
    void refresh();

    QComboBox* picker() const { return m_picker; }
    QLineEdit* renameField() const { return m_renameField; }
    QToolButton* profileMenuButton() const { return m_menuButton; }
    QPushButton* resendButton() const { return m_resendButton; }
    // The delete confirmation while it is open.
    QMessageBox* deleteConfirmation() const { return m_confirmation; }
    bool isConfirmingDelete() const { return m_confirmation != nullptr; }

signals:
    // The page goes back to the first key: before a profile is picked, created or deleted.
    void selectionResetRequested();

private:
    void confirmDelete();
    void showConnection();

    DeviceManager& m_deviceManager;
    QComboBox* m_picker = nullptr;
    // What the picker lists, in its order: each profile's id and shown name.
    QList<QPair<QUuid, QString>> m_pickerEntries;
    QLineEdit* m_renameField = nullptr;
    QToolButton* m_menuButton = nullptr;
    QMenu* m_menu = nullptr;
    QAction* m_newAction = nullptr;
    QAction* m_duplicateAction = nullptr;
    QAction* m_deleteAction = nullptr;
    QPushButton* m_resendButton = nullptr;
    QMessageBox* m_confirmation = nullptr;
};
