#pragma once
// One section of a form page: a headed group of label-and-value rows with an optional
// footer in small secondary text under it. Pages are built from these so they all read alike.

#include <QGroupBox>
#include <QStringList>

class QFontMetrics;
class QFormLayout;
class QLabel;
class QVBoxLayout;

class FormSection : public QWidget {
public:
    static constexpr int labelSpacing = 16;
    static constexpr int pageMargin = 20;
    // The widest a page's sections grow; a wider page centres them.
    static constexpr int readableWidth = 720;

    explicit FormSection(const QString& title, QWidget* parent = nullptr);

    QFormLayout* rows() const { return m_rows; }
    QGroupBox* box() const { return m_box; }
    // Sets (or, with an empty text, removes) the footer.
    void setFooter(const QString& text);
    QLabel* footer() const { return m_footer; }

    // The column of sections that makes a page, with the room every page keeps around them;
    // never wider than readableWidth.
    static QVBoxLayout* pageLayout(QWidget* page);
    // A label for the value side of a row, set against the right edge as the rows' values are;
    // it shows its text as it is, never as markup.
    static QLabel* valueLabel(const char* objectName);
    // Widgets side by side as a row's value, set against the right edge as the rows' values are.
    static QWidget* trailingValue(const QList<QWidget*>& widgets, int spacing = -1);

    // Gives rows nested in a section the section's own look, so their columns can line up.
    static void matchRows(QFormLayout* rows);
    // The width of the label column that fits every one of `titles`.
    static int labelWidth(const QFontMetrics& metrics, const QStringList& titles);
    // Makes every label of the rows at least `width` wide: forms nested in one another line
    // their fields up in one column when their labels share a width.
    static void setLabelWidth(QFormLayout* rows, int width);

    // The colour of secondary text (captions, hints, the time of a log line).
    static QColor secondaryColor(const QWidget* widget);
    // Draws the widget's text in that colour.
    static void setSecondaryText(QWidget* widget);
    // The application font changed by `delta` points ("callout" is −1, "footnote" −2).
    static QFont relativeFont(const QFont& base, double delta);
    // The monospaced variant of a font role: the desktop's fixed-pitch family, with the
    // monospace style hint.
    static QFont monospacedFont(double delta);

private:
    QGroupBox* m_box = nullptr;
    QFormLayout* m_rows = nullptr;
    QLabel* m_footer = nullptr;
};
