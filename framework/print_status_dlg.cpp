#include "framework/print_status_dlg.h"

#include "framework/dialog_units.h"
#include "framework/qt_text.h"

#include <QFont>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <qdrawutil.h>

namespace {

// The status window's own template: 133 x 95 units in 8-point "MS Sans Serif".
constexpr int kWidth = 133;
constexpr int kHeight = 95;
// The modal frame around it: a raised border of two pixels and a pixel of face.
constexpr int kFrame = 3;

QString PortLine(const QString& port)
{
    return ToQt("%1 へ出力中").arg(port);
}

}  // namespace

CPrintStatusDlg::CPrintStatusDlg(const QString& title, const QString& printer, const QString& port, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setWindowModality(Qt::ApplicationModal);
    setFont(DialogTemplateFont("MS Sans Serif", 8));
    // No caption: the window system draws nothing around it, so the modal frame's
    // border is drawn here, outside the template's client area.
    const QRect client = DialogUnitsToPixels(font(), 0, 0, kWidth, kHeight);
    setFixedSize(client.size() + QSize(2 * kFrame, 2 * kFrame));

    AddLine(ToQt("印刷中"), 9);
    AddLine(title, 19)->setObjectName("title");  // 201
    AddLine(ToQt("を"), 29);
    AddLine(printer, 39)->setObjectName("printer");  // 202
    AddLine(PortLine(port), 49)->setObjectName("port");  // 203
    m_pPage = AddLine(QString(), 59);  // 204
    m_pPage->setObjectName("page");

    m_pCancel = new QPushButton(ToQt("ｷｬﾝｾﾙ"), this);
    m_pCancel->setGeometry(DialogUnitsToPixels(font(), 46, 74, 40, 14).translated(kFrame, kFrame));
    m_pCancel->setDefault(true);
    connect(m_pCancel, &QPushButton::clicked, this, [this] { m_bUserAbort = true; });
}

QLabel* CPrintStatusDlg::AddLine(const QString& text, int y)
{
    auto* label = new QLabel(text, this);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setGeometry(DialogUnitsToPixels(font(), 0, y, kWidth, 8).translated(kFrame, kFrame));
    return label;
}

void CPrintStatusDlg::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    QPainter painter(this);
    // Light and highlight above and left, dark shadow and shadow below and right.
    qDrawWinPanel(&painter, rect(), palette(), false);
}

void CPrintStatusDlg::SetPage(std::int64_t page)
{
    m_pPage->setText(ToQt("ﾍﾟｰｼﾞ %1").arg(page));
}

void CPrintStatusDlg::reject()
{
    // Escape works as the cancel button; the loop closes the window itself.
    m_bUserAbort = true;
}
