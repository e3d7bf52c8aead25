// The crop editor: the arithmetic of pans, zooms, turns and mirroring against pictures of known
// sizes, and the sheet's enable rules, pinch limits, zoom controls, Save and Escape.

#include "ui/screensaver/CropAdjustments.h"
#include "ui/screensaver/CropPreview.h"
#include "ui/screensaver/PhotoCropEditor.h"
#include "ui/widgets/ScreenReaderNotice.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace CA = CropAdjustments;

namespace {

const QSize wide3x2(3000, 2000);

PhotoAdjustment at(double zoom, double x, double y, int turns = 0, bool mirrored = false)
{
    return PhotoAdjustment{zoom, x, y, turns, mirrored};
}

void expectSameFrame(const PhotoAdjustment& actual, const PhotoAdjustment& expected)
{
    EXPECT_DOUBLE_EQ(actual.zoom, expected.zoom);
    EXPECT_NEAR(actual.centerX, expected.centerX, 1e-12);
    EXPECT_NEAR(actual.centerY, expected.centerY, 1e-12);
    EXPECT_EQ(actual.turns(), expected.turns());
    EXPECT_EQ(actual.mirrored, expected.mirrored);
}

QImage picture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 200));
    return image;
}

}  // namespace

TEST(CropAdjustmentsTest, PanFollowsThePointerAtTheStartsScaleAndStopsAtTheEdges)
{
    // Zoom 2 on 3000 x 2000: a 1500 x 1000 crop, 3.125 source pixels under each preview point.
    const PhotoAdjustment start = at(2, 0.5, 0.5);
    EXPECT_NEAR(CA::panned(wide3x2, start, start, 100, 0).centerX, 0.5 - 312.5 / 3000, 1e-12);
    EXPECT_NEAR(CA::panned(wide3x2, start, start, 0, -64).centerY, 0.5 + 200.0 / 2000, 1e-12);
    // Far to the right, the crop's left edge meets the picture's.
    EXPECT_DOUBLE_EQ(CA::panned(wide3x2, start, start, 1000, 0).centerX, 0.25);
    EXPECT_DOUBLE_EQ(CA::panned(wide3x2, start, start, -1000, 1000).centerX, 0.75);
    EXPECT_DOUBLE_EQ(CA::panned(wide3x2, start, start, -1000, 1000).centerY, 0.25);

    // The scale stays the start's while a pinch changes the zoom under the drag.
    const PhotoAdjustment pinched = CA::zoomed(wide3x2, start, 4);
    const PhotoAdjustment moved = CA::panned(wide3x2, start, pinched, 100, 0);
    EXPECT_DOUBLE_EQ(moved.zoom, 4);
    EXPECT_NEAR(moved.centerX, 0.5 - 312.5 / 3000, 1e-12);

    // At zoom 1 a picture of the screen's shape is all crop: nowhere to go.
    const PhotoAdjustment whole;
    for (const QPointF drag : {QPointF(300, 0), QPointF(-50, 200), QPointF(1, 1)}) {
        const PhotoAdjustment result = CA::panned(wide3x2, whole, whole, drag.x(), drag.y());
        EXPECT_DOUBLE_EQ(result.centerX, 0.5);
        EXPECT_DOUBLE_EQ(result.centerY, 0.5);
    }
}

TEST(CropAdjustmentsTest, ZoomStaysBetweenOneAndFourAndPullsTheCentreInside)
{
    const PhotoAdjustment start = at(4, 0.1, 0.9);
    EXPECT_DOUBLE_EQ(CA::zoomed(wide3x2, start, 0.2).zoom, 1);
    EXPECT_DOUBLE_EQ(CA::zoomed(wide3x2, start, 1).zoom, 1);
    EXPECT_DOUBLE_EQ(CA::zoomed(wide3x2, start, 9).zoom, 4);
    // Zooming out from a corner moves the centre back so the bigger crop still fits.
    const PhotoAdjustment out = CA::zoomed(wide3x2, start, 2);
    EXPECT_DOUBLE_EQ(out.centerX, 0.25);
    EXPECT_DOUBLE_EQ(out.centerY, 0.75);
}

