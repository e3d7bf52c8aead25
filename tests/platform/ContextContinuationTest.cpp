#include "platform/ContextContinuation.h"

#include "support/DesktopTestEnv.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <thread>

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
