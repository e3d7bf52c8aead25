#include "media/MprisPlaybackService.h"
#include "media/UrlArtworkService.h"
#include "support/FakeMprisPlayer.h"
#include "support/PrivateSessionBus.h"
#include "support/WaitUntil.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

using TarvFake::FakeMprisPlayer;

namespace {

const QString clientConnection = QStringLiteral("tarv-media-test-client");

class MprisTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        bus = new TarvFake::PrivateSessionBus;
        if (!bus->start())
            FAIL() << bus->lastError().toStdString();
    }
    static void TearDownTestSuite()
    {
        QDBusConnection::disconnectFromBus(clientConnection);
        delete bus;
        bus = nullptr;
    }

    void TearDown() override { players.clear(); }

    FakeMprisPlayer& addPlayer(const QString& suffix, const QString& identity)
    {
        players.push_back(std::make_unique<FakeMprisPlayer>(MprisPlaybackService::busPrefix + suffix, identity));
        EXPECT_TRUE(players.back()->start(bus->address()));
        return *players.back();
    }

    static FakeMprisPlayer::Track track(const QString& id, const QString& title)
    {
        return {QStringLiteral("/org/tarv/track/") + id, title, {QStringLiteral("First"), QStringLiteral("Second")},
                245'000'000, QStringLiteral("file:///tmp/") + id + QStringLiteral(".png")};
    }

    NowPlayingState poll()
    {
        std::optional<NowPlayingState> answer;
        service.nowPlaying(&context, [&](const NowPlayingState& state) { answer = state; });
        EXPECT_TRUE(waitUntil([&] { return answer.has_value(); }));
        return answer.value_or(NowPlayingState());
    }

    std::optional<bool> seek(const NowPlayingState& playing, double seconds)
    {
        std::optional<bool> accepted;
        service.seek(&context, playing, seconds, [&](bool ok) { accepted = ok; });
        EXPECT_TRUE(waitUntil([&] { return accepted.has_value(); }));
        return accepted;
    }

    static inline TarvFake::PrivateSessionBus* bus = nullptr;
    QObject context;
    MprisPlaybackService service{QDBusConnection::connectToBus(bus->address(), clientConnection)};
    std::vector<std::unique_ptr<FakeMprisPlayer>> players;
};

TEST_F(MprisTest, APlayingPlayerGivesItsTrackPositionAndName)
{
    EXPECT_EQ(poll(), NowPlayingState::idle()) << "no player on the bus";

    FakeMprisPlayer& player = addPlayer(QStringLiteral("fakeplayer"), QStringLiteral("Fake Player"));
    player.setTrack(track(QStringLiteral("one"), QStringLiteral("Blue Monday")));
    player.setPositionUs(61'500'000);
    player.setStatus(QStringLiteral("Playing"));

    const NowPlayingState state = poll();
    EXPECT_EQ(state.source, NowPlayingState::Source::musicPlayer);
    EXPECT_EQ(state.player, QStringLiteral("Fake Player"));
    EXPECT_EQ(state.title, QStringLiteral("Blue Monday"));
    EXPECT_EQ(state.artist, QStringLiteral("First, Second"));
    EXPECT_DOUBLE_EQ(state.duration, 245.0);
    EXPECT_DOUBLE_EQ(state.elapsed, 61.5);
    EXPECT_TRUE(state.isPlaying);
    EXPECT_EQ(state.artworkID, QStringLiteral("/org/tarv/track/one"));
    EXPECT_EQ(state.artworkURL, QStringLiteral("file:///tmp/one.png"));
    EXPECT_EQ(state.artworkKey(), QStringLiteral("Fake Player:/org/tarv/track/one\nfile:///tmp/one.png"));

    // Pausing, changing tracks and stopping.
    player.setStatus(QStringLiteral("Paused"));
    EXPECT_FALSE(poll().isPlaying);
    player.setTrack(track(QStringLiteral("two"), QStringLiteral("Age of Consent")));
    EXPECT_EQ(poll().artworkKey(), QStringLiteral("Fake Player:/org/tarv/track/two\nfile:///tmp/two.png"));
    player.setStatus(QStringLiteral("Stopped"));
    EXPECT_EQ(poll(), NowPlayingState::idle());
}

