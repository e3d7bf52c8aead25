#pragma once
// The user's custom screens: every ".json" file in the Screens folder is one device page.
// The store creates the folder with a sample on first use, reads and checks every file,
// keeps showing the last good version of a file that broke, gives each page name to one file
// (one that is allowed to run before one that waits, so a file that comes later never takes an
// approved page), reports per file what happened, notices edited sprite sheets, and reloads
// shortly after every change in the folder. Lives on the GUI thread; the folder is read and
// new files are written on workers, and what came of it is applied back on the GUI thread, so a
// slow or crowded folder never stalls the window or the device link.

#include "screens/format/CustomScreen.h"
#include "screens/format/ScreenIssue.h"
#include "screens/runtime/ScreenTrust.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <variant>

class FolderWatcher;
class OneThreadWorker;
class QTimer;
struct ScreenTemplate;

class CustomScreenStore : public QObject {
    Q_OBJECT

public:
    struct FileReport {
        QString fileName;
        bool isLoaded = false;
        bool isShowingLastGoodVersion = false;
        QString summary;
        QList<ScreenIssue> issues;
        friend bool operator==(const FileReport&, const FileReport&) = default;
    };

    // A failed write of a new screen file, with the file system's reason.
    struct WriteError {
        QString message;
        friend bool operator==(const WriteError&, const WriteError&) = default;
    };
    // The new page's id, or why no file was written.
    using WriteResult = std::variant<QString, WriteError>;
    using WriteDone = std::function<void(const WriteResult&)>;

    // Larger files, and anything that is not a regular file, are reported as unreadable.
    static constexpr qint64 maxFileBytes = 1024 * 1024;
    static constexpr int reloadDelayMs = 150;

    // "“System” · 20 widgets · 6 sources".
    static QString screenSummary(const CustomScreen& screen);
    // Case-insensitive, runs of digits by their value: "screen 9" before "screen 10".
    static bool fileOrderLess(const QString& a, const QString& b);

    // Reads nothing until start().
    CustomScreenStore(QString folder, std::unique_ptr<ScreenTrust> trust, QObject* parent = nullptr);
    ~CustomScreenStore() override;

    // Creates the folder with its sample when it is missing, then watches it and loads it: the
    // watch holds also when the folder could not be made, and after it is deleted or replaced.
    // Virtual, like the reads below, so tests may hold screens in memory.
    virtual void start();
    // The first loaded screen with exactly this id.
    virtual std::optional<CustomScreen> screenWithID(const QString& id) const;
    // The name, spelled as on disk, of the file that gives the loaded page `id`; the id followed
    // by ".json" when no loaded file gives it.
    QString fileNameOf(const QString& id) const;
    // Every loaded screen, approved or not, in file order.
    virtual QList<CustomScreen> screens() const;
    // The loaded screens, in file order, that need no approval or hold it.
    QList<CustomScreen> approvedScreens() const;
    // Their ids only: the page lists ask on every change, and a folder may hold thousands.
    QStringList approvedScreenIDs() const;
    ScreenTrust& trust() const { return *m_trust; }
    const QString& folder() const { return m_folder; }

    const QList<FileReport>& reports() const { return m_reports; }
    void setReports(const QList<FileReport>& reports);
    const QHash<QString, QDateTime>& sheetDates() const { return m_sheetDates; }
    bool isWatching() const;
    bool isReloadPending() const;
    // True from a reload request until its results are applied, a scan queued behind the
    // running one included, and while a new file is being written.
    bool isLoading() const { return m_scanning || m_writes > 0; }
    // Only the reading of the folder: `loaded` follows once it is done. A write that fails
    // starts no reading, so nothing that waits for `loaded` waits on a write.
    bool isScanning() const { return m_scanning; }

    // Reads the whole folder again on a worker; its results are applied here when the scan
    // ends. Asked while a scan runs, one more scan follows it, so the latest state is applied.
    void reload();
    // Reloads once the folder has been quiet for reloadDelayMs.
    void scheduleReload();

