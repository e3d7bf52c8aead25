#include "ui/diagnostics/SnapshotPicture.h"

#include <QPainter>
#include <QPainterPath>

SnapshotPicture::SnapshotPicture(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("snapshotPicture"));
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void SnapshotPicture::setImage(const QImage& image)
{
    m_image = image;
    updateGeometry();
    update();
}

QRect SnapshotPicture::imageRect() const
{
    if (m_image.isNull())
        return {};
    QSize size = m_image.size();
    if (size.width() > width() || size.height() > height())
        size = size.scaled(rect().size(), Qt::KeepAspectRatio);
    return QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
}

QSize SnapshotPicture::sizeHint() const
{
    return m_image.isNull() ? QSize(0, 0) : m_image.size();
}

QSize SnapshotPicture::minimumSizeHint() const
{
    return {0, 0};
}

bool SnapshotPicture::hasHeightForWidth() const
{
    return !m_image.isNull();
}

int SnapshotPicture::heightForWidth(int width) const
{
    if (m_image.isNull() || m_image.width() <= 0)
        return 0;
    return std::min(m_image.height(), width * m_image.height() / m_image.width());
}

void SnapshotPicture::paintEvent(QPaintEvent*)
{
    if (m_image.isNull())
        return;
    const QRect target = imageRect();
    QPainter painter(this);
    // The rounded clip wants smooth edges; the pixels themselves must not be blended.
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(target), cornerRadius, cornerRadius);
    painter.setClipPath(clip);
    painter.drawImage(target, m_image);
}
