#include "framework/print_setup_dlg.h"

#include "framework/qt_text.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QPrinter>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>

#include <memory>

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
// A PDF file holds the pages once: no copies are offered for it.
class CHiddenOptionsKeeper : public QObject {
public:
    explicit CHiddenOptionsKeeper(QPrintDialog& dlg) : QObject(&dlg), m_dlg(dlg)
    {
        dlg.installEventFilter(this);
        // The dialog's own slot has moved its printer to the entry chosen when this runs.
        if (auto* printers = dlg.findChild<QComboBox*>(QStringLiteral("printers")))
            connect(printers, &QComboBox::currentIndexChanged, this, [this] { Keep(); });
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &m_dlg && event->type() == QEvent::Show) {
            Keep();
            // Qt fills the copies from the printer after the show itself.
            QTimer::singleShot(0, this, [this] { Keep(); });
        }
        return false;
    }

private:
    void Keep()
    {
        HideWidgets(m_dlg);
        auto* copies = m_dlg.findChild<QSpinBox*>(QStringLiteral("copies"));
        if (copies == nullptr || m_dlg.printer() == nullptr)
            return;
        const bool pdf = m_dlg.printer()->outputFormat() == QPrinter::PdfFormat;
        if (pdf)
            copies->setValue(1);
        copies->setEnabled(!pdf);
    }

    QPrintDialog& m_dlg;
};

// What a printer dialog chooses, from one printer to another: the queue or the PDF file,
// and the copies.
void CopyPrinterChoice(const QPrinter& from, QPrinter& to)
{
    if (from.outputFormat() == QPrinter::PdfFormat) {
        to.setOutputFormat(QPrinter::PdfFormat);
        to.setOutputFileName(from.outputFileName());
        to.setCopyCount(1);
        return;
    }
    // No PDF file name of an earlier choice stays behind the queue.
    to.setOutputFileName(QString());
    to.setOutputFormat(QPrinter::NativeFormat);
    to.setPrinterName(from.printerName());
    to.setCopyCount(from.copyCount());
}

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
    setWindowTitle(ToQt("プリンタの設定"));
    HideUnhonouredPrintOptions(*this);
    if (auto* buttons = findChild<QDialogButtonBox*>())
        if (QPushButton* ok = buttons->button(QDialogButtonBox::Ok))
            ok->setText(QStringLiteral("OK"));
}

bool ChoosePrinter(QPrinter& printer, QWidget* parent, bool setUp)
{
    QPrinter shown(QPrinter::HighResolution);
    shown.setDocName(printer.docName());
    CopyPrinterChoice(printer, shown);
    std::unique_ptr<QPrintDialog> dlg;
    if (setUp) {
        dlg = std::make_unique<CPrintSetupDlg>(&shown, parent);
    } else {
        dlg = std::make_unique<QPrintDialog>(&shown, parent);
        HideUnhonouredPrintOptions(*dlg);
    }
    // Filling its list has moved the copy to the first queue: the dialog shows the entry
    // its printer holds when it comes up.
    CopyPrinterChoice(printer, shown);
    if (dlg->exec() != QDialog::Accepted)
        return false;
    CopyPrinterChoice(shown, printer);
    return true;
}
