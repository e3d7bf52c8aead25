#include "ScreensaverShots.h"

#include "app/MainWindow.h"
#include "app/SidebarHost.h"
#include "hub/DeviceManager.h"
#include "ui/screensaver/PhotoCropEditor.h"
#include "ui/screensaver/PhotoRow.h"
#include "ui/screensaver/ScreensaverView.h"

#include <QBuffer>
#include <QFile>
#include <QToolButton>
#include <QPainter>
#include <QTest>

#include <algorithm>
#include <cstdio>

namespace {

void settle()
{
    QTest::qWait(30);
}

// A landscape with a sun, so turns and crops show which way is up.
QByteArray scenePicture(int width, int height, const QColor& sky)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 0, height);
    gradient.setColorAt(0, sky);
    gradient.setColorAt(1, sky.lighter(160));
    painter.fillRect(image.rect(), gradient);
    painter.setBrush(QColor(0xFF, 0xC8, 0x3C));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(width * 0.75, height * 0.3), height * 0.12, height * 0.12);
    painter.setBrush(QColor(0x2E, 0x7D, 0x32));
    painter.drawRect(QRectF(0, height * 0.7, width, height * 0.3));
    painter.end();
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return data;
}

bool importAndWait(DeviceManager& hub, const QList<ScreensaverPhotoService::ImportItem>& items)
{
    hub.importPhotoData(items);
    return QTest::qWaitFor([&hub] { return hub.pendingPhotoWork() == 0; }, 10000);
}

// Thumbnails are made on a worker for the rows in view.
void waitForThumbnails(ScreensaverView* page)
{
    const bool shown = QTest::qWaitFor(
        [page] {
            const QList<PhotoRow*> rows = page->photoRows();
            return std::all_of(rows.cbegin(), rows.cend(),
                               [page](PhotoRow* row) { return row->thumbnailLabel()->isVisibleTo(page); });
        },
        5000);
    if (!shown)
        std::fputs("tarv-ui-shots: a photo row shows no thumbnail\n", stderr);
}

}  // namespace

bool drawScreensaverPage(MainWindow& window, DeviceManager& hub, const SaveShot& save)
{
    window.select(SidebarItem::screensaver);
    auto* page = static_cast<ScreensaverView*>(window.sidebarHost()->page(QStringLiteral("screensaver")));
    const QByteArray harbour = scenePicture(1800, 1200, QColor(0x4A, 0x7B, 0xC0));
    if (!importAndWait(hub, {{QStringLiteral("Harbour at dawn.jpg"), harbour}})) {
        std::fputs("tarv-ui-shots: the photo was not stored\n", stderr);
        return false;
    }
    settle();
    waitForThumbnails(page);
    save(QStringLiteral("main-screensaver-one-photo"), window.grab());

    const QString longName = QStringLiteral("A very long name of a photo taken on the last evening of the summer "
                                            "holiday at the lake, just before the storm came in over the hills.jpg");
    if (!importAndWait(hub, {{longName, scenePicture(1200, 1600, QColor(0xC0, 0x6A, 0x4A))},
                             {QStringLiteral("Garden.jpg"), scenePicture(2000, 1000, QColor(0x6A, 0x4A, 0xC0))},
                             {QStringLiteral("notes.txt"), QByteArray("not a picture")}})) {
        std::fputs("tarv-ui-shots: the photos were not stored\n", stderr);
        return false;
    }
    settle();
    waitForThumbnails(page);
    save(QStringLiteral("main-screensaver-three-photos"), window.grab());
    const QSize before = page->size();
    page->resize(page->width(), std::max(page->height(), page->sizeHint().height()));
    settle();
    save(QStringLiteral("page-screensaver-three-photos"), page->grab());
    page->resize(before);

    // The editor on the first photo, zoomed in and panned, as the user leaves it before saving.
    const QList<PhotoRow*> rows = page->photoRows();
    if (rows.isEmpty())
        return false;
    rows.first()->cropButton()->click();
    if (!QTest::qWaitFor([page] { return page->cropEditor() != nullptr; }, 10000)) {
        std::fputs("tarv-ui-shots: the crop editor did not open\n", stderr);
        return false;
    }
    PhotoCropEditor* editor = page->cropEditor();
    editor->setZoom(1.6);
    editor->pan(QPointF(60, 20));
    editor->endPan();
    settle();
    save(QStringLiteral("dialog-crop-editor"), editor->grab());
    editor->reject();
    settle();

    // A small photo added today keeps its original; one stored before originals were kept has
    // only its 480 x 320 frame, and the editor says what that means.
    if (!importAndWait(hub, {{QStringLiteral("Small.jpg"), scenePicture(400, 300, QColor(0x4A, 0xA0, 0x7B))},
                             {QStringLiteral("Kept at the screen's size.jpg"),
                              scenePicture(1500, 1000, QColor(0x7B, 0x4A, 0xA0))}})) {
        std::fputs("tarv-ui-shots: the small photos were not stored\n", stderr);
        return false;
    }
    QFile::remove(hub.photoService().sourcePath(hub.photoLibrary().last().id));
    settle();
    const QList<PhotoRow*> small = page->photoRows();
    const auto drawEditor = [&](PhotoRow* row, const QString& name) {
        row->cropButton()->click();
        if (!QTest::qWaitFor([page] { return page->cropEditor() != nullptr; }, 10000)) {
            std::fputs("tarv-ui-shots: the crop editor did not open\n", stderr);
            return false;
        }
        settle();
        save(name, page->cropEditor()->grab());
        page->cropEditor()->reject();
        settle();
        return true;
    };
    if (small.size() < 2 || !drawEditor(small[small.size() - 2], QStringLiteral("dialog-crop-editor-small-original")) ||
        !drawEditor(small.last(), QStringLiteral("dialog-crop-editor-frame-only")))
        return false;
    window.select(SidebarItem::macros);
    settle();
    return true;
}
