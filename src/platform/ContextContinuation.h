#pragma once
// Work whose answer belongs to an object: the handler runs on the object's thread once the
// work has finished, and never once the object is gone.
//
// QFuture::then(context, …) reads its context through a QPointer on the thread that ends the
// work and asserts that it is still there, so an object destroyed while its work runs aborts a
// build with assertions, and the check races with the destruction. Here a QFutureWatcher, a
// child of the context, waits for the work instead: it is destroyed with its parent, which
// drops the handler, and its signal reaches the handler through the parent's event loop.

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>
#include <QPromise>
#include <QThread>

#include <memory>
#include <type_traits>
#include <utility>

namespace ContextContinuationDetail {

template <typename T, typename Handler>
struct Result {
    using type = std::invoke_result_t<Handler&, const T&>;
};
template <typename Handler>
struct Result<void, Handler> {
    using type = std::invoke_result_t<Handler&>;
};

} // namespace ContextContinuationDetail

// Calls `handler` with the result of `future` (with nothing for a QFuture<void>) on the thread
// of `context`, unless `context` is destroyed first or the work is cancelled. Call it on the
// thread of `context`. Every handler goes through the context's event queue, a future that has
// already finished too, so handlers run in the order their work reached the queue: one called
// at once would overtake an earlier handler still waiting there. The returned future holds the
// handler's result, and is cancelled when the handler never runs.
template <typename T, typename Handler>
auto continueOn(QObject* context, const QFuture<T>& future, Handler handler)
    -> QFuture<typename ContextContinuationDetail::Result<T, std::decay_t<Handler>>::type>
{
    using R = typename ContextContinuationDetail::Result<T, std::decay_t<Handler>>::type;
    Q_ASSERT(context && context->thread() == QThread::currentThread());

    auto promise = std::make_shared<QPromise<R>>();
    promise->start();
    QFuture<R> answer = promise->future();
    // Dropping the promise unfinished (a cancelled work, a destroyed context) cancels `answer`.
    auto finish = [promise = std::move(promise), handler = std::move(handler)](const QFuture<T>& done) mutable {
        const std::shared_ptr<QPromise<R>> held = std::exchange(promise, nullptr);
        if (done.isCanceled())
            return;
        if constexpr (std::is_void_v<T>) {
            if constexpr (std::is_void_v<R>)
                handler();
            else
                held->addResult(handler());
        } else {
            if constexpr (std::is_void_v<R>)
                handler(done.result());
            else
                held->addResult(handler(done.result()));
        }
        held->finish();
    };

    // A watcher given a finished future posts its end to the queue like any other.
    auto* watcher = new QFutureWatcher<T>(context);
    QObject::connect(
        watcher, &QFutureWatcherBase::finished, watcher,
        [watcher, finish = std::move(finish)]() mutable {
            watcher->deleteLater();
            finish(watcher->future());
        },
        Qt::SingleShotConnection);
    watcher->setFuture(future);
    return answer;
}
