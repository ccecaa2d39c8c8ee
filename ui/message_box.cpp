#include "ui/message_box.h"

#include "ui/program_names.h"

#include <QMessageBox>
#include <QPushButton>

namespace lumenveil::ui {

namespace {

constexpr int ButtonGroup = 0xF;
constexpr int IconGroup = 0xF0;
constexpr int DefaultGroup = 0xF00;

QMessageBox::Icon QtIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::None:
        return QMessageBox::NoIcon;
    case MessageIcon::Stop:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::Exclamation:
        return QMessageBox::Warning;
    case MessageIcon::Information:
        return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

} // namespace

MessageBoxRequest DescribeMessageBox(const QString& prompt, int style, const QString& title)
{
    MessageBoxRequest request;
    request.prompt = prompt;
    request.title = title.isEmpty() ? QString::fromLatin1(ApplicationTitle) : title;

    request.buttons =
        (style & ButtonGroup) == MsgYesNo ? MessageButtons::YesNo : MessageButtons::Ok;
    switch (style & IconGroup) {
    case MsgCritical:
        request.icon = MessageIcon::Stop;
        break;
    case MsgQuestion:
        request.icon = MessageIcon::Question;
        break;
    case MsgExclamation:
        request.icon = MessageIcon::Exclamation;
        break;
    case MsgInformation:
        request.icon = MessageIcon::Information;
        break;
    default:
        request.icon = MessageIcon::None;
        break;
    }
    request.secondButtonIsDefault =
        request.buttons == MessageButtons::YesNo && (style & DefaultGroup) == MsgDefaultButton2;
    return request;
}

int ShowMessage(MessageBoxes& boxes, QWidget* owner, const QString& prompt, int style,
                const QString& title)
{
    return boxes.Show(DescribeMessageBox(prompt, style, title), owner);
}

int QtMessageBoxes::Show(const MessageBoxRequest& request, QWidget* owner)
{
    QMessageBox box(owner);
    box.setWindowTitle(request.title);
    box.setTextFormat(Qt::PlainText); // file names and typed text are never markup
    box.setText(request.prompt);
    box.setIcon(QtIcon(request.icon));

    if (request.buttons == MessageButtons::Ok) {
        QPushButton* ok = box.addButton(QMessageBox::Ok);
        box.setDefaultButton(ok);
        box.setEscapeButton(ok);
        box.exec();
        return AnswerOk;
    }

    QPushButton* yes = box.addButton(QMessageBox::Yes);
    QPushButton* no = box.addButton(QMessageBox::No);
    box.setDefaultButton(request.secondButtonIsDefault ? no : yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes ? AnswerYes : AnswerNo;
}

} // namespace lumenveil::ui
