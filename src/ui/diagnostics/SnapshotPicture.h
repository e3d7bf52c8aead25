#pragma once
// The captured screen, never drawn larger than its own pixels and shrunk with its proportions
// kept when the page is narrower; pixels keep hard edges at any scale.

#include <QImage>
#include <QWidget>

class SnapshotPicture : public QWidget {
public:
    static constexpr int cornerRadius = 6;

    explicit SnapshotPicture(QWidget* parent = nullptr);

    void setImage(const QImage& image);
    const QImage& image() const { return m_image; }
    // Where the image is drawn inside the widget at its current size.
    QRect imageRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
};
