#include "screens/runtime/CustomScreenStore.h"

#include "platform/BoundedFile.h"
#include "platform/FolderWatcher.h"
#include "platform/MakeFolder.h"
#include "platform/OneThreadWorker.h"
#include "screens/format/ScreenTemplate.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSaveFile>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <utility>

#include <sys/stat.h>

namespace {

const QString sampleID = QStringLiteral("system");

QString plural(qsizetype count, const QString& word)
{
    return QString::number(count) + u' ' + word + (count == 1 ? QString() : QStringLiteral("s"));
}

QString sampleText()
{
    for (const ScreenTemplate& screenTemplate : ScreenTemplate::all())
        if (screenTemplate.id == sampleID)
            return screenTemplate.json;
    return {};
}

// The screen files of the folder: ".json" in any letter case, hidden files left out.
QStringList screenFileNames(const QString& folder)
{
    QStringList names;
    const QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                                       QDir::NoDotAndDotDot);
    for (const QString& name : entries)
        if (!name.startsWith(u'.') && QFileInfo(name).suffix().toLower() == QStringLiteral("json"))
            names.append(name);
    std::sort(names.begin(), names.end(), &CustomScreenStore::fileOrderLess);
    return names;
}

QString withoutExtension(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? name : name.left(dot);
}

QDateTime modificationDate(const QString& path)
{
    // An invalid date stands for a sheet that cannot be inspected.
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    return info.fileTime(QFileDevice::FileModificationTime);
}

// What tells one version of a file from another without reading it. Any change of content
// moves the change time; a file put in place by renaming has another inode.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    friend bool operator==(const FileStamp& a, const FileStamp& b)
    {
        return a.device == b.device && a.inode == b.inode && a.size == b.size &&
               a.modified.tv_sec == b.modified.tv_sec && a.modified.tv_nsec == b.modified.tv_nsec &&
               a.changed.tv_sec == b.changed.tv_sec && a.changed.tv_nsec == b.changed.tv_nsec;
    }
};

