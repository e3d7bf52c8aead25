#pragma once
// One photo of the screensaver list: its thumbnail, its name on one line (shortened in the
// middle, so its beginning and end stay readable), and the crop and remove buttons. The list
// holds the row's menu and the keys that move it. What a screen reader says of its buttons
// (named after the photo, and its place in the list) is made when it asks: a row stores no
// text of its own for it, so a list of thousands costs nothing more.

#include <QImage>
#include <QLabel>
#include <QUuid>
#include <QWidget>

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

    // The row's key in the list of rows.
    static QString key(const QUuid& id);

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
    // Where the row stands in its list, in words: "Photo 2 of 5"; empty outside a list.
    QString placeText() const;

signals:
    // The first time the row is drawn, which is when it comes into view.
    void firstShown(const QUuid& id);
    void cropRequested(const QUuid& id, const QString& name);
    void removeRequested(const QUuid& id);
    // The row's menu, asked for with the pointer or the keyboard, at `globalPos`.
    void menuRequested(const QUuid& id, const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QUuid m_id;
    bool m_shown = false;
    QLabel* m_thumbnail = nullptr;
    MiddleElidedLabel* m_name = nullptr;
    QToolButton* m_crop = nullptr;
    QToolButton* m_remove = nullptr;
};
