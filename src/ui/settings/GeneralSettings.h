#pragma once
// The General tab of Settings: opening Tarv at login, with the failure of the last change, the
// line to add where the desktop opens no autostart entries, and where Tarv keeps running
// without its window; and the version of this copy.

#include <QWidget>

class FormSection;
class LoginItem;
class QCheckBox;
class QLabel;

class GeneralSettings : public QWidget {
    Q_OBJECT
public:
    // The login item is kept for the life of the tab.
    explicit GeneralSettings(LoginItem* loginItem, QWidget* parent = nullptr);

    LoginItem& loginItem() const { return *m_loginItem; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showLoginItem();
    void showWhereTarvKeepsRunning();
    void showStartHint();

    LoginItem* m_loginItem = nullptr;
    FormSection* m_login = nullptr;
    QCheckBox* m_openAtLogin = nullptr;
    QLabel* m_failure = nullptr;
    QLabel* m_startHint = nullptr;
    QLabel* m_startLine = nullptr;
};
