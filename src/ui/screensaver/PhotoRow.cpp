#include "ui/screensaver/PhotoRow.h"

#include "platform/OneLineText.h"
#include "ui/widgets/PlainText.h"
#include "ui/widgets/SymbolIcon.h"

#include <QAction>
#include <QBoxLayout>
#include <QKeyEvent>
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

QToolButton* rowButton(const char* name, const QString& title, const char* symbol, const QString& help)
{
    auto* button = new QToolButton;
    button->setObjectName(QLatin1String(name));
    button->setText(title);
    button->setAccessibleName(title);
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

    // As the key grid moves keys, and as list rows move in KDE's lists: from the row's context
    // menu, or by Ctrl and an arrow while one of its buttons has the focus.
    const auto moveAction = [this](const char* name, const QString& title, const char* key, int offset) {
        auto* action = new QAction(title, this);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(QKeySequence(QLatin1String(key)));
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(action, &QAction::triggered, this, [this, offset] { emit moveRequested(m_id, offset); });
        addAction(action);
        return action;
    };
    m_moveUp = moveAction("moveUpAction", QStringLiteral("Move Up"), "Ctrl+Up", -1);
    m_moveDown = moveAction("moveDownAction", QStringLiteral("Move Down"), "Ctrl+Down", 1);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    // At the list's end the action is disabled, and its chord would reach the button, which takes
    // an arrow to move the focus on.
    m_crop->installEventFilter(this);
    m_remove->installEventFilter(this);
}

bool PhotoRow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QKeySequence chord(key->keyCombination());
        if (chord == m_moveUp->shortcut() || chord == m_moveDown->shortcut())
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void PhotoRow::setPlace(int place, int count)
{
    m_moveUp->setEnabled(place > 0);
    m_moveDown->setEnabled(place + 1 < count);
    // The order shows to the eye; a screen reader hears it on the focused button, and hears it
    // change as the photo moves.
    const QString where = QStringLiteral("Photo %1 of %2").arg(place + 1).arg(count);
    for (QToolButton* button : {m_crop, m_remove})
        if (button->accessibleDescription() != where)
            button->setAccessibleDescription(where);
}

void PhotoRow::setName(const QString& name)
{
    m_name->setFullText(oneLineText(name));
    m_crop->setToolTip(PlainText::toolTip(QStringLiteral("Crop, zoom, or rotate ") + name));
    m_remove->setToolTip(PlainText::toolTip(QStringLiteral("Remove ") + name));
    // Every row has the same two buttons: each is named after its photo.
    m_crop->setAccessibleName(m_crop->text() + u' ' + m_name->fullText());
    m_remove->setAccessibleName(m_remove->text() + u' ' + m_name->fullText());
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
