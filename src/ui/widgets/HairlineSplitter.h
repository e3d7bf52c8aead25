#pragma once
// A splitter whose handle is a hairline in the palette's mid colour, as a split view draws it.
// The handle paints itself: a style sheet on the splitter would style every widget of the
// pages inside it through the style sheet machinery, which makes each of them several times
// slower to make and to lay out.

#include <QSplitter>

class HairlineSplitter : public QSplitter {
public:
    explicit HairlineSplitter(Qt::Orientation orientation, QWidget* parent = nullptr);

protected:
    QSplitterHandle* createHandle() override;
};
