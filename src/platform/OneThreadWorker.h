#pragma once
// The work of one object that must leave its thread (files, the tool's link, parsing): it runs
// on a thread of the object's own, one piece at a time in the order asked, and each answer
// reaches the object on the object's thread through continueOn, never once the object is gone.
// Destroying the worker waits for the piece under way and those queued behind it, but for one
// that runLatest left waiting.

#include "platform/ContextContinuation.h"

#include <QMutex>
#include <QPromise>
#include <QThreadPool>

#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

class OneThreadWorker {
public:
    OneThreadWorker() { m_pool.setMaxThreadCount(1); }
    OneThreadWorker(const OneThreadWorker&) = delete;
    OneThreadWorker& operator=(const OneThreadWorker&) = delete;
    // A piece that runLatest left waiting is dropped unstarted; the pool then waits for the rest.
    ~OneThreadWorker() { const std::function<void()> dropped = m_latest.take(); }

    // Runs `work` on the worker and calls `handler` with its result (with nothing for a void
    // one) on the thread of `owner`. Call it on the thread of `owner`.
    template <typename Work, typename Handler>
    void run(QObject* owner, Work work, Handler handler)
    {
        auto [piece, future] = promised(std::move(work));
        m_pool.start(std::move(piece));
        continueOn(owner, future, std::move(handler));
    }

    // As run, for requests of which only the newest counts: a piece that an earlier runLatest
    // left waiting is dropped for this one, and its handler never runs. The piece under way
    // finishes and answers. True when a waiting piece was dropped.
    template <typename Work, typename Handler>
    bool runLatest(QObject* owner, Work work, Handler handler)
    {
        auto [piece, future] = promised(std::move(work));
        // The dropped piece's promise is let go outside the lock: that cancels its answer.
        const std::function<void()> dropped = m_latest.replace(std::move(piece), m_pool);
        continueOn(owner, future, std::move(handler));
        return bool(dropped);
    }

private:
    template <typename Work>
    static auto promised(Work work)
    {
        using T = std::invoke_result_t<Work&>;
        auto promise = std::make_shared<QPromise<T>>();
        promise->start();
        QFuture<T> future = promise->future();
        std::function<void()> piece = [promise, work = std::move(work)]() mutable {
            if constexpr (std::is_void_v<T>)
                work();
            else
                promise->addResult(work());
            promise->finish();
        };
        return std::pair(std::move(piece), std::move(future));
    }

    // The one piece runLatest has waiting, and whether the worker has been asked to run it.
    struct Latest {
        QMutex mutex;
        std::function<void()> waiting;
        bool scheduled = false;

        std::function<void()> replace(std::function<void()> piece, QThreadPool& pool)
        {
            const QMutexLocker lock(&mutex);
            std::function<void()> dropped = std::exchange(waiting, std::move(piece));
            if (!scheduled) {
                scheduled = true;
                pool.start([this] { runWaiting(); });
            }
            return dropped;
        }
        std::function<void()> take()
        {
            const QMutexLocker lock(&mutex);
            return std::exchange(waiting, {});
        }
        void runWaiting()
        {
            for (;;) {
                std::function<void()> piece;
                {
                    const QMutexLocker lock(&mutex);
                    if (!waiting) {
                        scheduled = false;
                        return;
                    }
                    piece = std::exchange(waiting, {});
                }
                piece();
            }
        }
    };

    // Declared before the pool, so that it outlives the pool's threads.
    Latest m_latest;
    QThreadPool m_pool;
};
