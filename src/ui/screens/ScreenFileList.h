#pragma once
// The rows of the Screens folder's files, one under another with a line between, in the
// store's order. A row's widgets are made only once it comes into sight, a few at a time, so a
// folder of thousands of files costs a name and a height each until the user scrolls to them,
// and a long folder never holds the window up while its rows are made.

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>

class ScreenFileRow;

class ScreenFileList : public QWidget {
public:
    // Makes the row of a file, with its content; the list owns it from then on.
    using RowMaker = std::function<ScreenFileRow*(const QString& fileName)>;

    explicit ScreenFileList(RowMaker makeRow, QWidget* parent = nullptr);

    // The files in order. Rows of files that are gone are deleted; the others are kept.
    void setFiles(const QStringList& fileNames);
    const QStringList& files() const { return m_names; }
    // The file's place in the list, or -1.
    int indexOf(const QString& fileName) const { return m_index.value(fileName, -1); }
    // The row of the file if it has been made.
    ScreenFileRow* builtRow(const QString& fileName) const;
    // The row of the file, made now if it was not yet; null for a file not listed.
    ScreenFileRow* row(const QString& fileName);
    // The rows made so far, in the files' order.
    QList<ScreenFileRow*> builtRows() const;
    // Called once rows were made or deleted, so the page's keyboard order can follow them.
    std::function<void()> onRowsChanged;

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
        QString name;
        ScreenFileRow* row = nullptr;
    };

    ScreenFileRow* build(int index);
    void buildInSight();
    // The entries whose place meets the rectangle, as a half-open range.
    std::pair<int, int> entriesIn(const QRect& rect) const;
    int rowHeight(const Entry& entry, int width) const;
    int estimatedHeight() const;
    void relayout();
    void scheduleRelayout();
    void followFocus(QWidget* now);

    RowMaker m_makeRow;
    QStringList m_names;
    QList<Entry> m_entries;
    QHash<QString, int> m_index;
    // The top of each entry, and the bottom of the last one, at the current width.
    QList<int> m_tops;
    QTimer m_buildTimer;
    QTimer m_relayoutTimer;
};
