#include "app/TrayIcon.h"

#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
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

TrayIcon::~TrayIcon()
{
    delete m_closedNote;
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
    // The icon is a pull-down menu: a plain click opens it as well, where Tarv places it at the
    // pointer. On Wayland a menu that belongs to no window of Tarv's is a window of its own
    // (a tiled one, under sway), so there a plain click opens the main window, as the trays
    // of GNOME and KDE do, and the tray draws the menu.
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason != QSystemTrayIcon::Trigger)
            return;
        if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
            emit openRequested();
        else
            m_menu->popup(QCursor::pos());
    });
    m_icon->show();
}

void TrayIcon::watchClosing(QWidget* window)
{
    m_window = window;
    window->installEventFilter(this);
}

bool TrayIcon::eventFilter(QObject* watched, QEvent* event)
{
    // Only the user's close: Quit closes the windows too, and then nothing keeps running.
    if (watched == m_window && event->type() == QEvent::Close && event->spontaneous() && !m_closedNoteShown) {
        // A tray that came after Tarv stopped looking takes the icon now; one that went away
        // leaves an icon that nobody sees.
        if (!isShown())
            lookForTray();
        if (!isShown() || !QSystemTrayIcon::isSystemTrayAvailable()) {
            m_closedNoteShown = true;
            showClosedNote(m_window);
        }
    }
    return QObject::eventFilter(watched, event);
}

void TrayIcon::showClosedNote(const QWidget* window)
{
    const QString text = QStringLiteral("Tarv keeps running for the device. Start Tarv again to show its window.");
    qInfo("%s", qPrintable(text));
    // A tooltip's kind of window: no frame, no focus taken, above the others, and gone by itself.
    auto* note = new QLabel(text, nullptr, Qt::ToolTip | Qt::FramelessWindowHint);
    note->setObjectName(QStringLiteral("closedNote"));
    note->setAttribute(Qt::WA_DeleteOnClose);
    note->setAttribute(Qt::WA_ShowWithoutActivating);
    note->setForegroundRole(QPalette::ToolTipText);
    note->setBackgroundRole(QPalette::ToolTipBase);
    note->setAutoFillBackground(true);
    note->setMargin(10);
    note->adjustSize();
    note->move(window->geometry().center() - note->rect().center());
    note->show();
    m_closedNote = note;
    QTimer::singleShot(closedNoteMs, note, &QWidget::close);
}
