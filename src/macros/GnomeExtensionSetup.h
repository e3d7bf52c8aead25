#pragma once
// What Tarv's GNOME Shell extension still needs before it tells Tarv the application in front,
// said in words, and the one step that helps, taken only when the user asks: install Tarv's
// copy, update an older one, switch extensions on as a whole, have it switched on at the next
// login, or switch it on now. It is read from GNOME Shell over the session bus, from the
// extension folders and from GNOME's settings, and every step runs on a worker: the GUI thread
// never waits.

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

class GnomeExtensionSetup : public QObject {
    Q_OBJECT
public:
    enum class State {
        Reading,       // nothing read yet
        NoShell,       // GNOME Shell does not answer on this bus
        NotInstalled,  // no copy anywhere GNOME Shell looks
        Outdated,      // the copy GNOME Shell finds is older than Tarv's, or made for another GNOME Shell
        ExtensionsOff, // the user's extensions are switched off as a whole
        AtNextLogin,   // GNOME Shell reads the copy installed now only at the next login
        Off,           // GNOME Shell knows it, switched off
        On,
        Failed,        // GNOME Shell cannot run it
    };
    enum class Step { None, Install, Update, SwitchOnExtensions, SwitchOnAtLogin, SwitchOn };

    // One copy of the extension: its metadata.
    struct Copy {
        QString folder;
        int version = 0;
        QStringList shellVersions;
    };

    // What the state is decided from.
    struct Facts {
        bool shellAnswered = false;
        QString shellVersion;
        bool userExtensionsEnabled = true;
        // GNOME Shell's own account of the extension; empty when it has not seen it.
        QVariantMap info;
        // The copy GNOME Shell finds first: the user's own, else the first system-wide one.
        std::optional<Copy> installed;
        // Tarv's copies, one per variant.
        QList<Copy> bundled;
        // GNOME's settings: whether it is switched on at login; none when they cannot be read.
        std::optional<bool> onAtLogin;
    };

    struct Places {
        QString bundled;                  // the folder of Tarv's variants, each a folder of its own
        QString userExtensions;           // where the user's own extensions are
        QStringList systemExtensions;     // where system-wide ones are, in GNOME Shell's order
        QString gsettings = QStringLiteral("gsettings");
    };
    // This program's copies and the folders of the XDG base directories.
    static Places defaultPlaces();

    // The state and its step, as decided from `facts`.
    struct Situation {
        State state = State::Reading;
        Step step = Step::None;
        QString text;
    };
    static Situation decide(const Facts& facts);

    // Reads at once, and again whenever GNOME Shell reports a change of its extensions.
    GnomeExtensionSetup(QDBusConnection bus, Places places, QObject* parent = nullptr);

    State state() const { return m_situation.state; }
    Step step() const { return m_situation.step; }
    // The state in words; empty when there is nothing to say (on, or no GNOME Shell).
    QString text() const { return m_situation.text; }
    // The button that takes the step; empty when there is none.
    QString stepTitle() const;
    // Reading, or taking a step.
    bool isBusy() const { return m_reading || m_stepping; }
    // Why the last step failed; empty when it did not.
    QString failure() const { return m_failure; }

    void refresh();
    void takeStep();

    static QString uuid();
    static int version();
    // A GNOME session on Wayland, where the extension is the one way to follow the app in front
    // (GNOME on X11 tells it through the X11 display).
    static bool concernsThisSession();

signals:
    void changed();

private slots:
    void shellChanged(const QDBusMessage& message);

private:
    void listen(const QString& owner);

    QDBusConnection m_bus;
    Places m_places;
    QString m_owner;
    Facts m_facts;
    Situation m_situation;
    bool m_reading = false;
    bool m_readAgain = false;
    bool m_stepping = false;
    QString m_failure;
};
