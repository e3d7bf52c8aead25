#pragma once
// The crop editor's picture: what the device will show, 480 x 320 points drawn from twice as
// many pixels, with a rounded border. It turns pointer drags, touchpad pinches and touch
// pinches into pan and pinch reports, the mouse wheel into zoom steps, and the arrow keys, while
// it has the focus, into moves of the crop; the editor does the arithmetic.

#include <QImage>
#include <QPointF>
#include <QWidget>

#include <optional>

class CropPreview : public QWidget {
    Q_OBJECT
public:
    explicit CropPreview(QWidget* parent = nullptr);

    void setImage(const QImage& image);
    const QImage& image() const { return m_image; }

    QSize sizeHint() const override;

signals:
    // The drag's offset in points since it began, right and down positive.
    void panned(QPointF offset);
    void panEnded();
    // The magnification since the pinch began (1 at its start).
    void pinched(double magnification);
    void pinchEnded();
    // The wheel turned over the picture: zoom by `factor` about `at`, in points.
    void wheelZoomed(double factor, QPointF at);
    // An arrow key: the crop moves by `offset` points over the picture, right and down positive.
    void cropMoved(QPointF offset);

public:
    // Points the crop moves for one arrow key, and with Shift held.
    static constexpr double arrowStep = 10;
    static constexpr double shiftArrowStep = 60;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void endPan();
    void reportPinch(double magnification);
    void endPinch();

    QImage m_image;
    std::optional<QPointF> m_pressAt;
    bool m_panning = false;
    bool m_pinching = false;
    double m_nativeMagnification = 1;
};