std::optional<FileStamp> fileStamp(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return FileStamp{info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

// Compares two runs of digits by value without converting them: any length works.
int compareDigits(QStringView a, QStringView b)
{
    while (a.size() > 1 && a.front() == u'0')
        a = a.mid(1);
    while (b.size() > 1 && b.front() == u'0')
        b = b.mid(1);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

// Makes a missing folder with its sample; gives the line to log when that fails.
std::optional<QString> prepareFolder(const QString& folder)
{
    if (QFileInfo::exists(folder))
        return std::nullopt;
    if (const std::optional<QString> reason = makeFolder(folder))
        return QStringLiteral("Screens: could not create ") + folder + QStringLiteral(": ") + *reason;
    QSaveFile file(QDir(folder).filePath(sampleID + QStringLiteral(".json")));
    if (!file.open(QIODevice::WriteOnly) || file.write(sampleText().toUtf8()) < 0 || !file.commit())
        return QStringLiteral("Screens: could not create ") + folder + QStringLiteral(": ") + file.errorString();
    return std::nullopt;
}

}  // namespace

// Everything a reload needs from the disk, read on a worker. It holds no part of the store:
// which version of a file is shown and what is reported depends on the store and is decided
// when the scan is applied.
struct CustomScreenStore::Scan {
    struct File {
        QString name;
        // False when the file could not be read.
        bool isRead = false;
        // Only a version without errors.
        std::optional<CustomScreen> screen;
        QList<ScreenIssue> issues;
    };
    QList<File> files;
    // The files read, or found unchanged, for the next scan to reuse.
    std::shared_ptr<const ReadFiles> readFiles;
    // The sheets of the screens read and of the screens shown when the scan began, so a sheet
    // used only by the last good version of a broken file is still looked at.
    QHash<QString, QDateTime> sheetDates;

    // The approvals when the scan began: which of two files for one page keeps it depends on
    // them.
    QHash<QString, QString> approvals;

    // Decided on the worker too, from the screens shown and the sheets' dates held when the
    // scan began: only the apply of a scan changes those, and scans run one at a time.
    QList<CustomScreen> loaded;
    QStringList loadedFiles;
    bool contested = false;
    QHash<QString, qsizetype> screenIndex;
    bool screensChanged = false;
    QList<FileReport> reports;
    // Against the reports of the store's version `reportsVersion`, the one the scan began from.
    bool reportsChanged = false;
    quint64 reportsVersion = 0;
    QSet<QString> fileIDs;
    qsizetype failed = 0;
    QHash<QString, QDateTime> heldSheetDates;
    QSet<QString> affected;
    QStringList changedSheets;
};

struct CustomScreenStore::ReadFile {
    FileStamp stamp;
    Scan::File file;
};

CustomScreenStore::Scan CustomScreenStore::scanFolder(const QString& folder, const QStringList& shownSheets,
                                                      const std::shared_ptr<const ReadFiles>& known)
{
    Scan scan;
    const QDir dir(folder);
    auto readFiles = std::make_shared<ReadFiles>();
    // Every file is read, also one whose page name an earlier file gives: which of them keeps
    // the page depends on what each does and on which is approved.
    for (const QString& name : screenFileNames(folder)) {
        Scan::File file;
        file.name = name;
        const QString id = withoutExtension(name);
        const QString path = dir.filePath(name);
        const std::optional<FileStamp> stamp = fileStamp(path);
        const auto earlier = known ? known->constFind(name) : ReadFiles::const_iterator();
        if (known && stamp && earlier != known->cend() && earlier->stamp == *stamp) {
            file = earlier->file;
        } else if (const std::optional<QByteArray> data = readRegularFile(path, maxFileBytes)) {
            file.isRead = true;
            std::optional<CustomScreen> parsed = CustomScreen::parse(*data, id, name, file.issues);
            if (parsed && !hasErrors(file.issues)) {
                parsed->keepFingerprint();
                file.screen = std::move(parsed);
            }
        }
        // Read after its stamp was taken: a change meanwhile moves the stamp again, and the
        // scan it sets off reads the file anew.
        if (stamp && file.isRead)
            readFiles->insert(name, ReadFile{*stamp, file});
        scan.files.append(std::move(file));
    }
    scan.readFiles = std::move(readFiles);
    QStringList sheets = shownSheets;
    for (const Scan::File& file : std::as_const(scan.files))
        if (file.screen)
            for (const CustomScreen::SpriteWidget& sprite : file.screen->spriteWidgets())
                sheets.append(sprite.sheet);
    for (const QString& sheet : std::as_const(sheets))
        if (!scan.sheetDates.contains(sheet))
            scan.sheetDates.insert(sheet, modificationDate(dir.filePath(sheet)));
    return scan;
}

QString CustomScreenStore::screenSummary(const CustomScreen& screen)
{
    const QString dot = QStringLiteral(" \u00B7 ");
    QString summary = QStringLiteral("\u201C") + screen.title + QStringLiteral("\u201D") + dot +
                      plural(screen.widgets.size(), QStringLiteral("widget"));
    if (!screen.sources.isEmpty())
        summary += dot + plural(screen.sources.size(), QStringLiteral("source"));
    return summary;
}

bool CustomScreenStore::fileOrderLess(const QString& a, const QString& b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        const bool aDigit = a[i].isDigit();
        const bool bDigit = b[j].isDigit();
        qsizetype iEnd = i;
        qsizetype jEnd = j;
        while (iEnd < a.size() && a[iEnd].isDigit() == aDigit)
            ++iEnd;
        while (jEnd < b.size() && b[jEnd].isDigit() == bDigit)
            ++jEnd;
        const QStringView runA = QStringView(a).mid(i, iEnd - i);
        const QStringView runB = QStringView(b).mid(j, jEnd - j);
        int order = 0;
        if (aDigit && bDigit)
            order = compareDigits(runA, runB);
        else
            order = runA.compare(runB, Qt::CaseInsensitive);
        if (order != 0)
            return order < 0;
        i = iEnd;
        j = jEnd;
    }
    if ((i < a.size()) != (j < b.size()))
        return j < b.size();
    // Names equal but for letter case or leading zeros still get one fixed order.
    return a < b;
}

CustomScreenStore::CustomScreenStore(QString folder, std::unique_ptr<ScreenTrust> trust, QObject* parent)
    : QObject(parent), m_folder(std::move(folder)), m_trust(std::move(trust)), m_writer(std::make_unique<OneThreadWorker>())
{
    m_reloadTimer = new QTimer(this);
    m_reloadTimer->setSingleShot(true);
    m_reloadTimer->setInterval(reloadDelayMs);
    m_reloadTimer->setTimerType(Qt::PreciseTimer);
    // The timer is a child of the store and ends with it: a pending reload never outlives it.
    connect(m_reloadTimer, &QTimer::timeout, this, &CustomScreenStore::reload);
    // Of two files for one page, an approval or a revocation may change which keeps it.
    connect(m_trust.get(), &ScreenTrust::approvedChanged, this, [this] {
        if (m_contested)
            reload();
    });
}

CustomScreenStore::~CustomScreenStore() = default;

void CustomScreenStore::start()
{
    // The folder and its sample are made before the watch begins, so the watch never tells of
    // the store's own first writes and the folder is read once, not again at a moment set by
    // timers. The first reading begins after the watch, so nothing saved meanwhile is missed.
    m_scanning = true;
    const QPointer<CustomScreenStore> weak(this);
    QThreadPool::globalInstance()->start([weak, folder = m_folder] {
        std::optional<QString> failure = prepareFolder(folder);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weak, failure = std::move(failure)] {
                if (weak)
                    weak->watchAndScan(failure);
            },
            Qt::QueuedConnection);
    });
}

