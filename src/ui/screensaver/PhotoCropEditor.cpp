#include "ui/screensaver/PhotoCropEditor.h"

#include "media/PhotoImages.h"
#include "platform/OneLineText.h"
#include "ui/screensaver/CropAdjustments.h"
#include "ui/screensaver/CropPreview.h"
#include "ui/widgets/AccessibleFactory.h"
#include "ui/widgets/FormSection.h"
#include "ui/widgets/ScreenReaderNotice.h"
#include "ui/widgets/SymbolIcon.h"

#include <QAccessibleWidget>
#include <QBoxLayout>
#include <QLocale>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>

#include <cmath>

namespace {

// A magnifier at an end of the zoom slider, drawn in the secondary style, that steps the slider
// when clicked. The slider itself takes the same steps from the keyboard (Page Up and Page
// Down), so the magnifiers are no focus stops of their own.
QToolButton* zoomStepButton(const char* name, const QString& title, const char* symbol)
{
    auto* button = new QToolButton;
    button->setObjectName(QLatin1String(name));
    button->setToolTip(title);
    button->setAccessibleName(title);
    QIcon icon;
    icon.addPixmap(symbolIcon(QLatin1String(symbol)).pixmap(16, 16, QIcon::Disabled));
    button->setIcon(icon);
    button->setIconSize(QSize(16, 16));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

// The zoom slider moves in thousandths of the zoom: a screen reader hears the zoom itself,
// 1.05 and not 1050.
class ZoomSlider : public QSlider {
public:
    using QSlider::QSlider;
};

class ZoomSliderAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit ZoomSliderAccessible(QSlider* slider) : QAccessibleWidget(slider, QAccessible::Slider) {}

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return QLocale().toString(zoomOf(slider()->value()), 'f', 2);
        return QAccessibleWidget::text(t);
    }
    QVariant currentValue() const override { return zoomOf(slider()->value()); }
    void setCurrentValue(const QVariant& value) override
    {
        slider()->setValue(int(std::lround(value.toDouble() * PhotoCropEditor::zoomSteps)));
    }
    QVariant maximumValue() const override { return zoomOf(slider()->maximum()); }
    QVariant minimumValue() const override { return zoomOf(slider()->minimum()); }
    QVariant minimumStepSize() const override { return zoomOf(slider()->singleStep()); }

private:
    QSlider* slider() const { return static_cast<QSlider*>(widget()); }
    static double zoomOf(int steps) { return double(steps) / PhotoCropEditor::zoomSteps; }
};

QAccessibleInterface* zoomSliderFactory(const QString&, QObject* object)
{
    if (auto* slider = dynamic_cast<ZoomSlider*>(object))
        return new ZoomSliderAccessible(slider);
    return nullptr;
}

QToolButton* iconButton(const char* name, const QString& title, const char* symbol)
{
    auto* button = new QToolButton;
    button->setObjectName(QLatin1String(name));
    button->setText(title);
    button->setToolTip(title);
    button->setAccessibleName(title);
    button->setIcon(symbolIcon(QLatin1String(symbol)));
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    return button;
}

}  // namespace

