// The printer set-up dialog and the print status window, as a user sees them.

#include "framework/dialog_units.h"
#include "framework/print_setup_dlg.h"
#include "framework/print_status_dlg.h"
#include "framework/win_app.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPrinter>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

bool Offered(const QWidget* w)
{
    return w != nullptr && w->isVisibleTo(w->window());
}

TEST(PrintSetupDlg, SetsUpWithOkAndOffersOnlyWhatAJobHonours)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Qt's printer dialog on Windows is the system's own, with none of these widgets";
#endif
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFileName(QDir::tempPath() + "/vantrel-setup-test.pdf");
    printer.setCopyCount(2);
    printer.setColorMode(QPrinter::GrayScale);
    CPrintSetupDlg dlg(&printer, nullptr);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    EXPECT_EQ(dlg.windowTitle(), QString::fromLocal8Bit("プリンタの設定"));

    auto* buttons = dlg.findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    EXPECT_EQ(buttons->button(QDialogButtonBox::Ok)->text(), QStringLiteral("OK"));

    // Shown with the options expanded, as a user who opens them sees it.
    for (QPushButton* b : buttons->findChildren<QPushButton*>())
        if (buttons->buttonRole(b) == QDialogButtonBox::ResetRole)
            b->click();
    for (const char* name :
         {"properties", "gbPrintRange", "printRange", "pageSetCombo", "colorMode", "duplex", "collate", "reverse"})
        EXPECT_FALSE(Offered(dlg.findChild<QWidget*>(name))) << name;
    auto* tabs = dlg.findChild<QTabWidget*>("tabs");
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->count(), 1);
    // What a job does honour: the printer (or a PDF file) and the copies, which a PDF
    // file does not take (a queue's are tried where a scheduler runs: app_test.cpp).
    EXPECT_TRUE(Offered(dlg.findChild<QComboBox*>("printers")));
    auto* copies = dlg.findChild<QSpinBox*>("copies");
    ASSERT_TRUE(Offered(copies));
    EXPECT_EQ(copies->maximum(), kMaxCopies);
    QTest::qWait(0);
    EXPECT_FALSE(copies->isEnabled());
    EXPECT_EQ(copies->value(), 1);

    // Accepting keeps what the hidden controls hold.
    dlg.accept();
    EXPECT_EQ(printer.copyCount(), 1);
    EXPECT_EQ(printer.colorMode(), QPrinter::GrayScale);
}

TEST(PrintStatusDlg, HasTheModalFramesBorderAroundTheTemplate)
{
    CPrintStatusDlg dlg("無題", "printer", "port");
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    EXPECT_TRUE(dlg.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(dlg.windowTitle().isEmpty());
    const QRect client = DialogUnitsToPixels(dlg.font(), 0, 0, 133, 95);
    ASSERT_EQ(dlg.size(), client.size() + QSize(6, 6));
    // The template's controls sit inside the border.
    EXPECT_EQ(dlg.CancelButton()->geometry(), DialogUnitsToPixels(dlg.font(), 46, 74, 40, 14).translated(3, 3));

    const QImage img = dlg.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QPalette& pal = dlg.palette();
    const int r = img.width() - 1;
    const int b = img.height() - 1;
    struct Ring {
        QPoint topLeft, bottomRight;
        QColor light, dark;
    };
    // Raised: light outside and highlight inside at the top and left, dark shadow
    // outside and shadow inside at the bottom and right, then the face.
    const Ring rings[] = {
        {{0, 0}, {r, b}, pal.light().color(), pal.shadow().color()},
        {{1, 1}, {r - 1, b - 1}, pal.midlight().color(), pal.dark().color()},
        {{2, 2}, {r - 2, b - 2}, pal.window().color(), pal.window().color()},
    };
    for (const Ring& ring : rings) {
        const int mid = img.width() / 2;
        const int midY = img.height() / 2;
        EXPECT_EQ(img.pixel(mid, ring.topLeft.y()), ring.light.rgb()) << ring.topLeft.y();
        EXPECT_EQ(img.pixel(ring.topLeft.x(), midY), ring.light.rgb()) << ring.topLeft.x();
        EXPECT_EQ(img.pixel(mid, ring.bottomRight.y()), ring.dark.rgb()) << ring.bottomRight.y();
        EXPECT_EQ(img.pixel(ring.bottomRight.x(), midY), ring.dark.rgb()) << ring.bottomRight.x();
    }
    // A border that shows against the face, not a grey patch.
    EXPECT_NE(pal.light().color(), pal.window().color());
    EXPECT_NE(pal.shadow().color(), pal.window().color());
}

}  // namespace