void CustomScreenStore::watchAndScan(const std::optional<QString>& prepareFailure)
{
    if (prepareFailure)
        logLine(*prepareFailure);
    const QPointer<CustomScreenStore> weak(this);
    m_watcher = std::make_unique<FolderWatcher>(m_folder, [weak] {
        if (weak)
            weak->scheduleReload();
    });
    m_watcher->start();
    startScan();
}

bool CustomScreenStore::isWatching() const
{
    return m_watcher && m_watcher->isWatching();
}

bool CustomScreenStore::isReloadPending() const
{
    return m_reloadTimer->isActive();
}

QString CustomScreenStore::fileNameOf(const QString& id) const
{
    const auto found = m_screenIndex.constFind(id);
    if (found == m_screenIndex.cend() || *found >= m_screenFiles.size())
        return id + QStringLiteral(".json");
    return m_screenFiles[*found];
}

std::optional<CustomScreen> CustomScreenStore::screenWithID(const QString& id) const
{
    const auto found = m_screenIndex.constFind(id);
    if (found == m_screenIndex.cend())
        return std::nullopt;
    return m_screens[*found];
}

QList<CustomScreen> CustomScreenStore::screens() const
{
    return m_screens;
}

QList<CustomScreen> CustomScreenStore::approvedScreens() const
{
    QList<CustomScreen> approved;
    for (const CustomScreen& screen : screens())
        if (m_trust->isScreenApproved(screen))
            approved.append(screen);
    return approved;
}

QStringList CustomScreenStore::approvedScreenIDs() const
{
    const QList<CustomScreen> all = screens();
    QStringList ids;
    ids.reserve(all.size());
    for (const CustomScreen& screen : all)
        if (m_trust->isScreenApproved(screen))
            ids.append(screen.id);
    return ids;
}

void CustomScreenStore::setReports(const QList<FileReport>& reports)
{
    if (reports == m_reports)
        return;
    m_reports = reports;
    ++m_reportsVersion;
    emit reportsChanged();
}

void CustomScreenStore::logLine(const QString& text)
{
    if (onLog)
        onLog(text);
}

void CustomScreenStore::reload()
{
    m_reloadTimer->stop();
    if (m_scanning) {
        m_rescan = true;
        return;
    }
    startScan();
}

