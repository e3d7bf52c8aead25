#include "screens/runtime/ScreenDataFetcher.h"

#include "platform/HttpGet.h"
#include "screens/format/JsonText.h"
#include "screens/runtime/ShellCommand.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QPointer>

#include <algorithm>
#include <array>
#include <chrono>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <locale.h>

namespace {

const QByteArray sourcePath = QByteArrayLiteral("/opt/homebrew/bin:/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin");

QString fixedText(double value, int places)
{
    std::array<char, 400> buffer;
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                            std::chars_format::fixed, places);
    if (error != std::errc())
        return QString::number(value, 'g', QLocale::FloatingPointShortest);
    return QString::fromLatin1(buffer.data(), end - buffer.data());
}

// A text that reads completely as a C floating-point number: sign, digits, point, exponent,
// hexadecimal, infinity and not-a-number forms; no blanks around it. Read in the C locale,
// since the application runs in the user's, whose decimal separator may be a comma.
std::optional<double> cNumber(const QString& text)
{
    if (text.isEmpty() || text.front().isSpace())
        return std::nullopt;
    for (const QChar c : text) {
        if (c.unicode() > 0x7F)
            return std::nullopt;
    }
    static const locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    const QByteArray bytes = text.toLatin1();
    char* end = nullptr;
    const double value = ::strtod_l(bytes.constData(), &end, cLocale);
    if (end != bytes.constData() + bytes.size())
        return std::nullopt;
    return value;
}

bool isLineBreak(char16_t c)
{
    return c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' || c == 0x0085 || c == 0x2028 || c == 0x2029;
}

bool isLineBlank(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

// A whole number as a path piece: optional sign, then decimal digits only.
std::optional<qint64> wholeNumberPiece(const QString& piece)
{
    qsizetype start = (piece.startsWith(u'+') || piece.startsWith(u'-')) ? 1 : 0;
    if (start == piece.size())
        return std::nullopt;
    for (qsizetype i = start; i < piece.size(); ++i) {
        if (piece[i] < u'0' || piece[i] > u'9')
            return std::nullopt;
    }
    bool ok = false;
    const qint64 number = piece.toLongLong(&ok);
    if (!ok)
        return piece.startsWith(u'-') ? std::optional<qint64>(-1) : std::optional<qint64>(INT64_MAX);
    return number;
}

QString quoted(const QString& text)
{
    return u'"' + text + u'"';
}

std::chrono::milliseconds limitDuration(double seconds)
{
    // A day is far beyond any useful wait here.
    return std::chrono::milliseconds(qint64(std::clamp(seconds * 1000.0, 1.0, 86400000.0)));
}

QString urlFailureText(const HttpGet::Failure& failure, double idle, double deadline)
{
    switch (failure.kind) {
    case HttpGet::Failure::Kind::bodyTooLarge:
        return QStringLiteral("the response is larger than 1 MB");
    case HttpGet::Failure::Kind::silent:
        return QStringLiteral("the server sent nothing for ") + ScreenDataFetcher::limitText(idle) + QStringLiteral(" s");
    case HttpGet::Failure::Kind::timedOut:
        return QStringLiteral("the response took longer than ") + ScreenDataFetcher::limitText(deadline) +
               QStringLiteral(" s");
    default:
        return failure.message;
    }
}

} // namespace

QString ScreenDataFetcher::limitText(double seconds)
{
    if (seconds >= 1)
        return QString::number(qint64(std::min(seconds, 1.0e15)));
    return QString::number(seconds, 'f', 1);
}

ScreenDataFetcher::ScreenDataFetcher(double shellTimeout, QObject* parent)
    : QObject(parent), shellTimeout(shellTimeout), m_groups(std::make_shared<ShellGroups>()),
      m_alive(std::make_shared<Alive>())
{
    m_alive->fetcher = this;
    m_decodePool.setMaxThreadCount(2);
}

ScreenDataFetcher::~ScreenDataFetcher()
{
    {
        // A command that ends from now on reaches nobody.
        const std::lock_guard lock(m_alive->mutex);
        m_alive->fetcher = nullptr;
    }
    m_groups->endAll();
}

