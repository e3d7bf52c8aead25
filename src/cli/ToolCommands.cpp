#include "cli/ToolCommands.h"

#include "control/PushName.h"

#include <QFileInfo>

#include <algorithm>
#include <optional>

namespace ToolCommands {

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

namespace {

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

QString absolute(const QString& path)
{
    return QFileInfo(path).absoluteFilePath();
}

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

}  // namespace

const QList<Command>& commands()
{
    static const QList<Command> table{
        {{QStringLiteral("ping")}, pingHelp, 0, 0, "ping takes no arguments", nullptr, OperandKind::text, false,
         [](const Operands&) { return request(QStringLiteral("ping")); }},
        {{QStringLiteral("notify")}, notifyHelp, 1, any, "notify needs a text", nullptr, OperandKind::text, true,
         [](const Operands& operands) -> Outcome {
             const QString text = operands.words.join(u' ');
             if (isBlank(text))
                 return QStringLiteral("the text is empty");
             return request(QStringLiteral("notify"), text, operands.seconds);
         }},
        {{QStringLiteral("set")}, setHelp, 2, any, "set needs a name and a value", nullptr, OperandKind::text, false,
         [](const Operands& operands) -> Outcome {
             const QString& name = operands.words[0];
             const QString value = operands.words.mid(1).join(u' ');
             if (const std::optional<QString> refusal = pushRefusal(name, value))
                 return *refusal;
             return request(QStringLiteral("set"), value, 0, name);
         }},
        {{QStringLiteral("snapshot")}, snapshotHelp, 0, 1, "snapshot takes at most one path", "path", OperandKind::path, false,
         snapshotCall},
        {{QStringLiteral("screen")}, screenHelp, 0, any, "screen takes list, show NAME or check FILE", nullptr, OperandKind::text, false,
         nullptr},
        {{QStringLiteral("screen"), QStringLiteral("list")}, screenHelp, 0, 0, "screen list takes no arguments",
         nullptr, OperandKind::text, false, [](const Operands&) { return request(QStringLiteral("screen.list")); }},
        {{QStringLiteral("screen"), QStringLiteral("show")}, screenHelp, 1, 1, "screen show takes one page name",
         "page name", OperandKind::pageName, false,
         [](const Operands& operands) { return request(QStringLiteral("screen.show"), operands.words[0]); }},
        {{QStringLiteral("screen"), QStringLiteral("check")}, screenHelp, 1, 1, "screen check takes one file",
         "file name", OperandKind::path, false,
         [](const Operands& operands) { return request(QStringLiteral("screen.check"), absolute(operands.words[0])); }},
    };
    return table;
}

}  // namespace ToolCommands
