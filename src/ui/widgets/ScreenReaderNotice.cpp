#include "ui/widgets/ScreenReaderNotice.h"

#include "ui/widgets/AccessibleFactory.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace {

const QString noticeName = QStringLiteral("screenReaderNotice");

QAccessibleInterface* noticeFactory(const QString&, QObject* object)
{
    if (auto* notice = qobject_cast<ScreenReaderNotice*>(object))
        return new QAccessibleWidget(notice, QAccessible::Notification);
    return nullptr;
}

}  // namespace

ScreenReaderNotice::ScreenReaderNotice(QWidget* window) : QWidget(window)
{
    setObjectName(noticeName);
    // A point of the window that draws nothing and lets the pointer through.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(0, 0, 1, 1);
    hide();
}

ScreenReaderNotice* ScreenReaderNotice::of(const QWidget* window)
{
    return window ? window->findChild<ScreenReaderNotice*>(noticeName, Qt::FindDirectChildrenOnly) : nullptr;
}

void ScreenReaderNotice::say(QWidget* where, const QString& text)
{
    if (!where || text.isEmpty())
        return;
    installAccessibleFactory<noticeFactory>();
    QWidget* window = where->window();
    ScreenReaderNotice* notice = of(window);
    if (!notice)
        notice = new ScreenReaderNotice(window);
    // Orca speaks a notification as it shows, with its name: each text shows it anew.
    notice->hide();
    notice->setAccessibleName(text);
    notice->show();
}
