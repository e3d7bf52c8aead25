#pragma once
// A music player as MPRIS 2 clients see it: the two interfaces on /org/mpris/MediaPlayer2
// under the bus name org.mpris.MediaPlayer2.<name>, on its own connection. The test (or
// the fake player tool) sets what it plays and sees the seeks it is asked for.

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace TarvFake {

class FakeMprisPlayer : public QObject {
    Q_OBJECT
public:
    struct Track {
        QString id;  // an object path
        QString title;
        QStringList artists;
        qlonglong lengthUs = 0;
        QString artUrl;
    };
    struct SeekCall {
        QString trackID;
        qlonglong positionUs = 0;
    };

    FakeMprisPlayer(QString busName, QString identity, QObject* parent = nullptr);
    ~FakeMprisPlayer() override;

    // Connects to the bus at `address`, exports the object and takes the bus name.
    bool start(const QString& address);

    void setTrack(const Track& track);
    // "Playing", "Paused" or "Stopped".
    void setStatus(const QString& status) { m_status = status; }
    void setPositionUs(qlonglong position) { m_positionUs = position; }
    // Answers SetPosition with an error from now on.
    void setRefusesSeeks(bool refuses) { m_refusesSeeks = refuses; }

    const QString& busName() const { return m_busName; }
    const QList<SeekCall>& seekCalls() const { return m_seekCalls; }
    qlonglong positionUs() const { return m_positionUs; }

    // What the adaptors read and do.
    const QString& identity() const { return m_identity; }
    const QString& status() const { return m_status; }
    QVariantMap metadata() const;
    bool takeSeek(const QDBusObjectPath& trackID, qlonglong positionUs);

private:
    QString m_busName;
    QString m_identity;
    QString m_connectionName;
    Track m_track;
    QString m_status = QStringLiteral("Stopped");
    qlonglong m_positionUs = 0;
    bool m_refusesSeeks = false;
    QList<SeekCall> m_seekCalls;
};

}  // namespace TarvFake
