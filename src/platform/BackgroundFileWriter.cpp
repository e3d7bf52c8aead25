#include "platform/BackgroundFileWriter.h"

#include "platform/MakeFolder.h"

#include <QFileInfo>
#include <QSaveFile>

#include <optional>

#include <pthread.h>

namespace {

// Nothing when the file was written.
std::optional<QString> writeAtomically(const QString& path, const QByteArray& bytes)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (const std::optional<QString> reason = makeFolder(folder))
        return QStringLiteral("could not create ") + folder + QStringLiteral(": ") + *reason;
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        return out.errorString();
    return std::nullopt;
}

}  // namespace

BackgroundFileWriter::BackgroundFileWriter(FailureHandler onFailure)
    : m_onFailure(std::move(onFailure)), m_thread([this] { run(); })
{
}

BackgroundFileWriter::~BackgroundFileWriter()
{
    {
        std::lock_guard guard(m_lock);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

QFuture<std::optional<QString>> BackgroundFileWriter::write(const QString& path, QByteArray bytes)
{
    QPromise<std::optional<QString>> answer;
    answer.start();
    QFuture<std::optional<QString>> result = answer.future();
    {
        std::lock_guard guard(m_lock);
        Waiting& waiting = m_waiting[path];
        waiting.bytes = std::move(bytes);
        waiting.answers.push_back(std::move(answer));
    }
    m_wake.notify_one();
    return result;
}

void BackgroundFileWriter::waitUntilIdle()
{
    std::unique_lock guard(m_lock);
    m_idle.wait(guard, [this] { return m_waiting.empty() && !m_writing; });
}

void BackgroundFileWriter::run()
{
    ::pthread_setname_np(::pthread_self(), "Tarv files");
    std::unique_lock guard(m_lock);
    for (;;) {
        m_wake.wait(guard, [this] { return m_stopping || !m_waiting.empty(); });
        if (m_waiting.empty()) {
            // Stopping, with every write done.
            return;
        }
        auto next = m_waiting.extract(m_waiting.begin());
        m_writing = true;
        guard.unlock();
        const std::optional<QString> failure = writeAtomically(next.key(), next.mapped().bytes);
        if (failure && m_onFailure)
            m_onFailure(next.key(), *failure);
        for (QPromise<std::optional<QString>>& answer : next.mapped().answers) {
            answer.addResult(failure);
            answer.finish();
        }
        guard.lock();
        m_writing = false;
        if (m_waiting.empty())
            m_idle.notify_all();
    }
}
