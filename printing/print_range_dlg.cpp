#include "printing/print_range_dlg.h"

#include "framework/qt_text.h"
#include "framework/dialog_units.h"
#include "framework/message_box.h"
#include "printing/print_range.h"

#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QStyle>

#include <algorithm>

namespace {

// A page edit: digits only, right-aligned. The first edit selects its whole text
// whenever it gains the focus; the second never does, not even on Tab.
class CPageEdit : public QLineEdit {
public:
    CPageEdit(bool selectOnFocus, QWidget* parent) : QLineEdit(parent), m_bSelectOnFocus(selectOnFocus)
    {
        setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), this));
    }

protected:
    void focusInEvent(QFocusEvent* event) override
    {
        QLineEdit::focusInEvent(event);
        if (m_bSelectOnFocus)
            selectAll();
        else if (hasSelectedText())
            deselect();
    }

private:
    bool m_bSelectOnFocus;
};

}  // namespace

CPrintRangeDlg::CPrintRangeDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(ToQt("印刷範囲の選択"));
    setFont(DialogTemplateFont("ＭＳ Ｐゴシック", 9));

    // Template order is the stacking and tab order: the group box lies under its buttons.
    m_pTotal = new QGroupBox(this);
    m_pAll = new QRadioButton(ToQt("全ページ印刷"), this);
    m_pAll->setFocusPolicy(Qt::ClickFocus);
    m_pRange = new QRadioButton(ToQt("範囲で印刷"), this);
    m_pRange->setFocusPolicy(Qt::ClickFocus);
    m_pFrom = new CPageEdit(true, this);
    m_pFromLabel = new QLabel(ToQt("ページから"), this);
    m_pFromLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_pTo = new CPageEdit(false, this);
    m_pToLabel = new QLabel(ToQt("ページまで印刷"), this);
    m_pToLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_pOK = new QPushButton(ToQt("印刷"), this);
    m_pOK->setDefault(true);
    m_pOK->setAutoDefault(true);
    m_pCancel = new QPushButton(ToQt("印刷しない"), this);
    m_pCancel->setAutoDefault(false);
    PlaceControls(0);

    m_pTotal->setProperty("id", int(IDC_TOTAL));
    m_pAll->setProperty("id", int(IDC_ALL_PAGES));
    m_pRange->setProperty("id", int(IDC_RANGE_PAGES));
    m_pFrom->setProperty("id", int(IDC_FROM));
    m_pTo->setProperty("id", int(IDC_TO));
    m_pOK->setProperty("id", 1);
    m_pCancel->setProperty("id", 2);

    connect(m_pAll, &QRadioButton::clicked, this, &CPrintRangeDlg::OnAllPages);
    connect(m_pRange, &QRadioButton::clicked, this, &CPrintRangeDlg::OnRangePages);
    connect(m_pOK, &QPushButton::clicked, this, &CPrintRangeDlg::OnOK);
    connect(m_pCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CPrintRangeDlg::PlaceControls(int extra)
{
    // Dialog 130 in dialog units. Each edit is extra units wider than the template's;
    // what stands right of an edit moves right by as much, and the group box and the
    // dialog grow by both.
    const QFont& f = font();
    const auto place = [&f](QWidget* w, int x, int y, int cx, int cy) {
        w->setGeometry(DialogUnitsToPixels(f, x, y, cx, cy));
    };
    setFixedSize(DialogUnitsToPixels(f, 0, 0, 211 + 2 * extra, 109).size());
    place(m_pTotal, 7, 7, 197 + 2 * extra, 75);
    place(m_pAll, 18, 22, 66, 10);
    place(m_pRange, 18, 41, 66, 10);
    place(m_pFrom, 41, 54, 22 + extra, 14);
    place(m_pFromLabel, 67 + extra, 55, 34, 12);
    place(m_pTo, 104 + extra, 54, 22 + extra, 14);
    place(m_pToLabel, 130 + 2 * extra, 56, 58, 12);
    place(m_pOK, 82 + 2 * extra, 88, 50, 14);
    place(m_pCancel, 140 + 2 * extra, 88, 64, 14);
}

int CPrintRangeDlg::ExtraEditUnits(int digits) const
{
    // A line edit shows its text inside its frame, a fixed margin of 2 pixels on each
    // side and a pixel for the cursor; more than that and it scrolls the number.
    const QFontMetrics fm(m_pFrom->font());
    int textWidth = 0;
    for (char c = '0'; c <= '9'; ++c)
        textWidth = std::max(textWidth, fm.horizontalAdvance(QString(digits, QLatin1Char(c))));
    const int frame = m_pFrom->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, m_pFrom);
    const int needed = textWidth + 2 * frame + 2 * 2 + 1;
    const int have = DialogUnitsToPixels(font(), 41, 54, 22, 14).width();
    if (needed <= have)
        return 0;
    // Whole dialog units, rounded up, at the dialog's horizontal base unit.
    const int baseX = DialogBaseUnits(font()).width();
    return ((needed - have) * 4 + baseX - 1) / baseX;
}

QWidget* CPrintRangeDlg::Control(int id) const
{
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (child->property("id").toInt() == id)
            return child;
    return nullptr;
}

int CPrintRangeDlg::DoModal()
{
    OnInitDialog();
    return exec() == QDialog::Accepted ? 1 : 2;
}

void CPrintRangeDlg::OnInitDialog()
{
    m_pAll->setChecked(true);
    // As many digits as the total has, at least 4: every page of a large file can be typed.
    const int digits = RangeEditDigits(m_nTotalPages);
    m_pFrom->setMaxLength(digits);
    m_pTo->setMaxLength(digits);
    // Four digits fit the template; a longer total widens the edits to show it whole.
    PlaceControls(ExtraEditUnits(digits));
    m_pTotal->setTitle(ToQt("全 %1 ページ").arg(m_nTotalPages));
    m_pFrom->setText(QString::number(m_nFrom));
    m_pTo->setText(QString::number(m_nTotalPages));
    m_pFrom->setEnabled(false);
    m_pTo->setEnabled(false);
    m_pOK->setFocus();
}

void CPrintRangeDlg::OnAllPages()
{
    if (m_pAll->isChecked()) {
        m_pFrom->setEnabled(false);
        m_pTo->setEnabled(false);
    }
}

void CPrintRangeDlg::OnRangePages()
{
    if (m_pRange->isChecked()) {
        m_pFrom->setEnabled(true);
        m_pTo->setEnabled(true);
        m_pFrom->setFocus(Qt::OtherFocusReason);
    }
}

void CPrintRangeDlg::accept()
{
    OnOK();
}

void CPrintRangeDlg::OnOK()
{
    const PageRangeCheck check =
        CheckPageRange(m_pAll->isChecked(), FromQt(m_pFrom->text()), FromQt(m_pTo->text()), m_nTotalPages);
    if (!check.ok) {
        AfxMessageBox(check.message, MB_OK);
        return;
    }
    m_nFrom = check.from;
    m_nTo = check.to;
    QDialog::accept();
}
