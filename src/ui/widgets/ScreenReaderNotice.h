#pragma once
// Says a result or an error to a screen reader while the keyboard stays where the user works:
// a notification of the window, which Orca speaks as it appears ("notification Sent through
// Tarv"). Qt of this day has no event that asks a screen reader to say a text, and Orca does not
// speak a changed name or description that Qt reports (Qt sends the object in place of the text).

#include <QWidget>

class ScreenReaderNotice : public QWidget {
    Q_OBJECT
public:
    // Says `text` in the window of `where`; an empty text says nothing.
    static void say(QWidget* where, const QString& text);
    // The notice of a window, once something was said there.
    static ScreenReaderNotice* of(const QWidget* window);

private:
    explicit ScreenReaderNotice(QWidget* window);
};