void ScreenDataFetcher::fetch(const CustomScreen::DataSource& source, const QSet<QString>& paths, bool whole,
                              QObject* context, Done done, Redirected redirected)
{
    if (const auto* shell = std::get_if<CustomScreen::DataSource::Shell>(&source.kind))
        fetchShell(source, shell->command, paths, whole, context, std::move(done));
    else if (const auto* url = std::get_if<CustomScreen::DataSource::Url>(&source.kind))
        fetchURL(source, *url, paths, whole, context, std::move(done), std::move(redirected));
    else
        deliverLater(makePending(context, std::move(done)), Failure{QStringLiteral("a push source is not fetched")});
}

std::shared_ptr<ScreenDataFetcher::Pending> ScreenDataFetcher::makePending(QObject* context, Done done)
{
    return std::make_shared<Pending>(Pending{context, context != nullptr, std::move(done), {}});
}

void ScreenDataFetcher::deliverLater(std::shared_ptr<Pending> pending, Result result)
{
    QMetaObject::invokeMethod(
        this,
        [pending = std::move(pending), result = std::move(result)] {
            QObject::disconnect(pending->whenGone);
            if (pending->wanted())
                pending->done(result);
        },
        Qt::QueuedConnection);
}

void ScreenDataFetcher::resultOffThread(QThreadPool& pool, std::shared_ptr<Pending> pending,
                                        std::function<Result()> work)
{
    // Destroying the fetcher waits for this job, so `this` is alive to receive the result.
    pool.start([this, pending = std::move(pending), work = std::move(work)] { deliverLater(pending, work()); });
}

void ScreenDataFetcher::fetchShell(const CustomScreen::DataSource& source, const QString& command,
                                   const QSet<QString>& paths, bool whole, QObject* context, Done done)
{
    std::shared_ptr<Pending> pending = makePending(context, std::move(done));
    // The command's end comes on the waiter's thread: the output is read on the pool.
    const ChildWaiter::Ticket ticket = ShellCommand::start(
        *m_groups, command, sourcePath, shellTimeout, killGrace,
        [alive = m_alive, pending, source, paths, whole, limit = shellTimeout](ShellCommand::Outcome outcome) {
            const std::lock_guard lock(alive->mutex);
            ScreenDataFetcher* fetcher = alive->fetcher;
            if (!fetcher)
                return;
            auto output = shellResult(outcome, limit);
            if (auto* failure = std::get_if<Failure>(&output)) {
                fetcher->deliverLater(pending, std::move(*failure));
                return;
            }
            fetcher->resultOffThread(fetcher->m_decodePool, pending,
                                     [source, output = std::get<QString>(output).toUtf8(), paths, whole]() -> Result {
                                         return buildSourceValues(source, output, std::nullopt, paths, whole);
                                     });
        });
    // A command whose asker is gone is ended at once, as its time limit would end it.
    if (context && ticket != 0) {
        pending->whenGone = connect(context, &QObject::destroyed,
                                    [groups = m_groups, ticket] { groups->waiter().terminate(ticket); });
    }
}

