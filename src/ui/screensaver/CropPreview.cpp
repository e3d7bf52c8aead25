#include "ui/screensaver/CropPreview.h"

#include "ui/screensaver/CropAdjustments.h"

#include <QGestureEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPinchGesture>
#include <QWheelEvent>

#include <cmath>

namespace {

// A pinch starts once the fingers have changed the scale by this much.
constexpr double minimumPinchChange = 0.01;
constexpr double cornerRadius = 6;
// The zoom of one notch of the wheel; a touchpad's smaller steps zoom by their share of it.
constexpr double notchFactor = 1.2;
constexpr double notchAngle = 120;

}  // namespace

CropPreview::CropPreview(QWidget* parent) : QWidget(parent)
{
    setFixedSize(CropAdjustments::previewWidth, CropAdjustments::previewHeight);
    setCursor(Qt::OpenHandCursor);
    // By Tab or a click, so the arrow keys reach it.
    setFocusPolicy(Qt::StrongFocus);
    grabGesture(Qt::PinchGesture);
    setAttribute(Qt::WA_AcceptTouchEvents);
}

QSize CropPreview::sizeHint() const
{
    return {CropAdjustments::previewWidth, CropAdjustments::previewHeight};
}

void CropPreview::setImage(const QImage& image)
{
    m_image = image;
    m_image.setDevicePixelRatio(2);
    update();
}

void CropPreview::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF frame = QRectF(rect());
    QPainterPath shape;
    shape.addRoundedRect(frame, cornerRadius, cornerRadius);
    painter.save();
    painter.setClipPath(shape);
    if (m_image.isNull())
        painter.fillRect(frame, Qt::black);
    else
        painter.drawImage(frame, m_image);
    painter.restore();
    // The border lies inside the same rounded shape.
    QPen border(palette().color(QPalette::Mid), 1);
    painter.setPen(border);
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(frame.adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius - 0.5, cornerRadius - 0.5);
    // The focus ring in the accent, as the other controls draw theirs, inside the same shape.
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.drawRoundedRect(frame.adjusted(1, 1, -1, -1), cornerRadius - 1, cornerRadius - 1);
    }
}

void CropPreview::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (modifiers != Qt::NoModifier && modifiers != Qt::ShiftModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    const double step = modifiers == Qt::ShiftModifier ? shiftArrowStep : arrowStep;
    QPointF offset;
    switch (event->key()) {
    case Qt::Key_Left: offset = {-step, 0}; break;
    case Qt::Key_Right: offset = {step, 0}; break;
    case Qt::Key_Up: offset = {0, -step}; break;
    case Qt::Key_Down: offset = {0, step}; break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    emit cropMoved(offset);
}

void CropPreview::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_pressAt = event->position();
    m_panning = false;
    setCursor(Qt::ClosedHandCursor);
}

void CropPreview::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressAt || !(event->buttons() & Qt::LeftButton))
        return;
    const QPointF offset = event->position() - *m_pressAt;
    // A press that has not moved a whole point is no pan yet.
    if (!m_panning && std::hypot(offset.x(), offset.y()) < 1)
        return;
    m_panning = true;
    emit panned(offset);
}

void CropPreview::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    endPan();
}

void CropPreview::wheelEvent(QWheelEvent* event)
{
    // Taken whole, sideways turns included: the picture has nothing to scroll.
    event->accept();
    const int angle = event->angleDelta().y();
    if (angle != 0)
        emit wheelZoomed(std::pow(notchFactor, angle / notchAngle), event->position());
}

void CropPreview::endPan()
{
    const bool was = m_panning;
    m_pressAt.reset();
    m_panning = false;
    setCursor(Qt::OpenHandCursor);
    if (was)
        emit panEnded();
}

void CropPreview::reportPinch(double magnification)
{
    if (!m_pinching && std::abs(magnification - 1) < minimumPinchChange)
        return;
    m_pinching = true;
    emit pinched(magnification);
}

void CropPreview::endPinch()
{
    const bool was = m_pinching;
    m_pinching = false;
    m_nativeMagnification = 1;
    if (was)
        emit pinchEnded();
}

bool CropPreview::event(QEvent* event)
{
    if (event->type() == QEvent::NativeGesture) {
        // Touchpads: each zoom step carries the change since the one before.
        auto* gesture = static_cast<QNativeGestureEvent*>(event);
        switch (gesture->gestureType()) {
        case Qt::BeginNativeGesture:
            m_nativeMagnification = 1;
            return true;
        case Qt::ZoomNativeGesture:
            m_nativeMagnification += gesture->value();
            reportPinch(m_nativeMagnification);
            return true;
        case Qt::EndNativeGesture:
            endPinch();
            return true;
        default:
            break;
        }
    } else if (event->type() == QEvent::Gesture) {
        // Touch screens: Qt's pinch recogniser gives the scale since the pinch began.
        auto* gestures = static_cast<QGestureEvent*>(event);
        if (auto* pinch = static_cast<QPinchGesture*>(gestures->gesture(Qt::PinchGesture))) {
            gestures->accept(pinch);
            if (pinch->state() == Qt::GestureFinished || pinch->state() == Qt::GestureCanceled)
                endPinch();
            else
                reportPinch(pinch->totalScaleFactor());
            return true;
        }
    }
    return QWidget::event(event);
}
