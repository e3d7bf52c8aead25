#include "ui/screensaver/ScreensaverView.h"

#include "hub/DeviceManager.h"
#include "media/PhotoImages.h"
#include "media/ScreensaverPhotoService.h"
#include "platform/ContextContinuation.h"
#include "ui/macros/WheelGuard.h"
#include "ui/screensaver/PhotoCommands.h"
#include "ui/screensaver/PhotoCropEditor.h"
#include "ui/screensaver/PhotoListModel.h"
#include "ui/screensaver/PhotoNames.h"
#include "ui/screensaver/PhotoRow.h"
#include "ui/widgets/LazyRowList.h"
#include "ui/widgets/FocusKeeper.h"
#include "ui/widgets/FormSection.h"
#include "ui/widgets/ScreenReaderNotice.h"
#include "ui/widgets/SymbolLabel.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QUndoStack>
#include <QtConcurrent/QtConcurrentRun>

#include <cmath>

namespace {

struct Entry {
    const char* title;
    int seconds;
};

constexpr Entry timeoutEntries[] = {{"1 minute", 60}, {"5 minutes", 300}, {"15 minutes", 900}, {"30 minutes", 1800}};
constexpr Entry intervalEntries[] = {
    {"30 seconds", 30}, {"1 minute", 60}, {"5 minutes", 300}, {"15 minutes", 900}, {"1 hour", 3600}};

struct StyleText {
    const char* title;
    const char* description;
};

StyleText styleText(ScreensaverStyle style)
{
    switch (style) {
    case ScreensaverStyle::corner:
        return {"Corner", "A small clock and date at the bottom left, over a soft fade."};
    case ScreensaverStyle::quietCorner:
        return {"Quiet Corner", "Like Corner, in whichever corner of each photo has the least going on."};
    case ScreensaverStyle::pill:
        return {"Pill", "Time and date in a small capsule at the bottom left."};
    case ScreensaverStyle::minimal:
        return {"Minimal", "Only the time, at the bottom right."};
    case ScreensaverStyle::photoOnly:
        return {"Photo Only", "No clock."};
    case ScreensaverStyle::strip:
        return {"Strip", "The original bar across the bottom of the photo."};
    }
    return {"", ""};
}

template <std::size_t N> QComboBox* picker(const char* name, const Entry (&entries)[N])
{
    auto* box = new QComboBox;
    box->setObjectName(QLatin1String(name));
    for (const Entry& entry : entries)
        box->addItem(QLatin1String(entry.title), entry.seconds);
    WheelGuard::install(box);
    return box;
}

// The entry for a stored number of seconds, truncated to whole seconds; none (-1) when it
// matches no entry, so the stored value stays until the user picks one.
int entryRow(const QComboBox* box, double seconds)
{
    if (!std::isfinite(seconds) || std::abs(seconds) > 1e9)
        return -1;
    return box->findData(int(std::trunc(seconds)));
}

void showEntry(QComboBox* box, int row)
{
    if (box->currentIndex() == row)
        return;
    const QSignalBlocker blocker(box);
    box->setCurrentIndex(row);
}

// The outline that shows the page will take what is dragged over it.
class DropOverlay : public QWidget {
public:
    explicit DropOverlay(QWidget* parent) : QWidget(parent)
    {
        setObjectName(QStringLiteral("dropOverlay"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        constexpr double inset = 6;
        constexpr double line = 2;
        // Drawn inside the outline's own edge.
        const QRectF shape = QRectF(rect()).adjusted(inset + line / 2, inset + line / 2, -inset - line / 2,
                                                     -inset - line / 2);
        painter.setPen(QPen(palette().color(QPalette::Highlight), line));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(shape, 10 - line / 2, 10 - line / 2);
    }
};

// One dropped item before it is read: a local file, or the picture's bytes.
struct DroppedItem {
    QString name;
    QString path;
    QByteArray data;
    QImage image;
};

// Dropped files are left for the import to read one at a time; a dragged picture is encoded
// here, away from the window. Running out of memory leaves that item without data, so the
// import names it and the progress ends.
QList<ScreensaverPhotoService::ImportItem> readDroppedItems(const QList<DroppedItem>& dropped)
{
    QList<ScreensaverPhotoService::ImportItem> items;
    for (const DroppedItem& item : dropped) {
        std::optional<QByteArray> data;
        if (!item.path.isEmpty()) {
            items.append({item.name, std::nullopt, item.path});
            continue;
        }
        try {
            if (!item.data.isEmpty()) {
                data = item.data;
            } else if (!item.image.isNull()) {
                QByteArray encoded;
                QBuffer buffer(&encoded);
                if (buffer.open(QIODevice::WriteOnly) && item.image.save(&buffer, "PNG"))
                    data = encoded;
            }
        } catch (const std::bad_alloc&) {
            data.reset();
        }
        items.append({item.name, data, {}});
    }
    return items;
}

QStringList localFiles(const QMimeData& mime)
{
    QStringList paths;
    if (!mime.hasUrls())
        return paths;
    for (const QUrl& url : mime.urls())
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    return paths;
}

// The first picture format the drag offers as bytes, as the source encoded it.
QString imageFormat(const QMimeData& mime)
{
    for (const QString& format : mime.formats())
        if (format.startsWith(QStringLiteral("image/")))
            return format;
    return {};
}

}  // namespace

ScreensaverView::ScreensaverView(DeviceManager& deviceManager, QUndoStack* undoStack, QWidget* parent)
    : QWidget(parent), m_deviceManager(deviceManager), m_undoStack(undoStack)
{
    setObjectName(QStringLiteral("screensaverPage"));
    setAcceptDrops(true);
    m_model = new PhotoListModel(m_deviceManager, this);
    m_fileChooser = [this](QWidget* parent, const QString& filter, std::function<void(const QStringList&)> done) {
        auto* dialog = new QFileDialog(parent, QString(), photoFolder(), filter);
        dialog->setFileMode(QFileDialog::ExistingFiles);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, done = std::move(done)](int result) {
            done(result == QDialog::Accepted ? dialog->selectedFiles() : QStringList());
        });
        dialog->open();
    };

