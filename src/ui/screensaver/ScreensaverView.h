#pragma once
// The Screensaver page: whether and when the device's screensaver starts, how often its photo
// changes, the clock drawn over the photos, and the photos themselves, added from files or by
// dropping them anywhere on the page, moved, removed, or framed in the crop editor. Every value
// is the hub's; every change is one call of the hub, and removing or moving a photo is one step
// of the page's undo stack.

#include <QPointer>
#include <QStringList>
#include <QUuid>
#include <QWidget>

#include <functional>

class DeviceManager;
class FormSection;
class LazyRowList;
class PhotoCropEditor;
class PhotoListModel;
class PhotoRow;
class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QMimeData;
class QPushButton;
class QUndoStack;
class SymbolLabel;

class ScreensaverView : public QWidget {
    Q_OBJECT
public:
    // Opens the file chooser for `filter` and calls `done` with the chosen files, if any.
    using FileChooser = std::function<void(QWidget* parent, const QString& filter,
                                           std::function<void(const QStringList&)> done)>;

    // Without an undo stack a removed photo's files go at once.
    explicit ScreensaverView(DeviceManager& deviceManager, QUndoStack* undoStack = nullptr, QWidget* parent = nullptr);

    // Tests answer the chooser themselves instead of showing the desktop's dialog.
    void setFileChooser(FileChooser chooser) { m_fileChooser = std::move(chooser); }
    // "Images (*.bmp *.jpg …)": every format Qt can read here.
    static QString imageFileFilter();
    // Where the chooser opens: the folder of the last choice while it exists, else the
    // user's Pictures folder, else the home folder.
    QString photoFolder() const;

    // What a drop of `mime` delivers: local files, else the dragged picture's data. Each is
    // named as a dropped photo and handed to the import; true when there was something.
    bool dropPhotos(const QMimeData& mime);
    static bool carriesPhotos(const QMimeData& mime);

    PhotoListModel* model() const { return m_model; }
    // Every photo's row, made now where it was not yet (rows are otherwise made as they come
    // into sight).
    QList<PhotoRow*> photoRows();
    QList<PhotoRow*> builtPhotoRows() const;
    bool isDropTargeted() const;
    QWidget* dropOverlay() const { return m_overlay; }
    PhotoCropEditor* cropEditor() const;
    // Shown while photos handed over here are still being read and stored.
    QWidget* importProgress() const { return m_progress; }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildGeneral();
    void buildPhotos();
    void showState();
    void setDropTargeted(bool targeted);
    void chooseFiles();
    void openCropEditor(const QUuid& id, const QString& name);
    void removePhoto(const QUuid& id);
    void movePhoto(const QUuid& id, int offset);
    PhotoRow* rowWithFocus() const;
    void showRowMenu(const QUuid& id, const QPoint& globalPos);
    void moveByAction(int offset);
    PhotoRow* makeRow(const QString& key);
    void followModel();
    void refreshRows(int first, int last, bool thumbnailsOnly = false);
    void importStarted(int items);
    void showImportProgress();

    DeviceManager& m_deviceManager;
    QPointer<QUndoStack> m_undoStack;
    PhotoListModel* m_model = nullptr;
    FileChooser m_fileChooser;
    QString m_lastPhotoFolder;

    FormSection* m_general = nullptr;
    QCheckBox* m_enabledToggle = nullptr;
    QComboBox* m_timeoutPicker = nullptr;

    FormSection* m_photos = nullptr;
    QLabel* m_emptyText = nullptr;
    LazyRowList* m_photoList = nullptr;
    QAction* m_moveUpAction = nullptr;
    QAction* m_moveDownAction = nullptr;
    QMenu* m_rowMenu = nullptr;
    // The photo whose menu is open.
    QUuid m_menuPhoto;
    QPushButton* m_fromFilesButton = nullptr;
    QWidget* m_progress = nullptr;
    QLabel* m_progressText = nullptr;
    QComboBox* m_intervalPicker = nullptr;
    QComboBox* m_stylePicker = nullptr;
    QLabel* m_styleDescription = nullptr;
    SymbolLabel* m_photoError = nullptr;

    QWidget* m_overlay = nullptr;
    bool m_choosingPhoto = false;
    QPointer<PhotoCropEditor> m_cropEditor;
    bool m_cropRequested = false;
    // Photos handed over here since the hub was last idle, and drops still being read.
    int m_importingItems = 0;
    // The photos listed when the import began.
    int m_photosBeforeImport = 0;
    int m_readingDrops = 0;
};
