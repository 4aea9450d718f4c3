// The captions the window system shows, read back from the X server (_NET_WM_NAME):
// Qt formats a native title only there, so windowTitle() alone would not see a suffix.
// Runs on the xcb platform under Xvfb.

#include "app/about_dlg.h"
#include "framework/command_ids.h"
#include "app/main_frame.h"
#include "framework/message_box.h"
#include "app/vantrel_app.h"
#include "printing/print_range_dlg.h"
#include "tests/app/test_support.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

// The window's _NET_WM_NAME as xprop reads it, in hexadecimal bytes whatever the locale.
QString NativeCaption(QWidget* w)
{
    QCoreApplication::processEvents();
    QProcess xprop;
    xprop.start("xprop", {"-id", QString::number(w->winId()), "-notype", "-f", "_NET_WM_NAME", "8x", "_NET_WM_NAME"});
    if (!xprop.waitForFinished(10000))
        return QStringLiteral("<xprop did not answer>");
    const QString out = QString::fromLatin1(xprop.readAllStandardOutput()).trimmed();
    const qsizetype eq = out.indexOf(QLatin1Char('='));
    if (eq < 0)
        return QStringLiteral("<no _NET_WM_NAME: %1>").arg(out);
    QByteArray bytes;
    for (const QString& part : out.mid(eq + 1).split(QLatin1Char(','), Qt::SkipEmptyParts))
        bytes.append(static_cast<char>(part.trimmed().toUInt(nullptr, 16)));
    return QString::fromUtf8(bytes);
}

// Runs the command; while its modal window is up, reads that window's caption and closes it.
QString CaptionOfModal(const std::function<void()>& open)
{
    QString caption;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) {
            caption = QStringLiteral("<no modal window>");
            return;
        }
        EXPECT_TRUE(QTest::qWaitForWindowExposed(modal));
        caption = NativeCaption(modal);
        if (auto* dlg = qobject_cast<QDialog*>(modal))
            dlg->reject();
    });
    open();
    return caption;
}

class CaptionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        static char name[] = "vantrel";
        static char* argv[] = {name, nullptr};
        static int argc = 1;
        ASSERT_TRUE(theApp.InitInstance(argc, argv));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(theApp.MainFrame()));
    }
    void TearDown() override { theApp.ExitInstance(); }

    ScopedSettings m_settings;
};

TEST_F(CaptionTest, EveryCaptionIsTheProgramsTextAlone)
{
    EXPECT_EQ(NativeCaption(theApp.MainFrame()), QString::fromUtf8("ヴァントレル"));

    EXPECT_EQ(CaptionOfModal([] { theApp.MainFrame()->ExecuteCommand(ID_APP_ABOUT); }),
              QString::fromUtf8("バージョン情報"));
    EXPECT_EQ(CaptionOfModal([] { AfxMessageBox("印刷を行いますか？", MB_OKCANCEL); }), QStringLiteral("Vantrel"));
    EXPECT_EQ(CaptionOfModal([] {
                  CPrintRangeDlg dlg(theApp.MainFrame());
                  dlg.m_nTotalPages = 12;
                  dlg.DoModal();
              }),
              QString::fromUtf8("印刷範囲の選択"));
    EXPECT_EQ(CaptionOfModal([] { theApp.MainFrame()->ExecuteCommand(ID_SELECT_FOLDER); }),
              QString::fromUtf8("印刷対象フォルダを選択してください"));
    EXPECT_EQ(CaptionOfModal([] { theApp.MainFrame()->ExecuteCommand(ID_FILE_PRINT_SETUP); }),
              QString::fromUtf8("プリンタの設定"));
    // Qt's own caption of the save dialog, in Japanese and without a suffix.
    EXPECT_EQ(CaptionOfModal([] { theApp.MainFrame()->ExecuteCommand(ID_FILE_SAVE); }),
              QString::fromUtf8("名前を付けて保存"));
}

}  // namespace
