#include "app/vantrel_doc.h"

#include "framework/qt_text.h"
#include "framework/command_ids.h"
#include "app/main_frame.h"
#include "framework/message_box.h"
#include "app/vantrel_app.h"
#include "textfile/input_file.h"
#include "textfile/ansi_names.h"

#include <QDir>
#include <QFileDialog>
#include <QString>

#include <filesystem>
#include <fstream>

bool CVantrelDoc::OnNewDocument()
{
    m_strPathName.clear();
    return true;
}

bool CVantrelDoc::OnOpenDocument(const std::string& path)
{
    if (path.empty() || path.find('\0') != std::string::npos)
        return false;
#ifdef _WIN32
    const std::filesystem::path file = ToFileSystemPath(path);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
        return false;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return false;
#else
    // Only a regular file is a document, and nothing else is even opened: a fifo would
    // wait for a writer, a device act on its open. Nothing is read from it.
    int fd = -1;
    std::int64_t length = 0;
    if (OpenInputFile(path, &fd, &length))
        return false;
    CloseInputFile(fd);
#endif
    m_strPathName = path;
    return true;
}

bool CVantrelDoc::OnSaveDocument(const std::string& path)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out.close();
    if (!out)
        return false;
    m_strPathName = path;
    return true;
}

std::string CVantrelDoc::GetTitle() const
{
    if (m_strPathName.empty())
        return "無題";
    // Where the name starts: not after a 0x5C that is the trail byte of a Windows name.
    return m_strPathName.substr(PathNameStart(m_strPathName));
}

bool CVantrelDoc::OnCmdMsg(unsigned nID, CCmdUI* pCmdUI)
{
    if (nID != ID_FILE_SAVE)
        return false;
    if (pCmdUI)
        pCmdUI->Enable(true);
    else
        OnFileSave();
    return true;
}

void CVantrelDoc::OnFileSave()
{
    // Saving writes nothing, so saving straight to the name an opened file gave the
    // document would empty that file. Always ask; the dialog confirms an overwrite.
    const QString suggested = ToQt(m_strPathName.empty() ? "Vantre" : m_strPathName);
    const QString chosen = QFileDialog::getSaveFileName(theApp.MainFrame(), QString(), suggested);
    if (chosen.isEmpty())
        return;
    const std::string path = FromQt(QDir::toNativeSeparators(chosen));
    if (!OnSaveDocument(path)) {
        AfxMessageBox("ﾌｧｲﾙ [" + path + "] に保存できませんでした。");
        return;
    }
    theApp.AddToRecentFileList(path);
}
