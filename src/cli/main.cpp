// tarv: the command-line tool of the running Tarv application. Each call sends one request
// over the command channel and prints the reply: results on standard output, a refusal on
// standard error, and an exit status a script can test.

#include "control/NotifyChannel.h"
#include "control/NotifyClient.h"
#include "platform/VisibleText.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QString>
#include <QStringList>

#include <cmath>
#include <cstdio>
#include <optional>

namespace {

enum ExitStatus { done = 0, refused = 1, usageError = 2, notReachable = 3 };

// Most answers come at once; a snapshot waits for the whole picture to cross the serial line.
constexpr double answerTimeout = 10;
constexpr double snapshotTimeout = 60;
constexpr double defaultNotifySeconds = 5;

const char* const usageText =
    "Usage: tarv COMMAND [ARGUMENTS]\n"
    "Talks to the running Tarv application.\n"
    "\n"
    "Commands:\n"
    "  ping                            check that Tarv runs and answers\n"
    "  notify [-s|--seconds N] TEXT... show TEXT on the device for N seconds (default 5)\n"
    "  set NAME VALUE...               push a value to the screens that read NAME\n"
    "  snapshot [PATH]                 save what the device shows as a PNG file, in the\n"
    "                                  Snapshots folder, in the folder PATH or as the file PATH\n"
    "  screen list                     list the device's pages\n"
    "  screen show NAME                switch the device to a page\n"
    "  screen check FILE               check a screen file without installing it\n"
    "\n"
    "Options:\n"
    "  -h, --help                      show this help\n"
    "  --version                       show the version\n"
    "\n"
    "Exit status: 0 done, 1 refused by Tarv, 2 usage error, 3 Tarv not running or not answering.\n";

const char* const screenUsageText =
    "Usage: tarv screen list | show NAME | check FILE\n"
    "Works with the device's pages. Custom pages come from the screen files in the\n"
    "Screens folder: ~/.local/share/Tarv/Screens, or $XDG_DATA_HOME/Tarv/Screens.\n"
    "\n"
    "  list        list the device's pages, each with its name and title\n"
    "  show NAME   switch the device to the page NAME\n"
    "  check FILE  check a screen file without installing it: its errors and warnings,\n"
    "              or how much of a device page it fills and what it would need\n"
    "              approval for\n"
    "\n"
    "The screen-file format is described in screen-files.md, installed with Tarv in\n"
    "share/doc/tarv.\n";

void print(std::FILE* stream, const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

int usage(const QString& problem)
{
    print(stderr, QStringLiteral("tarv: ") + visibleText(problem));
    std::fputs("Try 'tarv --help' for more information.\n", stderr);
    return usageError;
}

QString absolute(const QString& path)
{
    return QFileInfo(path).absoluteFilePath();
}

struct Call {
    NotifyChannel::Request request;
    double timeout = answerTimeout;
};

// The request the arguments ask for, or the usage problem.
std::variant<Call, QString> parse(const QStringList& args)
{
    const QString command = args.value(0);
    const QStringList rest = args.mid(1);
    if (command == QLatin1String("ping")) {
        if (!rest.isEmpty())
            return QStringLiteral("ping takes no arguments");
        return Call{NotifyChannel::request(QStringLiteral("ping"), QString(), 0)};
    }
    if (command == QLatin1String("notify")) {
        double seconds = defaultNotifySeconds;
        QStringList words;
        bool options = true;
        for (qsizetype i = 0; i < rest.size(); ++i) {
            const QString& arg = rest[i];
            std::optional<QString> value;
            if (options && arg == QLatin1String("--")) {
                options = false;
                continue;
            }
            if (options && (arg == QLatin1String("-s") || arg == QLatin1String("--seconds"))) {
                if (++i == rest.size())
                    return arg + QStringLiteral(" needs a number of seconds");
                value = rest[i];
            } else if (options && arg.startsWith(QLatin1String("--seconds="))) {
                value = arg.mid(10);
            } else if (options && arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
                return QStringLiteral("unknown option ") + arg;
            } else {
                words.append(arg);
                continue;
            }
            bool ok = false;
            seconds = value->toDouble(&ok);
            if (!ok || !std::isfinite(seconds))
                return QStringLiteral("not a number of seconds: ") + *value;
        }
        if (words.isEmpty())
            return QStringLiteral("notify needs a text");
        return Call{NotifyChannel::request(QStringLiteral("notify"), words.join(QLatin1Char(' ')), seconds)};
    }
    if (command == QLatin1String("set")) {
        if (rest.size() < 2)
            return QStringLiteral("set needs a name and a value");
        return Call{NotifyChannel::request(QStringLiteral("set"), rest.mid(1).join(QLatin1Char(' ')), 0, rest[0])};
    }
    if (command == QLatin1String("snapshot")) {
        if (rest.size() > 1)
            return QStringLiteral("snapshot takes at most one path");
        return Call{NotifyChannel::request(QStringLiteral("snapshot"), rest.isEmpty() ? QString() : absolute(rest[0]), 0),
                    snapshotTimeout};
    }
    if (command == QLatin1String("screen")) {
        const QString what = rest.value(0);
        const QStringList operands = rest.mid(1);
        if (what == QLatin1String("list") && operands.isEmpty())
            return Call{NotifyChannel::request(QStringLiteral("screen.list"), QString(), 0)};
        if (what == QLatin1String("show") && operands.size() == 1)
            return Call{NotifyChannel::request(QStringLiteral("screen.show"), operands[0], 0)};
        if (what == QLatin1String("check") && operands.size() == 1)
            return Call{NotifyChannel::request(QStringLiteral("screen.check"), absolute(operands[0]), 0)};
        return QStringLiteral("screen takes list, show NAME or check FILE (tarv screen --help)");
    }
    if (command.isEmpty())
        return QStringLiteral("no command given");
    return QStringLiteral("unknown command ") + command;
}

}  // namespace

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    if (args.value(0) == QLatin1String("-h") || args.value(0) == QLatin1String("--help")) {
        std::fputs(usageText, stdout);
        return done;
    }
    // Help asked of a page command too: "tarv screen check --help" names no file.
    if (args.value(0) == QLatin1String("screen")
        && (args.contains(QLatin1String("-h")) || args.contains(QLatin1String("--help")))) {
        std::fputs(screenUsageText, stdout);
        return done;
    }
    if (args.value(0) == QLatin1String("--version")) {
        std::puts("tarv " TARV_VERSION);
        return done;
    }
    const auto parsed = parse(args);
    if (const auto* problem = std::get_if<QString>(&parsed))
        return usage(*problem);
    const Call& call = std::get<Call>(parsed);
    // Tarv would refuse it all the same, after taking only part of it.
    if (NotifyChannel::encodeLine(call.request).size() - 1 > NotifyChannel::maxRequestBytes) {
        print(stderr, QStringLiteral("tarv: ") + NotifyChannel::requestTooLongMessage());
        return refused;
    }