void ScreenDataFetcher::fetchURL(const CustomScreen::DataSource& source, const CustomScreen::DataSource::Url& url,
                                 const QSet<QString>& paths, bool whole, QObject* context, Done done,
                                 Redirected redirected)
{
    std::shared_ptr<Pending> pending = makePending(context, std::move(done));
    HttpGet::Request request;
    request.url = url.url;
    // The source's own headers replace these two, but only for the address it was approved with.
    request.headers = {{"Accept", "application/json"}, {"User-Agent", "Tarv/0.1 (custom screen)"}};
    for (auto it = url.headers.cbegin(); it != url.headers.cend(); ++it)
        request.originHeaders.append({it.key().toUtf8(), it.value().toUtf8()});
    request.maxBodyBytes = maxBodyBytes;
    request.deadline = limitDuration(urlDeadline);
    request.idleLimit = limitDuration(urlIdleTimeout);
    request.lookupShare = "screens";
    auto* load = new HttpGet(std::move(request), this);
    // Ended with its asker, which then hears nothing of it.
    if (context)
        connect(context, &QObject::destroyed, load, &HttpGet::abort);
    load->onDone = [this, load, pending, redirected = std::move(redirected), source, field = url.field, paths, whole,
                    idle = urlIdleTimeout, deadline = urlDeadline](HttpGet::Outcome outcome) {
        load->deleteLater();
        if (!pending->wanted())
            return;
        if (redirected)
            redirected(outcome.redirectedTo.value_or(QUrl()));
        if (outcome.failure) {
            pending->done(Failure{urlFailureText(*outcome.failure, idle, deadline)});
            return;
        }
        if (outcome.status < 200 || outcome.status > 299) {
            pending->done(Failure{QStringLiteral("HTTP ") + QString::number(outcome.status)});
            return;
        }
        // Up to a mebibyte of JSON: not work for the GUI thread.
        resultOffThread(m_decodePool, pending,
                        [source, body = std::move(outcome.body), field, paths, whole]() -> Result {
                            return buildSourceValues(source, body, field, paths, whole);
                        });
    };
    load->start();
}

std::variant<QString, ScreenDataFetcher::Failure> ScreenDataFetcher::runShellSource(const QString& command,
                                                                                  double timeLimit,
                                                                                  double killGrace,
                                                                                  ShellGroups* groups)
{
    const auto own = groups ? nullptr : std::make_shared<ShellGroups>();
    ShellGroups& runIn = groups ? *groups : *own;
    return shellResult(ShellCommand::run(runIn, command, sourcePath, timeLimit, killGrace), timeLimit);
}

std::variant<QString, ScreenDataFetcher::Failure> ScreenDataFetcher::shellResult(const ShellCommand::Outcome& outcome,
                                                                               double timeLimit)
{
    switch (outcome.end) {
    case ShellCommand::End::notStarted:
        return Failure{QStringLiteral("could not start /bin/sh: ") + outcome.startError};
    case ShellCommand::End::timedOut:
        return Failure{QStringLiteral("timed out after ") + limitText(timeLimit) + QStringLiteral(" s")};
    case ShellCommand::End::stopped:
        return Failure{QStringLiteral("stopped with its screen's sources")};
    case ShellCommand::End::unknown:
        return Failure{QStringLiteral("ended without an exit status Tarv could read")};
    case ShellCommand::End::exited:
    case ShellCommand::End::signalled:
        break;
    }
    const QString output = QString::fromUtf8(outcome.out);
    if (outcome.end == ShellCommand::End::exited && outcome.status == 0) {
        if (!firstNonEmptyLine(output))
            return Failure{QStringLiteral("printed nothing")};
        return output;
    }
    const QString status = QString::number(outcome.status);
    if (const auto line = firstNonEmptyLine(QString::fromUtf8(outcome.err)))
        return Failure{QStringLiteral("exit ") + status + QStringLiteral(": ") + *line};
    return Failure{QStringLiteral("exit status ") + status};
}

namespace {

// The output of one fetch, parsed as JSON at most once however many paths read it.
class ParsedOutput {
public:
    explicit ParsedOutput(const QByteArray& bytes) : bytes(bytes) {}

    const std::optional<QJsonValue>& json()
    {
        if (!m_parsed)
            m_parsed = JsonText::parse(bytes);
        return *m_parsed;
    }

    const QByteArray& bytes;

private:
    std::optional<std::optional<QJsonValue>> m_parsed;
};

ScreenDataFetcher::Entry valueAt(const std::optional<QString>& path, ParsedOutput& output);

} // namespace

ScreenDataFetcher::Values ScreenDataFetcher::buildSourceValues(const CustomScreen::DataSource& source,
                                                               const QByteArray& output,
                                                               const std::optional<QString>& field,
                                                               const QSet<QString>& paths, bool whole)
{
    Values values;
    ParsedOutput parsed(output);
    if (whole)
        values.insert(source.key, valueAt(field, parsed));
    for (const QString& path : paths) {
        const QString joined = field && !field->isEmpty() ? *field + u'.' + path : path;
        values.insert(source.key + u'.' + path, valueAt(joined, parsed));
    }
    if (source.decimals) {
        for (Entry& entry : values) {
            if (const auto* text = std::get_if<QString>(&entry)) {
                if (const auto number = cNumber(*text))
                    entry = fixedText(*number, int(*source.decimals));
            }
        }
    }
    return values;
}

