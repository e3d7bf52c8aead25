#include "ui/widgets/TabOrder.h"

#include <QLayout>
#include <QWidget>

namespace {

void appendStops(QWidget* widget, QList<QWidget*>& out);

void appendStops(QLayout* layout, QList<QWidget*>& out)
{
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (QWidget* widget = item->widget(); widget && !widget->isWindow())
            appendStops(widget, out);
        else if (QLayout* inner = item->layout())
            appendStops(inner, out);
    }
}

void appendStops(QWidget* widget, QList<QWidget*>& out)
{
    if (widget->focusPolicy() & Qt::TabFocus)
        out.append(widget);
    if (QLayout* layout = widget->layout())
        appendStops(layout, out);
}

}  // namespace

namespace TabOrder {

QList<QWidget*> stops(QWidget* widget)
{
    QList<QWidget*> out;
    appendStops(widget, out);
    return out;
}

QWidget* place(QWidget* before, const QList<QWidget*>& stops)
{
    for (QWidget* stop : stops) {
        QWidget::setTabOrder(before, stop);
        before = stop;
    }
    return before;
}

}  // namespace TabOrder
