// The Now Playing page in the main window: the rows follow what the hub read from the player,
// the transport keys go to the fake device as media keys, and Refresh reads a fake MPRIS player.

#include "app/ShellFixture.h"
#include "media/MprisPlaybackService.h"
#include "support/FakeMprisPlayer.h"
#include "support/PrivateSessionBus.h"
#include "ui/media/NowPlayingView.h"
#include "ui/widgets/ElidedLabel.h"
#include "ui/widgets/FormSection.h"

#include <QFontMetricsF>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

namespace {

class NowPlayingViewTest : public ShellTest {
protected:
    QWidget& page()
    {
        if (!window) {
            makeWindow();
            window->select(SidebarItem::nowPlaying);
            window->show();
        }
        return *window->findChild<QWidget*>(QStringLiteral("nowPlayingPage"));
    }
    QString value(const char* name) { return page().findChild<QLabel*>(QLatin1String(name))->text(); }
    QToolButton* button(const char* name) { return page().findChild<QToolButton*>(QLatin1String(name)); }

    QList<std::uint16_t> consumerKeys() const
    {
        QList<std::uint16_t> out;
        for (const TarvUSB::Frame& frame : device.received())
            if (const auto* hid = frame.get<TarvUSB::HidEmitPayload>(); hid && hid->report == TarvUSB::HidReport::consumer)
                out.append(hid->keys);
        return out;
    }
};

TEST(NowPlayingPositionTest, ShowsTimePlayedAndTimeLeftNeverBelowZero)
{
    EXPECT_EQ(NowPlayingView::positionText(65.7, 240), QStringLiteral("1:05 \u00B7 -2:54"));
    EXPECT_EQ(NowPlayingView::positionText(65, 240), QStringLiteral("1:05 \u00B7 -2:55"));
    EXPECT_EQ(NowPlayingView::positionText(0, 0), QStringLiteral("0:00 \u00B7 -0:00"));
    EXPECT_EQ(NowPlayingView::positionText(250, 240), QStringLiteral("4:10 \u00B7 -0:00"));
    EXPECT_EQ(NowPlayingView::positionText(qQNaN(), 240), QStringLiteral("0:00 \u00B7 -0:00"));

    // Digits of one width, whatever the application font does.
    const QFontMetricsF metrics(NowPlayingView::tabularDigitsFont(QApplication::font()));
    for (char digit = '1'; digit <= '9'; ++digit)
        EXPECT_DOUBLE_EQ(metrics.horizontalAdvance(QLatin1Char(digit)), metrics.horizontalAdvance(QLatin1Char('0')));
}

TEST_F(NowPlayingViewTest, TheRowsFollowThePlayerAndTheTransportKeysReachTheDeviceOnlyWhileConnected)
{
    NowPlayingState nothing;
    nothing.title.clear();
    nothing.artist.clear();
    makeHub();
    hub->setNowPlaying(nothing);
    EXPECT_EQ(value("playerValue"), QStringLiteral("No player"));
    EXPECT_EQ(value("trackValue"), QString());
    EXPECT_EQ(value("artistValue"), QString());
    EXPECT_EQ(value("positionValue"), QStringLiteral("0:00 \u00B7 -0:00"));
    EXPECT_FALSE(page().findChild<QWidget*>(QStringLiteral("transportGroup"))->isEnabled());
    EXPECT_TRUE(page().findChild<QPushButton*>(QStringLiteral("refreshButton"))->isEnabled());

    connectAndGreet();
    ASSERT_TRUE(page().findChild<QWidget*>(QStringLiteral("transportGroup"))->isEnabled());
    NowPlayingState playing;
    playing.title = QStringLiteral("Blue Monday");
    playing.artist = QStringLiteral("New Order");
    playing.duration = 240;
    playing.elapsed = 65;
    playing.isPlaying = true;
    playing.source = NowPlayingState::Source::spotify;
    hub->setNowPlaying(playing);
    EXPECT_EQ(value("playerValue"), QStringLiteral("Spotify"));
    EXPECT_EQ(value("trackValue"), QStringLiteral("Blue Monday"));
    EXPECT_EQ(value("positionValue"), QStringLiteral("1:05 \u00B7 -2:55"));
    EXPECT_EQ(button("playPauseButton")->accessibleName(), QStringLiteral("Pause"));

    const QStringList problems = device.problems();
    QTest::mouseClick(button("playPauseButton"), Qt::LeftButton);
    EXPECT_EQ(button("playPauseButton")->accessibleName(), QStringLiteral("Play"));
    QTest::mouseClick(button("nextButton"), Qt::LeftButton);
    QTest::mouseClick(button("previousButton"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return consumerKeys().size() == 3; }));
    EXPECT_EQ(consumerKeys(), (QList<std::uint16_t>{0xCD, 0xB5, 0xB6}));
    // The device shows its home page, which has no Now Playing nodes to update.
    ASSERT_TRUE(waitUntil([&] { return hub->outstandingAcks().isEmpty() && hub->queuedFrames().isEmpty(); }));
    EXPECT_EQ(device.problems(), problems);

