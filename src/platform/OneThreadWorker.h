#pragma once
// The work of one object that must leave its thread (files, the tool's link, parsing): it runs
// on a thread of the object's own, one piece at a time in the order asked, and each answer
// reaches the object on the object's thread through continueOn, never once the object is gone.
// Destroying the worker waits for the piece under way and those queued behind it.

#include "platform/ContextContinuation.h"

#include <QPromise>
#include <QThreadPool>

#include <memory>
#include <type_traits>
#include <utility>

class OneThreadWorker {
public:
    OneThreadWorker() { m_pool.setMaxThreadCount(1); }
    OneThreadWorker(const OneThreadWorker&) = delete;
    OneThreadWorker& operator=(const OneThreadWorker&) = delete;

    // Runs `work` on the worker and calls `handler` with its result (with nothing for a void
    // one) on the thread of `owner`. Call it on the thread of `owner`.
    template <typename Work, typename Handler>
    void run(QObject* owner, Work work, Handler handler)
    {
        using T = std::invoke_result_t<Work&>;
        auto promise = std::make_shared<QPromise<T>>();
        promise->start();
        const QFuture<T> future = promise->future();
        m_pool.start([promise, work = std::move(work)]() mutable {
            if constexpr (std::is_void_v<T>)
                work();
            else
                promise->addResult(work());
            promise->finish();
        });
        continueOn(owner, future, std::move(handler));
    }

private:
    QThreadPool m_pool;
};
