#include "framework/message_box.h"

#include "framework/qt_text.h"
#include "framework/win_app.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <utility>
#include <vector>

namespace {

MessageBoxHook& Hook()
{
    static MessageBoxHook hook;
    return hook;
}

struct Button {
    const char* text;
    int id;
};

std::vector<Button> ButtonsFor(unsigned type)
{
    switch (type) {
    case MB_OKCANCEL:
        return {{"OK", IDOK}, {"ｷｬﾝｾﾙ", IDCANCEL}};
    case MB_ABORTRETRYIGNORE:
        return {{"中止(&A)", IDABORT}, {"再試行(&R)", IDRETRY}, {"無視(&I)", IDIGNORE}};
    case MB_YESNOCANCEL:
        return {{"はい(&Y)", IDYES}, {"いいえ(&N)", IDNO}, {"ｷｬﾝｾﾙ", IDCANCEL}};
    case MB_YESNO:
        return {{"はい(&Y)", IDYES}, {"いいえ(&N)", IDNO}};
    case MB_RETRYCANCEL:
        return {{"再試行(&R)", IDRETRY}, {"ｷｬﾝｾﾙ", IDCANCEL}};
    default:
        return {{"OK", IDOK}};
    }
}

QMessageBox::Icon IconFor(unsigned icon)
{
    switch (icon) {
    case MB_ICONHAND:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONASTERISK:
        return QMessageBox::Information;
    default:
        return QMessageBox::Warning;
    }
}

}  // namespace

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook)
{
    return std::exchange(Hook(), std::move(hook));
}

int AfxMessageBox(const std::string& text, unsigned flags)
{
    const unsigned type = flags & MB_TYPEMASK;
    // The framework adds the exclamation icon to the common button sets that name none.
    if ((flags & MB_ICONMASK) == 0 &&
        (type == MB_OK || type == MB_OKCANCEL || type == MB_YESNO || type == MB_YESNOCANCEL))
        flags |= MB_ICONEXCLAMATION;
    if (Hook())
        return Hook()(text, flags);

    // The dialog that raised the message owns it: parented to the frame, the box would
    // bring the frame above that dialog. Qt centres a box on its parent.
    QWidget* parent = QApplication::activeModalWidget();
    if (parent == nullptr && AfxGetApp() != nullptr)
        parent = AfxGetApp()->GetMainWnd();
    QMessageBox box(IconFor(flags & MB_ICONMASK), QStringLiteral("Vantrel"), ToQt(text), QMessageBox::NoButton, parent);
    const std::vector<Button> buttons = ButtonsFor(type);
    std::vector<std::pair<QAbstractButton*, int>> ids;
    for (const Button& b : buttons) {
        // Roles only order the buttons; the answer comes from our own table.
        const QMessageBox::ButtonRole role =
            b.id == IDCANCEL ? QMessageBox::RejectRole : (b.id == IDNO ? QMessageBox::NoRole : QMessageBox::AcceptRole);
        QPushButton* button = box.addButton(ToQt(b.text), role);
        ids.emplace_back(button, b.id);
    }
    const size_t def = (flags & MB_DEFBUTTON2) && buttons.size() > 1 ? 1 : 0;
    box.setDefaultButton(static_cast<QPushButton*>(ids[def].first));
    // Escape answers Cancel where the set has one, else the single OK.
    for (const auto& [button, id] : ids)
        if (id == IDCANCEL || (buttons.size() == 1 && id == IDOK))
            box.setEscapeButton(button);
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    for (const auto& [button, id] : ids)
        if (button == clicked)
            return id;
    return buttons.size() == 1 ? IDOK : IDCANCEL;
}
