// Each shell completes a command line of tarv as the tool reads it: the commands at their
// place, the options each command takes and no others, no completion where an option's value
// or free text is typed, file names where a path goes, and the pages the running Tarv lists.

#include "ToolDocs.h"
#include "cli/ToolCommands.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

enum class Shell { bash, zsh, fish };

QString nameOf(Shell shell)
{
    switch (shell) {
    case Shell::bash:
        return QStringLiteral("bash");
    case Shell::zsh:
        return QStringLiteral("zsh");
    case Shell::fish:
        return QStringLiteral("fish");
    }
    return {};
}

void PrintTo(Shell shell, std::ostream* os)
{
    *os << nameOf(shell).toStdString();
}

void write(const QString& path, const QString& text, QFile::Permissions permissions = {})
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.toUtf8());
    if (permissions)
        file.setPermissions(permissions);
}

class Completing : public ::testing::TestWithParam<Shell> {
protected:
    QTemporaryDir dir;
    Shell shell = GetParam();

    void SetUp() override
    {
        if (QStandardPaths::findExecutable(nameOf(shell)).isEmpty())
            GTEST_SKIP() << qPrintable(nameOf(shell)) << " is not installed (scripts/setup installs it)";
        QDir(dir.path()).mkpath(QStringLiteral("completions"));
        QDir(dir.path()).mkpath(QStringLiteral("bin"));
        QDir(dir.path()).mkpath(QStringLiteral("work/sub"));
        const Completion completion = ToolDocs::toolCompletion();
        write(dir.filePath(QStringLiteral("completions/tarv")), completion.bash());
        write(dir.filePath(QStringLiteral("completions/_tarv")), completion.zsh());
        write(dir.filePath(QStringLiteral("completions/tarv.fish")), completion.fish());
        // The running Tarv as `tarv screen list` shows it: a name, then columns after tabs.
        write(dir.filePath(QStringLiteral("bin/tarv")),
              QStringLiteral("#!/bin/sh\n[ \"$*\" = 'screen list' ] || exit 2\n"
                             "printf 'home\\nstocks\\nmy page\\tMy page\\twaiting for approval\\n'\n"),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        write(dir.filePath(QStringLiteral("work/a.json")), QStringLiteral("{}"));
        write(dir.filePath(QStringLiteral("work/b.png")), QString());
    }

    // What the shell offers for a command line typed up to the cursor ("tarv screen ").
    QStringList complete(const QString& line)
    {
        const QStringList words = line.split(u' ');
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PATH"),
                           dir.filePath(QStringLiteral("bin")) + u':' + environment.value(QStringLiteral("PATH")));
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(dir.filePath(QStringLiteral("work")));
        const QString completions = dir.filePath(QStringLiteral("completions"));
        switch (shell) {
        case Shell::bash:
            process.start(QStringLiteral("bash"),
                          QStringList{QStringLiteral("--norc"), QStringLiteral("--noprofile"), QStringLiteral("-c"),
                                      QStringLiteral("source \"$1\"; shift; compopt() { :; }; COMP_WORDS=(\"$@\"); "
                                                     "COMP_CWORD=$(($# - 1)); _tarv; printf '%s\\n' \"${COMPREPLY[@]}\""),
                                      QStringLiteral("_"), completions + QStringLiteral("/tarv")}
                              + words);
            break;
        case Shell::zsh:
            // compadd and _files stand in for the completion system's own, which only runs
            // at a prompt; they offer what matches the word typed, as it does.
            process.start(QStringLiteral("zsh"),
                          QStringList{QStringLiteral("-f"), QStringLiteral("-c"),
                                      QStringLiteral("fpath=(\"$1\" $fpath); shift; "
                                                     "compadd() { while [[ $1 != -- ]]; do shift; done; shift; "
                                                     "local w; for w in \"$@\"; do [[ $w == \"${words[CURRENT]}\"* ]] "
                                                     "&& print -r -- \"$w\"; done; }; "
                                                     "_files() { print -rl -- \"${words[CURRENT]}\"*(N); }; "
                                                     "_message() { :; }; autoload -Uz _tarv; "
                                                     "words=(\"$@\"); CURRENT=$#; _tarv"),
                                      QStringLiteral("_"), completions}
                              + words);
            break;
        case Shell::fish:
            process.start(QStringLiteral("fish"),
                          {QStringLiteral("--no-config"), QStringLiteral("-c"),
                           QStringLiteral("set -g fish_complete_path $argv[1] $fish_complete_path; complete -C $argv[2]"),
                           completions, line});
            break;
        }
        EXPECT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(QString::fromUtf8(process.readAllStandardError()), QString()) << qPrintable(line);
        QStringList offered;
        for (QString candidate : QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts)) {
            // fish shows a description after a tab; bash quotes a blank as a shell would read it.
            candidate = candidate.section(u'\t', 0, 0).replace(QStringLiteral("\\ "), QStringLiteral(" "));
            if (candidate.endsWith(u'/'))
                candidate.chop(1);
            offered.append(candidate);
        }
        std::sort(offered.begin(), offered.end());
        return offered;
    }
};

