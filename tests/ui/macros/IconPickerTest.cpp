// The icon picker of the key inspector: the search over the device's icons, choosing an icon
// or an emoji as one undo step that clears the other, the emoji entry with whole characters,
// the grid behind "More…", "No Icon", and the highlights of what the key shows.

#include "MacrosFixture.h"

#include "device/EmojiIconRenderer.h"
#include "ui/macros/IconPicker.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

namespace {

QStringList rawValues(const QList<DeviceIcon>& icons)
{
    QStringList out;
    for (DeviceIcon icon : icons)
        out.append(icon.rawValue());
    return out;
}

}  // namespace

class IconPickerTest : public MacrosTest {
protected:
    // Selects key 1 with the given look and opens its picker.
    IconPickerPopover* open(std::optional<DeviceIcon> icon, std::optional<QString> emoji)
    {
        page();
        MacroButton button = key(QStringLiteral("Key"), MacroAction::media(MediaKey::mute));
        button.icon = icon;
        button.emoji = emoji;
        putKey(0, button);
        clickTile(0);
        return reopen();
    }

    IconPickerPopover* reopen()
    {
        QPushButton* row = find<QPushButton>("iconButton");
        QTest::mouseClick(row, Qt::LeftButton, {}, row->rect().center());
        IconPickerPopover* picker = page().inspector()->iconPicker();
        EXPECT_TRUE(picker && picker->isVisible());
        return picker;
    }

    template <class T> T* in(IconPickerPopover* picker, const QString& name)
    {
        T* found = picker->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }

    const MacroButton& first() const { return active().buttons[0]; }
    int steps() { return window->undoStack(SidebarItem::macros)->count(); }
};

TEST_F(IconPickerTest, SearchIsTrimmedIgnoresCaseAndLooksAtLabelsAndNames)
{
    EXPECT_EQ(IconPickerPopover::filteredIcons(QString()).size(), DeviceIcon::caseCount);
    EXPECT_EQ(IconPickerPopover::filteredIcons(QStringLiteral(" \t ")).size(), DeviceIcon::caseCount);
    const QStringList bell = rawValues(IconPickerPopover::filteredIcons(QStringLiteral("bell")));
    EXPECT_EQ(bell, QStringList{QStringLiteral("bell")});
    EXPECT_EQ(rawValues(IconPickerPopover::filteredIcons(QStringLiteral(" \tBELL\t "))), bell);
    // The raw name is searched too, where the label reads otherwise.
    const QList<DeviceIcon> sd = IconPickerPopover::filteredIcons(QStringLiteral("sdcard"));
    EXPECT_TRUE(sd.contains(DeviceIcon(DeviceIcon::sdCard)));
    EXPECT_TRUE(IconPickerPopover::filteredIcons(QStringLiteral("zzz")).isEmpty());

    IconPickerPopover* picker = open(std::nullopt, std::nullopt);
    auto* search = in<QLineEdit>(picker, QStringLiteral("iconSearchField"));
    QTest::keyClicks(search, QStringLiteral("vol"));
    QStringList shown;
    for (DeviceIcon icon : DeviceIcon::allCases()) {
        if (in<QToolButton>(picker, QStringLiteral("symbolCell:") + icon.rawValue())->isVisibleTo(picker))
            shown.append(icon.rawValue());
    }
    EXPECT_EQ(shown, rawValues(IconPickerPopover::filteredIcons(QStringLiteral("vol"))));
    EXPECT_FALSE(shown.isEmpty());

    // Opening again starts afresh.
    picker->hide();
    picker = reopen();
    EXPECT_TRUE(search->text().isEmpty());
    EXPECT_EQ(picker->tab(), IconPickerPopover::Tab::symbols);
}

