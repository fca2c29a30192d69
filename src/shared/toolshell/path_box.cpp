#include "shared/toolshell/path_box.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace lex {

PathBox::PathBox(QWidget *parent) : QLineEdit(parent) {
    setAcceptDrops(true);
}

QString PathBox::droppedPath(const QMimeData *data) {
    if (!data || !data->hasUrls())
        return {};
    for (const QUrl &url : data->urls())
        if (url.isLocalFile())
            return url.toLocalFile();
    return {};
}

void PathBox::dragEnterEvent(QDragEnterEvent *event) {
    if (!isReadOnly() && !droppedPath(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        QLineEdit::dragEnterEvent(event); // text dragged in as a line edit takes it
}

void PathBox::dragMoveEvent(QDragMoveEvent *event) {
    if (!isReadOnly() && !droppedPath(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        QLineEdit::dragMoveEvent(event);
}

void PathBox::dropEvent(QDropEvent *event) {
    const QString path = isReadOnly() ? QString() : droppedPath(event->mimeData());
    if (path.isEmpty()) {
        QLineEdit::dropEvent(event);
        return;
    }
    setText(path);
    setFocus(Qt::MouseFocusReason);
    event->acceptProposedAction();
}

} // namespace lex
