#include "ui/media/NowPlayingView.h"

#include "hub/DeviceManager.h"
#include "media/PlaybackTime.h"
#include "platform/OneLineText.h"
#include "ui/widgets/ElidedLabel.h"
#include "ui/widgets/FormSection.h"
#include "ui/widgets/SymbolIcon.h"

#include <QBoxLayout>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

namespace {

// A value of the player's own (a long title or name) is cut to the row, whole in its tooltip.
ElidedLabel* playerValueLabel(const char* name)
{
    auto* label = new ElidedLabel;
    label->setObjectName(QLatin1String(name));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QToolButton* transportButton(const char* name, const QString& symbol, const QString& text)
{
    auto* button = new QToolButton;
    button->setObjectName(QLatin1String(name));
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setIcon(symbolIcon(symbol));
    button->setIconSize(QSize(18, 18));
    button->setText(text);
    button->setToolTip(text);
    button->setAccessibleName(text);
    return button;
}

}  // namespace

NowPlayingView::NowPlayingView(DeviceManager& deviceManager, QWidget* parent)
    : QWidget(parent), m_deviceManager(deviceManager)
{
    setObjectName(QStringLiteral("nowPlayingPage"));

    auto* playback = new FormSection(QStringLiteral("Playback"));
    playback->setObjectName(QStringLiteral("playbackSection"));
    m_player = playerValueLabel("playerValue");
    m_track = playerValueLabel("trackValue");
    m_artist = playerValueLabel("artistValue");
    m_position = FormSection::valueLabel("positionValue");
    for (QLabel* value : std::initializer_list<QLabel*>{m_player, m_track, m_artist, m_position})
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_position->setFont(tabularDigitsFont(m_position->font()));
    playback->rows()->addRow(QStringLiteral("Player"), m_player);
    playback->rows()->addRow(QStringLiteral("Track"), m_track);
    playback->rows()->addRow(QStringLiteral("Artist"), m_artist);
    playback->rows()->addRow(QStringLiteral("Position"), m_position);
    playback->setFooter(QStringLiteral("Tarv reads playback from Spotify and the other MPRIS music players of the "
                                       "desktop and updates every few seconds while the Now Playing screen is "
                                       "showing."));

    auto* controls = new FormSection(QString());
    controls->setObjectName(QStringLiteral("controlsSection"));
    m_previous = transportButton("previousButton", QStringLiteral("backward.fill"), QStringLiteral("Previous"));
    m_playPause = transportButton("playPauseButton", QStringLiteral("play.fill"), QStringLiteral("Play"));
    m_next = transportButton("nextButton", QStringLiteral("forward.fill"), QStringLiteral("Next"));
    m_transport = FormSection::trailingValue({m_previous, m_playPause, m_next}, 4);
    m_transport->setObjectName(QStringLiteral("transportGroup"));
    m_refresh = new QPushButton(QStringLiteral("Refresh"));
    m_refresh->setObjectName(QStringLiteral("refreshButton"));
    controls->rows()->addRow(QStringLiteral("Transport"), m_transport);
    controls->rows()->addRow(QStringLiteral("Metadata"), FormSection::trailingValue({m_refresh}));
    controls->setFooter(QStringLiteral("Transport keys are sent through Tarv as standard media keys, the same way its "
                                       "on-screen controls work."));

    auto* layout = FormSection::pageLayout(this);
    layout->addWidget(playback);
    layout->addWidget(controls);
    layout->addStretch(1);

    connect(m_previous, &QToolButton::clicked, this,
            [this] { m_deviceManager.sendMediaControl(MediaControl::previous); });
    connect(m_playPause, &QToolButton::clicked, this,
            [this] { m_deviceManager.sendMediaControl(MediaControl::playPause); });
    connect(m_next, &QToolButton::clicked, this, [this] { m_deviceManager.sendMediaControl(MediaControl::next); });
    // The player answers asynchronously; the rows follow nowPlayingChanged.
    connect(m_refresh, &QPushButton::clicked, &m_deviceManager, &DeviceManager::refreshNowPlaying);
    connect(&m_deviceManager, &DeviceManager::nowPlayingChanged, this, &NowPlayingView::showPlayback);
    connect(&m_deviceManager, &DeviceManager::stateChanged, this, &NowPlayingView::showConnection);
    showPlayback();
    showConnection();
}

QString NowPlayingView::positionText(double elapsed, double duration)
{
    const double remaining = duration - elapsed > 0 ? duration - elapsed : 0;
    return formatPlaybackTime(elapsed) + QStringLiteral(" \u00B7 -") + formatPlaybackTime(remaining);
}

QFont NowPlayingView::tabularDigitsFont(const QFont& base)
{
    const QFontMetricsF metrics(base);
    const qreal zero = metrics.horizontalAdvance(QLatin1Char('0'));
    for (char digit = '1'; digit <= '9'; ++digit) {
        if (!qFuzzyCompare(metrics.horizontalAdvance(QLatin1Char(digit)), zero)) {
            QFont fixed = FormSection::monospacedFont(0);
            if (base.pointSizeF() > 0)
                fixed.setPointSizeF(base.pointSizeF());
            return fixed;
        }
    }
    return base;
}

void NowPlayingView::showPlayback()
{
    const NowPlayingState& playing = m_deviceManager.nowPlaying();
    m_player->setFullText(oneLineText(playing.playerName()));
    m_track->setFullText(oneLineText(playing.title));
    m_artist->setFullText(oneLineText(playing.artist));
    m_position->setText(positionText(playing.elapsed, playing.duration));
    const QString action = playing.isPlaying ? QStringLiteral("Pause") : QStringLiteral("Play");
    m_playPause->setIcon(symbolIcon(playing.isPlaying ? QStringLiteral("pause.fill") : QStringLiteral("play.fill")));
    m_playPause->setText(action);
    m_playPause->setToolTip(action);
    m_playPause->setAccessibleName(action);
}

void NowPlayingView::showConnection() { m_transport->setEnabled(m_deviceManager.state().isConnected()); }