void CustomScreenStore::startScan()
{
    m_scanning = true;
    m_rescan = false;
    // The worker holds only copies, which share their data with the store's; its result comes
    // back through the application object and is dropped when the store has gone meanwhile.
    const QPointer<CustomScreenStore> weak(this);
    QThreadPool::globalInstance()->start([weak, folder = m_folder, known = m_readFiles, shown = m_screens,
                                          shownFiles = m_screenFiles, held = m_sheetDates, heldReports = m_reports,
                                          reportsVersion = m_reportsVersion, approvals = m_trust->approved()] {
        QStringList shownSheets;
        for (const CustomScreen& screen : shown)
            for (const CustomScreen::SpriteWidget& sprite : screen.spriteWidgets())
                shownSheets.append(sprite.sheet);
        auto scan = std::make_shared<Scan>(scanFolder(folder, shownSheets, known));
        scan->approvals = approvals;
        decide(*scan, shown, shownFiles, held);
        scan->reportsChanged = scan->reports != heldReports;
        scan->reportsVersion = reportsVersion;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weak, scan = std::move(scan)]() mutable {
                if (weak)
                    weak->finishScan(std::move(scan));
            },
            Qt::QueuedConnection);
    });
}

void CustomScreenStore::finishScan(std::shared_ptr<Scan> scan)
{
    // A reload asked for by a callback of this one waits for it to end.
    Leftovers leftovers = apply(*scan);
    leftovers.scan = std::move(scan);
    // Letting go of thousands of screens and reports is work that grows with the folder too:
    // it is done on a worker. Their data is shared, and its counts are atomic.
    QThreadPool::globalInstance()->start([leftovers = std::move(leftovers)] {});
    m_scanning = false;
    if (m_rescan) {
        startScan();
        return;
    }
    emit loaded();
}

void CustomScreenStore::decide(Scan& scan, const QList<CustomScreen>& shownScreens, const QStringList& shownFiles,
                               const QHash<QString, QDateTime>& heldSheetDates)
{
    QHash<QString, CustomScreen> previous;
    for (const CustomScreen& screen : shownScreens)
        if (!previous.contains(screen.id))
            previous.insert(screen.id, screen);

    // What each file would show: the version read now, else the last good version of its page.
    QList<std::optional<CustomScreen>> candidates;
    candidates.reserve(scan.files.size());
    // Which file keeps each page name, in any letter case: the first in file order that the user
    // approved, else the first that asks for no approval, else the first that has anything to
    // show. So a file that comes later never takes the page of an approved one, whatever its name
    // sorts as, not even one that runs nothing and only looks like it.
    enum class Standing { waits, asksNothing, approved };
    struct Keeper {
        qsizetype file = 0;
        Standing standing = Standing::waits;
    };
    QHash<QString, Keeper> keepers;
    for (qsizetype i = 0; i < scan.files.size(); ++i) {
        const Scan::File& file = scan.files[i];
        const QString id = withoutExtension(file.name);
        std::optional<CustomScreen> shown = file.isRead ? file.screen : std::nullopt;
        if (!shown)
            if (const auto last = previous.constFind(id); last != previous.cend())
                shown = *last;
        if (shown) {
            const Standing standing = !shown->fingerprint()                               ? Standing::asksNothing
                                      : ScreenTrust::isApprovedIn(scan.approvals, *shown) ? Standing::approved
                                                                                          : Standing::waits;
            const auto found = keepers.find(id.toCaseFolded());
            if (found == keepers.end()) {
                keepers.insert(id.toCaseFolded(), Keeper{i, standing});
            } else {
                scan.contested = true;
                if (standing > found->standing)
                    *found = Keeper{i, standing};
            }
        }
        candidates.append(std::move(shown));
    }

    for (qsizetype i = 0; i < scan.files.size(); ++i) {
        const Scan::File& file = scan.files[i];
        const QString& name = file.name;
        const QString id = withoutExtension(name);
        scan.fileIDs.insert(id);
        QList<ScreenIssue> issues;
        std::optional<CustomScreen> fresh;
        std::optional<CustomScreen> shown;
        const auto keeper = keepers.constFind(id.toCaseFolded());
        if (keeper != keepers.cend() && keeper->file != i) {
            issues.append(ScreenIssue{name, QString(),
                                      QStringLiteral("another file already provides a page named \u201C") + id +
                                          QStringLiteral("\u201D")});
        } else {
            if (!file.isRead)
                issues.append(ScreenIssue{name, QString(), QStringLiteral("could not be read")});
            else
                issues = file.issues;
            fresh = file.isRead ? file.screen : std::nullopt;
            shown = candidates[i];
        }
        if (shown) {
            if (!scan.screenIndex.contains(shown->id))
                scan.screenIndex.insert(shown->id, scan.loaded.size());
            scan.loaded.append(*shown);
            scan.loadedFiles.append(name);
        }
        if (!fresh)
            ++scan.failed;
        scan.reports.append(FileReport{name, fresh.has_value(), !fresh && shown.has_value(),
                                       shown ? screenSummary(*shown) : QStringLiteral("Not loaded"), issues});
    }
    // A file renamed in letter case only gives the same page under another name.
    scan.screensChanged = scan.loaded != shownScreens || scan.loadedFiles != shownFiles;

    scan.heldSheetDates = heldSheetDates;
    const QSet<QString> changedSheets = updateSheetDates(scan.loaded, scan.sheetDates, scan.heldSheetDates);
    if (scan.screensChanged)
        return;
    for (const CustomScreen& screen : std::as_const(scan.loaded))
        for (const CustomScreen::SpriteWidget& sprite : screen.spriteWidgets())
            if (changedSheets.contains(sprite.sheet))
                scan.affected.insert(screen.id);
    scan.changedSheets = QStringList(changedSheets.cbegin(), changedSheets.cend());
    scan.changedSheets.sort();
}

