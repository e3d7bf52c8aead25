#include "ui/screensaver/PhotoRow.h"

#include "platform/OneLineText.h"
#include "ui/widgets/AccessibleFactory.h"
#include "ui/widgets/LazyRowList.h"
#include "ui/widgets/PlainText.h"
#include "ui/widgets/SymbolIcon.h"

#include <QAccessibleWidget>
#include <QBoxLayout>
#include <QContextMenuEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QToolButton>

MiddleElidedLabel::MiddleElidedLabel(QWidget* parent) : QLabel(parent)
{
    PlainText::make(this);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void MiddleElidedLabel::setFullText(const QString& text)
{
    m_fullText = text;
    // The plain label keeps the whole name for accessibility and size hints.
    setText(text);
    update();
}

QString MiddleElidedLabel::shownText() const
{
    return fontMetrics().elidedText(m_fullText, Qt::ElideMiddle, contentsRect().width());
}

QSize MiddleElidedLabel::minimumSizeHint() const
{
    return {fontMetrics().horizontalAdvance(QStringLiteral("\u2026")) * 3, QLabel::minimumSizeHint().height()};
}

void MiddleElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(contentsRect(), int(Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine), shownText());
}

namespace {

// A row's button: a tool button that the factory below knows.
class PhotoRowButton : public QToolButton {
public:
    using QToolButton::QToolButton;
};

// A row's button as a screen reader hears it: its title and the photo's name, and where the
// photo stands, read from the row as they are asked for.
class PhotoButtonAccessible : public QAccessibleWidget {
public:
    explicit PhotoButtonAccessible(QToolButton* button) : QAccessibleWidget(button, QAccessible::Button) {}

    QString text(QAccessible::Text t) const override
    {
        // Qt asks while the button is made, before the row takes it.
        const auto* row = qobject_cast<const PhotoRow*>(widget()->parentWidget());
        if (row && t == QAccessible::Name)
            return static_cast<const QToolButton*>(widget())->text() + u' ' + row->nameLabel()->fullText();
        if (row && t == QAccessible::Description)
            return row->placeText();
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& actionName) override
    {
        if (actionName == pressAction())
            static_cast<QToolButton*>(widget())->click();
    }
};

QAccessibleInterface* photoButtonFactory(const QString&, QObject* object)
{
    if (auto* button = dynamic_cast<PhotoRowButton*>(object))
        return new PhotoButtonAccessible(button);
    return nullptr;
}

QToolButton* rowButton(const char* name, const QString& title, const char* symbol, const QString& help)
{
    auto* button = new PhotoRowButton;
    button->setObjectName(QLatin1String(name));
    button->setText(title);
    button->setToolTip(help);
    button->setIcon(symbolIcon(QLatin1String(symbol)));
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setAutoRaise(true);
    return button;
}

// The picture fitted into a 3:2 box of rounded corners, at the screen's pixel density.
QPixmap roundedThumbnail(const QImage& image, qreal ratio)
{
    const QSize box(PhotoRow::thumbnailWidth, PhotoRow::thumbnailHeight);
    QPixmap out(box * ratio);
    out.setDevicePixelRatio(ratio);
    out.fill(Qt::transparent);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QSizeF fitted = QSizeF(image.size()).scaled(QSizeF(box), Qt::KeepAspectRatio);
    const QRectF target(QPointF((box.width() - fitted.width()) / 2, (box.height() - fitted.height()) / 2), fitted);
    QPainterPath clip;
    clip.addRoundedRect(target, 4, 4);
    painter.setClipPath(clip);
    painter.drawImage(target, image);
    return out;
}

}  // namespace

PhotoRow::PhotoRow(const QUuid& id, QWidget* parent) : QWidget(parent), m_id(id)
{
    // Before the buttons: Qt keeps the first interface it makes for a widget.
    installAccessibleFactory<photoButtonFactory>();
    m_thumbnail = new QLabel;
    m_thumbnail->setObjectName(QStringLiteral("photoThumbnail"));
    m_thumbnail->setFixedSize(thumbnailWidth, thumbnailHeight);
    m_thumbnail->hide();
    m_name = new MiddleElidedLabel;
    m_name->setObjectName(QStringLiteral("photoName"));
    m_crop = rowButton("cropButton", QStringLiteral("Crop"), "crop", {});
    m_remove = rowButton("removeButton", QStringLiteral("Remove"), "minus.circle", {});

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(m_thumbnail, 0, Qt::AlignVCenter);
    layout->addWidget(m_name, 1, Qt::AlignVCenter);
    layout->addWidget(m_crop, 0, Qt::AlignVCenter);
    layout->addWidget(m_remove, 0, Qt::AlignVCenter);
    setMinimumHeight(thumbnailHeight);

    connect(m_crop, &QToolButton::clicked, this, [this] { emit cropRequested(m_id, m_name->fullText()); });
    connect(m_remove, &QToolButton::clicked, this, [this] { emit removeRequested(m_id); });
}

QString PhotoRow::key(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces);
}

QString PhotoRow::placeText() const
{
    const auto* list = dynamic_cast<const LazyRowList*>(parentWidget());
    const int place = list ? list->indexOf(key(m_id)) : -1;
    return place < 0 ? QString() : QStringLiteral("Photo %1 of %2").arg(place + 1).arg(list->keys().size());
}

void PhotoRow::contextMenuEvent(QContextMenuEvent* event)
{
    emit menuRequested(m_id, event->globalPos());
}

void PhotoRow::setName(const QString& name)
{
    m_name->setFullText(oneLineText(name));
    m_crop->setToolTip(PlainText::toolTip(QStringLiteral("Crop, zoom, or rotate ") + name));
    m_remove->setToolTip(PlainText::toolTip(QStringLiteral("Remove ") + name));
}

void PhotoRow::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    // After the drawing: the answer may change the row.
    QMetaObject::invokeMethod(this, [this] { emit firstShown(m_id); }, Qt::QueuedConnection);
}

void PhotoRow::setThumbnail(const QImage& image)
{
    if (image.isNull()) {
        m_thumbnail->clear();
        m_thumbnail->hide();
        return;
    }
    m_thumbnail->setPixmap(roundedThumbnail(image, devicePixelRatioF()));
    m_thumbnail->show();
}
