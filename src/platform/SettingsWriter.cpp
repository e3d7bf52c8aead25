#include "platform/SettingsWriter.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::optional<SettingsError> errorOf(QSettings::Status status)
{
    switch (status) {
    case QSettings::NoError: return std::nullopt;
    case QSettings::AccessError: return SettingsError::accessError;
    case QSettings::FormatError: return SettingsError::formatError;
    }
    return SettingsError::accessError;
}

} // namespace

std::unique_ptr<QSettings> openSettingsFile(const QString& path)
{
    auto settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
    // A reader never sees a half-written file.
    settings->setAtomicSyncRequired(true);
    // QSettings parses the file's sections only when a key is asked for.
    settings->allKeys();
    return settings;
}

SettingsWriter::SettingsWriter(const QString& path, bool fileUnreadable)
    : m_path(path), m_fileUnreadable(fileUnreadable)
{
}

SettingsWriter::~SettingsWriter()
{
    if (!m_thread)
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread->wait();
}

void SettingsWriter::set(const QString& key, const QVariant& value)
{
    handOver({key, value});
}

void SettingsWriter::remove(const QString& key)
{
    handOver({key, std::nullopt});
}

void SettingsWriter::handOver(Change change)
{
    {
        const std::lock_guard lock(m_mutex);
        m_handedOver.append(std::move(change));
        ++m_handedOverCount;
    }
    m_wake.notify_one();
    if (!m_thread) {
        m_thread.reset(QThread::create([this] { run(); }));
        m_thread->setObjectName(QStringLiteral("Tarv settings"));
        m_thread->start();
    }
}

void SettingsWriter::waitUntilIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_handedOver.isEmpty() && !m_writing; });
}

QFuture<std::optional<SettingsError>> SettingsWriter::written()
{
    const std::lock_guard lock(m_mutex);
    Waiter waiter{m_handedOverCount, {}};
    QFuture<std::optional<SettingsError>> future = waiter.promise.future();
    waiter.promise.start();
    if (m_writtenThrough == m_handedOverCount) {
        waiter.promise.addResult(std::optional<SettingsError>());
        waiter.promise.finish();
    } else {
        m_waiters.push_back(std::move(waiter));
    }
    return future;
}

std::optional<SettingsError> SettingsWriter::lastError() const
{
    const std::lock_guard lock(m_mutex);
    return m_lastError;
}

QString SettingsWriter::lastErrorReason() const
{
    const std::lock_guard lock(m_mutex);
    return m_lastErrorReason;
}

void SettingsWriter::setResultHandler(ResultHandler handler)
{
    const std::lock_guard lock(m_mutex);
    m_resultHandler = std::move(handler);
}

void SettingsWriter::run()
{
    bool triedOnStop = false;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return !m_handedOver.isEmpty() || m_stopping; });
        if (m_handedOver.isEmpty()) {
            // Stopping: changes whose write failed get one more try, for a disk that came back.
            if (m_unwritten.isEmpty() || triedOnStop)
                break;
            triedOnStop = true;
        }
        const QList<Change> changes = std::exchange(m_handedOver, {});
        const std::uint64_t through = m_handedOverCount;
        m_writing = true;
        lock.unlock();

        for (const Change& change : changes)
            keep(change);
        const std::optional<SettingsError> result = writeFile();

        lock.lock();
        m_lastError = result;
        m_lastErrorReason = m_failureReason;
        if (!result)
            m_writtenThrough = through;
        const ResultHandler handler = m_resultHandler;
        std::vector<Waiter> answered;
        for (auto it = m_waiters.begin(); it != m_waiters.end();) {
            if (it->through <= through) {
                answered.push_back(std::move(*it));
                it = m_waiters.erase(it);
            } else {
                ++it;
            }
        }
        lock.unlock();
        for (Waiter& waiter : answered) {
            waiter.promise.addResult(result);
            waiter.promise.finish();
        }
        if (handler)
            handler(result);
        lock.lock();
        m_writing = false;
        m_idle.notify_all();
    }
    lock.unlock();
    m_settings.reset();
}

// A later change of the same key makes an earlier one moot, except that a removal also removes
// the keys below it, which a later value of the key itself does not bring back.
void SettingsWriter::keep(Change change)
{
    m_unwritten.removeIf([&change](const Change& earlier) {
        return earlier.key == change.key && (!change.value || earlier.value);
    });
    m_unwritten.append(std::move(change));
}

std::optional<SettingsError> SettingsWriter::writeFile()
{
    if (!m_settings)
        m_settings = openSettingsFile(m_path);
    for (const Change& change : std::as_const(m_unwritten)) {
        if (change.value)
            m_settings->setValue(change.key, *change.value);
        else
            m_settings->remove(change.key);
    }
    m_settings->sync();
    // setValue also posted QSettings a request for a sync, which this thread, running no event
    // loop, would keep queued for good.
    QCoreApplication::removePostedEvents(m_settings.get(), QEvent::UpdateRequest);
    std::optional<SettingsError> error = errorOf(m_settings->status());
    if (m_fileUnreadable) {
        // QSettings keeps reporting the file it could not read after every write; whether the
        // write replaced it shows in a fresh QSettings.
        m_settings.reset();
        m_settings = openSettingsFile(m_path);
        error = m_settings->status() == QSettings::FormatError ? SettingsError::accessError
                                                                : errorOf(m_settings->status());
        if (!error)
            m_fileUnreadable = false;
    }
    if (error) {
        // QSettings reports its first error for good: the next write starts afresh and writes
        // everything still unwritten.
        m_settings.reset();
        const QString reason = reasonForFailure();
        if (!m_failing || reason != m_failureReason)
            qWarning("Settings: %s could not be written: %s", qPrintable(m_path),
                     qPrintable(reason.isEmpty() ? settingsErrorText(*error) : reason));
        m_failureReason = reason;
    } else {
        m_unwritten.clear();
        m_failureReason.clear();
    }
    m_failing = error.has_value();
    return error;
}

// QSettings tells only that the file could not be written. Doing what its write does, a file
// of the same size beside it, finds out why: a folder that is missing or not one, no right to
// write, a full disk.
QString SettingsWriter::reasonForFailure() const
{
    const QFileInfo file(m_path);
    const QByteArray folder = QFile::encodeName(file.absolutePath());
    struct stat info {};
    if (::stat(folder.constData(), &info) != 0)
        return qt_error_string(errno);
    if (!S_ISDIR(info.st_mode))
        return qt_error_string(ENOTDIR);
    QByteArray probe = folder + "/.Tarv.conf-check-XXXXXX";
    const int fd = ::mkostemp(probe.data(), O_CLOEXEC);
    if (fd < 0)
        return qt_error_string(errno);
    const QByteArray bytes(qsizetype(std::clamp<qint64>(file.size(), 4096, 8 << 20)), '\n');
    int error = 0;
    for (qsizetype done = 0; done < bytes.size() && !error;) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno != EINTR)
            error = errno;
    }
    // A file system that allocates late reports a full disk only here.
    if (!error && ::fsync(fd) != 0)
        error = errno;
    ::close(fd);
    ::unlink(probe.constData());
    return error ? qt_error_string(error) : QString();
}
