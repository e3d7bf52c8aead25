// tarv-fake-player: a music player on the session bus (DBUS_SESSION_BUS_ADDRESS) as MPRIS
// clients see it, for running the application without a real player (a development tool,
// not installed). It plays one track from the start, or holds it paused, until stopped.
//   tarv-fake-player [--name NAME] [--identity TEXT] [--title TEXT] [--artist TEXT]
//                    [--length SECONDS] [--art URL] [--paused]

#include "support/FakeMprisPlayer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser options;
    options.addHelpOption();
    const QCommandLineOption name(QStringLiteral("name"), QStringLiteral("Bus name suffix."), QStringLiteral("NAME"),
                                  QStringLiteral("tarvfake"));
    const QCommandLineOption identity(QStringLiteral("identity"), QStringLiteral("Player name."),
                                      QStringLiteral("TEXT"), QStringLiteral("Fake Player"));
    const QCommandLineOption title(QStringLiteral("title"), QStringLiteral("Track title."), QStringLiteral("TEXT"),
                                   QStringLiteral("Blue in Green"));
    const QCommandLineOption artist(QStringLiteral("artist"), QStringLiteral("Track artist."), QStringLiteral("TEXT"),
                                    QStringLiteral("The Fake Quartet"));
    const QCommandLineOption length(QStringLiteral("length"), QStringLiteral("Track length in seconds."),
                                    QStringLiteral("SECONDS"), QStringLiteral("337"));
    const QCommandLineOption art(QStringLiteral("art"), QStringLiteral("Artwork URL."), QStringLiteral("URL"));
    const QCommandLineOption paused(QStringLiteral("paused"), QStringLiteral("Hold the track paused."));
    options.addOptions({name, identity, title, artist, length, art, paused});
    options.process(app);

    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    TarvFake::FakeMprisPlayer player(QStringLiteral("org.mpris.MediaPlayer2.") + options.value(name),
                                     options.value(identity));
    if (address.isEmpty() || !player.start(QString::fromUtf8(address))) {
        std::fputs("tarv-fake-player: no session bus to join\n", stderr);
        return 1;
    }
    const auto lengthUs = qlonglong(options.value(length).toDouble() * 1e6);
    player.setTrack({QStringLiteral("/org/tarv/fake/track/1"), options.value(title), {options.value(artist)}, lengthUs,
                     options.value(art)});
    player.setStatus(options.isSet(paused) ? QStringLiteral("Paused") : QStringLiteral("Playing"));

    // The position runs with the clock while playing, from wherever a seek put it; a track of
    // length 0 stands for a stream and runs on without an end.
    QElapsedTimer clock;
    clock.start();
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 ms = clock.restart();
        if (player.status() == QLatin1String("Playing")) {
            const qint64 position = player.positionUs() + ms * 1000;
            player.setPositionUs(lengthUs > 0 ? std::min(lengthUs, position) : position);
        }
    });
    ticker.start(250);
    std::printf("playing on %s\n", address.constData());
    std::fflush(stdout);
    return QCoreApplication::exec();
}