TEST_F(IconPickerTest, ReturnTakesTheFirstMatchDownGoesToItAndTheCellUnderTheKeyboardShowsIt)
{
    IconPickerPopover* picker = open(std::nullopt, std::nullopt);
    auto* search = in<QLineEdit>(picker, QStringLiteral("iconSearchField"));
    const QList<DeviceIcon> matches = IconPickerPopover::filteredIcons(QStringLiteral("vol"));
    ASSERT_GT(matches.size(), 1);
    QTest::keyClicks(search, QStringLiteral("vol"));
    QTest::keyClick(search, Qt::Key_Return);
    EXPECT_FALSE(picker->isVisible());
    EXPECT_EQ(first().icon, std::optional<DeviceIcon>(matches.first()));

    // Down goes from the search to the first match.
    picker = reopen();
    QApplication::setActiveWindow(picker);
    search->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(waitUntil([&] { return search->hasFocus(); }));
    QTest::keyClicks(search, QStringLiteral("vol"));
    QTest::keyClick(search, Qt::Key_Down);
    EXPECT_EQ(QApplication::focusWidget(),
              in<QToolButton>(picker, QStringLiteral("symbolCell:") + matches.first().rawValue()));
    picker->hide();
    picker = reopen();

    auto* cell = in<QToolButton>(picker, QStringLiteral("symbolCell:bell"));
    search->clear();
    const QImage unfocused = cell->grab().toImage();
    QApplication::setActiveWindow(picker);
    cell->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(waitUntil([&] { return cell->hasFocus(); }));
    EXPECT_NE(cell->grab().toImage(), unfocused);

    QTest::keyClicks(search, QStringLiteral("bell"));
    QTest::keyClick(search, Qt::Key_Return);
    EXPECT_FALSE(picker->isVisible());
    EXPECT_EQ(first().icon, std::optional<DeviceIcon>(DeviceIcon::bell));
}

TEST_F(IconPickerTest, ChoosingAnIconOrAnEmojiClearsTheOtherInOneUndoStep)
{
    IconPickerPopover* picker = open(std::nullopt, QStringLiteral("\U0001F680"));
    const int before = steps();
    in<QToolButton>(picker, QStringLiteral("symbolCell:bell"))->click();
    EXPECT_FALSE(picker->isVisible());
    EXPECT_EQ(first().icon, std::optional<DeviceIcon>(DeviceIcon::bell));
    EXPECT_EQ(first().emoji, std::nullopt);
    EXPECT_EQ(steps(), before + 1);
    EXPECT_EQ(window->undoStack(SidebarItem::macros)->undoText(), QStringLiteral("Change Icon"));
    EXPECT_EQ(find<QLabel>("iconText")->text(), DeviceIcon(DeviceIcon::bell).label());

    picker = reopen();
    in<QPushButton>(picker, QStringLiteral("emojiTab"))->click();
    EXPECT_EQ(in<QLabel>(picker, QStringLiteral("iconPickerFooter"))->text(),
              QStringLiteral("Emoji are drawn on this computer and sent to Tarv."));
    in<QToolButton>(picker, QStringLiteral("emojiCell:15"))->click();
    EXPECT_EQ(first().emoji, std::optional<QString>(QStringLiteral("\u2764\uFE0F")));
    EXPECT_EQ(first().icon, std::nullopt);
    EXPECT_EQ(steps(), before + 2);

    window->undoStack(SidebarItem::macros)->undo();
    EXPECT_EQ(first().icon, std::optional<DeviceIcon>(DeviceIcon::bell));
    EXPECT_EQ(first().emoji, std::nullopt);
    window->undoStack(SidebarItem::macros)->undo();
    EXPECT_EQ(first().icon, std::nullopt);
    EXPECT_EQ(first().emoji, std::optional<QString>(QStringLiteral("\U0001F680")));

    // The icon the key has already: written again, which the store ignores, and closed.
    putKey(0, [&] {
        MacroButton b = first();
        b.emoji.reset();
        b.icon = DeviceIcon::bell;
        return b;
    }());
    picker = reopen();
    const int now = steps();
    in<QToolButton>(picker, QStringLiteral("symbolCell:bell"))->click();
    EXPECT_FALSE(picker->isVisible());
    EXPECT_EQ(steps(), now);
}