    buildGeneral();
    buildPhotos();

    auto* layout = FormSection::pageLayout(this);
    layout->addWidget(m_general);
    layout->addWidget(m_photos);
    layout->addStretch(1);

    m_overlay = new DropOverlay(this);

    connect(&m_deviceManager, &DeviceManager::screensaverChanged, this, &ScreensaverView::showState);
    connect(&m_deviceManager, &DeviceManager::photoWorkFinished, this, &ScreensaverView::showImportProgress);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &ScreensaverView::followModel);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &ScreensaverView::followModel);
    connect(m_model, &QAbstractItemModel::rowsMoved, this, &ScreensaverView::followModel);
    connect(m_model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& from, const QModelIndex& to, const QList<int>& roles) {
                refreshRows(from.row(), to.row(), roles.size() == 1 && roles[0] == Qt::DecorationRole);
            });
    connect(m_model, &QAbstractItemModel::modelReset, this, &ScreensaverView::followModel);
    followModel();
    showState();
}

void ScreensaverView::buildGeneral()
{
    m_general = new FormSection(QString());
    m_general->setObjectName(QStringLiteral("generalSection"));
    m_enabledToggle = new QCheckBox;
    m_enabledToggle->setObjectName(QStringLiteral("enabledToggle"));
    m_enabledToggle->setAccessibleName(QStringLiteral("Start after idle"));
    m_timeoutPicker = picker("timeoutPicker", timeoutEntries);
    m_general->rows()->addRow(QStringLiteral("Start after idle"), m_enabledToggle);
    m_general->rows()->addRow(QStringLiteral("Idle timeout"), m_timeoutPicker);
    m_general->setFooter(QStringLiteral("The first touch wakes Tarv without pressing the key underneath."));

    connect(m_enabledToggle, &QCheckBox::clicked, this,
            [this](bool on) { m_deviceManager.setScreensaverEnabled(on); });
    connect(m_timeoutPicker, &QComboBox::activated, this, [this](int row) {
        m_deviceManager.setScreensaverTimeout(double(m_timeoutPicker->itemData(row).toInt()));
    });
}

