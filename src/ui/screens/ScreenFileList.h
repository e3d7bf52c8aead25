#pragma once
// The rows of the Screens folder's files, one under another with a line between, in the
// store's order, each made only once it comes into sight.

#include "ui/widgets/LazyRowList.h"

#include <functional>

class ScreenFileRow;

class ScreenFileList : public LazyRowList {
public:
    // Makes the row of a file, with its content; the list owns it from then on.
    using FileRowMaker = std::function<ScreenFileRow*(const QString& fileName)>;

    explicit ScreenFileList(FileRowMaker makeRow, QWidget* parent = nullptr);

    void setFiles(const QStringList& fileNames) { setKeys(fileNames); }
    const QStringList& files() const { return keys(); }
    ScreenFileRow* row(const QString& fileName);
    QList<ScreenFileRow*> builtRows() const;
};
