#include "app/main_frame.h"

#include "framework/command_ids.h"
#include "framework/qt_text.h"
#include "app/vantrel_app.h"
#include "app/vantrel_doc.h"
#include "filelist/vantrel_view.h"

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QToolBar>

#ifdef Q_OS_WIN
#include "framework/native_message.h"
#endif

namespace {

// Menu texts, the prompts and tooltips of the string table, accelerators 128 and the
// images of toolbar 128.
const CommandInfo kCommands[] = {
    {ID_SELECT_FOLDER, "印刷フォルダ選択(&F)...", "印刷フォルダ選択", "印刷フォルダ選択", "", 0},
    {ID_SELECT_ALL, "全てを選択(&S)", "全てを選択", "全てを選択", "", 2},
    {ID_SELECT_NONE, "全てを未選択(&R)", "全てを未選択", "全てを未選択", "", 3},
    {ID_FILE_SAVE_CSV, "一覧をCSV形式で保存(&C)...", "一覧をCSV形式で保存", "一覧をCSV形式で保存", "", 1},
    {ID_FILE_NEW, "", "新規にﾄﾞｷｭﾒﾝﾄを作成", "新規作成", "Ctrl+N", -1},
    {ID_FILE_OPEN, "", "既存のﾄﾞｷｭﾒﾝﾄを開く", "開く", "Ctrl+O", -1},
    {ID_FILE_SAVE, "", "ｱｸﾃｨﾌﾞなﾄﾞｷｭﾒﾝﾄを上書きして保存", "上書き保存", "Ctrl+S", -1},
    {ID_FILE_PRINT_SETUP, "プリンタの設定(&R)...", "ﾌﾟﾘﾝﾀ/印刷設定の変更", "プリンタの設定", "", -1},
    {ID_FILE_PRINT, "印刷(&P)...", "ｱｸﾃｨﾌﾞなﾄﾞｷｭﾒﾝﾄを印刷", "印刷", "Ctrl+P", 5},
    {ID_FILE_PRINT_PREVIEW, "印刷プレビュー(&V)", "印刷プレビュー表示", "印刷プレビュー(最大５ページまで表示)", "", 4},
    {ID_EDIT_COPY, "", "選択範囲をｺﾋﾟｰしてｸﾘｯﾌﾟﾎﾞｰﾄﾞに保存", "ｺﾋﾟｰ", "Ctrl+C;Ctrl+Ins", -1},
    {ID_EDIT_CUT, "", "選択範囲を切り取ってｸﾘｯﾌﾟﾎﾞｰﾄﾞに移動", "切り取り", "Ctrl+X;Shift+Del", -1},
    {ID_EDIT_PASTE, "", "ｸﾘｯﾌﾟﾎﾞｰﾄﾞの内容を挿入", "貼り付け", "Ctrl+V;Shift+Ins", -1},
    {ID_EDIT_UNDO, "", "直前に行った動作を元に戻す", "元に戻す", "Ctrl+Z;Alt+Backspace", -1},
    {ID_APP_ABOUT, "バージョン情報(&A)...", "バージョン情報そして著作権を表示", "バージョン情報", "", 6},
    {ID_APP_EXIT, "ヴァントレルの終了(&X)", "ヴァントレルを終了", "終了", "", -1},
    {ID_NEXT_PANE, "", "次のｳｨﾝﾄﾞｳ ﾍﾟｲﾝに切り替え", "次のﾍﾟｲﾝ", "F6", -1},
    {ID_PREV_PANE, "", "前のｳｨﾝﾄﾞｳ ﾍﾟｲﾝに切り替え", "前のﾍﾟｲﾝ", "Shift+F6", -1},
};

constexpr unsigned kSeparator = 0;

}  // namespace

const CommandInfo* FindCommandInfo(unsigned nID)
{
    for (const CommandInfo& info : kCommands)
        if (info.id == nID)
            return &info;
    return nullptr;
}

QIcon ProgramIcon()
{
    QIcon icon;
    icon.addPixmap(QPixmap(QStringLiteral(":/res/vantrel32.xpm")));
    icon.addPixmap(QPixmap(QStringLiteral(":/res/vantrel16.xpm")));
    return icon;
}

