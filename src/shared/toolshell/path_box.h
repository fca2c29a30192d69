#pragma once
// A path box: a line edit that also takes a file dropped on it from a file manager. The drop
// replaces the box's text with the file's local path, as a browse button's dialog does.

#include <QLineEdit>

class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QMimeData;

namespace lex {

class PathBox : public QLineEdit {
    Q_OBJECT
public:
    explicit PathBox(QWidget *parent = nullptr);

    // The local path of the first file among dropped data, or an empty text.
    static QString droppedPath(const QMimeData *data);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
};

} // namespace lex