TEST_F(MprisTest, AnotherPlayerComesBeforeSpotifyAndPlayingBeforePaused)
{
    FakeMprisPlayer& spotify = addPlayer(QStringLiteral("spotify"), QStringLiteral("Spotify"));
    spotify.setTrack(track(QStringLiteral("s"), QStringLiteral("From Spotify")));
    spotify.setStatus(QStringLiteral("Playing"));
    NowPlayingState state = poll();
    EXPECT_EQ(state.source, NowPlayingState::Source::spotify);
    EXPECT_EQ(state.artworkKey(), QStringLiteral("Spotify:/org/tarv/track/s\nfile:///tmp/s.png"));

    FakeMprisPlayer& paused = addPlayer(QStringLiteral("apaused"), QStringLiteral("Paused One"));
    paused.setTrack(track(QStringLiteral("p"), QStringLiteral("Paused Track")));
    paused.setStatus(QStringLiteral("Paused"));
    EXPECT_EQ(poll().title, QStringLiteral("Paused Track")) << "the other player is asked first, even paused";

    FakeMprisPlayer& playing = addPlayer(QStringLiteral("zplaying"), QStringLiteral("Playing One"));
    playing.setTrack(track(QStringLiteral("q"), QStringLiteral("Playing Track")));
    playing.setStatus(QStringLiteral("Playing"));
    EXPECT_EQ(poll().title, QStringLiteral("Playing Track"));

    addPlayer(QStringLiteral("stopped"), QStringLiteral("Stopped One"));  // stopped: never chosen
    playing.setStatus(QStringLiteral("Stopped"));
    paused.setStatus(QStringLiteral("Stopped"));
    EXPECT_EQ(poll().source, NowPlayingState::Source::spotify);
}

TEST_F(MprisTest, SeekingSetsThePositionInTheTrackOfThePlayerThatAnswered)
{
    FakeMprisPlayer& player = addPlayer(QStringLiteral("seeker"), QStringLiteral("Seeker"));
    player.setTrack(track(QStringLiteral("one"), QStringLiteral("One")));
    player.setStatus(QStringLiteral("Playing"));
    const NowPlayingState state = poll();

    EXPECT_EQ(seek(state, 100.25), true);
    ASSERT_EQ(player.seekCalls().size(), 1);
    EXPECT_EQ(player.seekCalls()[0].trackID, QStringLiteral("/org/tarv/track/one"));
    EXPECT_EQ(player.seekCalls()[0].positionUs, 100'250'000);
    EXPECT_DOUBLE_EQ(poll().elapsed, 100.25);

    EXPECT_EQ(seek(state, -4), true);
    EXPECT_EQ(player.seekCalls().last().positionUs, 0) << "before the start is the start";

    // The track has changed since: the player ignores a position meant for the old one.
    player.setTrack(track(QStringLiteral("two"), QStringLiteral("Two")));
    player.setPositionUs(5'000'000);
    EXPECT_EQ(seek(state, 200), true);
    EXPECT_EQ(player.seekCalls().last().trackID, QStringLiteral("/org/tarv/track/one"));
    EXPECT_DOUBLE_EQ(poll().elapsed, 5.0) << "the new track plays on where it was";

    player.setRefusesSeeks(true);
    EXPECT_EQ(seek(state, 10), false);
    EXPECT_EQ(seek(NowPlayingState::idle(), 10), false) << "no player, no seek";
    NowPlayingState withoutTrack = state;
    withoutTrack.artworkID.clear();
    EXPECT_EQ(seek(withoutTrack, 10), false) << "a position needs its track";
}

// --- Artwork ---------------------------------------------------------------------------------

QByteArray pngOf(int side, QColor color)
{
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// Answers every request on 127.0.0.1 with one fixed response.
class OneAnswerServer {
public:
    explicit OneAnswerServer(QByteArray response) : m_response(std::move(response))
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->readAll().contains("\r\n\r\n"))
                        return;
                    socket->write(m_response);
                    socket->disconnectFromHost();
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        m_server.listen(QHostAddress::LocalHost);
    }
    QString url(const QString& path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path);
    }

private:
    QTcpServer m_server;
    QByteArray m_response;
};