CustomScreenStore::Leftovers CustomScreenStore::apply(const Scan& scan)
{
    // Everything that grows with the folder was decided on the worker; here it is only put
    // in place, so a reload of thousands of files holds the window up no longer than one.
    // What the store held before is handed back, to be let go of off this thread.
    Leftovers leftovers;
    leftovers.readFiles = std::exchange(m_readFiles, scan.readFiles);
    if (scan.reportsVersion != m_reportsVersion) {
        // The reports were set since the scan began: what it compared with is not what is shown.
        setReports(scan.reports);
    } else if (scan.reportsChanged) {
        leftovers.reports = std::exchange(m_reports, scan.reports);
        ++m_reportsVersion;
        emit reportsChanged();
    }
    m_sheetDates = scan.heldSheetDates;
    // Set first: the approvals changed below decide again when a page has two files.
    m_contested = scan.contested;
    // Approved or revoked while the scan ran: which file keeps a page is decided anew.
    if (scan.contested && scan.approvals != m_trust->approved())
        m_rescan = true;
    m_trust->approveAllOnFirstRun(scan.loaded);
    // Approvals follow the files, not whether they load: a file that fails to parse keeps
    // its approval for when it is mended. An empty or unlistable folder clears nothing.
    if (!scan.files.isEmpty())
        m_trust->forgetMissingScreens(scan.fileIDs);

    const qsizetype failed = scan.failed;
    if (scan.screensChanged) {
        leftovers.screens = std::exchange(m_screens, scan.loaded);
        leftovers.screenFiles = std::exchange(m_screenFiles, scan.loadedFiles);
        leftovers.screenIndex = std::exchange(m_screenIndex, scan.screenIndex);
        emit screensChanged();
        QString line = QStringLiteral("Screens: ") + QString::number(m_screens.size()) +
                       QStringLiteral(" loaded from ") + plural(scan.files.size(), QStringLiteral("file"));
        if (failed != 0)
            line += QStringLiteral(", ") + QString::number(failed) + QStringLiteral(" with errors");
        logLine(line);
        if (onChange)
            onChange();
        return leftovers;
    }
    if (failed != 0)
        logLine(QStringLiteral("Screens: ") + QString::number(failed) +
                (failed == 1 ? QStringLiteral(" file has") : QStringLiteral(" files have")) +
                QStringLiteral(" errors; see Custom Screens below"));
    if (scan.affected.isEmpty())
        return leftovers;
    logLine(QStringLiteral("Screens: ") + scan.changedSheets.join(QStringLiteral(", ")) + QStringLiteral(" changed"));
    if (onSheetChange)
        onSheetChange(scan.affected);
    return leftovers;
}

