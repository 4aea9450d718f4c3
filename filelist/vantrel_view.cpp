#include "filelist/vantrel_view.h"

#include "framework/qt_text.h"
#include "framework/command_ids.h"
#include "framework/wait_cursor.h"
#include "framework/win_app.h"
#include "draw/join_path.h"

#include <QDir>
#include <QFileDialog>
#include <QEventLoop>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <iterator>
#include <thread>
#include <QScrollBar>
#include <QString>

namespace {

// The view's commands: update handler and command handler per command number.
struct ViewCommand {
    unsigned nID;
    void (CVantrelView::*pfnUpdate)(CCmdUI*);
    void (CVantrelView::*pfnCommand)();
};

constexpr ViewCommand kCommands[] = {
    {ID_SELECT_FOLDER, &CVantrelView::OnUpdateSelectFolder, &CVantrelView::OnSelectFolder},
    {ID_FILE_PRINT, &CVantrelView::OnUpdatePrintDump, &CVantrelView::OnPrintDump},
    {ID_FILE_PRINT_PREVIEW, &CVantrelView::OnUpdatePreviewDump, &CVantrelView::OnPreviewDump},
    {ID_FILE_PRINT_DIRECT, &CVantrelView::OnUpdatePrintDirect, &CVantrelView::OnFilePrintDirect},
    {ID_SELECT_ALL, &CVantrelView::OnUpdateSelectAll, &CVantrelView::OnSelectAll},
    {ID_SELECT_NONE, &CVantrelView::OnUpdateSelectAll, &CVantrelView::OnSelectNone},
    {ID_FILE_SAVE_CSV, &CVantrelView::OnUpdateFileSaveCsv, &CVantrelView::OnFileSaveCsv},
};

// Commands that change the list, the marks, the document or the printer: none may run
// while jobs are under way, whoever handles them.
constexpr unsigned kLockedWhilePrinting[] = {
    ID_SELECT_FOLDER, ID_SELECT_ALL,       ID_SELECT_NONE, ID_FILE_NEW,          ID_FILE_OPEN,
    ID_FILE_SAVE,     ID_FILE_PRINT_SETUP, ID_FILE_PRINT,  ID_FILE_PRINT_DIRECT, ID_FILE_PRINT_PREVIEW,
};

}  // namespace

CVantrelView::CVantrelView(QWidget* parent) : QWidget(parent)
{
    // Every pixel comes from one blit of the off-screen image: no background erase.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::StrongFocus);
}

CVantrelView::~CVantrelView() = default;

bool CVantrelView::OnCmdMsg(unsigned nID, CCmdUI* pCmdUI)
{
    // The view comes first in the routing: it answers for the document's and the
    // application's commands too while it prints.
    if (m_bPrinting && std::find(std::begin(kLockedWhilePrinting), std::end(kLockedWhilePrinting), nID) !=
                           std::end(kLockedWhilePrinting)) {
        if (pCmdUI != nullptr)
            pCmdUI->Enable(false);
        return true;
    }
    for (const ViewCommand& c : kCommands) {
        if (c.nID != nID)
            continue;
        if (pCmdUI != nullptr) {
            (this->*c.pfnUpdate)(pCmdUI);
            return true;
        }
        // A disabled command never runs, whatever sent it (a shortcut, a test, a pump
        // dispatching it in the middle of printing).
        CCmdUI state(nID);
        (this->*c.pfnUpdate)(&state);
        if (!state.m_bEnableChanged || state.m_bEnabled)
            (this->*c.pfnCommand)();
        return true;
    }
    return false;
}

void CVantrelView::SetPrinting(bool on)
{
    if (m_bPrinting == on)
        return;
    m_bPrinting = on;
    emit commandStateChanged();
}

void CVantrelView::OnInitialUpdate()
{
    if (m_pScrollBar == nullptr)
        CreateScrollBar();
    CWaitCursor wait;
    m_strFolder = AfxGetApp()->GetProfileString("Path", "Path", "");
    // A stored folder beyond the system's path limit names no folder (a damaged store):
    // ignored as one that is not there, before anything scans or draws it.
    if (m_strFolder.size() > PathBudget(NativePathRules()))
        m_strFolder.clear();
    if (m_strFolder.empty())
        m_aFiles.clear();
    else
        ListFolderWaiting();
    ListingChanged();
}

void CVantrelView::OnUpdateSelectFolder(CCmdUI* pCmdUI)
{
    pCmdUI->Enable(true);
}

void CVantrelView::OnSelectFolder()
{
    const std::string oldFolder = m_strFolder;
    if (!ChooseFolder())
        return;
    CWaitCursor wait;
    RememberPrinted(oldFolder);
    // Saved before the scan, whatever the scan finds.
    AfxGetApp()->WriteProfileString("Path", "Path", m_strFolder);
    ListFolderWaiting();
    RestorePrinted();
    ListingChanged();
}

bool CVantrelView::ChooseFolder()
{
    // The folder's bytes go through the file-name codec both ways, so a name that is
    // not valid UTF-8 still opens.
    QFileDialog dlg(this, ToQt("印刷対象フォルダを選択してください"));
    dlg.setFileMode(QFileDialog::Directory);
    dlg.setOption(QFileDialog::ShowDirsOnly);
    // Names only, as a folder browser shows them: the detail columns would format
    // dates and sizes in the system's locale, not in Japanese.
    dlg.setViewMode(QFileDialog::List);
    // Qt reads every entry of the folder it shows, files too, although it lists only
    // folders: inside a folder of a million files it would be busy for minutes. So it
    // shows the current folder's parent, with the current folder chosen; with none (or
    // one that is gone) the choice starts at the desktop.
    const QFileInfo current(QDir::cleanPath(ToQt(m_strFolder)));
    if (!m_strFolder.empty() && current.isDir() && !current.isRoot()) {
        dlg.setDirectory(current.absolutePath());
        dlg.selectFile(current.absoluteFilePath());
    } else {
        dlg.setDirectory(!m_strFolder.empty() && current.isDir() ? current.absoluteFilePath() : FolderChoiceStart());
    }
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return false;
    const QString chosen = dlg.selectedFiles().constFirst();
    if (chosen.isEmpty())
        return false;
    m_strFolder = FromQt(QDir::toNativeSeparators(chosen));
    return true;
}

QString FolderChoiceStart()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    return QFileInfo(desktop).isDir() ? desktop : QDir::homePath();
}

void CVantrelView::ListFolderWaiting()
{
    // A folder of a million files takes seconds to read: it is read on a thread of its
    // own while the window goes on drawing itself (the folder line over an empty list)
    // under the caller's wait cursor; clicks and keys wait until the list is in.
    m_aFiles.clear();
    ListingChanged();
    CFileListModel read;
    read.m_strFolder = m_strFolder;
    QEventLoop loop;
    std::thread reader([&read, &loop] {
        read.ListFolder();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    reader.join();
    m_aFiles = std::move(read.m_aFiles);
}

void CVantrelView::ListingChanged()
{
    m_nTopRow = 0;
    UpdateScrollBar();
    InvalidateRect(nullptr);
    emit commandStateChanged();
}

void CVantrelView::InvalidateRect(const CRect* pRect)
{
    if (pRect == nullptr)
        update();
    else if (!pRect->IsRectEmpty())
        update(QRect(pRect->left, pRect->top, pRect->Width(), pRect->Height()));
}
