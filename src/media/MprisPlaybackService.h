#pragma once
// The music players of the desktop over MPRIS 2 on a D-Bus bus. Spotify is known by its bus
// name; any other player that plays or is paused is asked first. Every call is asynchronous.

#include "media/MediaPlaybackService.h"

#include <QDBusConnection>
#include <QHash>
#include <QString>
#include <QVariantMap>

#include <memory>
#include <optional>

class MprisPlaybackService final : public MediaPlaybackService {
public:
    static constexpr int callTimeoutMs = 2000;
    static inline const QString busPrefix = QStringLiteral("org.mpris.MediaPlayer2.");
    static inline const QString spotifyBusName = QStringLiteral("org.mpris.MediaPlayer2.spotify");

    explicit MprisPlaybackService(QDBusConnection bus);

    void nowPlaying(QObject* context, StateHandler done) override;
    void seek(QObject* context, const NowPlayingState& playing, double seconds, SeekHandler done) override;

    // One player's answer: the bus name and the properties of its Player interface.
    struct Answer {
        QString busName;
        QVariantMap properties;
    };
    // The player the page follows: the first other player that plays, else the first other
    // one that is paused, else Spotify when it plays or is paused. The answers come in bus
    // name order.
    static std::optional<Answer> choose(const QList<Answer>& answers);
    // The state of one player's properties (PlaybackStatus, Metadata, Position); none when
    // it is stopped or gives no status.
    static std::optional<NowPlayingState> stateFrom(const Answer& answer, const QString& identity);

private:
    QDBusConnection m_bus;
    // Which bus name each player name answered from at the last poll; seeking goes there.
    std::shared_ptr<QHash<QString, QString>> m_busByPlayer = std::make_shared<QHash<QString, QString>>();
};
