#pragma once
// Keeps the keyboard focus where the user works and in sight, in every window of the
// application. A control in a scrolling page that is disabled or hidden while it has the focus
// hands it to its nearest neighbour in that page, where Qt would have sent it on past the page's
// end (to Settings, or to a tab bar); one that was disabled while it worked gets it back when it
// is enabled again, unless the user went on or worked in the neighbour meanwhile. A control that takes the focus from the keyboard or from
// the program is scrolled into sight in each scroll area around it, and is kept in sight while
// the page's layout changes under it, until the user scrolls it away; a key that works it brings
// it back.

#include <QList>
#include <QObject>
#include <QPointer>

class QApplication;
class QWidget;

class FocusKeeper : public QObject {
public:
    // Installs one keeper on the application; it lives as long as `owner`.
    static void install(QApplication* application, QObject* owner);

    // Whether `widget` shows within every scroll area around it; one larger than an area counts
    // as shown while a part of it does.
    static bool isInSight(const QWidget* widget);
    // Scrolls the scroll areas around `widget`, the innermost first, until it is in sight.
    static void bringIntoSight(QWidget* widget);
    // For a window's focusNextPrevChild, which Qt calls when the focused control is disabled or
    // hidden: hands the focus straight to the control's neighbour in its page, so that nothing
    // past the page takes it on the way (a screen reader would say each). False when the focus
    // is not going away from a control of a page, or the page has no other stop: Qt's own choice
    // stands then.
    static bool handOn(QWidget* window);
    // A message that answers what the user just did with the focused control (a command that
    // failed): once the page has made room for it, it is brought into sight as well, as far as
    // the focused control stays in sight; and its `text` is said to a screen reader.
    static void showWithFocus(QWidget* message, const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit FocusKeeper(QObject* owner);
    void focusChanged(QWidget* old, QWidget* now);
    // Gives the focus from `old`, which went away, to `neighbour`.
    void hand(QWidget* old, QWidget* neighbour);
    void follow(QWidget* focus);
    void scheduleCheck();
    void check();

    // The focused widget inside a scroll area, and those areas' contents, whose moves are the
    // user's scrolling and whose resizes are changes of the page's layout.
    QPointer<QWidget> m_focus;
    QList<QPointer<QWidget>> m_contents;
    // The focused widget was in sight when it was last looked at, or was just brought there.
    bool m_focusInSight = false;
    // The disabled control that handed the focus on, and the neighbour that took it.
    QPointer<QWidget> m_handedFrom;
    QPointer<QWidget> m_handedTo;
    bool m_checkScheduled = false;
    QPointer<QWidget> m_message;
};
