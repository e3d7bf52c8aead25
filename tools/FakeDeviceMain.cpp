// tarv-fake-device: opens a pseudo-terminal, prints its path (and with --port-file PATH also
// writes it, with a newline, to PATH, whole or not at all), greets with HELLO and plays the
// device. Commands on standard input, one per line:
//   hello | touch X Y PHASE | tap X Y | swipe X0 Y0 X1 Y1 | button ID PHASE | log LEVEL TEXT |
//   garbage | stall | read | quit
// garbage sends bytes that decode to no frame, then a piece longer than any frame. stall
// stops reading what the desktop sends (a hung device still plugged in); read resumes.
// PHASE is down, move or up; LEVEL is debug, info, warn or error. Every frame received is
// printed as one line, followed by any problem it caused. Standard input reaching its end stops the commands, not the device.

#include "support/FakeDevice.h"
#include "support/StdinLines.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QSaveFile>
#include <QTextStream>

#include <cstdio>
#include <optional>

using namespace TarvUSB;

namespace {

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

void say(const QString& line) { out() << line << Qt::endl; }

std::optional<std::uint16_t> number(const QString& text)
{
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value > 0xFFFF)
        return std::nullopt;
    return std::uint16_t(value);
}

template <class E>
std::optional<E> word(const QString& text, std::initializer_list<const char*> names)
{
    int code = 0;
    for (const char* name : names) {
        if (text == QLatin1String(name))
            return E(code);
        ++code;
    }
    return std::nullopt;
}

// Runs one command line; false for quit.
bool runCommand(TarvFake::FakeDevice& device, const QString& line)
{
    const QStringList words = line.split(u' ', Qt::SkipEmptyParts);
    if (words.isEmpty())
        return true;
    const QString& command = words[0];
    QList<std::uint16_t> args;
    for (qsizetype k = 1; k < words.size(); ++k)
        if (const auto n = number(words[k]))
            args.append(*n);
    const auto usage = [](const char* text) { say(QStringLiteral("usage: ") + QLatin1String(text)); };

    if (command == QLatin1String("quit"))
        return false;
    if (command == QLatin1String("hello")) {
        device.sendHello();
    } else if (command == QLatin1String("stall")) {
        device.setReading(false);
    } else if (command == QLatin1String("read")) {
        device.setReading(true);
    } else if (command == QLatin1String("garbage")) {
        device.sendBytes(QByteArray::fromHex("02ff03c1c2c300"));
        device.sendBytes(QByteArray(9000, '\x41') + QByteArray(1, '\0'));
    } else if (command == QLatin1String("touch")) {
        const auto phase = words.size() == 4 ? word<TouchPhase>(words[3], {"down", "move", "up"}) : std::nullopt;
        if (args.size() != 2 || !phase)
            usage("touch X Y down|move|up");
        else
            device.sendTouch(args[0], args[1], *phase);
    } else if (command == QLatin1String("tap")) {
        if (args.size() != 2 || words.size() != 3)
            usage("tap X Y");
        else
            device.tap(args[0], args[1]);
    } else if (command == QLatin1String("swipe")) {
        if (args.size() != 4 || words.size() != 5)
            usage("swipe X0 Y0 X1 Y1");
        else
            device.swipe(args[0], args[1], args[2], args[3]);
    } else if (command == QLatin1String("button")) {
        const auto phase = words.size() == 3 ? word<ButtonPhase>(words[2], {"down", "up"}) : std::nullopt;
        if (args.size() != 1 || !phase)
            usage("button ID down|up");
        else
            device.sendButton(args[0], *phase);
    } else if (command == QLatin1String("log")) {
        const auto level = words.size() >= 2 ? word<LogLevel>(words[1], {"debug", "info", "warn", "error"}) : std::nullopt;
        if (!level)
            usage("log debug|info|warn|error TEXT");
        else
            device.sendLog(*level, line.section(u' ', 2, -1, QString::SectionSkipEmpty));
    } else {
        say(QStringLiteral("unknown command: ") + command);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    // A GUI application without a display: the snapshots draw texts in the device's fonts.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarv-fake-device"));

    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("Plays the Tarv device on a pseudo-terminal."));
    options.addHelpOption();
    const QCommandLineOption firmware(QStringLiteral("fw"), QStringLiteral("Firmware text of HELLO."), QStringLiteral("text"),
                                      QStringLiteral("fake-1.0"));
    const QCommandLineOption protocol(QStringLiteral("pv"), QStringLiteral("Protocol version of HELLO."), QStringLiteral("n"),
                                      QStringLiteral("1"));
    const QCommandLineOption noHello(QStringLiteral("no-hello"), QStringLiteral("Do not greet at start."));
    const QCommandLineOption noAckPatch(QStringLiteral("no-ack-patch"), QStringLiteral("Do not acknowledge PATCH frames."));
    const QCommandLineOption noAckAsset(QStringLiteral("no-ack-asset"), QStringLiteral("Do not acknowledge ASSET frames."));
    const QCommandLineOption noAckPing(QStringLiteral("no-ack-ping"), QStringLiteral("Do not acknowledge PINGs."));
    const QCommandLineOption portFile(QStringLiteral("port-file"),
                                      QStringLiteral("Write the port's path to this file once the port is open."),
                                      QStringLiteral("path"));
    options.addOptions({firmware, protocol, noHello, noAckPatch, noAckAsset, noAckPing, portFile});
    options.process(app);

    const auto pv = number(options.value(protocol));
    if (!pv) {
        std::fputs("tarv-fake-device: --pv takes a number from 0 to 65535\n", stderr);
        return 2;
    }
    TarvFake::FakeDevice device(TarvFake::FakeDevice::Options{options.value(firmware), *pv, 8u << 20});
    device.ackPatches = !options.isSet(noAckPatch);
    device.ackAssets = !options.isSet(noAckAsset);
    device.ackPings = !options.isSet(noAckPing);
    qsizetype problemsShown = 0;
    device.onFrame = [&device, &problemsShown](const Frame& frame) {
        say(TarvFake::describeReceived(frame));
        const QStringList problems = device.problems();
        for (; problemsShown < problems.size(); ++problemsShown)
            say(QStringLiteral("problem: ") + problems[problemsShown]);
    };
    if (!device.start()) {
        std::fprintf(stderr, "tarv-fake-device: %s\n", qPrintable(device.lastError()));
        return 1;
    }
    say(device.portPath());
    // Written beside and renamed into place, so a reader waiting for the file never sees half
    // a line; standard output may carry Qt's warnings before the path.
    if (options.isSet(portFile)) {
        QSaveFile file(options.value(portFile));
        if (!file.open(QIODevice::WriteOnly) || file.write(device.portPath().toUtf8() + '\n') < 0 || !file.commit()) {
            std::fprintf(stderr, "tarv-fake-device: cannot write %s: %s\n", qPrintable(file.fileName()),
                         qPrintable(file.errorString()));
            return 1;
        }
    }
    if (!options.isSet(noHello))
        device.sendHello();

    const StdinLines input([&device](const QByteArray& line) {
        if (runCommand(device, QString::fromUtf8(line)))
            return true;
        QCoreApplication::quit();
        return false;
    });
    return QCoreApplication::exec();
}
