#include "ui/picture_drop.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace lumenveil::ui {

std::optional<QString> DroppedFile(const QMimeData& data)
{
    for (const QUrl& url : data.urls()) {
        if (url.isLocalFile()) {
            return url.toLocalFile();
        }
    }
    return std::nullopt;
}

void PictureDrop::Watch(QWidget& widget)
{
    widget.setAcceptDrops(true);
    widget.installEventFilter(this);
}

bool PictureDrop::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QMimeData* data = drop->mimeData();
        const std::optional<QString> file = data != nullptr ? DroppedFile(*data) : std::nullopt;
        if (!file) {
            return QObject::eventFilter(watched, event);
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        if (event->type() == QEvent::Drop) {
            emit fileDropped(*file);
        }
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

} // namespace lumenveil::ui
