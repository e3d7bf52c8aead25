// tarv: the command-line tool of the running Tarv application. Each call sends one request
// over the command channel and prints the reply: results on standard output, a refusal on
// standard error, and an exit status a script can test. Everything that can be told from the
// arguments alone is told before connecting, so a mistyped call gets the same answer whether
// Tarv runs or not.

#include "control/NotifyChannel.h"
#include "control/NotifyClient.h"
#include "control/PushName.h"
#include "platform/VisibleText.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <variant>

namespace {

enum ExitStatus { done = 0, refused = 1, usageError = 2, notReachable = 3 };

// Most answers come at once; a snapshot waits for the whole picture to cross the serial line.
constexpr double answerTimeout = 10;
constexpr double snapshotTimeout = 60;
// Tarv shows a card from 1 to 600 seconds; another number would be changed without a word.
constexpr double defaultNotifySeconds = 5;
constexpr double minNotifySeconds = 1;
constexpr double maxNotifySeconds = 600;

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
    "  -h, --help                      show this help (after a command: its help)\n"
    "  --version                       show the version\n"
    "\n"
    "An argument that starts with \"-\" is an option, unless it is a number such as -5;\n"
    "to pass one as text, put it after \"--\".\n"
    "\n"
    "Exit status: 0 done, 1 refused by Tarv, 2 usage error, 3 Tarv not running or not answering.\n";

const char* const pingHelp =
    "Usage: tarv ping\n"
    "Checks that Tarv runs and answers: exit status 0 when it does, 3 when it is not running\n"
    "or does not answer.\n";

const char* const notifyHelp =
    "Usage: tarv notify [-s|--seconds N] [--] TEXT...\n"
    "Shows TEXT on the device as a card over its page, for N seconds, from 1 to 600\n"
    "(default 5). The words of TEXT are joined with single blanks; characters the device's\n"
    "font cannot draw are left out.\n"
    "\n"
    "  -s, --seconds N  how long the card stays\n";

const char* const setHelp =
    "Usage: tarv set [--] NAME VALUE...\n"
    "Pushes VALUE to the screens that read NAME (a source {\"push\": \"NAME\"} of a screen\n"
    "file). NAME is up to 64 letters, digits, _ . and -. The words of VALUE are joined with\n"
    "single blanks, up to 8 KB. Tarv keeps the value for a screen that reads it later.\n";

const char* const snapshotHelp =
    "Usage: tarv snapshot [PATH]\n"
    "Saves what the device shows as a PNG file and prints the file's path: without PATH in\n"
    "the Snapshots folder (~/.local/share/Tarv/Snapshots), named after the time; with the\n"
    "path of a folder in that folder; otherwise as the file PATH. A file name whose suffix\n"
    "says another format than .png is refused.\n";

const char* const screenHelp =
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

QString absolute(const QString& path)
{
    return QFileInfo(path).absoluteFilePath();
}

struct Call {
    NotifyChannel::Request request;
    double timeout = answerTimeout;
};

// A command's operands once its options are read.
struct Operands {
    QStringList words;
    double seconds = defaultNotifySeconds;
};

using Outcome = std::variant<Call, QString>;

// One command of the tool. Its words name it ("screen", "show"); the longest command whose
// words begin the arguments is the one asked for.
struct Command {
    QStringList words;
    const char* help;
    qsizetype minOperands;
    qsizetype maxOperands;
    // Said when the number of operands is out of range.
    const char* countProblem;
    // What an operand is, for a command that takes no empty one ("the page name is empty");
    // none where the command's own checks word it.
    const char* operandName;
    bool takesSeconds;
    // The request the operands make, or why they make none; a command without one only
    // groups others.
    Outcome (*call)(const Operands&);
};

constexpr qsizetype any = -1;

Outcome request(const QString& command, const QString& text = {}, double seconds = 0,
                const std::optional<QString>& name = std::nullopt)
{
    return Call{NotifyChannel::request(command, text, seconds, name)};
}

bool isBlank(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.isSpace(); });
}

// The suffix of a file name, without its dot; empty for none (a leading dot starts a name).
QString suffixOf(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? name.mid(dot + 1) : QString();
}

Outcome snapshotCall(const Operands& operands)
{
    Call call{NotifyChannel::request(QStringLiteral("snapshot"), QString(), 0), snapshotTimeout};
    if (operands.words.isEmpty())
        return call;
    const QString& path = operands.words[0];
    // Tarv writes PNG and only PNG: the command channel hands over a path, never the picture.
    const QString suffix = suffixOf(path);
    if (!QFileInfo(path).isDir() && !suffix.isEmpty() && suffix.compare(QLatin1String("png"), Qt::CaseInsensitive) != 0)
        return QStringLiteral("a snapshot is a PNG file, but the name ") + path + QStringLiteral(" says .") + suffix +
               QStringLiteral("; name it .png");
    call.request = NotifyChannel::request(QStringLiteral("snapshot"), absolute(path), 0);
    return call;
}