    const QString socketPath = NotifyChannel::socketPath();
    const auto outcome = NotifyClient::sendRequest(call.request, socketPath, call.timeout);
    if (const auto* failure = std::get_if<NotifyClient::Failure>(&outcome)) {
        switch (failure->kind) {
        case NotifyClient::Failure::Kind::notRunning:
            print(stderr, QStringLiteral("tarv: Tarv is not running (nothing listens at ") + visibleText(socketPath) +
                              QStringLiteral(")."));
            break;
        case NotifyClient::Failure::Kind::timedOut:
            print(stderr, QStringLiteral("tarv: Tarv is running but did not answer in time."));
            break;
        case NotifyClient::Failure::Kind::failed:
            print(stderr, QStringLiteral("tarv: could not talk to Tarv: ") + visibleText(failure->message));
            break;
        }
        return notReachable;
    }
    const NotifyChannel::Reply& reply = std::get<NotifyChannel::Reply>(outcome);
    // Whatever Tarv or a file put in a line, a terminal shows it as it is. The page list's
    // columns are separated by tabs; Tarv writes a tab within a column as an escape.
    const VisibleTabs tabs = call.request.value(QStringLiteral("command")).toString() == QLatin1String("screen.list")
                                 ? VisibleTabs::kept
                                 : VisibleTabs::escaped;
    for (const QJsonValue& line : reply.value(QStringLiteral("lines")).toArray())
        print(stdout, visibleText(line.toString(), tabs));
    if (reply.contains(QStringLiteral("path")))
        print(stdout, visibleText(reply.value(QStringLiteral("path")).toString()));
    if (reply.value(QStringLiteral("ok")).toBool())
        return done;
    if (reply.contains(QStringLiteral("message")))
        print(stderr, QStringLiteral("tarv: ") + visibleText(reply.value(QStringLiteral("message")).toString()));
    return refused;
}
