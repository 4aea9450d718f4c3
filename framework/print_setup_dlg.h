#pragma once

#include <QPrintDialog>

class QPrinter;
class QWidget;

// Hides what Qt's printer dialog offers but a job of ours does not honour: page ranges
// and page sets (the pages come from the list), colour, two-sided printing, order,
// collation and the printer's properties (every page is A4 portrait, drawn by us).
// What stays is the printer (or a PDF file) and the number of copies, which a PDF file
// does not take: it holds the pages once.
void HideUnhonouredPrintOptions(QPrintDialog& dlg);

// The printer set-up dialog: Qt's printer dialog that chooses the printer for later
// jobs and prints nothing, so it is confirmed with "OK" rather than "Print".
class CPrintSetupDlg : public QPrintDialog {
    Q_OBJECT

public:
    CPrintSetupDlg(QPrinter* printer, QWidget* parent);
};

// Qt's printer dialog for printer: the set-up dialog with setUp, else the one a print
// shows. Qt's dialog moves the printer it is given while it fills its list and leaves it
// moved when cancelled, so it works on a copy: only an accepted choice (the queue or the
// PDF file, and the copies) reaches printer. True when accepted.
bool ChoosePrinter(QPrinter& printer, QWidget* parent, bool setUp);
