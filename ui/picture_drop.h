#pragma once

#include <QObject>
#include <QString>

#include <optional>

class QMimeData;
class QWidget;

namespace lumenveil::ui {

// The file a drop brings: the first local file among the dropped addresses. Nothing for other
// drops (a piece of text, a web address).
[[nodiscard]] std::optional<QString> DroppedFile(const QMimeData& data);

// Takes files dropped on the widgets it watches and hands the first one on; other drops are
// left to the widget itself, so text can still be dragged into a text box.
class PictureDrop final : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Lets `widget` take drops and watches them.
    void Watch(QWidget& widget);

signals:
    // A file was dropped. Emitted while the drop is still in progress: connect queued, so that
    // the drag source is not held by whatever the load shows.
    void fileDropped(const QString& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace lumenveil::ui
