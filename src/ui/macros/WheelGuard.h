#pragma once
// Scrolling a page over a picker must not change the picker: it takes the wheel only while it
// has the focus.

#include <QEvent>
#include <QObject>
#include <QWidget>

class WheelGuard : public QObject {
public:
    // Guards the widget for its lifetime; the guard belongs to the widget.
    static void install(QWidget* widget)
    {
        widget->setFocusPolicy(Qt::StrongFocus);
        widget->installEventFilter(new WheelGuard(widget));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Wheel && !static_cast<QWidget*>(watched)->hasFocus()) {
            // Ignored, the wheel goes on to the scroll area around it.
            event->ignore();
            return true;
        }
        return false;
    }

private:
    using QObject::QObject;
};
