#include "media/MprisPlaybackService.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>

#include <algorithm>
#include <cmath>

namespace {

const QString playerPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString rootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
// The track id a player gives when it has no track.
const QString noTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
constexpr double microseconds = 1e6;

// Nested dictionaries arrive still marshalled inside their variant.
QVariantMap mapOf(const QVariant& value)
{
    if (value.canConvert<QDBusArgument>())
        return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    return value.toMap();
}

QString textOf(const QVariant& value)
{
    if (value.canConvert<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    if (value.canConvert<QDBusArgument>()) {
        const QDBusArgument argument = value.value<QDBusArgument>();
        if (argument.currentSignature() == QLatin1String("as"))
            return qdbus_cast<QStringList>(argument).join(QStringLiteral(", "));
        return {};
    }
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

// Players disagree on the integer type of lengths and positions; anything numeric is read.
double secondsOf(const QVariant& value)
{
    bool ok = false;
    const double us = value.toDouble(&ok);
    return ok && std::isfinite(us) ? std::max(0.0, us / microseconds) : 0.0;
}

QString statusOf(const MprisPlaybackService::Answer& answer)
{
    return answer.properties.value(QStringLiteral("PlaybackStatus")).toString();
}

// One pass of the query; it lives as long as its calls are outstanding.
struct Poll {
    QDBusConnection bus;
    QPointer<QObject> context;
    MediaPlaybackService::StateHandler done;
    std::shared_ptr<QHash<QString, QString>> busByPlayer;
    QList<MprisPlaybackService::Answer> answers;
    int outstanding = 0;

    void finish(const NowPlayingState& state) const
    {
        if (context)
            done(state);
    }
};

QDBusPendingCallWatcher* call(const std::shared_ptr<Poll>& poll, const QDBusMessage& message)
{
    return new QDBusPendingCallWatcher(poll->bus.asyncCall(message, MprisPlaybackService::callTimeoutMs),
                                       poll->context);
}

void askIdentity(const std::shared_ptr<Poll>& poll, const MprisPlaybackService::Answer& chosen)
{
    QDBusMessage get = QDBusMessage::createMethodCall(chosen.busName, playerPath, propertiesInterface,
                                                      QStringLiteral("Get"));
    get << rootInterface << QStringLiteral("Identity");
    QDBusPendingCallWatcher* watcher = call(poll, get);
    const auto answered = [poll, chosen](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *w;
        // A player without a name is called by the end of its bus name.
        QString identity = reply.isValid() ? reply.value().variant().toString() : QString();
        if (identity.isEmpty())
            identity = chosen.busName.mid(MprisPlaybackService::busPrefix.size());
        const std::optional<NowPlayingState> state = MprisPlaybackService::stateFrom(chosen, identity);
        if (state)
            poll->busByPlayer->insert(state->playerName(), chosen.busName);
        poll->finish(state.value_or(NowPlayingState::idle()));
    };
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, poll->context, answered);
}

void decide(const std::shared_ptr<Poll>& poll)
{
    std::sort(poll->answers.begin(), poll->answers.end(),
              [](const auto& a, const auto& b) { return a.busName < b.busName; });
    const std::optional<MprisPlaybackService::Answer> chosen = MprisPlaybackService::choose(poll->answers);
    if (!chosen) {
        poll->finish(NowPlayingState::idle());
        return;
    }
    if (chosen->busName == MprisPlaybackService::spotifyBusName) {
        const auto state = MprisPlaybackService::stateFrom(*chosen, QStringLiteral("Spotify"));
        poll->finish(state.value_or(NowPlayingState::idle()));
        return;
    }
    askIdentity(poll, *chosen);
}

void askPlayers(const std::shared_ptr<Poll>& poll, const QStringList& names)
{
    for (const QString& name : names) {
        if (!name.startsWith(MprisPlaybackService::busPrefix))
            continue;
        QDBusMessage getAll = QDBusMessage::createMethodCall(name, playerPath, propertiesInterface,
                                                             QStringLiteral("GetAll"));
        getAll << playerInterface;
        ++poll->outstanding;
        QDBusPendingCallWatcher* watcher = call(poll, getAll);
        const auto answered = [poll, name](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            const QDBusPendingReply<QVariantMap> reply = *w;
            // A player that does not answer in time is one that plays nothing.
            if (reply.isValid())
                poll->answers.append({name, reply.value()});
            if (--poll->outstanding == 0)
                decide(poll);
        };
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, poll->context, answered);
    }
    if (poll->outstanding == 0)
        poll->finish(NowPlayingState::idle());
}

}  // namespace

