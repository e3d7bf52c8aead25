#pragma once
// The sheet in which one screensaver photo is framed for the device's 480 x 320 screen: zoom,
// pan, quarter turns and mirroring, previewing exactly what the device will show. It stores
// nothing; Save hands the final adjustment to the caller.

#include "media/PhotoAdjustment.h"

#include <QDialog>
#include <QImage>

#include <functional>
#include <optional>

class CropPreview;
class QLabel;
class QPushButton;
class QSlider;
class QToolButton;

class PhotoCropEditor : public QDialog {
    Q_OBJECT
public:
    using SaveAction = std::function<void(const PhotoAdjustment&)>;

    // The slider works in steps this fine.
    static constexpr int zoomSteps = 1000;

    // `sourceIsOriginal`: the source is the photo as it was added, not its stored device frame.
    PhotoCropEditor(const QString& name, const QImage& source, bool sourceIsOriginal, const PhotoAdjustment& adjustment,
                    SaveAction onSave, QWidget* parent = nullptr);

    const PhotoAdjustment& adjustment() const { return m_adjustment; }
    CropPreview* preview() const { return m_preview; }
    QSlider* zoomSlider() const { return m_zoomSlider; }
    QLabel* originalsNotice() const { return m_notice; }

    // The edits as the controls and gestures make them.
    void setZoom(double zoom);
    void pan(QPointF offset);
    // The crop moves by `offset` preview points over the picture, as far as its edges allow;
    // a screen reader hears where it went.
    void moveCrop(QPointF offset);
    // Where the crop's centre stands on the picture, in words.
    static QString cropPlaceText(const PhotoAdjustment& adjustment);
    void endPan();
    void pinch(double magnification);
    void endPinch();
    // Zoom by `factor`, keeping the part of the picture at `at` (preview points) under it.
    void zoomAbout(double factor, QPointF at);
    void rotateLeft();
    void rotateRight();
    void mirror();
    void reset();

private:
    void apply(const PhotoAdjustment& next);
    void showAdjustment();
    const QImage& orientedSource();

    QImage m_source;
    SaveAction m_onSave;
    PhotoAdjustment m_adjustment;
    const PhotoAdjustment m_original;
    std::optional<PhotoAdjustment> m_dragStart;
    std::optional<double> m_zoomStart;
    // The source turned and mirrored for the current adjustment, made again only when
    // those change, so a pan does not turn the whole picture at every step.
    QImage m_oriented;
    std::optional<std::pair<int, bool>> m_orientedFor;

    CropPreview* m_preview = nullptr;
    QSlider* m_zoomSlider = nullptr;
    QPushButton* m_resetButton = nullptr;
    QPushButton* m_saveButton = nullptr;
    QLabel* m_notice = nullptr;
};
