#include "support/FakeMprisPlayer.h"

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>

#include <atomic>

namespace TarvFake {

namespace {

class RootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(bool CanQuit READ no)
    Q_PROPERTY(bool CanRaise READ no)
    Q_PROPERTY(bool HasTrackList READ no)
    Q_PROPERTY(QStringList SupportedUriSchemes READ none)
    Q_PROPERTY(QStringList SupportedMimeTypes READ none)
public:
    explicit RootAdaptor(FakeMprisPlayer* player) : QDBusAbstractAdaptor(player), m_player(player) {}
    QString identity() const { return m_player->identity(); }
    bool no() const { return false; }
    QStringList none() const { return {}; }

private:
    FakeMprisPlayer* m_player;
};

class PlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(double Rate READ rate)
    Q_PROPERTY(bool CanSeek READ yes)
    Q_PROPERTY(bool CanControl READ yes)
public:
    explicit PlayerAdaptor(FakeMprisPlayer* player) : QDBusAbstractAdaptor(player), m_player(player) {}
    QString playbackStatus() const { return m_player->status(); }
    QVariantMap metadata() const { return m_player->metadata(); }
    qlonglong position() const { return m_player->positionUs(); }
    double rate() const { return 1.0; }
    bool yes() const { return true; }

public slots:
    void SetPosition(const QDBusObjectPath& trackID, qlonglong position, const QDBusMessage& message)
    {
        if (!m_player->takeSeek(trackID, position)) {
            message.setDelayedReply(true);
            m_connection.send(message.createErrorReply(QDBusError::NotSupported, QStringLiteral("no seeking")));
        }
    }

public:
    QDBusConnection m_connection{QString()};

private:
    FakeMprisPlayer* m_player;
};

std::atomic<int> connectionCount{0};

}  // namespace

FakeMprisPlayer::FakeMprisPlayer(QString busName, QString identity, QObject* parent)
    : QObject(parent),
      m_busName(std::move(busName)),
      m_identity(std::move(identity)),
      m_connectionName(QStringLiteral("tarv-fake-player-%1").arg(++connectionCount))
{
    new RootAdaptor(this);
    new PlayerAdaptor(this);
}

FakeMprisPlayer::~FakeMprisPlayer()
{
    QDBusConnection::disconnectFromBus(m_connectionName);
}

bool FakeMprisPlayer::start(const QString& address)
{
    QDBusConnection bus = QDBusConnection::connectToBus(address, m_connectionName);
    if (!bus.isConnected())
        return false;
    findChild<PlayerAdaptor*>()->m_connection = bus;
    return bus.registerObject(QStringLiteral("/org/mpris/MediaPlayer2"), this, QDBusConnection::ExportAdaptors) &&
           bus.registerService(m_busName);
}

void FakeMprisPlayer::setTrack(const Track& track)
{
    m_track = track;
    m_positionUs = 0;
}

QVariantMap FakeMprisPlayer::metadata() const
{
    QVariantMap map;
    if (m_track.id.isEmpty())
        return map;
    map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(m_track.id)));
    map.insert(QStringLiteral("xesam:title"), m_track.title);
    map.insert(QStringLiteral("xesam:artist"), m_track.artists);
    map.insert(QStringLiteral("mpris:length"), m_track.lengthUs);
    if (!m_track.artUrl.isEmpty())
        map.insert(QStringLiteral("mpris:artUrl"), m_track.artUrl);
    return map;
}

bool FakeMprisPlayer::takeSeek(const QDBusObjectPath& trackID, qlonglong positionUs)
{
    m_seekCalls.append({trackID.path(), positionUs});
    if (m_refusesSeeks)
        return false;
    // A seek meant for another track is stale and ignored, as players do.
    if (trackID.path() == m_track.id && positionUs >= 0 && positionUs <= m_track.lengthUs)
        m_positionUs = positionUs;
    return true;
}

}  // namespace TarvFake

#include "FakeMprisPlayer.moc"