TEST_F(IconPickerTest, TheEntryTakesTheFirstWholeEmojiAndKeepsTextWithout)
{
    IconPickerPopover* picker = open(DeviceIcon::bell, std::nullopt);
    in<QPushButton>(picker, QStringLiteral("emojiTab"))->click();
    auto* field = in<QLineEdit>(picker, QStringLiteral("emojiField"));

    // Letters and a plain digit are no emoji: nothing is chosen, the entry stays.
    QTest::keyClicks(field, QStringLiteral("a1"));
    EXPECT_TRUE(picker->isVisible());
    EXPECT_EQ(field->text(), QStringLiteral("a1"));
    EXPECT_EQ(first().icon, std::optional<DeviceIcon>(DeviceIcon::bell));
    // An emoji typed after them is chosen; the field is cleared.
    field->insert(QStringLiteral("\U0001F600"));
    EXPECT_FALSE(picker->isVisible());
    EXPECT_TRUE(field->text().isEmpty());
    EXPECT_EQ(first().emoji, std::optional<QString>(QStringLiteral("\U0001F600")));
    EXPECT_EQ(first().icon, std::nullopt);

    const QStringList whole = {
        QStringLiteral("1\uFE0F\u20E3"),                                   // keycap
        QStringLiteral("\U0001F44D\U0001F3FD"),                            // skin tone
        QStringLiteral("\U0001F1F8\U0001F1EA"),                            // flag
        QStringLiteral("\U0001F469\u200D\U0001F469\u200D\U0001F467"),      // ZWJ family
    };
    for (const QString& emoji : whole) {
        picker = reopen();
        in<QPushButton>(picker, QStringLiteral("emojiTab"))->click();
        // A paste with text around it: the emoji is taken whole, the rest dropped.
        field->insert(QStringLiteral("x ") + emoji + QStringLiteral(" and more \U0001F680"));
        EXPECT_FALSE(picker->isVisible());
        EXPECT_EQ(first().emoji, std::optional<QString>(emoji));
        EXPECT_TRUE(field->text().isEmpty());
    }
}

TEST_F(IconPickerTest, MoreEmojiLandInTheEntry)
{
    ASSERT_GT(IconPickerPopover::moreEmoji().size(), 500);
    for (const QString& emoji : IconPickerPopover::moreEmoji().mid(0, 50))
        EXPECT_TRUE(EmojiIconRenderer::isEmoji(emoji)) << emoji.toStdString();

    IconPickerPopover* picker = open(std::nullopt, std::nullopt);
    in<QPushButton>(picker, QStringLiteral("emojiTab"))->click();
    in<QPushButton>(picker, QStringLiteral("moreEmojiButton"))->click();
    auto* list = in<QListWidget>(picker, QStringLiteral("moreEmojiList"));
    ASSERT_TRUE(list->isVisibleTo(picker));
    QListWidgetItem* item = list->item(3);
    const int before = steps();
    emit list->itemClicked(item);
    EXPECT_EQ(first().emoji, std::optional<QString>(item->text()));
    EXPECT_EQ(steps(), before + 1);
    EXPECT_FALSE(picker->isVisible());
}

TEST_F(IconPickerTest, NoIconAndTheHighlightsFollowTheKey)
{
    // The inspector's row shows the key's icon, and a screen reader hears what it shows.
    const auto heardAsShown = [this] {
        EXPECT_EQ(QAccessible::queryAccessibleInterface(find<QPushButton>("iconButton"))->text(QAccessible::Name),
                  QStringLiteral("Icon: ") + find<QLabel>("iconText")->text());
    };
    IconPickerPopover* picker = open(std::nullopt, std::nullopt);
    heardAsShown();
    auto* noIcon = in<QPushButton>(picker, QStringLiteral("noIconButton"));
    EXPECT_FALSE(noIcon->isEnabled());
    picker->hide();

    // A stored key may have both: the emoji wins the row and the highlight.
    picker = open(DeviceIcon::bell, QStringLiteral("\U0001F3A7"));
    EXPECT_EQ(find<QLabel>("iconText")->text(), QStringLiteral("\U0001F3A7"));
    heardAsShown();
    EXPECT_FALSE(in<QToolButton>(picker, QStringLiteral("symbolCell:bell"))->isChecked());
    EXPECT_TRUE(in<QToolButton>(picker, QStringLiteral("emojiCell:17"))->isChecked());
    EXPECT_TRUE(noIcon->isEnabled());
    const int before = steps();
    noIcon->click();
    EXPECT_FALSE(picker->isVisible());
    EXPECT_EQ(first().icon, std::nullopt);
    EXPECT_EQ(first().emoji, std::nullopt);
    EXPECT_EQ(steps(), before + 1);
    EXPECT_EQ(find<QLabel>("iconText")->text(), QStringLiteral("None"));

    picker = open(DeviceIcon::bell, std::nullopt);
    heardAsShown();
    EXPECT_TRUE(in<QToolButton>(picker, QStringLiteral("symbolCell:bell"))->isChecked());
    EXPECT_EQ(in<QLabel>(picker, QStringLiteral("iconPickerFooter"))->text(),
              QStringLiteral("Symbols are built into Tarv's font."));
}
