#include "app/WindowActivation.h"

#include "app/XdgActivationRequest.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <chrono>

namespace {

// One request to bring a window forward, from the show to the answer; a child of the window,
// so it goes with it.
class Attempt final : public QObject {
public:
    Attempt(QWidget* window, QString token, std::function<void(bool)> done)
        : QObject(window), m_window(window), m_token(std::move(token)), m_done(std::move(done))
    {
        if (m_window->isMinimized())
            m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
        const bool wasShown = m_window->isVisible();
        m_window->show();
        m_window->raise();
        if (m_window->isActiveWindow()) {
            finishLater(true);
            // On Wayland the compositor's word that the window lost the focus (another
            // workspace shown) may not have reached Qt yet when a D-Bus call asks for it to
            // come forward: it asks all the same, which costs nothing where it is active.
            if (WindowActivation::usesActivationTokens()) {
                m_evenIfActive = true;
                activate();
            }
            return;
        }
        m_window->installEventFilter(this);
        auto* settle = new QTimer(this);
        settle->setSingleShot(true);
        connect(settle, &QTimer::timeout, this, [this] { finish(m_window && m_window->isActiveWindow()); });
        settle->start(std::chrono::milliseconds(WindowActivation::settleMs));
        // A window shown just now takes no activation until the compositor has shown it. (One
        // shown before may count as not exposed all the same: Qt's Wayland platform says so of
        // a window the compositor draws no frames of, such as one on another workspace.)
        QWindow* handle = m_window->windowHandle();
        if (wasShown || (handle && handle->isExposed()))
            activate();
        else if (handle)
            handle->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_window && event->type() == QEvent::WindowActivate) {
            finishLater(true);
        } else if (!m_asked && event->type() == QEvent::Expose && m_window && watched == m_window->windowHandle()
                   && m_window->windowHandle()->isExposed()) {
            // After the event is delivered: the window is shown as far as Qt is concerned.
            QMetaObject::invokeMethod(this, &Attempt::activate, Qt::QueuedConnection);
            m_asked = true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void activate()
    {
        m_asked = true;
        if (!m_window || (m_window->isActiveWindow() && !m_evenIfActive))
            return;
        if (!WindowActivation::usesActivationTokens()) {
            m_window->activateWindow();
            return;
        }
        if (!m_token.isEmpty()) {
            activateWith(m_token);
            return;
        }
        auto* request = new XdgActivationRequest(QGuiApplication::desktopFileName(), this);
        m_waitsForToken = true;
        connect(request, &XdgActivationRequest::tokenReady, this, [this, request](const QString& token) {
            request->deleteLater();
            activateWith(token);
            tokenAnswered();
        });
        connect(request, &XdgActivationRequest::failed, this, [this, request](const QString& reason) {
            request->deleteLater();
            qInfo("Tarv's window cannot ask the desktop to come forward: %s", qPrintable(reason));
            if (m_window)
                m_window->activateWindow();
            tokenAnswered();
        });
    }

    // Qt's Wayland platform activates a window with the token in XDG_ACTIVATION_TOKEN, which
    // it takes out of the environment as it does; it is taken out here too, so that no program
    // Tarv starts later inherits a token that was not meant for it.
    void activateWith(const QString& token)
    {
        if (!m_window || (m_window->isActiveWindow() && !m_evenIfActive))
            return;
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
        m_window->activateWindow();
        qunsetenv("XDG_ACTIVATION_TOKEN");
    }

    // The attempt outlives its answer while its token is still to come.
    void tokenAnswered()
    {
        m_waitsForToken = false;
        if (m_finished)
            deleteLater();
    }

    void finishLater(bool active)
    {
        QMetaObject::invokeMethod(this, [this, active] { finish(active); }, Qt::QueuedConnection);
    }

    void finish(bool active)
    {
        if (m_finished)
            return;
        m_finished = true;
        if (m_window)
            m_window->removeEventFilter(this);
        if (m_done)
            m_done(active);
        if (!m_waitsForToken)
            deleteLater();
    }

    QPointer<QWidget> m_window;
    QString m_token;
    std::function<void(bool)> m_done;
    bool m_asked = false;
    bool m_evenIfActive = false;
    bool m_waitsForToken = false;
    bool m_finished = false;
};

} // namespace

namespace WindowActivation {

bool usesActivationTokens()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

void bringForward(QWidget* window, const QString& xdgActivationToken, std::function<void(bool)> done)
{
    new Attempt(window, xdgActivationToken, std::move(done));
}

} // namespace WindowActivation
