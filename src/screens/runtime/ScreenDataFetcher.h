#pragma once
// Gets the value of one data source of a custom screen: runs its shell command or loads its
// URL, off the GUI thread, and turns the output into the texts the screen shows. Also holds
// the value rules every source shares (first line, JSON field paths, number texts, decimals).

#include "screens/format/CustomScreen.h"

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QThreadPool>

#include <functional>
#include <memory>
#include <optional>
#include <variant>

#include "screens/runtime/ShellCommand.h"

#include <mutex>

class ScreenDataFetcher : public QObject {
    Q_OBJECT

public:
    struct Failure {
        QString message;
        friend bool operator==(const Failure&, const Failure&) = default;
    };
    // One value key's text, or why it has none.
    using Entry = std::variant<QString, Failure>;
    using Values = QMap<QString, Entry>;
    // A failure of the whole source, or the entries of every value key the screen reads.
    using Result = std::variant<Failure, Values>;
    using Done = std::function<void(Result)>;
    // For a URL source, just before `done`: the last address a server redirected it to, or
    // an empty address when none did.
    using Redirected = std::function<void(const QUrl&)>;

    static constexpr qsizetype maxOutputBytes = 65536;
    static constexpr qsizetype maxBodyBytes = 1024 * 1024;

    explicit ScreenDataFetcher(double shellTimeout = 10.0, QObject* parent = nullptr);
    // Ends the process groups of commands still running.
    ~ScreenDataFetcher() override;

    // Starts fetching the source and returns at once. `done` runs later on this object's
    // thread, exactly once, unless `context` is destroyed first (which also stops a URL load).
    virtual void fetch(const CustomScreen::DataSource& source, const QSet<QString>& paths, bool whole,
                       QObject* context, Done done, Redirected redirected = {});

    // Blocking: the command's standard output, or why it gave none.
    static std::variant<QString, Failure> runShellSource(const QString& command, double timeLimit,
                                                         double killGrace = 1.0, ShellGroups* groups = nullptr);
    static std::variant<QString, Failure> shellResult(const ShellCommand::Outcome& outcome, double timeLimit);

    static Values buildSourceValues(const CustomScreen::DataSource& source, const QByteArray& output,
                                    const std::optional<QString>& field, const QSet<QString>& paths, bool whole);
    static Entry extractJSONValue(const std::optional<QString>& path, const QByteArray& output);
    static QString formatSourceNumber(double value);
    static std::optional<QString> firstNonEmptyLine(const QString& text);
    // A time limit as the messages write it: whole seconds from 1 up, else one decimal.
    static QString limitText(double seconds);

    // Seconds a shell command may run before its group is stopped.
    double shellTimeout;
    // Seconds between SIGTERM and SIGKILL after a time-out.
    double killGrace = 1.0;
    // Seconds a URL load may go without receiving anything, and may take in all.
    double urlIdleTimeout = 15.0;
    double urlDeadline = 60.0;

private:
    void fetchShell(const CustomScreen::DataSource& source, const QString& command, const QSet<QString>& paths,
                    bool whole, QObject* context, Done done);
    void fetchURL(const CustomScreen::DataSource& source, const CustomScreen::DataSource::Url& url,
                  const QSet<QString>& paths, bool whole, QObject* context, Done done, Redirected redirected);
    // A fetch under way: its callback and the context that must still exist when it runs.
    // Made on this object's thread and read only there.
    struct Pending {
        QPointer<QObject> guard;
        bool guarded;
        Done done;
        // What the context's end sets off (a command's stop), undone once the result is in.
        QMetaObject::Connection whenGone;
        bool wanted() const { return !guarded || guard; }
    };
    static std::shared_ptr<Pending> makePending(QObject* context, Done done);
    // Runs the callback from this object's event loop, so that no caller sees it run inside
    // `fetch`; callable from any thread.
    void deliverLater(std::shared_ptr<Pending> pending, Result result);
    // Runs `work` on the pool and hands its result back to this thread.
    void resultOffThread(QThreadPool& pool, std::shared_ptr<Pending> pending, std::function<Result()> work);

    std::shared_ptr<ShellGroups> m_groups;
    // What a command's end, on the waiter's thread, reaches this object through.
    struct Alive {
        std::mutex mutex;
        ScreenDataFetcher* fetcher = nullptr;
    };
    std::shared_ptr<Alive> m_alive;
    // Declared last: destroying it waits for the running jobs, which must find the members
    // above still alive.
    QThreadPool m_decodePool;
};