void ScreensaverView::buildPhotos()
{
    m_photos = new FormSection(QStringLiteral("Photos"));
    m_photos->setObjectName(QStringLiteral("photosSection"));
    QFormLayout* rows = m_photos->rows();

    m_emptyText = new QLabel(QStringLiteral("No photos. The screensaver shows the clock."));
    m_emptyText->setObjectName(QStringLiteral("emptyText"));
    FormSection::setSecondaryText(m_emptyText);
    rows->addRow(m_emptyText);

    LazyRowList::Look look;
    look.estimatedHeight = [](const QWidget& list) {
        return std::max(PhotoRow::thumbnailHeight, list.fontMetrics().height());
    };
    m_photoList = new LazyRowList([this](const QString& key) -> QWidget* { return makeRow(key); }, look);
    m_photoList->setObjectName(QStringLiteral("photoList"));
    rows->addRow(m_photoList);
    // One pair of actions for every row, as the key grid moves keys and as list rows move in
    // KDE's lists: Ctrl and an arrow while the focus is in a row, or the row's menu.
    const auto moveAction = [this](const char* name, const QString& title, const char* key, int offset) {
        auto* action = new QAction(title, m_photoList);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(QKeySequence(QLatin1String(key)));
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(action, &QAction::triggered, this, [this, offset] { moveByAction(offset); });
        m_photoList->addAction(action);
        return action;
    };
    m_moveUpAction = moveAction("moveUpAction", QStringLiteral("Move Up"), "Ctrl+Up", -1);
    m_moveDownAction = moveAction("moveDownAction", QStringLiteral("Move Down"), "Ctrl+Down", 1);
    m_rowMenu = new QMenu(this);
    m_rowMenu->setObjectName(QStringLiteral("photoRowMenu"));
    m_rowMenu->addAction(m_moveUpAction);
    m_rowMenu->addAction(m_moveDownAction);
    // The menu's choice is taken after the menu hides: only then is it the keys' again, at
    // either end of the list (a move past an end does nothing, and the arrow moves no focus).
    connect(m_rowMenu, &QMenu::aboutToHide, this, [this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_menuPhoto = QUuid();
                m_moveUpAction->setEnabled(true);
                m_moveDownAction->setEnabled(true);
            },
            Qt::QueuedConnection);
    });
    // Shift+F10 opens the menu of the row in focus, as the Menu key does.
    auto* menuKey = new QAction(m_photoList);
    menuKey->setShortcut(QKeySequence(QStringLiteral("Shift+F10")));
    menuKey->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(menuKey, &QAction::triggered, this, [this] {
        PhotoRow* row = rowWithFocus();
        QWidget* focus = QApplication::focusWidget();
        if (row && focus)
            showRowMenu(row->photoId(), focus->mapToGlobal(QPoint(0, focus->height())));
    });
    m_photoList->addAction(menuKey);

    auto* add = new QWidget;
    auto* addLayout = new QHBoxLayout(add);
    addLayout->setContentsMargins(0, 0, 0, 0);
    m_fromFilesButton = new QPushButton(QStringLiteral("From Files\u2026"));
    m_fromFilesButton->setObjectName(QStringLiteral("fromFilesButton"));
    addLayout->addWidget(m_fromFilesButton);
    m_progress = new QWidget;
    m_progress->setObjectName(QStringLiteral("importProgress"));
    auto* progressLayout = new QHBoxLayout(m_progress);
    progressLayout->setContentsMargins(0, 0, 0, 0);
    auto* bar = new QProgressBar;
    // The store reports a batch only when it is done: the bar shows work, not a share of it.
    bar->setRange(0, 0);
    bar->setMaximumWidth(80);
    bar->setTextVisible(false);
    m_progressText = new QLabel;
    m_progressText->setObjectName(QStringLiteral("importProgressText"));
    FormSection::setSecondaryText(m_progressText);
    progressLayout->addWidget(bar);
    progressLayout->addWidget(m_progressText);
    m_progress->hide();
    addLayout->addWidget(m_progress);
    addLayout->addStretch(1);
    rows->addRow(QStringLiteral("Add"), add);
    connect(m_fromFilesButton, &QPushButton::clicked, this, &ScreensaverView::chooseFiles);

    m_intervalPicker = picker("intervalPicker", intervalEntries);
    rows->addRow(QStringLiteral("Change every"), m_intervalPicker);
    connect(m_intervalPicker, &QComboBox::activated, this, [this](int row) {
        m_deviceManager.setScreensaverPhotoInterval(double(m_intervalPicker->itemData(row).toInt()));
    });

    m_stylePicker = new QComboBox;
    m_stylePicker->setObjectName(QStringLiteral("stylePicker"));
    for (ScreensaverStyle style : allScreensaverStyles())
        m_stylePicker->addItem(QLatin1String(styleText(style).title), int(style));
    WheelGuard::install(m_stylePicker);
    rows->addRow(QStringLiteral("Clock"), m_stylePicker);
    m_styleDescription = new QLabel;
    m_styleDescription->setObjectName(QStringLiteral("styleDescription"));
    m_styleDescription->setWordWrap(true);
    m_styleDescription->setFont(FormSection::relativeFont(font(), -2));
    FormSection::setSecondaryText(m_styleDescription);
    rows->addRow(QString(), m_styleDescription);
    connect(m_stylePicker, &QComboBox::activated, this, [this](int row) {
        m_deviceManager.setScreensaverStyle(ScreensaverStyle(m_stylePicker->itemData(row).toInt()));
    });

    m_photoError = new SymbolLabel(QStringLiteral("exclamationmark.triangle"), QString(), SymbolLabel::orange(), 0);
    m_photoError->setObjectName(QStringLiteral("photoError"));
    m_photoError->textLabel()->setObjectName(QStringLiteral("photoErrorText"));
    rows->addRow(m_photoError);

    m_photos->setFooter(QStringLiteral(
        "Add from files, or by dragging pictures onto this window. Photos are fitted to Tarv's 480 \u00D7 320 "
        "screen and stored by the app; use the crop button to choose which part shows. With more than one, the "
        "screensaver cycles through them in this order; Ctrl+Up and Ctrl+Down move the photo in focus."));
}

