#include "hub/TypingTask.h"

#include "platform/Graphemes.h"

#include <QTimer>

TypingTask::TypingTask(const QString& text, CharacterSender send, Scheduler scheduler, EndHandler onEnd,
                       QObject* parent)
    : QObject(parent),
      m_characters(graphemes(text)),
      m_send(std::move(send)),
      m_scheduler(std::move(scheduler)),
      m_onEnd(std::move(onEnd))
{
}

void TypingTask::start()
{
    if (m_characters.isEmpty()) {
        m_endReached = true;
        end(std::nullopt);
        return;
    }
    step();
}

void TypingTask::cancel()
{
    m_cancelled = true;
    end(QStringLiteral("stopped: another text began typing"));
}

void TypingTask::end(const std::optional<QString>& failure)
{
    if (m_ended)
        return;
    m_ended = true;
    // Whoever is told may start another typing, which releases this task.
    const EndHandler onEnd = std::move(m_onEnd);
    if (onEnd)
        onEnd(failure);
}

void TypingTask::step()
{
    if (m_cancelled)
        return;
    if (m_next >= m_characters.size()) {
        m_endReached = true;
        return;
    }
    // The rest of a text that lost a character would type something else than was asked.
    if (const std::optional<QString> failure = m_send(m_characters[m_next])) {
        m_cancelled = true;
        end(failure);
        return;
    }
    ++m_next;
    // The pause follows every character, the last one included, so a new text typed right
    // after never runs into the previous one's final key.
    const QPointer<TypingTask> weak(this);
    m_scheduler(pace, this, [weak] {
        if (weak)
            weak->step();
    });
    if (m_next == m_characters.size())
        end(std::nullopt);
}

TypingTask::Scheduler TypingTask::timerScheduler()
{
    return [](std::chrono::milliseconds delay, QObject* context, std::function<void()> step) {
        QTimer::singleShot(delay, Qt::PreciseTimer, context, std::move(step));
    };
}