ScreenDataFetcher::Entry ScreenDataFetcher::extractJSONValue(const std::optional<QString>& path,
                                                             const QByteArray& output)
{
    ParsedOutput parsed(output);
    return valueAt(path, parsed);
}

namespace {

ScreenDataFetcher::Entry valueAt(const std::optional<QString>& path, ParsedOutput& output)
{
    using Failure = ScreenDataFetcher::Failure;
    const auto formatSourceNumber = ScreenDataFetcher::formatSourceNumber;
    const auto firstNonEmptyLine = ScreenDataFetcher::firstNonEmptyLine;
    if (!path || path->isEmpty()) {
        const QByteArray& bytes = output.bytes;
        const qsizetype size = std::min(bytes.size(), ScreenDataFetcher::maxOutputBytes);
        if (const auto line = firstNonEmptyLine(QString::fromUtf8(bytes.first(size))))
            return *line;
        return Failure{QStringLiteral("the response was empty")};
    }
    const auto& top = output.json();
    if (!top)
        return Failure{QStringLiteral("the output is not JSON")};

    QString normalised = *path;
    normalised.replace(u'[', u'.');
    normalised.remove(u']');
    const QStringList pieces = normalised.split(u'.', Qt::SkipEmptyParts);
    QJsonValue current = *top;
    QStringList walked;
    for (const QString& piece : pieces) {
        if (current.isObject() && current.toObject().contains(piece)) {
            current = current.toObject().value(piece);
        } else if (const auto index = current.isArray() ? wholeNumberPiece(piece) : std::nullopt;
                   index && *index >= 0 && *index < current.toArray().size()) {
            current = current.toArray().at(*index);
        } else {
            const QString where = walked.isEmpty() ? QStringLiteral("at the top of the JSON")
                                                   : QStringLiteral("under ") + quoted(walked.join(u'.'));
            return Failure{QStringLiteral("no ") + quoted(piece) + u' ' + where};
        }
        walked.append(piece);
    }

    if (current.isString())
        return firstNonEmptyLine(current.toString()).value_or(QString());
    if (current.isBool())
        return current.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (current.isDouble())
        return formatSourceNumber(current.toDouble());
    if (current.isNull())
        return QString();
    if (current.isArray()) {
        QStringList numbers;
        bool allNumbers = true;
        for (const QJsonValue element : current.toArray()) {
            if (element.isDouble())
                numbers.append(formatSourceNumber(element.toDouble()));
            else if (element.isBool())
                numbers.append(element.toBool() ? QStringLiteral("1") : QStringLiteral("0"));
            else
                allNumbers = false;
        }
        if (allNumbers)
            return numbers.join(u' ');
    }
    return Failure{quoted(*path) + QStringLiteral(" is an object or a list, not a value")};
}

} // namespace

QString ScreenDataFetcher::formatSourceNumber(double value)
{
    if (!std::isfinite(value) || std::fabs(value) >= 1.0e15)
        return QString::number(value, 'g', QLocale::FloatingPointShortest);
    if (value == std::trunc(value))
        return QString::number(qint64(value));
    QString text = fixedText(value, 4);
    while (text.endsWith(u'0'))
        text.chop(1);
    if (text.endsWith(u'.'))
        text.chop(1);
    return text;
}

std::optional<QString> ScreenDataFetcher::firstNonEmptyLine(const QString& text)
{
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = start;
        while (end < text.size() && !isLineBreak(text[end].unicode()))
            ++end;
        qsizetype first = start;
        qsizetype last = end;
        while (first < last && isLineBlank(text[first]))
            ++first;
        while (last > first && isLineBlank(text[last - 1]))
            --last;
        if (first < last)
            return text.sliced(first, last - first);
        // CR LF is one break; the loop simply meets an empty piece between them.
        start = end + 1;
    }
    return std::nullopt;
}
