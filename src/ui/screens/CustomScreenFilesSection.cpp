#include "ui/screens/CustomScreenFilesSection.h"

#include "hub/DeviceManager.h"
#include "platform/ContextContinuation.h"
#include "screens/runtime/CustomScreenStore.h"
#include "screens/runtime/ScreenDataSources.h"
#include "screens/runtime/ScreenTrust.h"
#include "ui/screens/FileManager.h"
#include "ui/screens/ScreenFilesReference.h"
#include "ui/screens/ScreenFileList.h"
#include "ui/screens/ScreenFileRow.h"
#include "ui/widgets/FocusKeeper.h"
#include "ui/widgets/FormSection.h"
#include "ui/widgets/SymbolIcon.h"
#include "ui/widgets/SymbolLabel.h"
#include "ui/widgets/WrappingText.h"

#include <QAction>
#include <QBoxLayout>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <utility>

namespace {

QString screenID(const QString& fileName) { return QFileInfo(fileName).completeBaseName(); }

// The outcome of a desktop request, shown by whoever asked, if it is still there to show it.
template <typename Shower>
FileManager::Done reportTo(Shower* shower, void (Shower::*show)(const std::optional<QString>&))
{
    return [shower = QPointer<Shower>(shower), show](const std::optional<QString>& failure) {
        if (shower)
            (shower->*show)(failure);
    };
}

}  // namespace

CustomScreenFilesSection::CustomScreenFilesSection(DeviceManager& deviceManager, QWidget* parent)
    : QWidget(parent), m_deviceManager(deviceManager), m_fileManager(new FileManager(this))
{
    setObjectName(QStringLiteral("filesSection"));
    m_section = new FormSection(QStringLiteral("Files"));
    m_section->setFooter(
        QStringLiteral("A screen file can run commands on this computer and fire actions from its buttons, so only "
                       "add files you wrote or trust. A new file is not shown on the device, and does neither, until "
                       "you allow it; it asks again if what it does changes.\n\nFiles reload as they are saved. A "
                       "data source's failure is listed while its page is showing; the page keeps the last value."));

    m_empty = new QLabel(
        QStringLiteral("No screen files. Each .json file in the Screens folder becomes a page after Now Playing."));
    m_empty->setObjectName(QStringLiteral("emptyText"));
    m_empty->setWordWrap(true);
    FormSection::setSecondaryText(m_empty);

    m_list = new ScreenFileList([this](const QString& fileName) { return makeRow(fileName); });

    // A push button keeps its menu's arrow clear of its text.
    m_newScreen = new QPushButton(QStringLiteral("New Screen"));
    m_newScreen->setObjectName(QStringLiteral("newScreenButton"));
    auto* templates = new QMenu(m_newScreen);
    for (const ScreenTemplate& screenTemplate : ScreenTemplate::all()) {
        QAction* action = templates->addAction(symbolIcon(screenTemplate.symbol), screenTemplate.name);
        action->setObjectName(QStringLiteral("newScreen:") + screenTemplate.id);
        connect(action, &QAction::triggered, this, [this, screenTemplate] { addScreen(screenTemplate); });
    }
    m_newScreen->setMenu(templates);
    m_newScreen->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_openFolder = new QPushButton(QStringLiteral("Show in File Manager"));
    m_openFolder->setObjectName(QStringLiteral("openFolderButton"));
    connect(m_openFolder, &QPushButton::clicked, this, [this] {
        m_fileManager->open(m_deviceManager.customScreens().folder(), reportTo(this, &CustomScreenFilesSection::setFailure));
    });
    // Where to put a file by hand, to be copied from the page.
    auto* folderPath = new WrappingText(QDir::toNativeSeparators(m_deviceManager.customScreens().folder()));
    folderPath->setObjectName(QStringLiteral("folderPath"));
    folderPath->setSelectable(true);

    m_openReference = new QPushButton(QStringLiteral("Screen File Reference"));
    m_openReference->setObjectName(QStringLiteral("openReferenceButton"));
    m_openReference->setToolTip(QStringLiteral("What a screen file may hold, with an example of each kind of source"));
    connect(m_openReference, &QPushButton::clicked, this, &CustomScreenFilesSection::openReference);

    m_failureLabel = new SymbolLabel(QStringLiteral("exclamationmark.triangle"), QString(), SymbolLabel::orange());
    m_failureLabel->setObjectName(QStringLiteral("failureLabel"));
    m_failureLabel->setSelectable(true);

    QFormLayout* rows = m_section->rows();
    rows->addRow(m_empty);
    rows->addRow(m_list);
    // The path on the label's line, the folder's commands under it.
    rows->addRow(QStringLiteral("Folder"), folderPath);
    rows->addRow(FormSection::trailingValue({m_newScreen, m_openFolder}, 8));
    rows->addRow(QStringLiteral("Format"), FormSection::trailingValue({m_openReference}));
    rows->addRow(m_failureLabel);
    rows->setRowVisible(m_failureLabel, false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_section);

    CustomScreenStore& store = m_deviceManager.customScreens();
    connect(&store, &CustomScreenStore::reportsChanged, this, &CustomScreenFilesSection::showReports);
    connect(&store, &CustomScreenStore::screensChanged, this, &CustomScreenFilesSection::showReports);
    connect(&store, &CustomScreenStore::reportsChanged, this, &CustomScreenFilesSection::folderChanged);
    connect(&store, &CustomScreenStore::screensChanged, this, &CustomScreenFilesSection::folderChanged);
    connect(&store.trust(), &ScreenTrust::approvedChanged, this, &CustomScreenFilesSection::folderChanged);
    connect(&store, &CustomScreenStore::loaded, this, [this] {
        m_failureBeforeLoad = false;
        // Does nothing while the file waits for approval or did not load.
        if (const std::optional<QString> id = std::exchange(m_showWhenLoaded, std::nullopt))
            m_deviceManager.showScreen(DeviceScreen::custom(*id));
    });
    connect(&m_deviceManager.screenData(), &ScreenDataSources::failuresChanged, this,
            &CustomScreenFilesSection::showReports);
    showReports();
}

