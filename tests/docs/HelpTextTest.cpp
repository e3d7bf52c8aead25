// A help text read back into paragraphs, headings and two-column rows, as the manual pages
// and the completion take it.

#include "HelpText.h"
#include "cli/ToolCommands.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

// The tool's help and each of its commands', and a help of the form tarv-app prints.
QStringList helpTexts()
{
    QStringList texts{QString::fromUtf8(ToolCommands::usageText)};
    for (const ToolCommands::Command& command : ToolCommands::commands())
        texts.append(QString::fromUtf8(command.help));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A program.\nIts second line (-platform offscreen …)."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(QCommandLineOption(QStringLiteral("show-running"),
                                        QStringLiteral("A description long enough to be wrapped by the parser onto "
                                                       "a second line, and a third, at its own column.")));
    texts.append(parser.helpText());
    return texts;
}

QStringList wordsOf(const QString& text)
{
    return text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

QString reassembled(const HelpText& help)
{
    QString text = help.usage.isEmpty() ? QString() : QStringLiteral("Usage: ") + help.usage;
    for (const HelpText::Block& block : help.blocks) {
        text += u'\n' + block.lines.join(u'\n');
        if (block.kind == HelpText::Block::Kind::heading)
            text += u':';
        for (const HelpText::Row& row : block.rows)
            text += u'\n' + row.term + u' ' + row.description.join(u'\n');
    }
    return text;
}

TEST(HelpText, KeepsEveryWordOfEveryHelpInItsOrder)
{
    for (const QString& text : helpTexts())
        EXPECT_EQ(wordsOf(reassembled(HelpText::parse(text))), wordsOf(text)) << qPrintable(text);
}

TEST(HelpText, SplitsRowsAtTheColumnTheirBlockAgreesOn)
{
    const HelpText help = HelpText::parse(QString::fromUtf8(ToolCommands::usageText));
    EXPECT_EQ(help.usage, QStringLiteral("tarv COMMAND [ARGUMENTS]"));
    QList<HelpText::Row> rows;
    QStringList headings;
    for (const HelpText::Block& block : help.blocks) {
        rows += block.rows;
        if (block.kind == HelpText::Block::Kind::heading)
            headings += block.lines;
    }
    EXPECT_EQ(headings, (QStringList{QStringLiteral("Commands"), QStringLiteral("Options"), QStringLiteral("Exit status")}));
    ASSERT_GE(rows.size(), 4);
    // A term that reaches the column but for one blank still ends there.
    EXPECT_EQ(rows[1].term, QStringLiteral("notify [-s|--seconds N] TEXT..."));
    EXPECT_EQ(rows[1].description.value(0), QStringLiteral("show TEXT on the device for N seconds (default 5)"));
    // A line indented to the column goes on with the row above.
    EXPECT_EQ(rows[3].term, QStringLiteral("snapshot [PATH]"));
    EXPECT_EQ(rows[3].description.size(), 2);
}

TEST(HelpText, TellsAnOptionsNamesAndWhetherItTakesAValue)
{
    const HelpText::Option seconds = HelpText::optionOf(QStringLiteral("-s, --seconds N"));
    EXPECT_EQ(seconds.names, (QStringList{QStringLiteral("-s"), QStringLiteral("--seconds")}));
    EXPECT_TRUE(seconds.takesValue);
    const HelpText::Option version = HelpText::optionOf(QStringLiteral("--version"));
    EXPECT_EQ(version.names, QStringList{QStringLiteral("--version")});
    EXPECT_FALSE(version.takesValue);
    EXPECT_TRUE(HelpText::optionOf(QStringLiteral("show NAME")).names.isEmpty());
}

}  // namespace
