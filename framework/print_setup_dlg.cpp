#include "framework/print_setup_dlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QPushButton>
#include <QTabWidget>

namespace {

void HideWidgets(QPrintDialog& dlg)
{
    // Qt offers no option for these: its own widgets go by name. Hidden controls keep
    // the printer's values, so accepting the dialog changes nothing they hold.
    static const char* const kHidden[] = {"properties", "gbPrintRange", "colorMode", "duplex",
                                          "collate",    "reverse",      "outputIcon"};
    for (const char* name : kHidden)
        if (QWidget* w = dlg.findChild<QWidget*>(QString::fromLatin1(name)))
            w->hide();
    // The options tab then holds nothing at all.
    if (auto* tabs = dlg.findChild<QTabWidget*>(QStringLiteral("tabs"))) {
        if (QWidget* options = tabs->findChild<QWidget*>(QStringLiteral("optionsTab")); options != nullptr) {
            const int index = tabs->indexOf(options);
            if (index >= 0)
                tabs->removeTab(index);
        }
    }
}

// Qt shows the page range again whenever the dialog is shown (it would hand the range
// to the spooler, which our jobs bypass) and the properties when the printer changes.
class CHiddenOptionsKeeper : public QObject {
public:
    explicit CHiddenOptionsKeeper(QPrintDialog& dlg) : QObject(&dlg), m_dlg(dlg)
    {
        dlg.installEventFilter(this);
        if (auto* printers = dlg.findChild<QComboBox*>(QStringLiteral("printers")))
            connect(printers, &QComboBox::currentIndexChanged, this, [this] { HideWidgets(m_dlg); });
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &m_dlg && event->type() == QEvent::Show)
            HideWidgets(m_dlg);
        return false;
    }

private:
    QPrintDialog& m_dlg;
};

}  // namespace

void HideUnhonouredPrintOptions(QPrintDialog& dlg)
{
    dlg.setOption(QAbstractPrintDialog::PrintSelection, false);
    dlg.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dlg.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    dlg.setOption(QAbstractPrintDialog::PrintCollateCopies, false);
    HideWidgets(dlg);
    new CHiddenOptionsKeeper(dlg);
}

CPrintSetupDlg::CPrintSetupDlg(QPrinter* printer, QWidget* parent) : QPrintDialog(printer, parent)
{
    setWindowTitle(QString::fromLocal8Bit("プリンタの設定"));
    HideUnhonouredPrintOptions(*this);
    if (auto* buttons = findChild<QDialogButtonBox*>())
        if (QPushButton* ok = buttons->button(QDialogButtonBox::Ok))
            ok->setText(QStringLiteral("OK"));
}
