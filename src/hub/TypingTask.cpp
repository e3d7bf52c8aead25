#include "hub/TypingTask.h"

#include "platform/Graphemes.h"

#include <QTimer>

TypingTask::TypingTask(const QString& text, CharacterSender send, Scheduler scheduler, QObject* parent)
    : QObject(parent), m_characters(graphemes(text)), m_send(std::move(send)), m_scheduler(std::move(scheduler))
{
}

void TypingTask::start()
{
    step();
}

void TypingTask::cancel()
{
    m_cancelled = true;
}

void TypingTask::step()
{
    if (m_cancelled)
        return;
    if (m_next >= m_characters.size()) {
        m_endReached = true;
        return;
    }
    m_send(m_characters[m_next]);
    ++m_next;
    // The pause follows every character, the last one included, so a new text typed right
    // after never runs into the previous one's final key.
    const QPointer<TypingTask> weak(this);
    m_scheduler(pace, this, [weak] {
        if (weak)
            weak->step();
    });
}

TypingTask::Scheduler TypingTask::timerScheduler()
{
    return [](std::chrono::milliseconds delay, QObject* context, std::function<void()> step) {
        QTimer::singleShot(delay, Qt::PreciseTimer, context, std::move(step));
    };
}