TEST(CropAdjustmentsTest, TurnsAndMirroringComeBackToWhereTheyStarted)
{
    // Off centre and zoomed, on a picture whose turned shape still holds the crop.
    const PhotoAdjustment start = at(2.5, 0.4, 0.45);
    PhotoAdjustment turned = start;
    for (int i = 0; i < 4; ++i)
        turned = CA::rotatedLeft(wide3x2, turned);
    expectSameFrame(turned, start);
    expectSameFrame(CA::rotatedRight(wide3x2, CA::rotatedLeft(wide3x2, start)), start);
    expectSameFrame(CA::rotatedLeft(wide3x2, CA::rotatedRight(wide3x2, start)), start);
    expectSameFrame(CA::mirrored(wide3x2, CA::mirrored(wide3x2, start)), start);

    const PhotoAdjustment left = CA::rotatedLeft(wide3x2, start);
    EXPECT_EQ(left.quarterTurns, 3);
    EXPECT_NEAR(left.centerX, 0.45, 1e-12);
    EXPECT_NEAR(left.centerY, 0.6, 1e-12);
    EXPECT_NEAR(CA::mirrored(wide3x2, start).centerX, 0.6, 1e-12);

    // Mirrored, the stored clockwise turn shows the other way round: left adds one.
    const PhotoAdjustment flipped = CA::mirrored(wide3x2, start);
    EXPECT_EQ(CA::rotatedLeft(wide3x2, flipped).quarterTurns, 1);
    EXPECT_EQ(CA::rotatedRight(wide3x2, flipped).quarterTurns, 3);
    // A stored negative turn stays a remainder of its own sign and counts the same.
    EXPECT_EQ(CA::rotatedRight(wide3x2, at(1, 0.5, 0.5, -3)).turns(), 2);
}

TEST(CropAdjustmentsTest, PreviewIsTheCropAtTwiceThePreviewSizeAndBlackWithoutAPicture)
{
    QImage halves(300, 200, QImage::Format_RGB32);
    halves.fill(Qt::red);
    for (int y = 0; y < 200; ++y)
        for (int x = 150; x < 300; ++x)
            halves.setPixel(x, y, qRgb(0, 0, 255));
    // Zoomed twice into the right half: only blue shows.
    const QImage right = CA::previewImage(halves, at(2, 1, 0.5));
    ASSERT_EQ(right.size(), QSize(960, 640));
    EXPECT_EQ(QColor(right.pixel(10, 320)), QColor(Qt::blue));
    EXPECT_EQ(QColor(right.pixel(950, 320)), QColor(Qt::blue));
    EXPECT_EQ(QColor(CA::previewImage(QImage(), {}).pixel(480, 320)), QColor(Qt::black));
}

class CropEditorTest : public ::testing::Test {
protected:
    std::optional<PhotoAdjustment> saved;
    int saves = 0;

    std::unique_ptr<PhotoCropEditor> open(const QImage& source, const PhotoAdjustment& adjustment = {},
                                          bool sourceIsOriginal = true)
    {
        auto editor = std::make_unique<PhotoCropEditor>(QStringLiteral("Beach.jpg"), source, sourceIsOriginal, adjustment,
                                                        [this](const PhotoAdjustment& a) {
                                                            saved = a;
                                                            ++saves;
                                                        });
        editor->show();
        return editor;
    }

