// The Diagnostics page: the connection rows for a fake HELLO, the frame log's model (cap,
// order, rows rather than resets, the wheel inside the page), the Edit menu following the focus
// and the device screen section's capture, copy and save.

#include "ShellFixture.h"

#include "ui/diagnostics/AsciiCells.h"

#include "app/SidebarHost.h"
#include "ui/diagnostics/DeviceScreenSection.h"
#include "ui/diagnostics/DiagnosticsView.h"
#include "ui/diagnostics/FrameLogModel.h"
#include "ui/diagnostics/FrameLogView.h"
#include "ui/diagnostics/SnapshotPicture.h"
#include "ui/widgets/DisplayFormats.h"
#include "ui/widgets/FormSection.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QApplication>
#include <QBackingStore>
#include <QClipboard>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextLayout>
#include <QtTest/qtestspontaneevent.h>
#include <QWheelEvent>

#include <csignal>
#include <sys/resource.h>

using namespace std::chrono_literals;

namespace {

using Rows = QList<std::pair<QString, QString>>;

}  // namespace

TEST(DisplayFormatsTest, ByteCountsInMemoryAndFileStyle)
{
    EXPECT_EQ(byteCountText(8u << 20, ByteCountStyle::memory), QStringLiteral("8 MB"));
    EXPECT_EQ(byteCountText(8u << 20, ByteCountStyle::file), QStringLiteral("8.4 MB"));
    EXPECT_EQ(byteCountText(1536u << 10, ByteCountStyle::memory), QStringLiteral("1.5 MB"));
    EXPECT_EQ(byteCountText(18'432, ByteCountStyle::file), QStringLiteral("18 KB"));
    EXPECT_EQ(byteCountText(1'048'000, ByteCountStyle::memory), QStringLiteral("1,023 KB"));
    EXPECT_EQ(byteCountText(1'048'100, ByteCountStyle::memory), QStringLiteral("1 MB")) << "1023.5 KB rounds up";
    EXPECT_EQ(byteCountText(0, ByteCountStyle::memory), QStringLiteral("0 KB"));
    EXPECT_EQ(byteCountText(999, ByteCountStyle::file), QStringLiteral("999 bytes"));
    EXPECT_EQ(byteCountText(4'000'000'000u, ByteCountStyle::file), QStringLiteral("4 GB"));
}

TEST(DisplayFormatsTest, TimeOfDayHasSecondsInTheLocalesOwnForm)
{
    const QDateTime afternoon(QDate(2026, 3, 4), QTime(15, 4, 5));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(timeOfDayWithSeconds(afternoon), QStringLiteral("15:04:05"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    // The locale's own space before the marker may be a narrow no-break space.
    EXPECT_EQ(timeOfDayWithSeconds(afternoon).replace(QChar(0x202F), u' '), QStringLiteral("3:04:05 PM"));
}

TEST(SnapshotPictureTest, NeverGrowsPastItsPixelsAndShrinksWithItsProportions)
{
    SnapshotPicture picture;
    QImage image(480, 320, QImage::Format_RGB32);
    image.fill(Qt::black);
    picture.setImage(image);
    picture.resize(900, 400);
    EXPECT_EQ(picture.imageRect(), QRect(210, 40, 480, 320));
    picture.resize(240, 300);
    EXPECT_EQ(picture.imageRect(), QRect(0, 70, 240, 160));
    EXPECT_EQ(picture.heightForWidth(240), 160);
    EXPECT_EQ(picture.heightForWidth(960), 320);
}

// Plain lines skip shaping in any font that shaping draws one cell a character, whatever the font
// says of its spacing, and they are then the glyphs shaping gives, where it puts them.
TEST(AsciiCellsTest, PlainLinesAreWhatShapingMakesOfThemInEveryMonospacedFont)
{
    QRandomGenerator random(5);
    for (const QString& family : {QStringLiteral("Noto Sans Mono"), QStringLiteral("DejaVu Sans Mono")}) {
        if (!QFontDatabase::families().contains(family)) {
            ADD_FAILURE() << family.toStdString() << " is not installed (scripts/setup installs it)";
            continue;
        }
        for (const qreal points : {7.5, 9.0, 10.0, 13.0}) {
            QFont font(family);
            font.setPointSizeF(points);
            const AsciiCells cells(font);
            ASSERT_GT(cells.cell(), 0) << family.toStdString() << " " << points;
            for (int n = 0; n < 20; ++n) {
                QString line;
                for (int k = random.bounded(1, 160); k > 0; --k)
                    line += QChar(char16_t(random.bounded(int(AsciiCells::first), AsciiCells::last + 1)));
                QList<quint32> glyphs;
                QList<QPointF> positions;
                cells.append(line, QPointF(3, 5), glyphs, positions);
                QTextLayout layout(line, font);
                layout.beginLayout();
                layout.createLine();
                layout.endLayout();
                const QList<QGlyphRun> runs = layout.glyphRuns();
                ASSERT_EQ(runs.size(), 1);
                EXPECT_EQ(glyphs, runs[0].glyphIndexes()) << line.toStdString();
                QList<QPointF> shaped = runs[0].positions();
                for (QPointF& at : shaped)
                    at += QPointF(3, 5);
                EXPECT_EQ(positions, shaped) << line.toStdString();
            }
        }
    }
    // Proportional text with kerning is shaped.
    EXPECT_EQ(AsciiCells(QFont(QStringLiteral("DejaVu Sans"))).cell(), 0);
}

class DiagnosticsTest : public ShellTest {
protected:
    HubClock::MonotonicTime::duration clockShift{};

    // The hub's monotonic clock runs with real time plus what the test adds.
    void makeHubWithClock()
    {
        profiles = std::make_unique<ProfileStore>(*settings);
        DeviceManager::Environment environment;
        environment.settings = settings.get();
        environment.isTesting = true;
        environment.clock.monotonic = [this] { return std::chrono::steady_clock::now() + clockShift; };
        hub = std::make_unique<DeviceManager>(*profiles, photos, stocks, screens, false, std::move(environment));
    }

    DiagnosticsView& view()
    {
        if (!window) {
            makeHubWithClock();
            makeWindow();
            window->select(SidebarItem::diagnostics);
        }
        return *dynamic_cast<DiagnosticsView*>(window->sidebarHost()->page(QStringLiteral("diagnostics")));
    }
    DeviceScreenSection& section() { return *view().deviceScreen(); }

    // What the window shows of `widget`: its pixels in the window's backing store.
    QImage shown(const QWidget* widget) const
    {
        const auto* store = static_cast<const QImage*>(window->backingStore()->paintDevice());
        const qreal ratio = store->devicePixelRatio();
        const QRect at(widget->mapTo(window.get(), QPoint(0, 0)) * ratio, widget->size() * ratio);
        return store->copy(at).convertToFormat(QImage::Format_RGB32);
    }
};

TEST_F(DiagnosticsTest, ConnectionRowsFollowTheStateAndTheDevicesHello)
{
    DiagnosticsView& v = view();
    EXPECT_EQ(v.connectionRows(), (Rows{{"Status", "Not Connected"}}));
    attach();
    EXPECT_EQ(v.connectionRows(), (Rows{{"Status", "Connecting…"}}));
    device.sendHello();
    ASSERT_TRUE(waitUntil([&] { return hub->state().isConnected(); }));
    EXPECT_EQ(v.connectionRows(), (Rows{{"Status", "Connected · fake-1.0"},
                                        {"Firmware", "fake-1.0"},
                                        {"Protocol", "1"},
                                        {"Panel", "480 × 320"},
                                        {"PSRAM", "8 MB"},
                                        {"Port", device.portPath()}}));
    device.hangUp();
    ASSERT_TRUE(waitUntil([&] { return !hub->state().isConnected(); }));
    EXPECT_EQ(v.connectionRows(), (Rows{{"Status", "Not Connected"}}));
}

TEST_F(DiagnosticsTest, FrameLogIsNewestFirstCappedAndUpdatedByRows)
{
    DiagnosticsView& v = view();
    // The rows follow the log while the page is shown.
    window->show();
    FrameLogModel* model = v.logModel();
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy resets(model, &QAbstractItemModel::modelReset);
    int mostRows = 0;
    QObject::connect(model, &QAbstractItemModel::rowsInserted, model,
                     [&] { mostRows = std::max(mostRows, model->rowCount()); });

    hub->log(LogEntry::Direction::received, QStringLiteral("TOUCH #1"));
    hub->log(LogEntry::Direction::sent, QStringLiteral("PATCH #2 ops=3"));
    for (int k = 3; k <= 205; ++k)
        hub->log(LogEntry::Direction::system, QString::number(k));
    // The rows take the entries in once a screen refresh, or when asked.
    EXPECT_EQ(model->rowCount(), 0);
    ASSERT_TRUE(waitUntil([&] { return model->rowCount() == 200; }));
    EXPECT_EQ(mostRows, 200) << "the oldest row leaves before the newest comes";
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(model->index(0).data(FrameLogModel::textRole).toString(), QStringLiteral("205"));
    EXPECT_EQ(model->index(199).data(FrameLogModel::textRole).toString(), QStringLiteral("6"));
    EXPECT_EQ(model->index(0).data(FrameLogModel::idRole), QVariant(hub->log().last().id));

    // Marks: received, sent, system.
    hub->log(LogEntry::Direction::received, QStringLiteral("ACK #9 seq=1"));
    hub->log(LogEntry::Direction::sent, QStringLiteral("PING #10"));
    model->sync();
    EXPECT_EQ(model->index(0).data(FrameLogModel::markRole).toString(), QStringLiteral("TX"));
    EXPECT_EQ(model->index(1).data(FrameLogModel::markRole).toString(), QStringLiteral("RX"));
    EXPECT_EQ(model->index(2).data(FrameLogModel::markRole).toString(), QStringLiteral("\u2014"));

    // Selected lines go to the clipboard as the rows read, top to bottom.
    FrameLogView* list = v.logView();
    list->selectionModel()->select(QItemSelection(model->index(0), model->index(1)), QItemSelectionModel::Select);
    list->copy();
    const QStringList lines = QApplication::clipboard()->text().split(u'\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(" TX PING #10")));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(" RX ACK #9 seq=1")));
    EXPECT_TRUE(lines[0].startsWith(timeOfDayWithSeconds(hub->log().last().date)));
    EXPECT_GE(list->minimumHeight(), 260);

    // Ctrl+C in the focused list copies through the window's Edit menu.
    QApplication::clipboard()->clear();
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    list->setFocus();
    ASSERT_TRUE(waitUntil([&] { return list->hasFocus(); }));
    list->selectionModel()->select(model->index(2), QItemSelectionModel::ClearAndSelect);
    // The selection stays on the entry as newer ones push it down.
    hub->log(LogEntry::Direction::received, QStringLiteral("ACK #11 seq=2"));
    model->sync();
    EXPECT_TRUE(list->selectionModel()->isSelected(model->index(3)));
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(QApplication::clipboard()->text().endsWith(QStringLiteral(" — 205")));
}

// Nobody reads a thousand rows a second: a flood is taken in at a readable pace, no entry waits
// longer than that, a lone entry comes in at the next refresh, and silence wakes nothing.
TEST_F(DiagnosticsTest, FrameLogTakesAFloodInAtAReadablePaceAndALoneEntryAtOnce)
{
    using std::chrono::milliseconds;
    // The log's wait, on a clock that moves only when the test moves it.
    struct Wait : SourceTimer {
        std::function<void(milliseconds, std::function<void()>)> started;
        void start(milliseconds delay, std::function<void()> wake) override { started(delay, std::move(wake)); }
    };
    HubClock::MonotonicTime now(std::chrono::hours(1));
    std::optional<HubClock::MonotonicTime> due;
    std::function<void()> wake;
    makeHubWithClock();
    hub->clock().monotonic = [&] { return now; };
    hub->clock().makeSourceTimer = [&] {
        auto wait = std::make_unique<Wait>();
        wait->started = [&](milliseconds delay, std::function<void()> then) {
            due = now + delay;
            wake = std::move(then);
        };
        return wait;
    };
    const auto pass = [&](milliseconds time) {
        const HubClock::MonotonicTime until = now + time;
        while (due && *due <= until) {
            now = *std::exchange(due, std::nullopt);
            std::exchange(wake, nullptr)();
        }
        now = until;
    };
    QLoggingCategory::setFilterRules(QStringLiteral("tarv.device.info=false"));
    const auto restoreLogging = qScopeGuard([] { QLoggingCategory::setFilterRules(QString()); });
    makeWindow();
    window->select(SidebarItem::diagnostics);
    FrameLogModel* model = view().logModel();
    window->show();
    QSignalSpy takenIn(model, &QAbstractItemModel::rowsInserted);
    int logged = 0;
    const auto shown = [&] {
        return model->rowCount() ? model->index(0).data(FrameLogModel::textRole).toString().toInt() : 0;
    };

    pass(milliseconds(1000));
    hub->log(LogEntry::Direction::received, QString::number(++logged));
    pass(milliseconds(20));
    EXPECT_EQ(shown(), logged) << "a lone entry shows within a refresh";

    // A thousand entries a second for two seconds.
    takenIn.clear();
    for (int k = 0; k < 2000; ++k) {
        hub->log(LogEntry::Direction::received, QString::number(++logged));
        pass(milliseconds(1));
        ASSERT_LE(logged - shown(), FrameLogModel::readablePace.count()) << "entry " << logged;
    }
    EXPECT_GE(takenIn.count(), 36);
    EXPECT_LE(takenIn.count(), 41);
    EXPECT_EQ(model->rowCount(), DeviceManager::maxLogEntries);

    // The last of the burst comes in within the pace; then nothing waits.
    pass(FrameLogModel::readablePace);
    EXPECT_EQ(shown(), logged);
    EXPECT_FALSE(due.has_value());
    pass(milliseconds(1000));
    hub->log(LogEntry::Direction::received, QString::number(++logged));
    pass(milliseconds(20));
    EXPECT_EQ(shown(), logged);

    // An entry that came just before the page was left stays out while nobody looks.
    pass(milliseconds(10));
    hub->log(LogEntry::Direction::received, QString::number(++logged));
    window->select(SidebarItem::macros);
    pass(milliseconds(1000));
    EXPECT_EQ(shown(), logged - 1);
}

// Refreshes repaint only what changed in each row; whatever comes in, and whatever the user does
// meanwhile, they must leave the list as a repaint of all its rows draws it.
TEST_F(DiagnosticsTest, FrameLogRefreshesLeaveWhatAWholeRepaintDraws)
{
    QDateTime now(QDate(2026, 12, 8), QTime(10, 0, 0));
    DiagnosticsView& v = view();
    hub->clock().now = [&] { return now; };
    window->resize(1000, 800);
    window->show();
    QApplication::setActiveWindow(window.get());
    FrameLogModel* model = v.logModel();
    FrameLogView* list = v.logView();
    auto* page = window->findChild<QScrollArea*>(QStringLiteral("diagnosticsScroll"));
    ASSERT_NE(page, nullptr);
    const auto pixels = [&] { return shown(list); };

    QRandomGenerator random(41);
    int count = 0;
    // Alike lines change in a few characters; mixed ones change whole.
    bool alike = true;
    const auto text = [&]() -> QString {
        ++count;
        switch (alike ? 5 : random.bounded(6)) {
        case 0: return QStringLiteral("ACK #%1 seq=%2").arg(count).arg(random.bounded(1000));
        case 1: {
            // Printable ASCII of any length, up to lines that are elided.
            QString line;
            for (int n = random.bounded(160); n > 0; --n)
                line += QChar(char16_t(0x20 + random.bounded(95)));
            return line;
        }
        case 2: return QStringLiteral("Grüße #%1 \u05E9\u05DC\u05D5\u05DD").arg(count);
        case 3: return QStringLiteral("i%1").arg(count);
        default: return QStringLiteral("PATCH #%1 ops=%2").arg(count).arg(random.bounded(4));
        }
    };
    // The list starts nearly empty and grows to its cap as it goes.
    for (int step = 0; step < 400; ++step) {
        alike = step % 100 < 60;
        for (int n = random.bounded(1, 30); n > 0; --n) {
            now = now.addMSecs(random.bounded(alike ? 50 : 400));
            const auto direction = alike ? LogEntry::Direction::sent : LogEntry::Direction(random.bounded(3));
            hub->log(direction, text());
        }
        model->sync();
        switch (random.bounded(40)) {
        case 0: {
            const int row = random.bounded(20);
            list->selectionModel()->select(QItemSelection(model->index(row), model->index(row + random.bounded(3))),
                                           QItemSelectionModel::ClearAndSelect);
            break;
        }
        case 1: list->selectionModel()->clear(); break;
        case 2: list->verticalScrollBar()->setValue(random.bounded(list->verticalScrollBar()->maximum() + 1)); break;
        case 3: page->verticalScrollBar()->setValue(random.bounded(page->verticalScrollBar()->maximum() + 1)); break;
        case 4: window->resize(700 + random.bounded(500), 500 + random.bounded(400)); break;
        case 5:
            list->setFocus();
            list->selectionModel()->setCurrentIndex(model->index(random.bounded(30), 0),
                                                    QItemSelectionModel::NoUpdate);
            break;
        case 6: list->clearFocus(); break;
        case 7: QTest::keyClick(list, Qt::Key_Home); break;
        default: break;
        }
        // A relayout comes on a zero timer, and its repaint after it.
        QApplication::processEvents();
        QApplication::processEvents();
        if (step % 4 == 3) {
            const QImage refreshed = pixels();
            list->viewport()->repaint();
            ASSERT_EQ(refreshed, pixels()) << "after step " << step;
        }
    }
    EXPECT_EQ(model->rowCount(), DeviceManager::maxLogEntries);

    // Scrolled a little way down, the user reads: the rows in sight stay still while entries come,
    // up to the last of them leaving the log at the bottom.
    window->resize(1000, 800);
    list->selectionModel()->clear();
    QApplication::processEvents();
    QScrollBar* bar = list->verticalScrollBar();
    bar->setValue(3 * list->rowHeight() + 5);
    list->selectionModel()->select(QItemSelection(model->index(5), model->index(6)), QItemSelectionModel::Select);
    QApplication::processEvents();
    const auto rowsInSight = [&] {
        const QImage all = pixels();
        return all.copy(QRect(list->viewport()->mapTo(list, QPoint(0, 0)), list->viewport()->size()));
    };
    const QImage reading = rowsInSight();
    const int lastInSight = list->rowAt(QPoint(0, list->viewport()->height() - 1));
    ASSERT_GT(lastInSight, 0);
    int arrived = 0;
    for (int step = 0; lastInSight + arrived + 30 < DeviceManager::maxLogEntries; ++step) {
        const int value = bar->value();
        for (int n = random.bounded(1, 30); n > 0; --n, ++arrived) {
            now = now.addMSecs(random.bounded(400));
            hub->log(LogEntry::Direction(random.bounded(3)), text());
        }
        model->sync();
        QApplication::processEvents();
        QApplication::processEvents();
        ASSERT_GT(bar->value(), value) << "the scroll bar shows the live end moving away";
        ASSERT_EQ(reading, rowsInSight()) << "step " << step;
        const QImage refreshed = pixels();
        list->viewport()->repaint();
        ASSERT_EQ(refreshed, pixels()) << "step " << step;
    }
    ASSERT_GT(arrived, 100);

    // Home goes back to the top, and the list follows the log again.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Home);
    EXPECT_EQ(bar->value(), 0);
    hub->log(LogEntry::Direction::sent, QStringLiteral("PATCH #1 ops=1"));
    model->sync();
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_EQ(bar->value(), 0);
    const QImage followed = pixels();
    list->viewport()->repaint();
    EXPECT_EQ(followed, pixels());
}

// The focused list shows it however the focus came and whatever row is current or in sight: a ring
// in the accent round its rows, gone again with the focus.
TEST_F(DiagnosticsTest, TheFrameLogShowsItHasTheFocus)
{
    DiagnosticsView& v = view();
    window->resize(1000, 800);
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    FrameLogView* list = v.logView();
    for (int k = 0; k < 3; ++k)
        hub->log(LogEntry::Direction::received, QStringLiteral("ACK #%1 seq=1").arg(k));
    v.logModel()->sync();
    QApplication::processEvents();
    const QRect rows = list->viewport()->geometry();
    const QColor accent = list->palette().color(QPalette::Active, QPalette::Highlight);
    const auto ringShows = [&] {
        const QImage image = shown(list);
        const QPoint middle = rows.center();
        for (const QPoint at : {QPoint(rows.left() - 1, middle.y()), QPoint(rows.right() + 1, middle.y()),
                                QPoint(middle.x(), rows.top() - 1), QPoint(middle.x(), rows.bottom() + 1)}) {
            if (image.pixelColor(at) != accent)
                return false;
        }
        return true;
    };
    EXPECT_FALSE(ringShows());

    // By Tab, with no row current.
    list->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(list->hasFocus());
    ASSERT_FALSE(list->selectionModel()->currentIndex().isValid());
    QApplication::processEvents();
    EXPECT_TRUE(ringShows());
    // Then the current row leaves the rows in sight as entries keep coming.
    list->selectionModel()->setCurrentIndex(v.logModel()->index(0), QItemSelectionModel::NoUpdate);
    for (int k = 0; k < 100; ++k)
        hub->log(LogEntry::Direction::received, QStringLiteral("ACK #%1 seq=2").arg(k));
    v.logModel()->sync();
    QApplication::processEvents();
    ASSERT_LT(list->rowAt(QPoint(0, list->viewport()->height() - 1)), list->selectionModel()->currentIndex().row());
    EXPECT_TRUE(ringShows());

    list->clearFocus();
    QApplication::processEvents();
    EXPECT_FALSE(ringShows());
}

// A screen reader reads the log's rows as the list shows them, and the row under the keyboard as
// the focused one; an item stays with its entry as entries come in above it and leave below it.
TEST_F(DiagnosticsTest, AScreenReaderReadsTheFrameLogsRowsAndTheCurrentOne)
{
    DiagnosticsView& v = view();
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    FrameLogView* list = v.logView();
    FrameLogModel* model = v.logModel();
    for (int k = 0; k < 5; ++k)
        hub->log(LogEntry::Direction::received, QStringLiteral("ACK #%1 seq=1").arg(k));
    model->sync();
    QAccessibleInterface* log = QAccessible::queryAccessibleInterface(list);
    ASSERT_EQ(log->role(), QAccessible::List);
    EXPECT_EQ(log->text(QAccessible::Name), QStringLiteral("Frame Log"));
    const auto expectRowsAsShown = [&] {
        ASSERT_EQ(log->childCount(), model->rowCount());
        for (int row = 0; row < model->rowCount(); ++row) {
            QAccessibleInterface* item = log->child(row);
            ASSERT_NE(item, nullptr);
            EXPECT_EQ(item->role(), QAccessible::ListItem);
            EXPECT_EQ(item->text(QAccessible::Name), model->index(row).data().toString());
            EXPECT_EQ(item->parent(), log);
            EXPECT_EQ(log->indexOfChild(item), row);
        }
    };
    expectRowsAsShown();

    list->setFocus(Qt::TabFocusReason);
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down);
    QAccessibleInterface* current = log->focusChild();
    ASSERT_NE(current, nullptr);
    const QString line = model->index(1).data().toString();
    EXPECT_EQ(current->text(QAccessible::Name), line);
    EXPECT_TRUE(current->state().focused);
    EXPECT_FALSE(log->child(0)->state().focused);

    // Entries come in above: the focused item keeps its entry, one row further down.
    for (int k = 0; k < 3; ++k)
        hub->log(LogEntry::Direction::sent, QStringLiteral("PING #%1").arg(k));
    model->sync();
    expectRowsAsShown();
    EXPECT_EQ(log->focusChild(), current);
    EXPECT_EQ(current->text(QAccessible::Name), line);
    EXPECT_EQ(log->indexOfChild(current), 4);

    // The log's oldest entries leave: their items end, the others still read their rows.
    const QAccessible::Id oldest = QAccessible::uniqueId(log->child(model->rowCount() - 1));
    for (int k = 0; k < DeviceManager::maxLogEntries; ++k)
        hub->log(LogEntry::Direction::system, QString::number(k));
    model->sync();
    EXPECT_EQ(QAccessible::accessibleInterface(oldest), nullptr);
    expectRowsAsShown();
}

// End in a flood goes to the oldest row the log holds now, not one the entries already waiting
// take away; if the next entries take it away before it was read, the row that took its place
// is said instead, once: a flood is not read out row by row.
TEST_F(DiagnosticsTest, EndInAFloodGoesToARowThatIsThereAndSaysTheOneThatTookItsPlace)
{
    DiagnosticsView& v = view();
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    FrameLogView* list = v.logView();
    FrameLogModel* model = v.logModel();
    const auto flood = [&](int entries) {
        for (int k = 0; k < entries; ++k)
            hub->log(LogEntry::Direction::received, QStringLiteral("ACK #%1").arg(k));
    };
    flood(DeviceManager::maxLogEntries);
    model->sync();
    list->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(waitUntil([&] { return list->hasFocus(); }));
    // Entries the rows have not taken in yet.
    flood(30);
    QTest::keyClick(list, Qt::Key_End);
    const QModelIndex end = list->selectionModel()->currentIndex();
    EXPECT_EQ(end.row(), model->rowCount() - 1);
    EXPECT_EQ(end.data(FrameLogModel::idRole), QVariant(hub->log().first().id));
    EXPECT_EQ(list->saidRow(), end);

    flood(5);
    model->sync();
    const QModelIndex replacement = list->selectionModel()->currentIndex();
    ASSERT_TRUE(replacement.isValid());
    EXPECT_EQ(replacement.row(), model->rowCount() - 1);
    EXPECT_EQ(list->saidRow(), replacement);
    flood(5);
    model->sync();
    EXPECT_FALSE(list->saidRow().isValid()) << "the flood is not read out row by row";
}

TEST_F(DiagnosticsTest, CaptureShowsTheDevicesScreenAndCopyAndSaveHandOnItsPng)
{
    DeviceScreenSection& s = section();
    EXPECT_EQ(s.statusText(), QStringLiteral("Nothing captured yet"));
    EXPECT_EQ(s.captureButton()->text(), QStringLiteral("Capture"));
    EXPECT_FALSE(s.captureButton()->isEnabled());
    EXPECT_TRUE(s.copyButton()->isHidden());

    connectAndGreet();
    window->show();
    ASSERT_TRUE(s.captureButton()->isEnabled());
    QTest::mouseClick(s.captureButton(), Qt::LeftButton);
    EXPECT_FALSE(s.captureButton()->isEnabled());
    EXPECT_TRUE(s.progressBar()->isVisible());
    ASSERT_TRUE(waitUntil([&] { return hub->snapshot().has_value() && !hub->snapshotProgress(); }));

    EXPECT_EQ(s.picture()->image().size(), QSize(480, 320));
    // A wide page draws it at its own size, once the layout has made room.
    EXPECT_TRUE(waitUntil([&] { return s.picture()->imageRect().size() == QSize(480, 320); }))
        << s.picture()->imageRect().width() << " × " << s.picture()->imageRect().height();
    EXPECT_TRUE(s.picture()->isVisible());
    EXPECT_TRUE(s.statusText().endsWith(QStringLiteral(" over USB")));
    EXPECT_TRUE(s.statusText().startsWith(timeOfDayWithSeconds(hub->snapshot()->date) + QStringLiteral(" · ")));
    EXPECT_FALSE(s.isShowingError());
    EXPECT_EQ(s.captureButton()->text(), QStringLiteral("Capture Again"));
    EXPECT_TRUE(s.captureButton()->isEnabled());
    EXPECT_FALSE(s.copyButton()->isHidden());
    EXPECT_FALSE(s.saveButton()->isHidden());

    QApplication::clipboard()->setText(QStringLiteral("something else"));
    QTest::mouseClick(s.copyButton(), Qt::LeftButton);
    const QMimeData* copied = QApplication::clipboard()->mimeData();
    EXPECT_EQ(copied->formats(), QStringList{QStringLiteral("image/png")});
    EXPECT_EQ(QImage::fromData(copied->data(QStringLiteral("image/png")), "PNG").size(), QSize(480, 320));

    QString suggested;
    const QString path = xdg.path("home") + QStringLiteral("/shot.png");
    s.setSaveFileAsker([&](QWidget*, const QString& name, std::function<void(const QString&)> chosen) {
        suggested = name;
        chosen(path);
    });
    QTest::mouseClick(s.saveButton(), Qt::LeftButton);
    EXPECT_EQ(suggested, TarvUSB::snapshotFileName(hub->snapshot()->date));
    ASSERT_TRUE(waitUntil([&] { return !s.isSaving(); }));
    const QImage saved(path);
    EXPECT_EQ(saved.size(), QSize(480, 320));
    EXPECT_EQ(saved.pixel(10, 10), hub->snapshot()->makeImage().pixel(10, 10));
    EXPECT_FALSE(s.isShowingError());
}

TEST_F(DiagnosticsTest, ASilentDeviceShowsTheWatchdogsErrorAndKeepsNoProgress)
{
    DeviceScreenSection& s = section();
    connectAndGreet();
    device.setReading(false);
    QTest::mouseClick(s.captureButton(), Qt::LeftButton);
    EXPECT_TRUE(hub->snapshotProgress().has_value());
    clockShift += 5100ms;
    hub->checkSnapshotWatchdog();
    EXPECT_EQ(s.statusText(), QStringLiteral("the device did not answer; its firmware may predate snapshots"));
    EXPECT_TRUE(s.isShowingError());
    EXPECT_TRUE(s.progressBar()->isHidden());
    EXPECT_EQ(s.captureButton()->text(), QStringLiteral("Capture"));
    EXPECT_TRUE(s.captureButton()->isEnabled());
    EXPECT_TRUE(s.picture()->isHidden());
}

// A file size limit stands in for a full disk: the write fails part-way, as root too.
TEST_F(DiagnosticsTest, AFailedSaveSaysWhyAndLeavesTheExistingFileAlone)
{
    DeviceScreenSection& s = section();
    connectAndGreet();
    hub->captureSnapshot({});
    ASSERT_TRUE(waitUntil([&] { return hub->snapshot().has_value(); }));

    const QString path = xdg.path("home") + QStringLiteral("/shot.png");
    TempXdg::write(path, QByteArrayLiteral("the picture saved last week"));
    s.setSaveFileAsker([&](QWidget*, const QString&, std::function<void(const QString&)> chosen) { chosen(path); });

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    s.saveSnapshot();
    const bool finished = waitUntil([&] { return !s.isSaving(); });
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    ASSERT_TRUE(finished);

    EXPECT_TRUE(s.isShowingError());
    EXPECT_TRUE(s.statusText().startsWith(QStringLiteral("Could not save “shot.png”: "))) << s.statusText().toStdString();
    EXPECT_GT(s.statusText().size(), QStringLiteral("Could not save “shot.png”: ").size());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArrayLiteral("the picture saved last week"));
    EXPECT_EQ(QDir(xdg.path("home")).entryList(QDir::Files), QStringList{QStringLiteral("shot.png")})
        << "no temporary file is left behind";

    // The next capture clears it.
    hub->captureSnapshot({});
    EXPECT_FALSE(s.isShowingError());
}

TEST_F(DiagnosticsTest, CaptureLeavesThePageScrolledWhereTheUserLeftIt)
{
    DeviceScreenSection& s = section();
    connectAndGreet();
    window->resize(MainWindow::minimumWidth, MainWindow::minimumHeight);
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    auto* scroll = window->findChild<QScrollArea*>(QStringLiteral("diagnosticsScroll"));
    ASSERT_TRUE(waitUntil([&] { return scroll->verticalScrollBar()->maximum() > 0; }));

    // Where a part of the page lies in the area's view: above it (<0), in it (0) or below it (>0).
    const auto sight = [&](const QWidget* widget) {
        const QRect placed(widget->mapTo(scroll->viewport(), QPoint(0, 0)), widget->size());
        return placed.top() < 0 ? -1 : placed.bottom() >= scroll->viewport()->height() ? 1 : 0;
    };
    // Pressed where the page shows it, the button goes grey while the capture runs: the page does
    // not run off to wherever the focus would go on to (the frame log, far below). Once the
    // picture is in, the page shows it and the button under it, which has the focus again, for
    // Capture and then for Capture Again.
    for (const char* text : {"Capture", "Capture Again"}) {
        SCOPED_TRACE(text);
        scroll->verticalScrollBar()->setValue(0);
        scroll->ensureWidgetVisible(s.captureButton());
        ASSERT_EQ(s.captureButton()->text(), QLatin1String(text));
        QTest::mouseClick(s.captureButton(), Qt::LeftButton);
        EXPECT_EQ(sight(s.captureButton()), 0);
        ASSERT_TRUE(waitUntil([&] { return !hub->snapshotProgress() && s.captureButton()->isEnabled(); }));
        QApplication::processEvents();
        EXPECT_EQ(QApplication::focusWidget(), s.captureButton());
        EXPECT_EQ(sight(s.captureButton()), 0);
        EXPECT_EQ(sight(s.picture()), 0);
    }
}

TEST_F(DiagnosticsTest, TheWheelOverTheUnfocusedLogScrollsThePage)
{
    DiagnosticsView& v = view();
    connectAndGreet();
    for (int k = 0; k < 100; ++k)
        hub->log(LogEntry::Direction::system, QString::number(k));
    window->resize(MainWindow::minimumWidth, MainWindow::minimumHeight);
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    auto* scroll = window->findChild<QScrollArea*>(QStringLiteral("diagnosticsScroll"));
    FrameLogView* list = v.logView();
    ASSERT_TRUE(waitUntil([&] {
        return scroll->verticalScrollBar()->maximum() > 0 && list->verticalScrollBar()->maximum() > 0;
    }));
    scroll->verticalScrollBar()->setValue(0);
    scroll->ensureWidgetVisible(list, 0, 0);
    const int pageAt = scroll->verticalScrollBar()->value();
    ASSERT_LT(pageAt, scroll->verticalScrollBar()->maximum());

    const auto wheelDown = [&] {
        const QPointF at = QRectF(list->viewport()->rect()).center();
        QWheelEvent wheel(at, list->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        // As the window system gives it (sendEvent would make it synthetic): only such a wheel
        // goes on to the widgets around.
        QSpontaneKeyEvent::setSpontaneous(&wheel);
        qApp->notify(list->viewport(), &wheel);
    };
    wheelDown();
    EXPECT_GT(scroll->verticalScrollBar()->value(), pageAt);
    EXPECT_EQ(list->verticalScrollBar()->value(), 0);

    // Once clicked, the log scrolls itself.
    list->setFocus();
    ASSERT_TRUE(waitUntil([&] { return list->hasFocus(); }));
    const int pageThen = scroll->verticalScrollBar()->value();
    wheelDown();
    EXPECT_GT(list->verticalScrollBar()->value(), 0);
    EXPECT_EQ(scroll->verticalScrollBar()->value(), pageThen);
}

TEST_F(DiagnosticsTest, EditActionsAreEnabledOnlyForWhatTheFocusCanDo)
{
    DiagnosticsView& v = view();
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const auto enabled = [&](const char* name) {
        return window->findChild<QAction*>(QString::fromLatin1(name))->isEnabled();
    };

    auto* button = window->findChild<QPushButton*>();
    ASSERT_TRUE(button);
    button->setFocus();
    ASSERT_TRUE(waitUntil([&] { return button->hasFocus(); }));
    for (const char* name : {"cutAction", "copyAction", "pasteAction", "deleteAction", "selectAllAction"})
        EXPECT_FALSE(enabled(name)) << name;

    // The log copies and selects its rows but takes no text.
    v.logView()->setFocus();
    ASSERT_TRUE(waitUntil([&] { return v.logView()->hasFocus(); }));
    EXPECT_TRUE(enabled("copyAction"));
    EXPECT_TRUE(enabled("selectAllAction"));
    for (const char* name : {"cutAction", "pasteAction", "deleteAction"})
        EXPECT_FALSE(enabled(name)) << name;

    window->select(SidebarItem::macros);
    auto* label = window->findChild<QLineEdit*>(QStringLiteral("labelField"));
    ASSERT_TRUE(label);
    label->setFocus();
    ASSERT_TRUE(waitUntil([&] { return label->hasFocus(); }));
    for (const char* name : {"cutAction", "copyAction", "pasteAction", "deleteAction", "selectAllAction"})
        EXPECT_TRUE(enabled(name)) << name;
}
