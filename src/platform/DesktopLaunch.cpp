#include "platform/DesktopLaunch.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

struct Token {
    QString text;
    bool quoted = false;
};

std::variant<QList<Token>, ExecError> split(const QString& exec)
{
    QList<Token> tokens;
    Token current;
    bool inToken = false;
    bool inQuotes = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (inQuotes) {
            if (c == u'"') {
                inQuotes = false;
            } else if (c == u'\\') {
                if (i + 1 >= exec.size())
                    return ExecError{QStringLiteral("a quote is not closed")};
                const QChar next = exec.at(i + 1);
                if (next != u'"' && next != u'`' && next != u'$' && next != u'\\')
                    return ExecError{QStringLiteral("a quoted argument has an unknown escape")};
                current.text += next;
                ++i;
            } else {
                current.text += c;
            }
            continue;
        }
        if (c == u' ' || c == u'\t' || c == u'\n') {
            if (inToken)
                tokens << current;
            current = Token{};
            inToken = false;
            continue;
        }
        inToken = true;
        if (c == u'"') {
            inQuotes = true;
            current.quoted = true;
        } else {
            current.text += c;
        }
    }
    if (inQuotes)
        return ExecError{QStringLiteral("a quote is not closed")};
    if (inToken)
        tokens << current;
    return tokens;
}

} // namespace

std::variant<QStringList, ExecError> DesktopLaunch::expandExec(const DesktopEntry& entry)
{
    auto splitResult = split(entry.exec);
    if (auto* error = std::get_if<ExecError>(&splitResult))
        return *error;
    QStringList argv;
    for (const Token& token : std::get<QList<Token>>(splitResult)) {
        if (!token.quoted && token.text == u"%i") {
            if (!entry.icon.isEmpty())
                argv << QStringLiteral("--icon") << entry.icon;
            continue;
        }
        QString out;
        bool dropped = false;
        for (qsizetype i = 0; i < token.text.size(); ++i) {
            const QChar c = token.text.at(i);
            if (c != u'%') {
                out += c;
                continue;
            }
            if (i + 1 >= token.text.size())
                return ExecError{QStringLiteral("a field code is incomplete")};
            const QChar code = token.text.at(++i);
            switch (code.unicode()) {
            case '%': out += u'%'; break;
            case 'c': out += entry.name; break;
            case 'k': out += entry.filePath; break;
            case 'f': case 'F': case 'u': case 'U':
            case 'd': case 'D': case 'n': case 'N': case 'v': case 'm':
                dropped = true;
                break;
            case 'i':
                if (!entry.icon.isEmpty())
                    out += entry.icon;
                break;
            default:
                return ExecError{QStringLiteral("unknown field code %") + code};
            }
        }
        // An argument that was nothing but a file or URL code stands for no argument.
        if (dropped && out.isEmpty())
            continue;
        argv << out;
    }
    if (argv.isEmpty() || argv.first().isEmpty())
        return ExecError{QStringLiteral("there is no program to run")};
    return argv;
}

std::optional<QString> DesktopLaunch::launch(const DesktopEntry& entry)
{
    const QString prefix = QStringLiteral("Could not launch ") + entry.name + QStringLiteral(": ");
    auto expanded = expandExec(entry);
    if (auto* error = std::get_if<ExecError>(&expanded))
        return prefix + error->message;
    QStringList argv = std::get<QStringList>(expanded);

    if (entry.terminal) {
        const QString terminal = QStandardPaths::findExecutable(QStringLiteral("x-terminal-emulator"));
        if (terminal.isEmpty())
            return prefix + QStringLiteral("it needs a terminal, and x-terminal-emulator is missing");
        argv.prepend(QStringLiteral("-e"));
        argv.prepend(terminal);
    }

    QString program = argv.takeFirst();
    if (!QDir::isAbsolutePath(program)) {
        const QString found = QStandardPaths::findExecutable(program);
        if (found.isEmpty())
            return prefix + program + QStringLiteral(" was not found");
        program = found;
    }
    QString workingDirectory = entry.workingDirectory;
    if (workingDirectory.isEmpty() || !QFileInfo(workingDirectory).isDir())
        workingDirectory = QDir::homePath();

    // Qt forks a detached program: it starts with the session's limit on open files (ProcessSpawn).
    QProcess process;
    process.setProgram(program);
    process.setArguments(argv);
    process.setWorkingDirectory(workingDirectory);
    process.setStandardInputFile(QProcess::nullDevice());
    if (!process.startDetached())
        return prefix + process.errorString();
    return std::nullopt;
}