CustomScreenFilesSection::~CustomScreenFilesSection() = default;

void CustomScreenFilesSection::setFileManager(FileManager* fileManager)
{
    if (m_fileManager && m_fileManager->parent() == this)
        delete m_fileManager;
    m_fileManager = fileManager;
}

void CustomScreenFilesSection::openReference()
{
    // Looking for the file reads the file system: a worker does it.
    const auto found = QtConcurrent::run([program = QCoreApplication::applicationDirPath()] {
        return ScreenFilesReference::find(program);
    });
    continueOn(this, found, [this](const std::optional<QString>& path) {
        if (!path) {
            setFailure(QStringLiteral("The screen file reference (") + ScreenFilesReference::fileName +
                       QStringLiteral(") is not installed with this copy of Tarv."));
            return;
        }
        m_fileManager->open(*path, reportTo(this, &CustomScreenFilesSection::setFailure));
    });
}

QList<std::pair<QString, QString>> CustomScreenFilesSection::sourceFailures(const QString& fileName) const
{
    const QString id = screenID(fileName);
    const QHash<QString, QString> failures = m_deviceManager.screenData().failures().value(id);
    QList<std::pair<QString, QString>> out;
    for (auto it = failures.cbegin(); it != failures.cend(); ++it)
        out.append({it.key(), it.value()});
    // Where a source's data really comes from, under its failure if it has one.
    const QHash<QString, QString> redirects = m_deviceManager.screenData().redirects().value(id);
    for (auto it = redirects.cbegin(); it != redirects.cend(); ++it)
        out.append({it.key(), QStringLiteral("redirected to ") + it.value()});
    std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    return out;
}

void CustomScreenFilesSection::addScreen(const ScreenTemplate& screenTemplate)
{
    m_deviceManager.customScreens().addTemplate(
        screenTemplate, [section = QPointer(this)](const CustomScreenStore::WriteResult& written) {
            if (!section)
                return;
            if (const auto* error = std::get_if<CustomScreenStore::WriteError>(&written)) {
                section->setFailure(error->message);
                return;
            }
            const QString id = std::get<QString>(written);
            section->setFailure(std::nullopt);
            section->m_showWhenLoaded = id;
            section->m_fileManager->open(section->filePath(id + QStringLiteral(".json")),
                                         reportTo(section.data(), &CustomScreenFilesSection::setFailure));
        });
}

void CustomScreenFilesSection::duplicate(const QString& fileName)
{
    m_deviceManager.customScreens().duplicateScreenFile(
        fileName, [section = QPointer(this)](const CustomScreenStore::WriteResult& written) {
            if (!section)
                return;
            const auto* error = std::get_if<CustomScreenStore::WriteError>(&written);
            section->setFailure(error ? std::optional(error->message) : std::nullopt);
        });
}

