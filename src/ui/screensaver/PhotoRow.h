#pragma once
// One photo of the screensaver list: its thumbnail, its name on one line (shortened in the
// middle, so its beginning and end stay readable), and the crop and remove buttons. Move Up
// and Move Down are in its context menu, on Ctrl+Up and Ctrl+Down while the focus is in it.

#include <QImage>
#include <QLabel>
#include <QUuid>
#include <QWidget>

class QAction;
class QToolButton;

// A one-line label that elides its text in the middle instead of growing the row.
class MiddleElidedLabel : public QLabel {
public:
    explicit MiddleElidedLabel(QWidget* parent = nullptr);
    void setFullText(const QString& text);
    const QString& fullText() const { return m_fullText; }
    // The text as it fits the label's current width.
    QString shownText() const;

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_fullText;
};

class PhotoRow : public QWidget {
    Q_OBJECT
public:
    static constexpr int thumbnailHeight = 36;
    static constexpr int thumbnailWidth = 54;

    PhotoRow(const QUuid& id, QWidget* parent = nullptr);

    const QUuid& photoId() const { return m_id; }
    void setName(const QString& name);
    // A null image leaves the row without one.
    void setThumbnail(const QImage& image);
    // Whether the row has been drawn: only then is its thumbnail wanted.
    bool wasShown() const { return m_shown; }

    MiddleElidedLabel* nameLabel() const { return m_name; }
    QLabel* thumbnailLabel() const { return m_thumbnail; }
    QToolButton* cropButton() const { return m_crop; }
    QToolButton* removeButton() const { return m_remove; }
    QAction* moveUpAction() const { return m_moveUp; }
    QAction* moveDownAction() const { return m_moveDown; }
    // The photo's place in the list, counted from 0, of `count`: whether it has a neighbour above
    // and below to change places with, and, for a screen reader, where it stands.
    void setPlace(int place, int count);

signals:
    // The first time the row is drawn, which is when it comes into view.
    void firstShown(const QUuid& id);
    void cropRequested(const QUuid& id, const QString& name);
    void removeRequested(const QUuid& id);
    // One place earlier (-1) or later (1).
    void moveRequested(const QUuid& id, int offset);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QUuid m_id;
    bool m_shown = false;
    QLabel* m_thumbnail = nullptr;
    MiddleElidedLabel* m_name = nullptr;
    QToolButton* m_crop = nullptr;
    QToolButton* m_remove = nullptr;
    QAction* m_moveUp = nullptr;
    QAction* m_moveDown = nullptr;
};
