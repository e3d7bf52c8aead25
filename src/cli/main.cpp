// tarv: the command-line tool of the running Tarv application. Each call sends one request
// over the command channel and prints the reply: results on standard output, a refusal on
// standard error, and an exit status a script can test. Everything that can be told from the
// arguments alone is told before connecting, so a mistyped call gets the same answer whether
// Tarv runs or not.

#include "cli/ToolCommands.h"
#include "control/NotifyChannel.h"
#include "control/NotifyClient.h"
#include "platform/VisibleText.h"

#include <QJsonArray>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <optional>
#include <variant>

namespace {

using namespace ToolCommands;

enum ExitStatus { done = 0, refused = 1, usageError = 2, notReachable = 3 };

void print(std::FILE* stream, const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
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
    // columns are separated by tabs, and a screen check lists what a file would be approved
    // for: Tarv writes those lines out itself, a tab within a column and every look-alike as an
    // escape, and their backslashes are those escapes' own.
    const QString requested = call.request.value(QStringLiteral("command")).toString();
    const VisibleTabs tabs = requested == QLatin1String("screen.list") || requested == QLatin1String("screen.check")
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