QSet<QString> CustomScreenStore::updateSheetDates(const QList<CustomScreen>& loaded,
                                                  const QHash<QString, QDateTime>& scanned,
                                                  QHash<QString, QDateTime>& held)
{
    QHash<QString, QDateTime> dates;
    for (const CustomScreen& screen : loaded)
        for (const CustomScreen::SpriteWidget& sprite : screen.spriteWidgets())
            if (!dates.contains(sprite.sheet))
                dates.insert(sprite.sheet, scanned.value(sprite.sheet));
    QSet<QString> changed;
    for (auto it = dates.cbegin(); it != dates.cend(); ++it)
        if (const auto found = held.constFind(it.key()); found != held.cend() && *found != it.value())
            changed.insert(it.key());
    held = dates;
    return changed;
}

void CustomScreenStore::scheduleReload()
{
    m_reloadTimer->start();
}

CustomScreenStore::WriteResult CustomScreenStore::writeScreenFile(
    const QString& folder, const QString& baseName, const std::function<std::variant<QByteArray, WriteError>()>& bytes)
{
    const std::variant<QByteArray, WriteError> content = bytes();
    if (const auto* error = std::get_if<WriteError>(&content))
        return *error;
    if (const std::optional<QString> reason = makeFolder(folder))
        return WriteError{QStringLiteral("Could not create the folder ") + folder + QStringLiteral(": ") + *reason};
    const QByteArray& data = std::get<QByteArray>(content);
    QStringList existing;
    for (const QString& name :
         QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        if (name.toLower().endsWith(QStringLiteral(".json")))
            existing.append(name);
    const QString id = ScreenTemplate::uniqueFileName(baseName, existing);
    QFile file(QDir(folder).filePath(id + QStringLiteral(".json")));
    // NewOnly refuses an existing file, also one that appeared since the listing.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return WriteError{file.errorString()};
    if (file.write(data) != data.size() || !file.flush()) {
        const QString message = file.errorString();
        file.close();
        file.remove();
        return WriteError{message};
    }
    file.close();
    return id;
}

void CustomScreenStore::startWrite(const QString& baseName, std::function<std::variant<QByteArray, WriteError>()> bytes,
                                   WriteDone done)
{
    ++m_writes;
    m_writer->run(
        this, [folder = m_folder, baseName, bytes = std::move(bytes)] { return writeScreenFile(folder, baseName, bytes); },
        [this, done = std::move(done)](const WriteResult& result) {
            --m_writes;
            // The reload starts before the caller hears of the file, so the store is
            // loading from then until the new page is in.
            if (std::holds_alternative<QString>(result))
                reload();
            if (done)
                done(result);
        });
}

void CustomScreenStore::createScreenFile(const QString& baseName, const QByteArray& bytes, WriteDone done)
{
    startWrite(baseName, [bytes]() -> std::variant<QByteArray, WriteError> { return bytes; }, std::move(done));
}

void CustomScreenStore::addTemplate(const ScreenTemplate& screenTemplate, WriteDone done)
{
    createScreenFile(screenTemplate.id, screenTemplate.json.toUtf8(), std::move(done));
}

void CustomScreenStore::duplicateScreenFile(const QString& fileName, WriteDone done)
{
    const QString path = QDir(m_folder).filePath(fileName);
    startWrite(withoutExtension(fileName),
               [path, fileName]() -> std::variant<QByteArray, WriteError> {
                   if (std::optional<QByteArray> data = readRegularFile(path, maxFileBytes))
                       return *std::move(data);
                   return WriteError{QStringLiteral("Could not read ") + fileName};
               },
               std::move(done));
}
