// The worked examples of the screen-file reference, as a reader would try them: each one
// written to a file and checked with `tarv screen check` against a running hub, so that the
// examples keep up with the format.

#include "HubFixture.h"

#include "control/SocketNotifyServer.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

namespace {

// The JSON blocks of the reference whose fence reads "json example", in order.
QStringList workedExamples(const QString& markdown)
{
    static const QRegularExpression block(QStringLiteral("^```json example\\n(.*?)^```$"),
                                          QRegularExpression::MultilineOption |
                                              QRegularExpression::DotMatchesEverythingOption);
    QStringList examples;
    for (auto it = block.globalMatch(markdown); it.hasNext();)
        examples.append(it.next().captured(1));
    return examples;
}

// The files the reference shows being refused, each with the lines `tarv screen check` prints
// for it (without the file name before each): the "json refused" blocks and the "text" block
// after each.
QList<std::pair<QString, QStringList>> refusedExamples(const QString& markdown)
{
    static const QRegularExpression block(QStringLiteral("^```json refused\\n(.*?)^```\\n\\n```text\\n(.*?)^```$"),
                                          QRegularExpression::MultilineOption |
                                              QRegularExpression::DotMatchesEverythingOption);
    QList<std::pair<QString, QStringList>> examples;
    for (auto it = block.globalMatch(markdown); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        examples.append({match.captured(1), match.captured(2).split(u'\n', Qt::SkipEmptyParts)});
    }
    return examples;
}

}  // namespace

TEST_F(HubTest, EachWorkedExampleOfTheScreenFileReferencePassesScreenCheck)
{
    QFile reference(QStringLiteral(TARV_SCREEN_FILES_DOC));
    ASSERT_TRUE(reference.open(QIODevice::ReadOnly)) << TARV_SCREEN_FILES_DOC;
    const QStringList examples = workedExamples(QString::fromUtf8(reference.readAll()));

    // One example for each kind of source.
    QSet<int> kinds;
    for (const QString& example : examples) {
        QList<ScreenIssue> issues;
        const auto screen = CustomScreen::parse(example.toUtf8(), QStringLiteral("example"),
                                                QStringLiteral("example.json"), issues);
        ASSERT_TRUE(screen) << example.toStdString();
        for (const CustomScreen::DataSource& source : screen->sources)
            kinds.insert(int(source.kind.index()));
    }
    EXPECT_EQ(kinds, (QSet<int>{0, 1, 2})) << "shell, url and push";

    makeHub(SocketNotifyServer::factory());
    hub->startNotifyServer();
    ASSERT_TRUE(waitUntil([&] { return hub->hasNotifyServer(); }));
    for (qsizetype i = 0; i < examples.size(); ++i) {
        const QString path = dir.filePath(QStringLiteral("example-%1.json").arg(i + 1));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(examples[i].toUtf8());
        file.close();

        QProcess tool;
        tool.start(QStringLiteral(TARV_TOOL), {QStringLiteral("screen"), QStringLiteral("check"), path});
        // The hub answers from this thread's event loop.
        ASSERT_TRUE(waitUntil([&] { return tool.state() == QProcess::NotRunning; }, 20000));
        const QString out = QString::fromUtf8(tool.readAllStandardOutput());
        EXPECT_EQ(tool.exitCode(), 0) << out.toStdString() << tool.readAllStandardError().toStdString();
        // Clean: no warning either, and the summary line.
        EXPECT_FALSE(out.contains(QStringLiteral(": warning: "))) << out.toStdString();
        EXPECT_TRUE(out.startsWith(QStringLiteral("example-%1.json: ok: ").arg(i + 1))) << out.toStdString();
    }
}

TEST_F(HubTest, EachFileTheScreenFileReferenceShowsRefusedIsRefusedWithItsLines)
{
    QFile reference(QStringLiteral(TARV_SCREEN_FILES_DOC));
    ASSERT_TRUE(reference.open(QIODevice::ReadOnly)) << TARV_SCREEN_FILES_DOC;
    const auto examples = refusedExamples(QString::fromUtf8(reference.readAll()));
    ASSERT_FALSE(examples.isEmpty());

    makeHub(SocketNotifyServer::factory());
    hub->startNotifyServer();
    ASSERT_TRUE(waitUntil([&] { return hub->hasNotifyServer(); }));
    for (qsizetype i = 0; i < examples.size(); ++i) {
        const QString name = QStringLiteral("refused-%1.json").arg(i + 1);
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(examples[i].first.toUtf8());
        file.close();

        QProcess tool;
        tool.start(QStringLiteral(TARV_TOOL), {QStringLiteral("screen"), QStringLiteral("check"), file.fileName()});
        ASSERT_TRUE(waitUntil([&] { return tool.state() == QProcess::NotRunning; }, 20000));
        const QStringList out = QString::fromUtf8(tool.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        EXPECT_NE(tool.exitCode(), 0) << examples[i].first.toStdString();
        QStringList expected;
        for (const QString& line : examples[i].second)
            expected.append(name + QStringLiteral(": ") + line);
        EXPECT_EQ(out, expected);
    }
}