PhotoCropEditor::PhotoCropEditor(const QString& name, const QImage& source, bool sourceIsOriginal,
                                 const PhotoAdjustment& adjustment, SaveAction onSave, QWidget* parent)
    : QDialog(parent), m_source(source), m_onSave(std::move(onSave)), m_adjustment(adjustment), m_original(adjustment)
{
    setObjectName(QStringLiteral("photoCropEditor"));
    setWindowTitle(oneLineText(name));
    setWindowModality(Qt::WindowModal);
    setFixedWidth(520);

    m_preview = new CropPreview;
    m_preview->setObjectName(QStringLiteral("cropPreview"));
    m_preview->setAccessibleName(QStringLiteral("Crop preview of ") + name);
    m_preview->setAccessibleDescription(QStringLiteral("The arrow keys move the crop; with Shift, further."));
    connect(m_preview, &CropPreview::panned, this, &PhotoCropEditor::pan);
    connect(m_preview, &CropPreview::panEnded, this, &PhotoCropEditor::endPan);
    connect(m_preview, &CropPreview::pinched, this, &PhotoCropEditor::pinch);
    connect(m_preview, &CropPreview::pinchEnded, this, &PhotoCropEditor::endPinch);
    connect(m_preview, &CropPreview::wheelZoomed, this, &PhotoCropEditor::zoomAbout);
    connect(m_preview, &CropPreview::cropMoved, this, &PhotoCropEditor::moveCrop);

    installAccessibleFactory<zoomSliderFactory>();
    m_zoomSlider = new ZoomSlider(Qt::Horizontal);
    m_zoomSlider->setObjectName(QStringLiteral("zoomSlider"));
    m_zoomSlider->setAccessibleName(QStringLiteral("Zoom"));
    m_zoomSlider->setRange(int(CropAdjustments::minimumZoom * zoomSteps),
                           int(CropAdjustments::maximumZoom * zoomSteps));
    m_zoomSlider->setSingleStep(zoomSteps / 20);
    m_zoomSlider->setPageStep(zoomSteps / 4);
    connect(m_zoomSlider, &QSlider::valueChanged, this, [this](int value) { setZoom(double(value) / zoomSteps); });
    auto* zoomRow = new QHBoxLayout;
    zoomRow->setSpacing(10);
    QToolButton* zoomOut = zoomStepButton("zoomOutButton", QStringLiteral("Zoom Out"), "minus.magnifyingglass");
    QToolButton* zoomIn = zoomStepButton("zoomInButton", QStringLiteral("Zoom In"), "plus.magnifyingglass");
    connect(zoomOut, &QToolButton::clicked, m_zoomSlider,
            [this] { m_zoomSlider->triggerAction(QAbstractSlider::SliderPageStepSub); });
    connect(zoomIn, &QToolButton::clicked, m_zoomSlider,
            [this] { m_zoomSlider->triggerAction(QAbstractSlider::SliderPageStepAdd); });
    zoomRow->addWidget(zoomOut);
    zoomRow->addWidget(m_zoomSlider, 1);
    zoomRow->addWidget(zoomIn);

    auto* turns = new QWidget;
    auto* turnsLayout = new QHBoxLayout(turns);
    turnsLayout->setContentsMargins(0, 0, 0, 0);
    turnsLayout->setSpacing(0);
    QToolButton* left = iconButton("rotateLeftButton", QStringLiteral("Rotate Left"), "rotate.left");
    QToolButton* right = iconButton("rotateRightButton", QStringLiteral("Rotate Right"), "rotate.right");
    QToolButton* mirror = iconButton("mirrorButton", QStringLiteral("Mirror"),
                                     "arrow.left.and.right.righttriangle.left.righttriangle.right");
    for (QToolButton* button : {left, right, mirror})
        turnsLayout->addWidget(button);
    connect(left, &QToolButton::clicked, this, &PhotoCropEditor::rotateLeft);
    connect(right, &QToolButton::clicked, this, &PhotoCropEditor::rotateRight);
    connect(mirror, &QToolButton::clicked, this, &PhotoCropEditor::mirror);

    m_resetButton = new QPushButton(QStringLiteral("Reset"));
    m_resetButton->setObjectName(QStringLiteral("resetButton"));
    m_resetButton->setAutoDefault(false);
    connect(m_resetButton, &QPushButton::clicked, this, &PhotoCropEditor::reset);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    m_saveButton = new QPushButton(QStringLiteral("Save"));
    m_saveButton->setObjectName(QStringLiteral("saveButton"));
    m_saveButton->setDefault(true);
    connect(m_saveButton, &QPushButton::clicked, this, [this] {
        if (m_onSave)
            m_onSave(m_adjustment);
        accept();
    });
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(turns);
    buttonRow->addWidget(m_resetButton);
    buttonRow->addStretch(1);
    buttonRow->addWidget(cancel);
    buttonRow->addWidget(m_saveButton);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(14);
    layout->addWidget(m_preview, 0, Qt::AlignHCenter);
    layout->addLayout(zoomRow);
    layout->addLayout(buttonRow);

    // A photo kept only as its device frame has no more pixels to zoom into. A small photo
    // added with its original has nothing more to gain from being added again.
    if (!sourceIsOriginal) {
        m_notice = new QLabel(QStringLiteral("This photo was added before Tarv kept originals, so zooming enlarges its "
                                             "480 \u00D7 320 pixels. Add it again for a sharp crop."));
        m_notice->setObjectName(QStringLiteral("originalsNotice"));
        m_notice->setWordWrap(true);
        m_notice->setMaximumWidth(CropAdjustments::previewWidth);
        m_notice->setFont(FormSection::relativeFont(font(), -2));
        FormSection::setSecondaryText(m_notice);
        // The whole width under the preview, so the note wraps there and the sheet grows to
        // hold all of it.
        layout->addWidget(m_notice);
    }

    showAdjustment();
}