MprisPlaybackService::MprisPlaybackService(QDBusConnection bus) : m_bus(std::move(bus)) {}

void MprisPlaybackService::nowPlaying(QObject* context, StateHandler done)
{
    auto poll = std::make_shared<Poll>(Poll{m_bus, context, std::move(done), m_busByPlayer, {}, 0});
    const QDBusMessage list = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListNames"));
    QDBusPendingCallWatcher* watcher = call(poll, list);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context, [poll](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QStringList> reply = *w;
        askPlayers(poll, reply.isValid() ? reply.value() : QStringList());
    });
}

void MprisPlaybackService::seek(QObject* context, const NowPlayingState& playing, double seconds, SeekHandler done)
{
    const QPointer<QObject> guard(context);
    const auto answer = [guard, done](bool accepted) {
        if (guard)
            done(accepted);
    };
    const QString busName = playing.source == NowPlayingState::Source::spotify
                                ? spotifyBusName
                                : m_busByPlayer->value(playing.playerName());
    // The position belongs to one track: a player has moved on when its id differs and
    // then ignores the call, which is what a seek in a finished track should do.
    if (playing.source == NowPlayingState::Source::none || busName.isEmpty() || playing.artworkID.isEmpty()) {
        QMetaObject::invokeMethod(context, [answer] { answer(false); }, Qt::QueuedConnection);
        return;
    }
    QDBusMessage setPosition = QDBusMessage::createMethodCall(busName, playerPath, playerInterface,
                                                              QStringLiteral("SetPosition"));
    const double position = std::isfinite(seconds) ? std::max(seconds, 0.0) : 0.0;
    setPosition << QVariant::fromValue(QDBusObjectPath(playing.artworkID))
                << QVariant::fromValue(qlonglong(std::llround(position * microseconds)));
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(setPosition, callTimeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context, [answer](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        answer(!w->isError());
    });
}

std::optional<MprisPlaybackService::Answer> MprisPlaybackService::choose(const QList<Answer>& answers)
{
    const auto pick = [&](const QString& status) -> std::optional<Answer> {
        for (const Answer& answer : answers)
            if (answer.busName != spotifyBusName && statusOf(answer) == status)
                return answer;
        return std::nullopt;
    };
    if (auto playing = pick(QStringLiteral("Playing")))
        return playing;
    if (auto paused = pick(QStringLiteral("Paused")))
        return paused;
    for (const Answer& answer : answers) {
        const QString status = statusOf(answer);
        const bool active = status == QLatin1String("Playing") || status == QLatin1String("Paused");
        if (answer.busName == spotifyBusName && active)
            return answer;
    }
    return std::nullopt;
}

std::optional<NowPlayingState> MprisPlaybackService::stateFrom(const Answer& answer, const QString& identity)
{
    const QString status = statusOf(answer);
    if (status != QLatin1String("Playing") && status != QLatin1String("Paused"))
        return std::nullopt;
    const QVariantMap metadata = mapOf(answer.properties.value(QStringLiteral("Metadata")));
    NowPlayingState state;
    state.source = answer.busName == spotifyBusName ? NowPlayingState::Source::spotify
                                                    : NowPlayingState::Source::musicPlayer;
    state.player = identity;
    state.title = textOf(metadata.value(QStringLiteral("xesam:title")));
    state.artist = textOf(metadata.value(QStringLiteral("xesam:artist")));
    state.duration = secondsOf(metadata.value(QStringLiteral("mpris:length")));
    state.elapsed = secondsOf(answer.properties.value(QStringLiteral("Position")));
    state.isPlaying = status == QLatin1String("Playing");
    const QString trackID = textOf(metadata.value(QStringLiteral("mpris:trackid")));
    state.artworkID = trackID == noTrack ? QString() : trackID;
    state.artworkURL = textOf(metadata.value(QStringLiteral("mpris:artUrl")));
    return state;
}
