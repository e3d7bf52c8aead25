// A manual page says all its help says: every word of each help text reaches the reader, in
// its order, whatever roff would otherwise take for a request, an escape or a hyphen.

#include "ManPage.h"
#include "ToolDocs.h"
#include "cli/ToolCommands.h"

#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

struct Rendered {
    QStringList words;
    QString warnings;
};

// The page as man shows it, without formatting, hyphenation or line breaks within a paragraph.
Rendered render(const QString& roff)
{
    QProcess groff;
    groff.start(QStringLiteral("groff"), {QStringLiteral("-k"), QStringLiteral("-man"), QStringLiteral("-Tutf8"),
                                          QStringLiteral("-ww"), QStringLiteral("-P-cbou"), QStringLiteral("-rHY=0"),
                                          QStringLiteral("-rLL=400n")});
    groff.write(roff.toUtf8());
    groff.closeWriteChannel();
    EXPECT_TRUE(groff.waitForFinished(30000));
    QStringList words = QString::fromUtf8(groff.readAllStandardOutput())
                            .toLower()
                            .split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    for (QString& word : words) {
        if (word.endsWith(u':'))
            word.chop(1);
    }
    return {words, QString::fromUtf8(groff.readAllStandardError())};
}

// The words a reader must find, compared without case and without a colon at their end: a
// heading is printed in capitals, without its colon.
QStringList wordsOf(const QString& help)
{
    QStringList words = help.toLower().split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (words.value(0) == QLatin1String("usage:"))
        words.removeFirst();
    for (QString& word : words) {
        if (word.endsWith(u':'))
            word.chop(1);
    }
    return words;
}

// The first word of `words` that is not found, in order, in `page`; empty when all are.
QString firstMissing(const QStringList& words, const QStringList& page)
{
    qsizetype at = 0;
    for (const QString& word : words) {
        while (at < page.size() && page[at] != word)
            ++at;
        if (at == page.size())
            return word;
        ++at;
    }
    return {};
}

const char* const awkwardHelp =
    "Usage: prog [-x] FILE...\n"
    "Does one thing.\n"
    ".starts with a dot, and then\n"
    "'starts with a quote; a back\\slash, \\fB and \\- stay; -5, --long and a-b too.\n"
    "\n"
    "Options:\n"
    "  -x, --extra N  .a dot first\n"
    "                 'a quote first \\n\n"
    "  \\e            \"quoted\"\n"
    "\n"
    "Notes: one line of them.\n";

TEST(ManPage, EveryWordOfItsHelpsReachesTheReaderWithoutAWarning)
{
    ManPage awkward;
    awkward.name = QStringLiteral("prog");
    awkward.help = HelpText::parse(QString::fromUtf8(awkwardHelp));
    awkward.commandHelps = {HelpText::parse(QString::fromUtf8(awkwardHelp))};

    const QList<std::pair<ManPage, QStringList>> pages{
        {ToolDocs::toolManPage(QStringLiteral("1.2.3"), QStringLiteral("2026-01-02")), [] {
             QStringList helps{QString::fromUtf8(ToolCommands::usageText)};
             for (const ToolCommands::Command& command : ToolCommands::commands())
                 helps.append(QString::fromUtf8(command.help));
             return helps;
         }()},
        {awkward, {QString::fromUtf8(awkwardHelp)}},
    };
    for (const auto& [page, helps] : pages) {
        const Rendered rendered = render(page.toRoff());
        EXPECT_TRUE(rendered.warnings.isEmpty()) << qPrintable(rendered.warnings);
        for (const QString& help : helps) {
            const QString missing = firstMissing(wordsOf(help), rendered.words);
            EXPECT_TRUE(missing.isEmpty()) << "missing \"" << qPrintable(missing) << "\" in\n" << qPrintable(page.toRoff());
        }
    }
}

TEST(ManPage, NamesTheProgramAndWhatItDoesWhereWhatisReadsIt)
{
    const QString roff = ToolDocs::toolManPage(QStringLiteral("1.2.3"), QStringLiteral("2026-01-02")).toRoff();
    EXPECT_TRUE(roff.contains(QStringLiteral(".TH \"TARV\" \"1\" \"2026-01-02\" \"Tarv 1.2.3\"")));
    EXPECT_TRUE(roff.contains(QStringLiteral(".SH NAME\ntarv \\- talks to the running Tarv application\n")));
}

}  // namespace
