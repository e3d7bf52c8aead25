#include "ui/screens/ScreenFileList.h"

#include "ui/screens/ScreenFileRow.h"

namespace {

LazyRowList::Look fileRowLook()
{
    LazyRowList::Look look;
    look.lines = true;
    // A row that loaded: its name and its summary, one line each.
    look.estimatedHeight = [](const QWidget& list) { return 2 * list.fontMetrics().height() + 5; };
    return look;
}

}  // namespace

ScreenFileList::ScreenFileList(FileRowMaker makeRow, QWidget* parent)
    : LazyRowList([makeRow = std::move(makeRow)](const QString& fileName) -> QWidget* { return makeRow(fileName); },
                  fileRowLook(), parent)
{
    setObjectName(QStringLiteral("fileRows"));
}

ScreenFileRow* ScreenFileList::row(const QString& fileName)
{
    return static_cast<ScreenFileRow*>(LazyRowList::row(fileName));
}

QList<ScreenFileRow*> ScreenFileList::builtRows() const
{
    QList<ScreenFileRow*> out;
    for (QWidget* row : LazyRowList::builtRows())
        out.append(static_cast<ScreenFileRow*>(row));
    return out;
}
