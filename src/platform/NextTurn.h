#pragma once
// Work cut into slices does one slice per turn of the event loop, so the window and the device
// link are served between them. Asking for the next turn again before it has come changes
// nothing: one call is due at a time. The call goes with the object it runs for.

#include <QMetaObject>
#include <QObject>

#include <functional>
#include <utility>

class NextTurn {
public:
    NextTurn(QObject* owner, std::function<void()> slice) : m_owner(owner), m_slice(std::move(slice)) {}
    NextTurn(const NextTurn&) = delete;
    NextTurn& operator=(const NextTurn&) = delete;

    void ask()
    {
        if (m_due)
            return;
        m_due = true;
        QMetaObject::invokeMethod(
            m_owner,
            [this] {
                m_due = false;
                m_slice();
            },
            Qt::QueuedConnection);
    }

private:
    QObject* m_owner;
    std::function<void()> m_slice;
    bool m_due = false;
};