QList<ScreenFileRow*> CustomScreenFilesSection::rows()
{
    refresh();
    QList<ScreenFileRow*> out;
    for (const QString& fileName : m_list->files())
        out.append(m_list->row(fileName));
    return out;
}

ScreenFileRow* CustomScreenFilesSection::row(const QString& fileName)
{
    if (m_stale)
        refresh();
    return m_list->row(fileName);
}

void CustomScreenFilesSection::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_stale)
        refresh();
}

void CustomScreenFilesSection::showReports()
{
    // A hidden page only notes that it is behind: a reload then costs nothing here.
    if (!isVisible()) {
        m_stale = true;
        return;
    }
    refresh();
}

void CustomScreenFilesSection::refresh()
{
    m_stale = false;
    const QList<CustomScreenStore::FileReport>& reports = m_deviceManager.customScreens().reports();
    QStringList names;
    names.reserve(reports.size());
    for (const CustomScreenStore::FileReport& report : reports)
        names.append(report.fileName);
    m_list->setFiles(names);
    // Rows not made yet take their content when they are; of the others, only those whose
    // file or page changed are touched.
    const QList<ScreenFileRow*> built = m_list->builtRows();
    for (ScreenFileRow* row : built) {
        const ScreenFileRow::Content now = content(reports[m_list->indexOf(row->fileName())]);
        if (row->content() == now)
            continue;
        row->setContent(now);
    }
    m_section->rows()->setRowVisible(m_empty, reports.isEmpty());
    m_section->rows()->setRowVisible(m_list, !reports.isEmpty());
}

ScreenFileRow* CustomScreenFilesSection::makeRow(const QString& fileName)
{
    // Made in the list: moving a row in once its widgets are styled would style them again.
    auto* row = new ScreenFileRow(fileName, m_deviceManager.customScreens().trust(), m_list);
    connect(row->showOnDeviceAction(), &QAction::triggered, this,
            [this, fileName] { m_deviceManager.showScreen(DeviceScreen::custom(screenID(fileName))); });
    connect(row->editAction(), &QAction::triggered, this, [this, row, fileName] {
        m_fileManager->open(filePath(fileName), reportTo(row, &ScreenFileRow::setCommandFailure));
    });
    connect(row->duplicateAction(), &QAction::triggered, this, [this, fileName] { duplicate(fileName); });
    connect(row->revealAction(), &QAction::triggered, this, [this, row, fileName] {
        m_fileManager->reveal(filePath(fileName), reportTo(row, &ScreenFileRow::setCommandFailure));
    });
    // The list follows the store's reports, so the file has one at the same place.
    const QList<CustomScreenStore::FileReport>& reports = m_deviceManager.customScreens().reports();
    const int index = m_list->indexOf(fileName);
    row->setContent(content(index >= 0 && index < reports.size() && reports[index].fileName == fileName
                                ? reports[index]
                                : CustomScreenStore::FileReport{fileName, false, false, {}, {}}));
    return row;
}

ScreenFileRow::Content CustomScreenFilesSection::content(const CustomScreenStore::FileReport& report) const
{
    // Only the file that gives the page shows what it does: another one of the same name, in
    // this or another letter case, would offer to allow a page that is not its own.
    std::optional<CustomScreen> screen;
    if (report.isLoaded || report.isShowingLastGoodVersion)
        screen = m_deviceManager.customScreens().screenWithID(screenID(report.fileName));
    return {report, screen, sourceFailures(report.fileName)};
}

void CustomScreenFilesSection::setFailure(const std::optional<QString>& failure)
{
    m_failure = failure;
    m_failureBeforeLoad = m_deviceManager.customScreens().isLoading();
    m_failureLabel->setText(failure.value_or(QString()));
    m_section->rows()->setRowVisible(m_failureLabel, failure.has_value());
    if (failure)
        FocusKeeper::showWithFocus(m_failureLabel, m_failureLabel->text());
}

void CustomScreenFilesSection::folderChanged()
{
    // A failure tells of a command given before the folder last changed: once a file was
    // edited, added, removed or allowed since, it is no longer news. The load a command set
    // off itself is not such a change.
    if (m_failure && !m_failureBeforeLoad)
        setFailure(std::nullopt);
}

QString CustomScreenFilesSection::filePath(const QString& fileName) const
{
    return QDir(m_deviceManager.customScreens().folder()).filePath(fileName);
}