    // A title longer than the row is cut, whole in its tooltip, and widens nothing.
    const int width = page().minimumSizeHint().width();
    playing.title = QString(300, u'x');
    hub->setNowPlaying(playing);
    auto* track = page().findChild<ElidedLabel*>(QStringLiteral("trackValue"));
    EXPECT_TRUE(track->isElided());
    EXPECT_EQ(track->toolTip(), playing.title);
    EXPECT_EQ(page().minimumSizeHint().width(), width);
}

TEST_F(NowPlayingViewTest, RefreshReadsThePlayerAgainWithoutADevice)
{
    TarvFake::PrivateSessionBus bus;
    ASSERT_TRUE(bus.start()) << bus.lastError().toStdString();
    TarvFake::FakeMprisPlayer player(MprisPlaybackService::busPrefix + QStringLiteral("fake"),
                                     QStringLiteral("Fake Player"));
    ASSERT_TRUE(player.start(bus.address()));
    const QString connection = QStringLiteral("tarv-now-playing-view-client");
    {
        MprisPlaybackService mpris(QDBusConnection::connectToBus(bus.address(), connection));
        profiles = std::make_unique<ProfileStore>(*settings);
        DeviceManager::Environment environment;
        environment.settings = settings.get();
        environment.isTesting = true;
        environment.mediaService = &mpris;
        hub = std::make_unique<DeviceManager>(*profiles, photos, stocks, screens, false, std::move(environment));
        page();
        player.setTrack({QStringLiteral("/org/tarv/track/1"), QStringLiteral("Blue Monday"),
                         {QStringLiteral("New Order")}, 448'000'000, QString()});
        player.setPositionUs(30'000'000);
        player.setStatus(QStringLiteral("Paused"));

        QTest::mouseClick(page().findChild<QPushButton*>(QStringLiteral("refreshButton")), Qt::LeftButton);
        ASSERT_TRUE(waitUntil([&] { return value("trackValue") == u"Blue Monday"; }));
        EXPECT_EQ(value("playerValue"), QStringLiteral("Fake Player"));
        EXPECT_EQ(value("artistValue"), QStringLiteral("New Order"));
        EXPECT_EQ(value("positionValue"), QStringLiteral("0:30 \u00B7 -6:58"));
        window.reset();
        hub.reset();
    }
    QDBusConnection::disconnectFromBus(connection);
}

}  // namespace

TEST_F(NowPlayingViewTest, OnAWideWindowTheFormKeepsAReadableWidth)
{
    QWidget& nowPlaying = page();
    window->resize(1920, 1080);
    EXPECT_TRUE(waitUntil([&] { return window->width() == 1920; }));
    EXPECT_EQ(window->width(), 1920);
    const int readable = FormSection::readableWidth + 2 * FormSection::pageMargin;
    ASSERT_TRUE(waitUntil([&] { return nowPlaying.width() > readable; }));
    for (QGroupBox* box : nowPlaying.findChildren<QGroupBox*>()) {
        EXPECT_LE(box->width(), FormSection::readableWidth) << box->title().toStdString();
        // Centred on the page.
        const int left = box->mapTo(&nowPlaying, QPoint(0, 0)).x();
        EXPECT_NEAR(left, nowPlaying.width() - left - box->width(), 2);
    }
}

