#pragma once
// Types one text on the device, a character at a time with a fixed pause after each, until
// it has typed them all, a character cannot be handed over, or it is cancelled (destroying it
// cancels it too, silently).

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

class TypingTask : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds pace{40};

    // Runs `step` once after `delay` unless `context` is gone by then. The hub hands in a
    // precise timer; tests hand in one they fire themselves.
    using Scheduler = std::function<void(std::chrono::milliseconds delay, QObject* context, std::function<void()> step)>;
    // Sends one character; characters the device cannot type are the sender's to skip. The
    // failure's text when the character could not be handed over, which ends the typing.
    using CharacterSender = std::function<std::optional<QString>(const QString& character)>;
    // Told once: nothing when the last character was handed over, else why typing stopped.
    using EndHandler = std::function<void(const std::optional<QString>& failure)>;

    TypingTask(const QString& text, CharacterSender send, Scheduler scheduler, EndHandler onEnd = {},
               QObject* parent = nullptr);

    // Types the first character now and schedules the rest.
    void start();
    void cancel();
    bool isCancelled() const { return m_cancelled; }
    bool isFinished() const { return m_next >= m_characters.size() && m_endReached; }
    qsizetype typedCount() const { return m_next; }

    // A precise single-shot timer on the calling thread.
    static Scheduler timerScheduler();

private:
    void step();
    void end(const std::optional<QString>& failure);

    QStringList m_characters;
    CharacterSender m_send;
    Scheduler m_scheduler;
    EndHandler m_onEnd;
    bool m_ended = false;
    qsizetype m_next = 0;
    bool m_cancelled = false;
    bool m_endReached = false;
};
