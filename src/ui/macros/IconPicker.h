#pragma once
// The popup of a key's "Icon" row: one of the device's 56 icons (searchable, drawn with the
// device's own font), an emoji typed, pasted or picked from a grid, or no icon at all. Every
// choice sets one of icon and emoji and clears the other, and reaches the key as one edit.

#include "device/DeviceIcon.h"

#include <QFrame>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QGridLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QToolButton;

class IconPickerPopover : public QFrame {
    Q_OBJECT
public:
    enum class Tab { symbols, emoji };

    static constexpr int popoverWidth = 340;
    static constexpr int columnCount = 8;
    static constexpr int cellWidth = 36;
    static constexpr int cellHeight = 32;

    // The 48 emoji of the Emoji tab, in order.
    static const QStringList& suggestedEmoji();
    // The emoji behind "More…": every single-scalar emoji drawn as emoji by default.
    static const QStringList& moreEmoji();
    // The icons whose label or raw name holds the search, trimmed, ignoring case; all of them
    // for an empty search.
    static QList<DeviceIcon> filteredIcons(const QString& search);

    explicit IconPickerPopover(QWidget* parent = nullptr);

    // What the key shows now, for the highlights and "No Icon"; may change while open.
    void setKeyLook(const std::optional<DeviceIcon>& icon, const std::optional<QString>& emoji);
    // Starts afresh (Symbols tab, empty search and entry) and shows under the anchor.
    void popup(QWidget* anchor);

    Tab tab() const { return m_tab; }
    void setTab(Tab tab);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The first icon the search leaves: Return takes it, Down goes to it.
    std::optional<DeviceIcon> firstMatch() const;

signals:
    void chosen(const std::optional<DeviceIcon>& icon, const std::optional<QString>& emoji);

private:
    void choose(const std::optional<DeviceIcon>& icon, const std::optional<QString>& emoji);
    void layOutSymbols();
    void examineEntry();
    void showMore(bool shown);
    void showHighlights();

    Tab m_tab = Tab::symbols;
    std::optional<DeviceIcon> m_icon;
    std::optional<QString> m_emoji;

    QPushButton* m_symbolsTab = nullptr;
    QPushButton* m_emojiTab = nullptr;
    QStackedWidget* m_pages = nullptr;
    QLineEdit* m_searchField = nullptr;
    QGridLayout* m_symbolGrid = nullptr;
    QList<QToolButton*> m_symbolCells;
    QLineEdit* m_emojiField = nullptr;
    QPushButton* m_moreButton = nullptr;
    QStackedWidget* m_emojiGrids = nullptr;
    QList<QToolButton*> m_emojiCells;
    QListWidget* m_moreList = nullptr;
    QPushButton* m_noIconButton = nullptr;
    QLabel* m_footer = nullptr;
};
