#include "app/TrayIcon.h"

#include <QCursor>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

TrayIcon::TrayIcon(QMenu* menu, QObject* parent) : QObject(parent), m_menu(menu)
{
    m_lookAgain = new QTimer(this);
    m_lookAgain->setInterval(lookAgainIntervalMs);
    connect(m_lookAgain, &QTimer::timeout, this, &TrayIcon::lookForTray);
    lookForTray();
}

bool TrayIcon::isShown() const
{
    return m_icon && m_icon->isVisible();
}

void TrayIcon::lookForTray()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        if (++m_looks >= lookAgainCount)
            m_lookAgain->stop();
        else if (!m_lookAgain->isActive())
            m_lookAgain->start();
        return;
    }
    m_lookAgain->stop();
    if (m_icon)
        return;
    m_icon = new QSystemTrayIcon(QIcon(QStringLiteral(":/icons/tarv.svg")), this);
    m_icon->setToolTip(QStringLiteral("Tarv"));
    m_icon->setContextMenu(m_menu);
    // The icon is a pull-down menu: a plain click opens it as well.
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            m_menu->popup(QCursor::pos());
    });
    m_icon->show();
}