void PhotoCropEditor::apply(const PhotoAdjustment& next)
{
    m_adjustment = next;
    showAdjustment();
}

void PhotoCropEditor::setZoom(double zoom)
{
    apply(CropAdjustments::zoomed(m_source.size(), m_adjustment, zoom));
}

void PhotoCropEditor::pan(QPointF offset)
{
    if (!m_dragStart)
        m_dragStart = m_adjustment;
    apply(CropAdjustments::panned(m_source.size(), *m_dragStart, m_adjustment, offset.x(), offset.y()));
}

void PhotoCropEditor::moveCrop(QPointF offset)
{
    // A drag moves the picture under the crop; the crop moving right is the picture moving left.
    const PhotoAdjustment before = m_adjustment;
    apply(CropAdjustments::panned(m_source.size(), m_adjustment, m_adjustment, -offset.x(), -offset.y()));
    // Where the crop went is heard as it is seen; a crop at the picture's edge goes nowhere.
    ScreenReaderNotice::say(this, m_adjustment == before ? QStringLiteral("At the edge") : cropPlaceText(m_adjustment));
}

QString PhotoCropEditor::cropPlaceText(const PhotoAdjustment& adjustment)
{
    const QLocale locale;
    return QStringLiteral("Centre at %1% across, %2% down")
        .arg(locale.toString(int(std::lround(adjustment.centerX * 100))),
             locale.toString(int(std::lround(adjustment.centerY * 100))));
}

void PhotoCropEditor::endPan()
{
    m_dragStart.reset();
}

void PhotoCropEditor::pinch(double magnification)
{
    if (!m_zoomStart)
        m_zoomStart = m_adjustment.zoom;
    setZoom(*m_zoomStart * magnification);
}

void PhotoCropEditor::endPinch()
{
    m_zoomStart.reset();
}

void PhotoCropEditor::zoomAbout(double factor, QPointF at)
{
    apply(CropAdjustments::zoomedAbout(m_source.size(), m_adjustment, m_adjustment.zoom * factor, at.x(), at.y()));
}

void PhotoCropEditor::rotateLeft()
{
    apply(CropAdjustments::rotatedLeft(m_source.size(), m_adjustment));
}

void PhotoCropEditor::rotateRight()
{
    apply(CropAdjustments::rotatedRight(m_source.size(), m_adjustment));
}

void PhotoCropEditor::mirror()
{
    apply(CropAdjustments::mirrored(m_source.size(), m_adjustment));
}

void PhotoCropEditor::reset()
{
    apply(PhotoAdjustment{});
}

const QImage& PhotoCropEditor::orientedSource()
{
    const std::pair<int, bool> orientation{m_adjustment.turns(), m_adjustment.mirrored};
    if (m_orientedFor != orientation) {
        const std::optional<QImage> oriented =
            PhotoImages::orientedImage(m_source, m_adjustment.quarterTurns, m_adjustment.mirrored);
        m_oriented = oriented ? *oriented : QImage();
        m_orientedFor = orientation;
    }
    return m_oriented;
}

void PhotoCropEditor::showAdjustment()
{
    m_preview->setImage(CropAdjustments::previewImage(orientedSource(), m_adjustment));
    {
        const QSignalBlocker blocker(m_zoomSlider);
        m_zoomSlider->setValue(int(std::lround(m_adjustment.zoom * zoomSteps)));
    }
    m_resetButton->setEnabled(!CropAdjustments::isDefault(m_adjustment));
    m_saveButton->setEnabled(!(m_adjustment == m_original));
}