QString CMainFrame::Title()
{
    return ToQt("ヴァントレル");
}

CMainFrame::CMainFrame(CVantrelView* view)
    : QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_pView(view)
{
    setWindowTitle(Title());
    setWindowIcon(ProgramIcon());
    // The toolbar must not be hidden through a context menu.
    setContextMenuPolicy(Qt::PreventContextMenu);
    CreateActions();
    CreateMenu();
    CreateToolBar();
    setCentralWidget(m_pView);
    setFixedSize(kWidth, kHeight);
    if (m_pView)
        connect(m_pView, &CVantrelView::commandStateChanged, this, &CMainFrame::UpdateCommands);
    UpdateCommands();
}

CMainFrame::~CMainFrame()
{
    // While the preview stands in its place the view has no parent: it is still ours.
    if (m_pView && m_pView->parent() == nullptr)
        delete m_pView;
}

void CMainFrame::CreateActions()
{
    for (const CommandInfo& info : kCommands) {
        auto* action = new QAction(ToQt(info.menuText), this);
        action->setStatusTip(ToQt(info.prompt));
        action->setToolTip(ToQt(info.tooltip));
        QList<QKeySequence> keys;
        for (const QString& key : ToQt(info.shortcuts).split(QLatin1Char(';'), Qt::SkipEmptyParts))
            keys << QKeySequence(key, QKeySequence::PortableText);
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        const unsigned id = info.id;
        connect(action, &QAction::triggered, this, [this, id] { ExecuteCommand(id); });
        // Accelerators work without a menu entry: the action belongs to the window.
        addAction(action);
        m_actions[id] = action;
    }
}

void CMainFrame::CreateMenu()
{
    struct Popup {
        const char* title;
        std::initializer_list<unsigned> items;
    };
    const Popup popups[] = {
        {"ファイル(&F)",
         {ID_FILE_PRINT, ID_FILE_PRINT_PREVIEW, ID_FILE_PRINT_SETUP, kSeparator, ID_FILE_SAVE_CSV, kSeparator,
          ID_APP_EXIT}},
        {"選択(&S)", {ID_SELECT_FOLDER, kSeparator, ID_SELECT_ALL, ID_SELECT_NONE}},
        {"ヘルプ(&H)", {ID_APP_ABOUT}},
    };
    for (const Popup& popup : popups) {
        QMenu* menu = menuBar()->addMenu(ToQt(popup.title));
        for (unsigned id : popup.items) {
            if (id == kSeparator)
                menu->addSeparator();
            else
                menu->addAction(m_actions.at(id));
        }
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommands);
    }
}

void CMainFrame::CreateToolBar()
{
    m_wndToolBar = new QToolBar(this);
    m_wndToolBar->setObjectName(QStringLiteral("toolbar128"));
    m_wndToolBar->setMovable(false);
    m_wndToolBar->setFloatable(false);
    m_wndToolBar->setIconSize(QSize(16, 15));
    m_wndToolBar->toggleViewAction()->setVisible(false);
    const QPixmap strip(QStringLiteral(":/res/toolbar.xpm"));
    const unsigned order[] = {ID_SELECT_FOLDER, kSeparator,     ID_FILE_SAVE_CSV, kSeparator,
                              ID_SELECT_ALL,    ID_SELECT_NONE, kSeparator,       ID_FILE_PRINT_PREVIEW,
                              ID_FILE_PRINT,    kSeparator,     ID_APP_ABOUT};
    for (unsigned id : order) {
        if (id == kSeparator) {
            m_wndToolBar->addSeparator();
            continue;
        }
        QAction* action = m_actions.at(id);
        const int image = FindCommandInfo(id)->image;
        if (!strip.isNull() && image >= 0)
            action->setIcon(QIcon(strip.copy(image * 16, 0, 16, 15)));
        m_wndToolBar->addAction(action);
    }
    addToolBar(Qt::TopToolBarArea, m_wndToolBar);
}

QAction* CMainFrame::Action(unsigned nID) const
{
    auto it = m_actions.find(nID);
    return it == m_actions.end() ? nullptr : it->second;
}