QStringList sorted(QStringList list)
{
    std::sort(list.begin(), list.end());
    return list;
}

TEST_P(Completing, OffersWhatTheWordsTypedSoFarLeaveOpen)
{
    const QList<std::pair<QString, QStringList>> cases{
        {QStringLiteral("tarv "), {"ping", "notify", "set", "snapshot", "screen"}},
        {QStringLiteral("tarv scr"), {"screen"}},
        {QStringLiteral("tarv -"), {"-h", "--help", "--version"}},
        {QStringLiteral("tarv --version "), {}},
        {QStringLiteral("tarv screen "), {"list", "show", "check"}},
        {QStringLiteral("tarv screen show "), {"home", "stocks", "my page"}},
        {QStringLiteral("tarv screen show h"), {"home"}},
        {QStringLiteral("tarv screen show home "), {}},
        {QStringLiteral("tarv screen check a"), {"a.json"}},
        {QStringLiteral("tarv snapshot b"), {"b.png"}},
        {QStringLiteral("tarv notify --s"), {"--seconds"}},
        // An option's value, and text after "--", are the user's own.
        {QStringLiteral("tarv notify -s "), {}},
        {QStringLiteral("tarv notify -s 5 --"), {"--help", "--seconds"}},
        {QStringLiteral("tarv notify -- -"), {}},
        {QStringLiteral("tarv ping "), {}},
    };
    for (const auto& [line, expected] : cases)
        EXPECT_EQ(complete(line), sorted(expected)) << qPrintable(line);
}

// Every command is offered at its place, and every option offered after it is one the tool
// takes there.
TEST_P(Completing, OffersEveryCommandAndOnlyOptionsTheToolTakes)
{
    const Completion model = ToolDocs::toolCompletion();
    QTemporaryDir home;
    for (const ToolCommands::Command& command : ToolCommands::commands()) {
        const QString before = (QStringList{QStringLiteral("tarv")} + command.words.mid(0, command.words.size() - 1)).join(u' ');
        EXPECT_TRUE(complete(before + u' ').contains(command.words.last())) << qPrintable(command.words.join(u' '));
        if (!command.call)
            continue;
        const QStringList options = complete((QStringList{QStringLiteral("tarv")} + command.words).join(u' ') +
                                             QStringLiteral(" -"));
        EXPECT_TRUE(options.contains(QStringLiteral("--help")));
        const auto entry = std::find_if(model.commands.begin(), model.commands.end(),
                                        [&](const Completion::Command& c) { return c.words == command.words; });
        ASSERT_NE(entry, model.commands.end());
        for (const QString& option : options) {
            QStringList arguments = command.words + QStringList{option};
            if (entry->valuedOptions.contains(option))
                arguments.append(QStringLiteral("5"));
            for (qsizetype i = 0; i < command.minOperands; ++i)
                arguments.append(QStringLiteral("x"));
            QProcess tool;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("XDG_DATA_HOME"), home.path());
            tool.setProcessEnvironment(environment);
            tool.start(QStringLiteral(TARV_TOOL), arguments);
            ASSERT_TRUE(tool.waitForFinished(30000));
            // 0 for help, 3 for a request that no Tarv answers; 2 would be a usage error.
            EXPECT_NE(tool.exitCode(), 2) << qPrintable(arguments.join(u' ')) << ": "
                                          << tool.readAllStandardError().constData();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Shells, Completing, ::testing::Values(Shell::bash, Shell::zsh, Shell::fish),
                         [](const ::testing::TestParamInfo<Shell>& info) { return nameOf(info.param).toStdString(); });

}  // namespace
