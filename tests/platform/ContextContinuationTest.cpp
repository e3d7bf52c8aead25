#include "platform/ContextContinuation.h"

#include "support/DesktopTestEnv.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <thread>
#include <vector>

TEST(ContextContinuationTest, TheAnswerReachesItsContextOnItsThreadAndNeverOnceTheContextIsGone)
{
    testGuiApp();

    // The context goes first, and the work then ends on another thread: nothing runs, nothing
    // aborts, and the handler's own future is cancelled.
    QPromise<int> late;
    late.start();
    auto context = std::make_unique<QObject>();
    bool ran = false;
    const QFuture<int> dropped = continueOn(context.get(), late.future(), [&](int value) {
        ran = true;
        return value;
    });
    context.reset();
    std::thread([&late] {
        late.addResult(1);
        late.finish();
    }).join();
    EXPECT_TRUE(waitFor(dropped));
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
    EXPECT_TRUE(dropped.isCanceled());

    // Work ended on another thread is handled on the context's thread.
    QObject owner;
    QPromise<int> work;
    work.start();
    std::optional<Qt::HANDLE> handledOn;
    const QFuture<int> doubled = continueOn(&owner, work.future(), [&](int value) {
        handledOn = QThread::currentThreadId();
        return value * 2;
    });
    std::thread([&work] {
        work.addResult(21);
        work.finish();
    }).join();
    ASSERT_TRUE(waitFor(doubled));
    EXPECT_EQ(doubled.result(), 42);
    EXPECT_EQ(handledOn, QThread::currentThreadId());
}

TEST(ContextContinuationTest, HandlersRunInTheOrderTheirWorkReachedTheQueue)
{
    testGuiApp();

    // The first work ends while nothing handles events, so its handler waits in the queue;
    // a handler for work already done is called after it, not before.
    QObject owner;
    QPromise<int> first;
    first.start();
    std::vector<int> order;
    continueOn(&owner, first.future(), [&](int value) { order.push_back(value); });
    first.addResult(1);
    first.finish();
    const QFuture<int> second = continueOn(&owner, QtFuture::makeReadyFuture(2), [&](int value) {
        order.push_back(value);
        return value;
    });
    EXPECT_TRUE(order.empty());
    ASSERT_TRUE(waitFor(second));
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}