void ScreensaverView::showState()
{
    const ScreensaverState& state = m_deviceManager.screensaver();
    if (m_enabledToggle->isChecked() != state.isEnabled) {
        const QSignalBlocker blocker(m_enabledToggle);
        m_enabledToggle->setChecked(state.isEnabled);
    }
    showEntry(m_timeoutPicker, entryRow(m_timeoutPicker, state.timeout));
    m_timeoutPicker->setEnabled(state.isEnabled);
    showEntry(m_intervalPicker, entryRow(m_intervalPicker, state.photoInterval));
    showEntry(m_stylePicker, m_stylePicker->findData(int(state.style)));
    m_styleDescription->setText(QLatin1String(styleText(state.style).description));
    if (state.photoError && (m_photoError->text() != *state.photoError || m_photoError->isHidden())) {
        m_photoError->setText(*state.photoError);
        FocusKeeper::showWithFocus(m_photoError, m_photoError->text());
    }

    const qsizetype count = state.photos.size();
    QFormLayout* rows = m_photos->rows();
    rows->setRowVisible(m_emptyText, count == 0);
    rows->setRowVisible(m_photoList, count > 0);
    rows->setRowVisible(m_intervalPicker, count >= 2);
    rows->setRowVisible(m_stylePicker, count >= 1);
    rows->setRowVisible(m_styleDescription, count >= 1);
    rows->setRowVisible(m_photoError, state.photoError.has_value());
}

// --- Photo rows ------------------------------------------------------------------------------

QList<PhotoRow*> ScreensaverView::photoRows()
{
    QList<PhotoRow*> out;
    for (const QString& key : m_photoList->keys())
        out.append(static_cast<PhotoRow*>(m_photoList->row(key)));
    return out;
}

QList<PhotoRow*> ScreensaverView::builtPhotoRows() const
{
    QList<PhotoRow*> out;
    for (QWidget* row : m_photoList->builtRows())
        out.append(static_cast<PhotoRow*>(row));
    return out;
}

PhotoRow* ScreensaverView::makeRow(const QString& key)
{
    // The list's keys follow the model's rows in order: a key's place is the photo's row.
    const QModelIndex index = m_model->index(m_photoList->indexOf(key));
    auto* row = new PhotoRow(m_model->photoId(index.row()));
    row->setName(index.data(Qt::DisplayRole).toString());
    // Thumbnails are made for the rows that come into view, not for the whole library.
    connect(row, &PhotoRow::firstShown, this, [this, row](const QUuid& id) {
        const int at = m_photoList->indexOf(PhotoRow::key(id));
        if (at >= 0)
            row->setThumbnail(m_model->index(at).data(Qt::DecorationRole).value<QImage>());
    });
    connect(row, &PhotoRow::cropRequested, this, &ScreensaverView::openCropEditor);
    connect(row, &PhotoRow::removeRequested, this, &ScreensaverView::removePhoto);
    connect(row, &PhotoRow::menuRequested, this, &ScreensaverView::showRowMenu);
    return row;
}

PhotoRow* ScreensaverView::rowWithFocus() const
{
    for (QWidget* at = QApplication::focusWidget(); at && at != m_photoList; at = at->parentWidget())
        if (auto* row = qobject_cast<PhotoRow*>(at))
            return row;
    return nullptr;
}

