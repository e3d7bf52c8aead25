#include "ui/widgets/HairlineSplitter.h"

#include <QPainter>

namespace {

class HairlineHandle : public QSplitterHandle {
public:
    using QSplitterHandle::QSplitterHandle;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Mid));
    }
};

}  // namespace

HairlineSplitter::HairlineSplitter(Qt::Orientation orientation, QWidget* parent) : QSplitter(orientation, parent)
{
    setHandleWidth(1);
}

QSplitterHandle* HairlineSplitter::createHandle()
{
    return new HairlineHandle(orientation(), this);
}
