#pragma once
// A stand-in for KWin's scripting interface on a private bus: it owns org.kde.KWin, answers
// loadScript, run and unloadScript as KWin 5.27 or 6 does, and runs the script it is handed
// in a JavaScript engine against a workspace of the test's making, whose windows the test
// opens, activates and closes. The script's callDBus calls go out on the stand-in's own
// connection, as KWin's do.

#include <QDBusConnection>
#include <QJSEngine>
#include <QObject>
#include <QStringList>

#include <memory>

namespace TarvFake {

class FakeKWin : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.kwin.Scripting")
public:
    enum class Plasma { Five, Six };

    // Connects to the bus at `address` and takes the name org.kde.KWin.
    FakeKWin(const QString& address, Plasma plasma);
    ~FakeKWin() override;

    bool isReady() const { return m_ready; }
    // The stand-in's unique name on the bus.
    QString uniqueName() const { return m_bus.baseService(); }

    // A script of this name counts as loaded already, as one left by an earlier run.
    void preload(const QString& name) { m_loaded.append(name); }

    // What was asked: "unloadScript NAME", "loadScript PATH NAME", "run PATH", in order.
    const QStringList& calls() const { return m_calls; }
    const QStringList& loadedScripts() const { return m_loaded; }
    bool isRunning() const { return m_running; }
    // Errors the script threw, and calls it made that were answered with an error.
    const QStringList& scriptErrors() const { return m_errors; }

    // The workspace: a window with these properties (a JavaScript object literal) opens and
    // comes to the front, as a new window does; activate and close take its index.
    int open(const QString& properties);
    void activate(int index);
    void close(int index);

    // Lets go of the name, as a KWin that ends.
    void quit();

public slots:
    Q_SCRIPTABLE int loadScript(const QString& filePath, const QString& pluginName);
    Q_SCRIPTABLE bool unloadScript(const QString& pluginName);

    // From the script.
    Q_INVOKABLE void callDBus(const QVariantList& arguments);

private:
    friend class FakeKWinScript;
    void run();
    void evaluate(const QString& code);

    QString m_connectionName;
    QDBusConnection m_bus;
    Plasma m_plasma;
    bool m_ready = false;
    bool m_running = false;
    QStringList m_calls;
    QStringList m_loaded;
    QStringList m_errors;
    QString m_scriptPath;
    int m_nextId = 0;
    QObject* m_script = nullptr;
    std::unique_ptr<QJSEngine> m_engine;
};

}  // namespace TarvFake
