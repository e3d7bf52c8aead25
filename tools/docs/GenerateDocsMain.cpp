// tarv_gen_docs: writes the manual pages tarv.1 and tarv-app.1 and the completion of tarv for
// bash, zsh and fish into a folder, at build time.
//
//   tarv_gen_docs --version 0.1.0 --date 2026-12-09 --app PATH/tarv-app --out FOLDER

#include "ToolDocs.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QSaveFile>

#include <cstdio>

namespace {

bool write(const QString& path, const QString& text)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit()) {
        std::fprintf(stderr, "tarv_gen_docs: cannot write %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QHash<QString, QString> options;
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i + 1 < arguments.size(); i += 2)
        options.insert(arguments[i], arguments[i + 1]);
    const QString version = options.value(QStringLiteral("--version"));
    const QString date = options.value(QStringLiteral("--date"));
    const QString app = options.value(QStringLiteral("--app"));
    const QDir out(options.value(QStringLiteral("--out")));
    if (arguments.size() != 9 || version.isEmpty() || date.isEmpty() || app.isEmpty() || out.path().isEmpty()) {
        std::fputs("usage: tarv_gen_docs --version VERSION --date YYYY-MM-DD --app TARV_APP --out FOLDER\n", stderr);
        return 2;
    }

    QProcess help;
    help.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    help.start(app, {QStringLiteral("--help")});
    if (!help.waitForFinished(60000) || help.exitStatus() != QProcess::NormalExit || help.exitCode() != 0) {
        std::fprintf(stderr, "tarv_gen_docs: %s --help failed: %s\n", qPrintable(app), qPrintable(help.errorString()));
        return 1;
    }
    const QString appHelp = QString::fromUtf8(help.readAllStandardOutput());

    const Completion completion = ToolDocs::toolCompletion();
    const bool written = write(out.filePath(QStringLiteral("tarv.1")), ToolDocs::toolManPage(version, date).toRoff())
                         && write(out.filePath(QStringLiteral("tarv-app.1")),
                                  ToolDocs::appManPage(appHelp, version, date).toRoff())
                         && write(out.filePath(QStringLiteral("tarv.bash")), completion.bash())
                         && write(out.filePath(QStringLiteral("_tarv")), completion.zsh())
                         && write(out.filePath(QStringLiteral("tarv.fish")), completion.fish());
    return written ? 0 : 1;
}