QByteArray httpResponse(const QByteArray& status, const QByteArray& body, const QByteArray& type = "image/png")
{
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + type + "\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

class ArtworkTest : public ::testing::Test {
protected:
    std::optional<NowPlayingBackdrop> fetch(const QString& url)
    {
        NowPlayingState state;
        state.source = NowPlayingState::Source::musicPlayer;
        state.artworkID = QStringLiteral("/t/1");
        state.artworkURL = url;
        bool answered = false;
        std::optional<NowPlayingBackdrop> result;
        service.fetchArtwork(&context, state, [&](const std::optional<NowPlayingBackdrop>& backdrop) {
            answered = true;
            result = backdrop;
        });
        EXPECT_FALSE(answered) << "the answer never comes before the call returns";
        EXPECT_TRUE(waitUntil([&] { return answered; }, 15000));
        return result;
    }

    QObject context;
    UrlArtworkService service;
    QTemporaryDir dir;
};

TEST_F(ArtworkTest, AFileOrAnHttpBodyThatIsAnImageGivesTheBackdrop)
{
    const QString path = dir.filePath(QStringLiteral("cover.png"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(pngOf(64, QColor(30, 60, 220)));
    file.close();
    const auto fromFile = fetch(QUrl::fromLocalFile(path).toString());
    ASSERT_TRUE(fromFile);
    EXPECT_EQ(fromFile->pixels.size(), 307200);

    OneAnswerServer server(httpResponse("200 OK", pngOf(64, QColor(30, 60, 220))));
    const auto fromServer = fetch(server.url(QStringLiteral("/cover.png")));
    ASSERT_TRUE(fromServer);
    EXPECT_EQ(*fromServer, *fromFile);
}

TEST_F(ArtworkTest, WhatIsNoImageOrTooLargeOrElsewhereGivesNone)
{
    EXPECT_FALSE(fetch(QUrl::fromLocalFile(dir.filePath(QStringLiteral("missing.png"))).toString()));
    EXPECT_FALSE(fetch(QStringLiteral("ftp://127.0.0.1/cover.png"))) << "other schemes are not fetched";
    EXPECT_FALSE(fetch(QStringLiteral("data:image/png;base64,AAAA")));
    EXPECT_FALSE(fetch(QString()));

    OneAnswerServer notFound(httpResponse("404 Not Found", "<html>gone</html>", "text/html"));
    EXPECT_FALSE(fetch(notFound.url(QStringLiteral("/cover.png"))));

    // A body past the cap is cut off, even when it would be an image.
    QByteArray huge = pngOf(64, Qt::red);
    huge.append(QByteArray(UrlArtworkService::maxBytes, '\0'));
    OneAnswerServer tooLarge(httpResponse("200 OK", huge));
    EXPECT_FALSE(fetch(tooLarge.url(QStringLiteral("/huge.png"))));

    const QString bigFile = dir.filePath(QStringLiteral("big.png"));
    QFile file(bigFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(huge);
    file.close();
    EXPECT_FALSE(fetch(QUrl::fromLocalFile(bigFile).toString()));
}

// A player may change its track's artwork faster than a server sends it: the download of the
// artwork it replaced ends, so one download at most is under way, whatever the player does.
TEST_F(ArtworkTest, ANewerTracksArtworkEndsTheDownloadItReplaces)
{
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    QList<QPointer<QTcpSocket>> connections;
    QObject::connect(&silent, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* socket = silent.nextPendingConnection())
            connections.append(socket);
    });
    NowPlayingState state;
    state.source = NowPlayingState::Source::musicPlayer;
    for (const qsizetype asked : {1, 2}) {
        state.artworkID = QStringLiteral("/t/%1").arg(asked);
        state.artworkURL = QStringLiteral("http://127.0.0.1:%1%2.png").arg(silent.serverPort()).arg(state.artworkID);
        service.fetchArtwork(&context, state, [](const std::optional<NowPlayingBackdrop>&) {});
        ASSERT_TRUE(waitUntil([&] { return connections.size() == asked && connections.last()->bytesAvailable() > 0; }));
    }
    EXPECT_TRUE(waitUntil([&] { return connections[0]->state() == QAbstractSocket::UnconnectedState; }, 2000));
    EXPECT_EQ(connections[1]->state(), QAbstractSocket::ConnectedState);
}

}  // namespace