bool CMainFrame::OnCmdMsg(unsigned, CCmdUI*)
{
    // The frame's own commands (exit) are the application's here.
    return false;
}

bool CMainFrame::Route(unsigned nID, CCmdUI* pCmdUI)
{
    // While the preview stands in the view's place only its own buttons and keys act:
    // the frame's commands (and their shortcuts) are all disabled.
    if (m_pView != nullptr && centralWidget() != m_pView) {
        if (pCmdUI != nullptr)
            pCmdUI->Enable(false);
        return true;
    }
    CVantrelApp* app = &theApp;
    CCmdTarget* targets[] = {m_pView, app->Document(), app, this};
    for (CCmdTarget* target : targets)
        if (target && target->OnCmdMsg(nID, pCmdUI))
            return true;
    return false;
}

bool CMainFrame::IsCommandEnabled(unsigned nID)
{
    CCmdUI ui(nID);
    return Route(nID, &ui) && ui.m_bEnabled;
}

void CMainFrame::UpdateCommands()
{
    // An update handler may emit a state change itself.
    if (m_bUpdating)
        return;
    m_bUpdating = true;
    for (const auto& [id, action] : m_actions) {
        CCmdUI ui(id);
        const bool handled = Route(id, &ui);
        action->setEnabled(handled && ui.m_bEnabled);
        if (ui.m_nCheck != 0 || action->isCheckable()) {
            action->setCheckable(true);
            action->setChecked(ui.m_nCheck != 0);
        }
    }
    m_bUpdating = false;
}

bool CMainFrame::ExecuteCommand(unsigned nID)
{
    // The state may have changed since the last update: ask again.
    if (!IsCommandEnabled(nID)) {
        UpdateCommands();
        return false;
    }
    Route(nID, nullptr);
    UpdateCommands();
    return true;
}

bool CMainFrame::event(QEvent* event)
{
    const bool result = QMainWindow::event(event);
    // The window manager's decoration is known only once the window is up.
    if (event->type() == QEvent::Show || event->type() == QEvent::Move)
        FixFrameSize();
    return result;
}

void CMainFrame::FixFrameSize()
{
    // 575 x 420 is the outer size, decoration included: the client gets the rest.
    const QSize decoration = frameGeometry().size() - geometry().size();
    const QSize client(kWidth - decoration.width(), kHeight - decoration.height());
    if (client != size() && client.width() > 0 && client.height() > 0)
        setFixedSize(client);
}

bool CMainFrame::OnSizing(unsigned nSide, CRect* pRect, bool bZoomed, bool bIconic)
{
    if (bZoomed || bIconic)
        return false;
    switch (nSide) {
    case 1:
    case 4:
    case 7:
        if (pRect->Width() < kMinTrackWidth)
            pRect->left = pRect->right - kMinTrackWidth;
        break;
    case 2:
    case 5:
    case 8:
        if (pRect->Width() < kMinTrackWidth)
            pRect->right = pRect->left + kMinTrackWidth;
        break;
    default:
        break;
    }
    switch (nSide) {
    case 3:
    case 4:
    case 5:
        if (pRect->Height() < kMinTrackHeight)
            pRect->top = pRect->bottom - kMinTrackHeight;
        break;
    case 6:
    case 7:
    case 8:
        if (pRect->Height() < kMinTrackHeight)
            pRect->bottom = pRect->top + kMinTrackHeight;
        break;
    default:
        break;
    }
    return true;
}

#ifdef Q_OS_WIN
bool CMainFrame::nativeEvent(const QByteArray& eventType, void* message, qintptr* result)
{
    unsigned edge = 0;
    SizingRect* r = eventType == "windows_generic_MSG" ? SizingMessage(message, &edge) : nullptr;
    if (r != nullptr) {
        CRect rc{static_cast<int>(r->left), static_cast<int>(r->top), static_cast<int>(r->right),
                 static_cast<int>(r->bottom)};
        if (!OnSizing(edge, &rc, isMaximized(), isMinimized())) {
            *result = 1;
            return true;
        }
        *r = SizingRect{rc.left, rc.top, rc.right, rc.bottom};
    }
    return QMainWindow::nativeEvent(eventType, message, result);
}
#endif