    // Writes a new screen file under a free name made from the base name (never over an
    // existing file), on a worker: the writes run one at a time, in the order asked. `done`
    // gets the new page id, or the failure, later on this thread (not when the store has gone
    // meanwhile); a reload has then started, and the page is there once the store is loaded.
    void createScreenFile(const QString& baseName, const QByteArray& bytes, WriteDone done);
    void addTemplate(const ScreenTemplate& screenTemplate, WriteDone done);
    // A copy of one of the folder's files under the next free name after its own; a file that
    // cannot be read fails with "Could not read " and its name.
    void duplicateScreenFile(const QString& fileName, WriteDone done);

    std::function<void()> onChange;
    std::function<void(const QString&)> onLog;
    std::function<void(const QSet<QString>&)> onSheetChange;

signals:
    void screensChanged();
    void reportsChanged();
    // The last reload asked for is applied and no scan runs.
    void loaded();

private:
    struct Scan;
    struct ReadFile;
    // What the last scan read, by file name: a file whose stamp is unchanged is not read again.
    using ReadFiles = QHash<QString, ReadFile>;
    // Touches nothing of the store: runs on a worker.
    static Scan scanFolder(const QString& folder, const QStringList& shownSheets,
                           const std::shared_ptr<const ReadFiles>& known);
    // Touches nothing of the store: runs on the writer. `bytes` gives the new file's bytes, or
    // the failure of reading them.
    static WriteResult writeScreenFile(const QString& folder, const QString& baseName,
                                       const std::function<std::variant<QByteArray, WriteError>()>& bytes);
    void startWrite(const QString& baseName, std::function<std::variant<QByteArray, WriteError>()> bytes,
                    WriteDone done);
    // Touches nothing of the store: runs on the worker after the scan. What the files' pages,
    // reports and sheets become, given the screens and sheet dates the store held.
    static void decide(Scan& scan, const QList<CustomScreen>& shownScreens, const QStringList& shownFiles,
                       const QHash<QString, QDateTime>& heldSheetDates);
    // The sheets whose date moved; `held` becomes the dates of the loaded screens' sheets.
    static QSet<QString> updateSheetDates(const QList<CustomScreen>& loaded, const QHash<QString, QDateTime>& scanned,
                                          QHash<QString, QDateTime>& held);
    // What the store let go of for a scan's results, and the scan itself.
    struct Leftovers {
        std::shared_ptr<Scan> scan;
        std::shared_ptr<const ReadFiles> readFiles;
        QList<FileReport> reports;
        QList<CustomScreen> screens;
        QStringList screenFiles;
        QHash<QString, qsizetype> screenIndex;
    };
    // The rest of start() once the folder is made: the watch, then the first reading.
    void watchAndScan(const std::optional<QString>& prepareFailure);
    void startScan();
    void finishScan(std::shared_ptr<Scan> scan);
    Leftovers apply(const Scan& scan);
    void logLine(const QString& text);

    QString m_folder;
    std::unique_ptr<ScreenTrust> m_trust;
    QList<CustomScreen> m_screens;
    // The name of the file each of m_screens comes from.
    QStringList m_screenFiles;
    // The last scan found a page name given by two files or more that could show it: which of
    // them keeps it depends on the approvals, so a change of those decides again.
    bool m_contested = false;
    // The place in m_screens of the first screen with each id.
    QHash<QString, qsizetype> m_screenIndex;
    QList<FileReport> m_reports;
    // Moves with every change of m_reports, so a scan knows whether it compared with them.
    quint64 m_reportsVersion = 0;
    QHash<QString, QDateTime> m_sheetDates;
    std::shared_ptr<const ReadFiles> m_readFiles;
    std::unique_ptr<FolderWatcher> m_watcher;
    QTimer* m_reloadTimer = nullptr;
    bool m_scanning = false;
    bool m_rescan = false;
    // New files wait for their turn here, one thread, so two of them never take one name.
    std::unique_ptr<OneThreadWorker> m_writer;
    int m_writes = 0;
};
