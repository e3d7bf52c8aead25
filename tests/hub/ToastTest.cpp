// The "notify" command end to end with the fake device: the card over the page, its
// replacement, its timer on the test clock, a tap that dismisses it, and a card that waits
// for a page.

#include "HubFixture.h"

#include <QJsonObject>

using namespace TarvUSB;
using namespace std::chrono_literals;

namespace {

constexpr std::uint32_t cardNode = 9000;
constexpr std::uint32_t pageNode = 100;

class ToastTest : public HubTest {
protected:
    NotifyChannel::Reply notify(const QString& text, double seconds)
    {
        return hub->runNotifyCommand(
            QJsonObject{{QStringLiteral("command"), QStringLiteral("notify")}, {QStringLiteral("text"), text},
                        {QStringLiteral("seconds"), seconds}});
    }

    static NotifyChannel::Reply okReply() { return NotifyChannel::Reply{{QStringLiteral("ok"), true}}; }

    void settle()
    {
        ASSERT_TRUE(waitUntil([&] { return hub->outstandingAcks().isEmpty() && hub->queuedFrames().isEmpty(); }));
        roundTrip();
    }

    QList<std::uint32_t> pageChildren() const
    {
        const TarvFake::FakeWidget* page = device.widgets().find(pageNode);
        return page ? page->children : QList<std::uint32_t>();
    }

    QString deviceText(std::uint32_t node) const
    {
        const TarvFake::FakeWidget* widget = device.widgets().find(node);
        return widget ? widget->text : QString();
    }

