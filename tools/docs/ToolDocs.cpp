#include "ToolDocs.h"

#include "cli/ToolCommands.h"

#include <QFileInfo>
#include <QHash>

namespace ToolDocs {

namespace {

ManPage pageOf(const HelpText& help, const QString& name, const QString& version, const QString& date)
{
    ManPage page;
    page.name = name;
    page.date = date;
    page.source = QStringLiteral("Tarv ") + version;
    page.manual = QStringLiteral("User Commands");
    page.help = help;
    return page;
}

// The rows of a help that name options, with what each says of them.
QList<HelpText::Option> optionsOf(const HelpText& help)
{
    QList<HelpText::Option> options;
    for (const HelpText::Block& block : help.blocks) {
        for (const HelpText::Row& row : block.rows) {
            const HelpText::Option option = HelpText::optionOf(row.term);
            if (!option.names.isEmpty())
                options.append(option);
        }
    }
    return options;
}

}  // namespace

ManPage toolManPage(const QString& version, const QString& date)
{
    ManPage page = pageOf(HelpText::parse(QString::fromUtf8(ToolCommands::usageText)), QStringLiteral("tarv"),
                          version, date);
    QList<const char*> seen;
    for (const ToolCommands::Command& command : ToolCommands::commands()) {
        // The screen commands share one help.
        if (seen.contains(command.help))
            continue;
        seen.append(command.help);
        page.commandHelps.append(HelpText::parse(QString::fromUtf8(command.help)));
    }
    page.seeAlso = {QStringLiteral("tarv-app(1)")};
    return page;
}

ManPage appManPage(const QString& helpText, const QString& version, const QString& date)
{
    HelpText help = HelpText::parse(helpText);
    // The usage line names the program as it was started, by whatever path.
    const qsizetype space = help.usage.indexOf(u' ');
    help.usage = QFileInfo(help.usage.left(space)).fileName() + (space < 0 ? QString() : help.usage.mid(space));
    ManPage page = pageOf(help, QStringLiteral("tarv-app"), version, date);
    page.seeAlso = {QStringLiteral("tarv(1)")};
    return page;
}

Completion toolCompletion()
{
    Completion completion;
    completion.program = QStringLiteral("tarv");
    completion.pageNamesCommand = {QStringLiteral("tarv"), QStringLiteral("screen"), QStringLiteral("list")};
    const HelpText usage = HelpText::parse(QString::fromUtf8(ToolCommands::usageText));
    for (const HelpText::Option& option : optionsOf(usage))
        completion.options += option.names;

    // What the tool's help says of each command, by the command's words.
    QHash<QStringList, QString> summaries;
    for (const HelpText::Block& block : usage.blocks) {
        for (const HelpText::Row& row : block.rows) {
            QStringList words;
            for (const QString& word : row.term.split(u' ')) {
                if (word.isEmpty() || !word[0].isLower())
                    break;
                words.append(word);
            }
            summaries.insert(words, row.description.join(u' '));
        }
    }

    for (const ToolCommands::Command& command : ToolCommands::commands()) {
        Completion::Command entry;
        entry.words = command.words;
        // Help is taken after every command.
        entry.options = {QStringLiteral("-h"), QStringLiteral("--help")};
        for (const HelpText::Option& option : optionsOf(HelpText::parse(QString::fromUtf8(command.help)))) {
            entry.options += option.names;
            if (option.takesValue)
                entry.valuedOptions += option.names;
        }
        entry.operand = command.operandKind == ToolCommands::OperandKind::path       ? Completion::Operand::path
                        : command.operandKind == ToolCommands::OperandKind::pageName ? Completion::Operand::pageName
                                                                                     : Completion::Operand::text;
        entry.maxOperands = command.maxOperands == ToolCommands::any ? -1 : command.maxOperands;
        entry.summary = summaries.value(command.words);
        completion.commands.append(entry);
    }
    return completion;
}

}  // namespace ToolDocs
