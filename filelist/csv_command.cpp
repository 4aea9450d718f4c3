#include "filelist/vantrel_view.h"

#include "framework/qt_text.h"
#include "framework/message_box.h"
#include "filelist/csv_export.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

void CVantrelView::OnUpdateFileSaveCsv(CCmdUI* pCmdUI)
{
    pCmdUI->Enable(!m_strFolder.empty());
}

void CVantrelView::OnFileSaveCsv()
{
    const QString description = ToQt("CSVファイル");
    const QString ext = QStringLiteral("csv");
    // A folder of its own: Qt's last visited one is the folder dialog's too, and may hold a
    // million files. Where this run last saved a list, else the documents, else home.
    QString folder = ToQt(m_strCsvFolder);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!QFileInfo(folder).isDir())
        folder = QDir::homePath();
    QFileDialog dlg(this, ToQt("CSV形式で保存"), folder, QStringLiteral("%1(*.%2)").arg(description, ext));
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    // Qt's own overwrite question then names the file that is really written.
    dlg.setDefaultSuffix(ext);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return;
    QString path = dlg.selectedFiles().constFirst();
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".csv");

    std::string error;
    if (!SaveListAsCsv(FromQt(QDir::toNativeSeparators(path)), m_strFolder, m_aFiles, &error))
        AfxMessageBox(error);
    else
        m_strCsvFolder = FromQt(QDir::toNativeSeparators(QFileInfo(path).absolutePath()));
}