    static QPushButton* button(PhotoCropEditor& editor, const char* name)
    {
        auto* found = editor.findChild<QPushButton*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    static void click(PhotoCropEditor& editor, const char* name)
    {
        auto* found = editor.findChild<QAbstractButton*>(QLatin1String(name));
        ASSERT_NE(found, nullptr) << name;
        ASSERT_TRUE(found->isEnabled()) << name;
        found->click();
    }
};

TEST_F(CropEditorTest, SaveIsEnabledOnlyWhileTheFrameDiffersFromTheStoredOne)
{
    const PhotoAdjustment stored = at(2, 0.5, 0.5);
    auto editor = open(picture(3000, 2000), stored);
    QPushButton* save = button(*editor, "saveButton");
    QPushButton* reset = button(*editor, "resetButton");
    EXPECT_FALSE(save->isEnabled());
    EXPECT_TRUE(reset->isEnabled()) << "zoom 2 is not the default";

    // A pan by the preview's own mouse events, one step right and back to where it began.
    CropPreview* preview = editor->preview();
    QTest::mousePress(preview, Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseMove(preview, QPoint(140, 100));
    EXPECT_NEAR(editor->adjustment().centerX, 0.5 - 40 * 3.125 / 3000, 1e-12);
    EXPECT_TRUE(save->isEnabled());
    QTest::mouseMove(preview, QPoint(100, 100));
    QTest::mouseRelease(preview, Qt::LeftButton, {}, QPoint(100, 100));
    EXPECT_EQ(editor->adjustment(), stored);
    EXPECT_FALSE(save->isEnabled());

    click(*editor, "resetButton");
    EXPECT_EQ(editor->adjustment(), PhotoAdjustment{});
    EXPECT_FALSE(reset->isEnabled());
    EXPECT_TRUE(save->isEnabled());
    for (const char* change : {"rotateLeftButton", "rotateRightButton", "mirrorButton"}) {
        editor->reset();
        click(*editor, change);
        EXPECT_TRUE(reset->isEnabled()) << change;
    }
    editor->reset();
    editor->zoomSlider()->setValue(PhotoCropEditor::zoomSteps * 3 / 2);
    EXPECT_DOUBLE_EQ(editor->adjustment().zoom, 1.5);
    EXPECT_TRUE(reset->isEnabled());

    click(*editor, "saveButton");
    ASSERT_EQ(saves, 1);
    EXPECT_EQ(*saved, editor->adjustment());
    EXPECT_FALSE(editor->isVisible());
}

TEST_F(CropEditorTest, PinchHoldsAtFourAndFollowsAgainBelowIt)
{
    auto editor = open(picture(3000, 2000), at(2, 0.5, 0.5));
    editor->pinch(1.5);
    EXPECT_DOUBLE_EQ(editor->adjustment().zoom, 3);
    editor->pinch(2.5);
    EXPECT_DOUBLE_EQ(editor->adjustment().zoom, 4);
    EXPECT_EQ(editor->zoomSlider()->value(), 4 * PhotoCropEditor::zoomSteps);
    // The pinch's own start counts, not the zoom it was held at.
    editor->pinch(1.75);
    EXPECT_DOUBLE_EQ(editor->adjustment().zoom, 3.5);
    editor->pinch(0.1);
    EXPECT_DOUBLE_EQ(editor->adjustment().zoom, 1);
    editor->endPinch();
    // A new pinch starts from the zoom the last one left.
    editor->pinch(3);
    EXPECT_DOUBLE_EQ(editor->adjustment().zoom, 3);
}

TEST_F(CropEditorTest, TheMagnifiersStepTheZoomAndTheWheelZoomsAboutThePointer)
{
    auto editor = open(picture(3000, 2000));
    click(*editor, "zoomInButton");
    EXPECT_DOUBLE_EQ(editor->adjustment().zoom, 1.25);
    click(*editor, "zoomInButton");
    click(*editor, "zoomOutButton");
    EXPECT_DOUBLE_EQ(editor->adjustment().zoom, 1.25);
    editor->reset();

    // The picture's pixel under the pointer, in the oriented picture.
    const auto pixelAt = [&](QPointF point) {
        const PhotoAdjustment::Rect crop = editor->adjustment().cropRect(3000, 2000, CA::aspect);
        return QPointF(crop.x + point.x() / CA::previewWidth * crop.w, crop.y + point.y() / CA::previewHeight * crop.h);
    };
    const auto turnWheel = [&](QPointF at, int angle) {
        CropPreview* preview = editor->preview();
        QWheelEvent wheel(at, preview->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(preview, &wheel);
    };
    const QPointF pointer(360, 80);
    const QPointF before = pixelAt(pointer);
    turnWheel(pointer, 120);
    EXPECT_GT(editor->adjustment().zoom, 1);
    EXPECT_NEAR(pixelAt(pointer).x(), before.x(), 1e-9);
    EXPECT_NEAR(pixelAt(pointer).y(), before.y(), 1e-9);
    EXPECT_GT(editor->adjustment().centerX, 0.5) << "towards the pointer, right of the middle";
    EXPECT_LT(editor->adjustment().centerY, 0.5) << "and above it";
    turnWheel(pointer, 3 * 120);
    EXPECT_NEAR(pixelAt(pointer).x(), before.x(), 1e-9);
    EXPECT_NEAR(pixelAt(pointer).y(), before.y(), 1e-9);
    // Out again as far as it goes: the whole picture, whatever the pointer.
    turnWheel(pointer, -20 * 120);
    expectSameFrame(editor->adjustment(), at(1, 0.5, 0.5));
}

TEST_F(CropEditorTest, EscapeClosesWithoutSaving)
{
    auto editor = open(picture(3000, 2000));
    editor->rotateRight();
    QTest::keyClick(editor.get(), Qt::Key_Escape);
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(saves, 0);
}

TEST_F(CropEditorTest, NoticeShowsWholeAndOnlyForPhotosKeptWithoutTheirOriginal)
{
    auto frameOnly = open(picture(480, 320), {}, false);
    QLabel* notice = frameOnly->originalsNotice();
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->isVisible());
    // As wide as the preview above it, and tall enough for every line at that width.
    EXPECT_EQ(notice->width(), frameOnly->preview()->width());
    EXPECT_GE(notice->height(), notice->heightForWidth(notice->width()));
    EXPECT_LE(notice->geometry().bottom(), frameOnly->contentsRect().bottom());

    // A small photo added with its original keeps it: adding it again would gain nothing.
    EXPECT_EQ(open(picture(400, 300))->originalsNotice(), nullptr);
}

// The keyboard reaches the crop: the sheet opens with the focus on the preview, and each arrow
// moves the crop that way, Shift six times as far, until the picture's edge; Escape still
// closes the sheet from there.
TEST_F(CropEditorTest, TheArrowKeysMoveTheCropFromThePreview)
{
    auto editor = open(picture(3000, 2000), at(2, 0.5, 0.5));
    QApplication::setActiveWindow(editor.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(editor.get()));
    CropPreview* preview = editor->preview();
    EXPECT_EQ(QApplication::focusWidget(), preview);
    // Ringed in the accent while it has the focus.
    const QPoint onRing(1, preview->height() / 2);
    const QColor accent = preview->palette().color(QPalette::Highlight);
    EXPECT_EQ(preview->grab().toImage().pixelColor(onRing * preview->devicePixelRatio()), accent);
    // 3.125 source pixels under each preview point at zoom 2.
    const double step = CropPreview::arrowStep * 3.125;
    QTest::keyClick(preview, Qt::Key_Right);
    EXPECT_NEAR(editor->adjustment().centerX, 0.5 + step / 3000, 1e-12);
    // Heard as it is seen.
    const auto said = [&] { return ScreenReaderNotice::of(editor.get())->accessibleName(); };
    EXPECT_EQ(said(), QStringLiteral("Centre at 51% across, 50% down"));
    QTest::keyClick(preview, Qt::Key_Left);
    QTest::keyClick(preview, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_NEAR(editor->adjustment().centerX, 0.5, 1e-12);
    EXPECT_NEAR(editor->adjustment().centerY, 0.5 - step * 6 / 2000, 1e-12);
    EXPECT_TRUE(button(*editor, "saveButton")->isEnabled());
    for (int i = 0; i < 20; ++i)
        QTest::keyClick(preview, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_DOUBLE_EQ(editor->adjustment().centerY, 0.75) << "the crop's bottom meets the picture's";
    EXPECT_EQ(said(), QStringLiteral("At the edge"));
    // The zoom is heard as the zoom, not as the slider's steps.
    QAccessibleValueInterface* zoom = QAccessible::queryAccessibleInterface(editor->zoomSlider())->valueInterface();
    ASSERT_NE(zoom, nullptr);
    EXPECT_DOUBLE_EQ(zoom->currentValue().toDouble(), 2.0);
    EXPECT_DOUBLE_EQ(zoom->minimumValue().toDouble(), 1.0);
    EXPECT_DOUBLE_EQ(zoom->maximumValue().toDouble(), 4.0);
    EXPECT_DOUBLE_EQ(zoom->minimumStepSize().toDouble(), 0.05);
    QTest::keyClick(preview, Qt::Key_Escape);
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(saves, 0);
}
