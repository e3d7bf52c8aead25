#pragma once
// Rows one under another, each named by a key, in the order given. A row's widgets are made
// only once it comes into sight, a few at a time, so a list of thousands costs a key and a
// height each until the user scrolls to them, and a long list never holds the window up while
// its rows are made. A row's Tab stops are put in the window's keyboard order where the row
// stands, after the list's own place; a row that makes widgets later puts them in place itself.

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <optional>

class LazyRowList : public QWidget {
public:
    // Makes the row of a key; the list owns it from then on.
    using RowMaker = std::function<QWidget*(const QString& key)>;

    struct Look {
        // Space between two rows; with a line, the line is drawn in the middle of twice this.
        int spacing = 6;
        bool lines = false;
        // The height a row is taken to have until it is made.
        std::function<int(const QWidget& list)> estimatedHeight;
    };

    LazyRowList(RowMaker makeRow, Look look, QWidget* parent = nullptr);

    // The keys in order. Rows of keys that are gone are deleted; the others are kept.
    void setKeys(const QStringList& keys);
    const QStringList& keys() const { return m_keys; }
    // The key's place in the list, or -1.
    int indexOf(const QString& key) const { return m_index.value(key, -1); }
    // The row of the key if it has been made.
    QWidget* builtRow(const QString& key) const;
    // The row of the key, made now if it was not yet; null for a key not listed.
    QWidget* row(const QString& key);
    // The rows made so far, in the keys' order.
    QList<QWidget*> builtRows() const;

    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Entry {
        QString key;
        QWidget* row = nullptr;
    };

    // Put the keys between the first `head` and the last `tail` in place of those there, or
    // all of them; give back the rows of keys that went. The run is not put in place when a
    // key would be listed twice.
    std::optional<QList<QWidget*>> replaceRun(const QStringList& keys, qsizetype head, qsizetype tail);
    QList<QWidget*> replaceAll(const QStringList& keys);
    QWidget* build(int index);
    void buildInSight();
    // The entries whose place meets the rectangle, as a half-open range.
    std::pair<int, int> entriesIn(const QRect& rect) const;
    int gap() const;
    // `estimate` stands for a row not made yet.
    int rowHeight(const Entry& entry, int width, int estimate) const;
    void relayout();
    void scheduleRelayout();
    void followFocus(QWidget* now);

    RowMaker m_makeRow;
    Look m_look;
    QStringList m_keys;
    QList<Entry> m_entries;
    QHash<QString, int> m_index;
    // The top of each entry, and the bottom of the last one, at the current width.
    QList<int> m_tops;
    // A hidden stop at the list's place in the keyboard order, which rows are put after.
    QWidget* m_tabPlace = nullptr;
    QTimer m_buildTimer;
    QTimer m_relayoutTimer;
};
