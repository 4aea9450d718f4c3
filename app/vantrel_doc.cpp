#include "app/vantrel_doc.h"

#include "framework/qt_text.h"
#include "framework/command_ids.h"
#include "app/main_frame.h"
#include "framework/message_box.h"
#include "app/vantrel_app.h"
#include "textfile/ansi_names.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QString>

#include <filesystem>
#include <fstream>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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
    // Without blocking: opening a fifo for reading would wait for a writer forever.
    // Only a regular file is a document; nothing is read from it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    if (!regular)
        return false;
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
    const QString suggested = QString::fromLocal8Bit(m_strPathName.empty() ? "Vantre" : m_strPathName.c_str());
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
