#include "app/about_dlg.h"

#include "framework/dialog_units.h"
#include "framework/qt_text.h"
#include "app/main_frame.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(ToQt("バージョン情報"));
    setFont(DialogTemplateFont("ＭＳ Ｐゴシック", 9));
    const QFont& f = font();
    setFixedSize(DialogUnitsToPixels(f, 0, 0, 166, 77).size());

    // Template order is the stacking and tab order.
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon"));
    // An icon control takes the icon's own size at its top-left corner.
    icon->setPixmap(ProgramIcon().pixmap(32, 32));
    icon->setGeometry(QRect(DialogUnitsToPixels(f, 13, 11, 20, 21).topLeft(), QSize(32, 32)));

    auto text = [&](const char* name, const char* utf8, int x, int y) {
        auto* label = new QLabel(ToQt(utf8), this);
        label->setObjectName(ToQt(name));
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setGeometry(DialogUnitsToPixels(f, x, y, 119, 8));
        return label;
    };
    text("name", kName, 40, 10);
    text("notice", kNotice, 26, 43);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    ok->setGeometry(DialogUnitsToPixels(f, 67, 56, 32, 14));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    text("version", kVersion, 39, 23);
}
