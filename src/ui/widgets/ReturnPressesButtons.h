#pragma once
// Makes Return and Enter press a focused push or tool button as Space does, in every window of
// the application, as KDE and GNOME buttons take both keys. Check boxes and radio buttons keep
// Space alone: Return in a form goes on to its dialog's default button.

#include <QObject>

class QCoreApplication;

class ReturnPressesButtons : public QObject {
public:
    // Installs one filter on the application; the filter lives as long as `owner`.
    static void install(QCoreApplication* application, QObject* owner);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using QObject::QObject;
};