void ScreensaverView::showRowMenu(const QUuid& id, const QPoint& globalPos)
{
    const int place = m_photoList->indexOf(PhotoRow::key(id));
    if (place < 0)
        return;
    m_menuPhoto = id;
    m_moveUpAction->setEnabled(place > 0);
    m_moveDownAction->setEnabled(place + 1 < m_model->rowCount());
    m_rowMenu->popup(globalPos);
}

void ScreensaverView::moveByAction(int offset)
{
    // From the menu, the row it was opened on; from the keys, the row the focus is in.
    if (!m_menuPhoto.isNull()) {
        movePhoto(m_menuPhoto, offset);
        return;
    }
    if (PhotoRow* row = rowWithFocus())
        movePhoto(row->photoId(), offset);
}

void ScreensaverView::removePhoto(const QUuid& id)
{
    if (m_undoStack) {
        m_undoStack->push(new RemovePhotoCommand(m_deviceManager, id));
        return;
    }
    m_deviceManager.removeScreensaverPhoto(id);
    m_deviceManager.discardRemovedScreensaverPhoto(id);
}

void ScreensaverView::movePhoto(const QUuid& id, int offset)
{
    const int from = m_photoList->indexOf(PhotoRow::key(id));
    if (from < 0 || from + offset < 0 || from + offset >= m_model->rowCount())
        return;
    if (m_undoStack)
        m_undoStack->push(new MovePhotoCommand(m_deviceManager, id, offset));
    else
        m_deviceManager.moveScreensaverPhoto(id, offset);
    // The row moved under the focus, which stays in it: it is kept in sight, and its new place
    // is heard as it is seen.
    if (QWidget* focus = QApplication::focusWidget(); focus && m_photoList->isAncestorOf(focus))
        FocusKeeper::bringIntoSight(focus);
    if (auto* row = static_cast<PhotoRow*>(m_photoList->builtRow(PhotoRow::key(id))))
        ScreenReaderNotice::say(this, row->placeText());
}

void ScreensaverView::followModel()
{
    // Rows of photos still listed are kept; those of new photos are made as they come into sight.
    QStringList keys;
    keys.reserve(m_model->rowCount());
    for (int i = 0; i < m_model->rowCount(); ++i)
        keys.append(PhotoRow::key(m_model->photoId(i)));
    m_photoList->setKeys(keys);
}

void ScreensaverView::refreshRows(int first, int last, bool thumbnailsOnly)
{
    for (int i = std::max(first, 0); i <= last && i < m_model->rowCount(); ++i) {
        auto* row = static_cast<PhotoRow*>(m_photoList->builtRow(PhotoRow::key(m_model->photoId(i))));
        if (!row)
            continue;
        const QModelIndex index = m_model->index(i);
        if (!thumbnailsOnly)
            row->setName(index.data(Qt::DisplayRole).toString());
        if (row->wasShown())
            row->setThumbnail(index.data(Qt::DecorationRole).value<QImage>());
    }
}

// --- Crop ------------------------------------------------------------------------------------

PhotoCropEditor* ScreensaverView::cropEditor() const
{
    return m_cropEditor;
}

void ScreensaverView::openCropEditor(const QUuid& id, const QString& name)
{
    // One sheet at a time; a second click while the source is read opens nothing more.
    if (m_cropEditor || m_cropRequested)
        return;
    m_cropRequested = true;
    QPointer<ScreensaverView> self(this);
    m_deviceManager.cropSourceImage(id, [self, id, name](std::optional<DeviceManager::CropSource> source) {
        if (!self)
            return;
        self->m_cropRequested = false;
        // Gone from the library meanwhile, or nothing to crop: no sheet.
        if (!source)
            return;
        DeviceManager* hub = &self->m_deviceManager;
        auto* editor = new PhotoCropEditor(name, source->image, source->fromSourceJPEG, source->adjustment,
                                           [hub, id](const PhotoAdjustment& adjustment) {
                                               hub->adjustScreensaverPhoto(id, adjustment);
                                           },
                                           self->window());
        editor->setAttribute(Qt::WA_DeleteOnClose);
        self->m_cropEditor = editor;
        editor->open();
    });
}

// --- Import ----------------------------------------------------------------------------------

QString ScreensaverView::imageFileFilter()
{
    return QStringLiteral("Images (") + PhotoImages::readablePatterns().join(u' ') + u')';
}