    QList<PatchOp> lastPatch() const
    {
        const QList<Frame> patches = framesOf<PatchPayload>();
        return patches.isEmpty() ? QList<PatchOp>() : patches.last().get<PatchPayload>()->ops;
    }
};

TEST_F(ToastTest, ANotifyPutsTheCardOnTopOfThePageAndASecondReplacesItInPlace)
{
    connectAndGreet();
    // The first page removes a root the device never had.
    const qsizetype problemsBefore = device.problems().size();
    const QList<std::uint32_t> page = pageChildren();
    ASSERT_FALSE(page.isEmpty());
    const int renders = hub->renderCount();

    EXPECT_EQ(notify(QStringLiteral("Build finished"), 5), okReply());
    settle();
    EXPECT_EQ(pageChildren(), page + QList<std::uint32_t>{cardNode});
    EXPECT_EQ(deviceText(cardNode + 2), QStringLiteral("Build finished"));
    EXPECT_EQ(device.widgets().find(cardNode)->intProp(QStringLiteral("h")), 44);
    EXPECT_TRUE(logTexts().contains(QStringLiteral("Notification for 5 s: Build finished")));

    const QString longer = QStringLiteral("Deploy to staging finished in four minutes and twelve seconds, all checks green");
    EXPECT_EQ(notify(longer, 30), okReply());
    settle();
    const QList<PatchOp> replacement = lastPatch();
    ASSERT_GE(replacement.size(), 2);
    EXPECT_EQ(replacement[0], PatchOp::remove(cardNode));
    EXPECT_EQ(replacement[1], PatchOp::create(cardNode, QStringLiteral("cont"), pageNode, std::uint16_t(page.size())));
    EXPECT_EQ(pageChildren(), page + QList<std::uint32_t>{cardNode});
    EXPECT_EQ(device.widgets().find(cardNode)->intProp(QStringLiteral("h")), 60);
    EXPECT_EQ(deviceText(cardNode + 2) + u' ' + deviceText(cardNode + 3), longer);
    EXPECT_EQ(hub->toastDue(), monotonicNow + 30s) << "the timer starts again";
    EXPECT_EQ(hub->renderCount(), renders);
    EXPECT_EQ(device.problems().size(), problemsBefore) << device.problems().join(u'\n').toStdString();
}

TEST_F(ToastTest, TheTimerEndsTheToastOnTheClockAndOnlyTheCardLeaves)
{
    connectAndGreet();
    const QList<std::uint32_t> page = pageChildren();
    const int renders = hub->renderCount();

    EXPECT_EQ(notify(QStringLiteral("Short"), 0.2), okReply());
    EXPECT_EQ(hub->toastDue(), monotonicNow + 1s) << "at least a second";
    EXPECT_EQ(notify(QStringLiteral("Long"), 1e6), okReply());
    EXPECT_EQ(hub->toastDue(), monotonicNow + 600s) << "at most ten minutes";
    EXPECT_EQ(notify(QStringLiteral("Tests passed"), 2.5), okReply());
    EXPECT_EQ(hub->toastDue(), monotonicNow + 2500ms);
    EXPECT_TRUE(logTexts().contains(QStringLiteral("Notification for 1 s: Short")));
    EXPECT_TRUE(logTexts().contains(QStringLiteral("Notification for 600 s: Long")));
    EXPECT_TRUE(logTexts().contains(QStringLiteral("Notification for 3 s: Tests passed"))) << "halves round up";
    settle();
    const qsizetype patches = count<PatchPayload>();

    advance(2499ms);
    hub->endToastWhenDue();
    EXPECT_TRUE(hub->toast()) << "an early wake-up sleeps again";
    advance(1ms);
    hub->endToastWhenDue();
    EXPECT_FALSE(hub->toast());
    EXPECT_FALSE(hub->toastDue());
    settle();
    EXPECT_EQ(count<PatchPayload>(), patches + 1);
    EXPECT_EQ(lastPatch(), QList<PatchOp>{PatchOp::remove(cardNode)});
    EXPECT_EQ(pageChildren(), page);
    EXPECT_EQ(hub->renderCount(), renders) << "the page is not drawn again";
    EXPECT_EQ(hub->pageChildCount(), page.size());

    // A lost connection ends the toast and its timer with it.
    EXPECT_EQ(notify(QStringLiteral("Again"), 10), okReply());
    device.hangUp();
    ASSERT_TRUE(waitUntil([&] { return !hub->isPortOpen(); }));
    EXPECT_FALSE(hub->toast());
    EXPECT_FALSE(hub->toastDue());
    EXPECT_EQ(notify(QStringLiteral("Again"), 10),
              (NotifyChannel::Reply{{QStringLiteral("ok"), false},
                                    {QStringLiteral("message"), QStringLiteral("Tarv is not connected to the device")}}));
}

TEST_F(ToastTest, ATapOnTheCardDismissesItWithoutDrawingThePageAgain)
{
    connectAndGreet();
    const QList<std::uint32_t> page = pageChildren();
    const int renders = hub->renderCount();
    EXPECT_EQ(notify(QStringLiteral("Build finished"), 60), okReply());
    settle();
    const qsizetype patches = count<PatchPayload>();

    // Inside the card's top-left corner; nothing of the page under it is pressed.
    device.tap(24, 34);
    ASSERT_TRUE(waitUntil([&] { return !hub->toast(); }));
    settle();
    EXPECT_FALSE(hub->toastDue());
    EXPECT_EQ(count<PatchPayload>(), patches + 1);
    EXPECT_EQ(lastPatch(), QList<PatchOp>{PatchOp::remove(cardNode)});
    EXPECT_EQ(pageChildren(), page);
    EXPECT_EQ(hub->renderCount(), renders);
    EXPECT_EQ(count<HidEmitPayload>(), 0);
}

TEST_F(ToastTest, AToastWaitsForAPageOfOursAndIsPutOnTopOfItWhenOneIsPresented)
{
    connectAndGreet();
    const qsizetype problemsBefore = device.problems().size();
    hub->setDeviceHoldsScreen(false);
    const qsizetype patches = count<PatchPayload>();
    EXPECT_EQ(notify(QStringLiteral("Build finished"), 60), okReply());
    settle();
    EXPECT_EQ(count<PatchPayload>(), patches) << "no card without a page under it";
    EXPECT_TRUE(hub->toast());
    EXPECT_FALSE(hub->toastIsOnDevice());

    hub->showScreen(DeviceScreen::stocks());
    settle();
    const QList<std::uint32_t> page = pageChildren();
    ASSERT_GE(page.size(), 2);
    EXPECT_EQ(page.last(), cardNode) << "after the new page's children";
    EXPECT_EQ(deviceText(cardNode + 2), QStringLiteral("Build finished"));
    EXPECT_EQ(hub->pageChildCount(), page.size());
    EXPECT_EQ(device.problems().size(), problemsBefore) << device.problems().join(u'\n').toStdString();

    // And again on the next page: the old root took the card with it.
    hub->showScreen(DeviceScreen::calculator());
    settle();
    EXPECT_EQ(pageChildren().last(), cardNode);
    EXPECT_EQ(pageChildren().count(cardNode), 1);
}

TEST_F(ToastTest, ATextWithNothingDrawableIsRefusedAndChangesNothing)
{
    connectAndGreet();
    EXPECT_EQ(notify(QStringLiteral("Build finished"), 60), okReply());
    const std::optional<NotificationToast> shown = hub->toast();
    const std::optional<HubClock::MonotonicTime> due = hub->toastDue();
    const qsizetype lines = hub->log().size();

    EXPECT_EQ(notify(QStringLiteral(" \u0001\n\uE000 "), 5),
              (NotifyChannel::Reply{
                  {QStringLiteral("ok"), false},
                  {QStringLiteral("message"), QStringLiteral("nothing in that text can be drawn by the device's font")}}));
    EXPECT_EQ(hub->toast(), shown);
    EXPECT_EQ(hub->toastDue(), due);
    EXPECT_EQ(hub->log().size(), lines);
}

}  // namespace
