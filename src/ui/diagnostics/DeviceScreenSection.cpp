#include "ui/diagnostics/DeviceScreenSection.h"

#include "hub/DeviceManager.h"
#include "platform/SavingPool.h"
#include "ui/diagnostics/SnapshotPicture.h"
#include "ui/widgets/DisplayFormats.h"
#include "ui/widgets/PlainText.h"
#include "ui/widgets/SymbolLabel.h"

#include <QApplication>
#include <QBoxLayout>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QStandardPaths>
#include <QtConcurrent/QtConcurrentRun>

#include <cerrno>
#include <utility>

namespace {

// Writes through a temporary file that replaces the target only once complete, so a failed
// write leaves whatever was there. The error text, or empty on success.
QString writeAtomically(const QString& path, const QByteArray& data)
{
    QSaveFile file(path);
    // Unbuffered: a buffered short write (a full disk, a size limit) surfaces only in the
    // flush of commit(), which then still replaces the target with the truncated file.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    errno = 0;
    if (file.write(data) != data.size()) {
        // A short count carries no error of its own; the system's reason is in errno.
        const int error = errno;
        const QString reason = error != 0 ? qt_error_string(error) : file.errorString();
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

}  // namespace

DeviceScreenSection::DeviceScreenSection(DeviceManager& deviceManager, QWidget* parent)
    : FormSection(QStringLiteral("Device Screen"), parent), m_deviceManager(deviceManager), m_askForFile(dialogAsker())
{
    setObjectName(QStringLiteral("deviceScreenSection"));
    setFooter(QStringLiteral("The pixels come from the device's frame buffer, so this is what the panel was sent, not "
                             "what this computer thinks it sent. From a terminal: tarv snapshot shot.png"));

    m_picture = new SnapshotPicture;
    rows()->addRow(m_picture);

    m_progress = new QProgressBar;
    m_progress->setObjectName(QStringLiteral("snapshotProgress"));
    m_progress->setAccessibleName(QStringLiteral("Capture progress"));
    m_progress->setRange(0, 1000);
    m_progress->setTextVisible(false);
    m_progress->setFixedWidth(progressWidth);
    m_statusIcon = new QLabel;
    m_statusIcon->setObjectName(QStringLiteral("snapshotStatusIcon"));
    // The symbol in the one colour of the message beside it.
    m_statusIcon->setPixmap(SymbolLabel::tintedSymbol(QStringLiteral("exclamationmark.triangle"), 16,
                                                      SymbolLabel::orange(), devicePixelRatioF()));
    m_statusLabel = PlainText::label();
    m_statusLabel->setObjectName(QStringLiteral("snapshotStatus"));
    m_statusLabel->setWordWrap(true);
    m_statusLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* status = new QWidget;
    auto* statusLayout = new QHBoxLayout(status);
    statusLayout->setContentsMargins(0, 0, 0, 0);
    statusLayout->setSpacing(6);
    statusLayout->addWidget(m_progress);
    statusLayout->addWidget(m_statusIcon);
    statusLayout->addWidget(m_statusLabel, 1);

    m_copyButton = new QPushButton(QStringLiteral("Copy"));
    m_copyButton->setObjectName(QStringLiteral("copySnapshotButton"));
    m_saveButton = new QPushButton(QStringLiteral("Save…"));
    m_saveButton->setObjectName(QStringLiteral("saveSnapshotButton"));
    m_captureButton = new QPushButton(QStringLiteral("Capture"));
    m_captureButton->setObjectName(QStringLiteral("captureButton"));
    auto* buttons = new QWidget;
    auto* buttonLayout = new QHBoxLayout(buttons);
    buttonLayout->setContentsMargins(0, 0, 0, 0);
    buttonLayout->setSpacing(8);
    buttonLayout->addWidget(m_copyButton, 0, Qt::AlignVCenter);
    buttonLayout->addWidget(m_saveButton, 0, Qt::AlignVCenter);
    buttonLayout->addWidget(m_captureButton, 0, Qt::AlignVCenter);

    auto* controls = new QWidget;
    auto* controlLayout = new QHBoxLayout(controls);
    controlLayout->setContentsMargins(0, 0, 0, 0);
    controlLayout->addWidget(status, 1);
    controlLayout->addWidget(buttons, 0, Qt::AlignRight | Qt::AlignVCenter);
    rows()->addRow(controls);

    connect(m_copyButton, &QPushButton::clicked, this, &DeviceScreenSection::copySnapshot);
    connect(m_saveButton, &QPushButton::clicked, this, &DeviceScreenSection::saveSnapshot);
    connect(m_captureButton, &QPushButton::clicked, this, &DeviceScreenSection::capture);
    connect(&m_saving, &QFutureWatcher<QString>::finished, this, &DeviceScreenSection::finishSave);

    connect(&m_deviceManager, &DeviceManager::snapshotChanged, this, &DeviceScreenSection::refresh);
    connect(&m_deviceManager, &DeviceManager::snapshotProgressChanged, this, &DeviceScreenSection::refresh);
    connect(&m_deviceManager, &DeviceManager::snapshotErrorChanged, this, &DeviceScreenSection::refresh);
    connect(&m_deviceManager, &DeviceManager::stateChanged, this, &DeviceScreenSection::refresh);
    refresh();
}

void DeviceScreenSection::refresh()
{
    const auto& snapshot = m_deviceManager.snapshot();
    const auto& progress = m_deviceManager.snapshotProgress();
    const auto& error = m_deviceManager.snapshotError();

    if (snapshot != m_shownSnapshot) {
        m_shownSnapshot = snapshot;
        // A new picture makes an older save's failure beside the point.
        m_saveError.reset();
        m_picture->setImage(snapshot ? snapshot->makeImage() : QImage());
        if (snapshot)
            m_picture->setAccessibleName(QStringLiteral("The device's screen at ") +
                                         QLocale().toString(snapshot->date.time(), QLocale::ShortFormat));
    }
    if (progress)
        m_saveError.reset();
    rows()->setRowVisible(m_picture, !m_picture->image().isNull());

    // The first that holds: a capture under way, a failed save, a failed capture, the picture's
    // time and size, nothing yet.
    const std::optional<QString> shownError = m_saveError ? m_saveError : error;
    m_progress->setVisible(progress.has_value());
    m_statusIcon->setVisible(!progress && shownError);
    m_statusLabel->setVisible(!progress);
    QPalette palette = m_statusLabel->palette();
    if (progress) {
        m_progress->setValue(int(std::clamp(*progress, 0.0, 1.0) * 1000));
        m_statusLabel->clear();
    } else if (shownError) {
        m_statusLabel->setText(*shownError);
        palette.setColor(QPalette::WindowText, SymbolLabel::orange());
    } else if (snapshot) {
        m_statusLabel->setText(timeOfDayWithSeconds(snapshot->date) + QStringLiteral(" · ") +
                               byteCountText(std::uint64_t(std::max<qsizetype>(0, snapshot->packedBytes)),
                                             ByteCountStyle::file) +
                               QStringLiteral(" over USB"));
        palette.setColor(QPalette::WindowText, secondaryColor(this));
    } else {
        m_statusLabel->setText(QStringLiteral("Nothing captured yet"));
        palette.setColor(QPalette::WindowText, secondaryColor(this));
    }
    m_statusLabel->setPalette(palette);

    m_copyButton->setVisible(snapshot.has_value());
    m_saveButton->setVisible(snapshot.has_value());
    m_captureButton->setText(snapshot ? QStringLiteral("Capture Again") : QStringLiteral("Capture"));
    setCaptureEnabled(m_deviceManager.state().isConnected() && !progress);
}

void DeviceScreenSection::setCaptureEnabled(bool enabled)
{
    // A button that is disabled passes the keyboard focus on to the next widget, and the page
    // scrolls to wherever that is (the frame log, far below): while the capture runs the
    // focus rests nowhere, and comes back to the button when it can take it again.
    if (!enabled && m_captureButton->hasFocus()) {
        m_captureHadFocus = true;
        m_captureButton->clearFocus();
    }
    m_captureButton->setEnabled(enabled);
    if (enabled && std::exchange(m_captureHadFocus, false) && !window()->focusWidget())
        m_captureButton->setFocus(Qt::OtherFocusReason);
}

QString DeviceScreenSection::statusText() const
{
    return m_statusLabel->isVisibleTo(this) ? m_statusLabel->text() : QString();
}

bool DeviceScreenSection::isShowingError() const
{
    return m_statusIcon->isVisibleTo(this);
}

void DeviceScreenSection::capture()
{
    // The hub answers at once and reports through its snapshot values as parts arrive.
    m_deviceManager.captureSnapshot({});
}

void DeviceScreenSection::copySnapshot()
{
    if (!m_shownSnapshot)
        return;
    const std::optional<QByteArray> png = m_shownSnapshot->pngData();
    if (!png)
        return;
    auto* data = new QMimeData;
    data->setData(QStringLiteral("image/png"), *png);
    QApplication::clipboard()->setMimeData(data);
}

void DeviceScreenSection::saveSnapshot()
{
    if (!m_shownSnapshot || m_isSaving)
        return;
    const std::optional<QByteArray> png = m_shownSnapshot->pngData();
    if (!png)
        return;
    QPointer<DeviceScreenSection> self(this);
    m_askForFile(this, TarvUSB::snapshotFileName(m_shownSnapshot->date), [self, data = *png](const QString& path) {
        if (!self || path.isEmpty() || self->m_isSaving)
            return;
        self->m_isSaving = true;
        self->m_savingFileName = QFileInfo(path).fileName();
        self->m_saving.setFuture(QtConcurrent::run(&savingPool(), writeAtomically, path, data));
    });
}

void DeviceScreenSection::finishSave()
{
    m_isSaving = false;
    const QString reason = m_saving.result();
    if (reason.isEmpty())
        m_saveError.reset();
    else
        m_saveError = QStringLiteral("Could not save “") + m_savingFileName + QStringLiteral("”: ") + reason;
    refresh();
}

DeviceScreenSection::SaveFileAsker DeviceScreenSection::dialogAsker()
{
    return [](QWidget* parent, const QString& suggestedName, std::function<void(const QString&)> chosen) {
        const QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        auto* dialog = new QFileDialog(parent ? parent->window() : nullptr, QStringLiteral("Save Snapshot"));
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setMimeTypeFilters({QStringLiteral("image/png")});
        dialog->setDefaultSuffix(QStringLiteral("png"));
        dialog->setDirectory(folder);
        dialog->selectFile(suggestedName);
        // Window-modal and answered through its signal: the event loop, and with it the
        // device, keeps running while the dialog is open.
        QObject::connect(dialog, &QFileDialog::fileSelected, dialog, [chosen](const QString& path) { chosen(path); });
        dialog->open();
    };
}