void ScreensaverView::chooseFiles()
{
    if (m_choosingPhoto)
        return;
    m_choosingPhoto = true;
    QPointer<ScreensaverView> self(this);
    m_fileChooser(window(), imageFileFilter(), [self](const QStringList& paths) {
        if (!self)
            return;
        self->m_choosingPhoto = false;
        // Closing the chooser without a choice imports nothing.
        if (paths.isEmpty())
            return;
        self->m_lastPhotoFolder = QFileInfo(paths.first()).absolutePath();
        self->m_deviceManager.importPhotoFiles(paths);
        self->importStarted(int(paths.size()));
    });
}

QString ScreensaverView::photoFolder() const
{
    if (!m_lastPhotoFolder.isEmpty() && QFileInfo(m_lastPhotoFolder).isDir())
        return m_lastPhotoFolder;
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!pictures.isEmpty() && QFileInfo(pictures).isDir())
        return pictures;
    return QDir::homePath();
}

bool ScreensaverView::carriesPhotos(const QMimeData& mime)
{
    return !localFiles(mime).isEmpty() || !imageFormat(mime).isEmpty() || mime.hasImage();
}

bool ScreensaverView::dropPhotos(const QMimeData& mime)
{
    QList<DroppedItem> dropped;
    // Names are made as each item is taken, so each carries its own minute.
    const auto name = [&dropped] { return droppedPhotoName(QDateTime::currentDateTime(), int(dropped.size()) + 1); };
    for (const QString& path : localFiles(mime))
        dropped.append({name(), path, {}, {}});
    if (dropped.isEmpty()) {
        if (const QString format = imageFormat(mime); !format.isEmpty())
            dropped.append({name(), {}, mime.data(format), {}});
        else if (mime.hasImage())
            dropped.append({name(), {}, {}, qvariant_cast<QImage>(mime.imageData())});
    }
    if (dropped.isEmpty()) {
        // Handed over all the same: every hand-over starts by clearing the last photo error.
        m_deviceManager.importPhotoData({});
        return false;
    }
    ++m_readingDrops;
    importStarted(int(dropped.size()));
    // Files are read, and pictures encoded, away from the window.
    continueOn(this, QtConcurrent::run([dropped] { return readDroppedItems(dropped); }),
               [this](const QList<ScreensaverPhotoService::ImportItem>& items) {
                   --m_readingDrops;
                   m_deviceManager.importPhotoData(items);
               });
    return true;
}

void ScreensaverView::importStarted(int items)
{
    if (m_importingItems == 0)
        m_photosBeforeImport = m_model->rowCount();
    m_importingItems += items;
    showImportProgress();
}

void ScreensaverView::showImportProgress()
{
    if (m_importingItems > 0 && m_readingDrops == 0 && m_deviceManager.pendingPhotoWork() == 0) {
        m_importingItems = 0;
        // The end of the import is heard as the bar going is seen; a photo that failed is said
        // with the error.
        const int added = m_model->rowCount() - m_photosBeforeImport;
        if (added > 0)
            ScreenReaderNotice::say(this, added == 1 ? QStringLiteral("Added 1 photo")
                                                     : QStringLiteral("Added %1 photos").arg(added));
    }
    m_progressText->setText(m_importingItems == 1 ? QStringLiteral("Importing 1 photo\u2026")
                                                  : QStringLiteral("Importing %1 photos\u2026").arg(m_importingItems));
    m_progress->setVisible(m_importingItems > 0);
}

bool ScreensaverView::isDropTargeted() const { return !m_overlay->isHidden(); }

void ScreensaverView::setDropTargeted(bool targeted)
{
    m_overlay->setGeometry(rect());
    m_overlay->raise();
    m_overlay->setVisible(targeted);
}

void ScreensaverView::dragEnterEvent(QDragEnterEvent* event)
{
    if (!carriesPhotos(*event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    setDropTargeted(true);
}

void ScreensaverView::dragMoveEvent(QDragMoveEvent* event)
{
    event->acceptProposedAction();
}

void ScreensaverView::dragLeaveEvent(QDragLeaveEvent* event)
{
    setDropTargeted(false);
    event->accept();
}

void ScreensaverView::dropEvent(QDropEvent* event)
{
    setDropTargeted(false);
    if (dropPhotos(*event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void ScreensaverView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_overlay->setGeometry(rect());
}