const QList<Command>& commands()
{
    static const QList<Command> table{
        {{QStringLiteral("ping")}, pingHelp, 0, 0, "ping takes no arguments", nullptr, false,
         [](const Operands&) { return request(QStringLiteral("ping")); }},
        {{QStringLiteral("notify")}, notifyHelp, 1, any, "notify needs a text", nullptr, true,
         [](const Operands& operands) -> Outcome {
             const QString text = operands.words.join(u' ');
             if (isBlank(text))
                 return QStringLiteral("the text is empty");
             return request(QStringLiteral("notify"), text, operands.seconds);
         }},
        {{QStringLiteral("set")}, setHelp, 2, any, "set needs a name and a value", nullptr, false,
         [](const Operands& operands) -> Outcome {
             const QString& name = operands.words[0];
             const QString value = operands.words.mid(1).join(u' ');
             if (const std::optional<QString> refusal = pushRefusal(name, value))
                 return *refusal;
             return request(QStringLiteral("set"), value, 0, name);
         }},
        {{QStringLiteral("snapshot")}, snapshotHelp, 0, 1, "snapshot takes at most one path", "path", false,
         snapshotCall},
        {{QStringLiteral("screen")}, screenHelp, 0, any, "screen takes list, show NAME or check FILE", nullptr, false,
         nullptr},
        {{QStringLiteral("screen"), QStringLiteral("list")}, screenHelp, 0, 0, "screen list takes no arguments",
         nullptr, false, [](const Operands&) { return request(QStringLiteral("screen.list")); }},
        {{QStringLiteral("screen"), QStringLiteral("show")}, screenHelp, 1, 1, "screen show takes one page name",
         "page name", false,
         [](const Operands& operands) { return request(QStringLiteral("screen.show"), operands.words[0]); }},
        {{QStringLiteral("screen"), QStringLiteral("check")}, screenHelp, 1, 1, "screen check takes one file",
         "file name", false,
         [](const Operands& operands) { return request(QStringLiteral("screen.check"), absolute(operands.words[0])); }},
    };
    return table;
}

// An option starts with "-"; "-" alone and a negative number ("-5", "-.5") are operands.
bool isOption(const QString& argument)
{
    return argument.size() > 1 && argument[0] == u'-' && !argument[1].isDigit() && argument[1] != u'.';
}

bool isHelp(const QString& argument)
{
    return argument == QLatin1String("-h") || argument == QLatin1String("--help");
}

struct ShowText {
    const char* text;
};

using Parsed = std::variant<Call, ShowText, QString>;

// What the arguments ask for: a request, a text to show, or the usage problem. The problem
// names the command whose help tells more, when there is one.
Parsed parse(const QStringList& args, const Command** asked)
{
    const QString first = args.value(0);
    if (first.isEmpty())
        return QStringLiteral("no command given");
    if (isOption(first)) {
        if (isHelp(first))
            return ShowText{usageText};
        if (first == QLatin1String("--version"))
            return args.size() == 1 ? Parsed(ShowText{"tarv " TARV_VERSION "\n"})
                                    : Parsed(QStringLiteral("--version takes no arguments"));
        return QStringLiteral("unknown option ") + first;
    }
    const Command* command = nullptr;
    for (const Command& candidate : commands()) {
        if (args.mid(0, candidate.words.size()) == candidate.words
            && (!command || candidate.words.size() > command->words.size()))
            command = &candidate;
    }
    if (!command)
        return QStringLiteral("unknown command ") + first;
    *asked = command;
    const QStringList rest = args.mid(command->words.size());

    // Help asked anywhere among the options wins over every other word: nothing is sent.
    for (const QString& argument : rest) {
        if (argument == QLatin1String("--"))
            break;
        if (isHelp(argument))
            return ShowText{command->help};
    }

    Operands operands;
    for (qsizetype i = 0; i < rest.size(); ++i) {
        const QString& argument = rest[i];
        if (argument == QLatin1String("--")) {
            operands.words += rest.mid(i + 1);
            break;
        }
        if (!isOption(argument)) {
            operands.words.append(argument);
            continue;
        }
        std::optional<QString> seconds;
        if (command->takesSeconds && (argument == QLatin1String("-s") || argument == QLatin1String("--seconds"))) {
            if (++i == rest.size())
                return argument + QStringLiteral(" needs a number of seconds");
            seconds = rest[i];
        } else if (command->takesSeconds && argument.startsWith(QLatin1String("--seconds="))) {
            seconds = argument.mid(10);
        } else {
            return QStringLiteral("unknown option ") + argument;
        }
        bool ok = false;
        operands.seconds = seconds->toDouble(&ok);
        // NaN fails both comparisons.
        if (!ok || !(operands.seconds >= minNotifySeconds && operands.seconds <= maxNotifySeconds))
            return QStringLiteral("the seconds are a number from 1 to 600, not ") + *seconds;
    }
    if (!command->call)
        return QString::fromUtf8(command->countProblem);
    const qsizetype count = operands.words.size();
    if (count < command->minOperands || (command->maxOperands != any && count > command->maxOperands))
        return QString::fromUtf8(command->countProblem);
    if (command->operandName && operands.words.contains(QString()))
        return QStringLiteral("the %1 is empty").arg(QLatin1String(command->operandName));
    Outcome outcome = command->call(operands);
    if (auto* call = std::get_if<Call>(&outcome))
        return std::move(*call);
    return std::get<QString>(std::move(outcome));
}

int usage(const QString& problem, const Command* command)
{
    print(stderr, QStringLiteral("tarv: ") + visibleText(problem));
    const QString help = command ? command->words.first() + QStringLiteral(" --help") : QStringLiteral("--help");
    print(stderr, QStringLiteral("Try 'tarv ") + help + QStringLiteral("' for more information."));
    return usageError;
}

}  // namespace

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    const Command* command = nullptr;
    const Parsed parsed = parse(args, &command);
    if (const auto* shown = std::get_if<ShowText>(&parsed)) {
        std::fputs(shown->text, stdout);
        return done;
    }
    if (const auto* problem = std::get_if<QString>(&parsed))
        return usage(*problem, command);
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
