// The host's menus: menu bars of folder and view windows, the context
// menus the plug-in extends (codes 102, 201, 202), the text of a menu tree,
// and choosing an item by its text path.
#include "standins/host/host.h"
#include "standins/host/host_internal.h"

namespace {

using hostrig::Plugin;

HMENU Popup(std::initializer_list<std::pair<UINT, const char *>> items)
{
    HMENU menu = CreatePopupMenu();
    for (const auto &item : items) {
        if (item.second)
            AppendMenuA(menu, MF_STRING, item.first, item.second);
        else
            AppendMenuA(menu, MF_SEPARATOR, 0, NULL);
    }
    return menu;
}

struct ItemFacts {
    std::string text; // Shift_JIS
    UINT type;
    UINT state;
    UINT id;
    HMENU submenu;
};

ItemFacts ItemAt(HMENU menu, int position)
{
    ItemFacts facts{};
    char text[512] = "";
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = sizeof text - 1;
    if (!GetMenuItemInfoA(menu, position, TRUE, &info))
        return facts;
    facts.text = (info.fType & MFT_SEPARATOR) ? "" : text;
    facts.type = info.fType;
    facts.state = info.fState;
    facts.id = info.wID;
    facts.submenu = info.hSubMenu;
    return facts;
}

void Describe(HMENU menu, int depth, std::string *out)
{
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        ItemFacts item = ItemAt(menu, i);
        out->append(depth * 2, ' ');
        if (item.type & MFT_SEPARATOR)
            *out += "---- type=" + hostrig::Hex(item.type);
        else
            *out += "\"" + HostSjisToUtf8(item.text) + "\" type=" + hostrig::Hex(item.type) +
                    " state=" + hostrig::Hex(item.state) +
                    (item.submenu ? std::string(" submenu") : " id=" + std::to_string(item.id));
        *out += "\n";
        if (item.submenu)
            Describe(item.submenu, depth + 1, out);
    }
}

std::string WithoutAmpersands(const std::string &text)
{
    std::string out;
    for (char c : text)
        if (c != '&')
            out += c;
    return out;
}

bool TextMatches(const std::string &itemText, const std::string &wanted)
{
    return itemText == wanted || WithoutAmpersands(itemText) == wanted;
}

void RecordMenu(const char *what, int code, int result, HMENU menu, HWND window)
{
    std::string text = std::string(what) + " code " + std::to_string(code);
    if (Plugin.module)
        text += ", plug-in returned " + std::to_string(result);
    text += "\n" + HostDescribeMenu(menu);
    hostrig::Record("menu", text, "", "", (DWORD)code, (DWORD)result, window);
}

std::string PathText(const std::vector<std::string> &path)
{
    std::string text;
    for (const std::string &part : path)
        text += (text.empty() ? "" : " > ") + HostSjisToUtf8(part);
    return text;
}

} // namespace

namespace hostrig {

HMENU MakeFolderMenuBar(bool withBusyCommand)
{
    HMENU bar = CreateMenu();
    AppendMenuA(bar, MF_POPUP, (UINT_PTR)Popup({{kCmdSetup, "プラグインの設定(&S)..."},
                                                {kCmdAbout, "プラグインのバージョン情報(&A)..."},
                                                {0, nullptr},
                                                {kCmdExit, "終了(&X)"}}),
                "ファイル(&F)");
    AppendMenuA(bar, MF_POPUP, (UINT_PTR)Popup({{kCmdOpen, "開く(&O)"}, {kCmdCopy, "コピー(&C)"}}),
                "編集(&E)");
    AppendMenuA(bar, MF_POPUP, (UINT_PTR)Popup({{kCmdRefresh, "最新の情報に更新(&R)"}}),
                "表示(&V)");
    HMENU tools = withBusyCommand ? Popup({{HOST_BUSY_COMMAND, "送受信(&M)"}})
                                  : Popup({{kCmdRefresh, "最新の情報に更新(&R)"}});
    AppendMenuA(bar, MF_POPUP, (UINT_PTR)tools, "ツール(&T)");
    return bar;
}

HMENU MakeViewMenuBar(void)
{
    HMENU bar = CreateMenu();
    AppendMenuA(bar, MF_POPUP, (UINT_PTR)Popup({{kCmdClose, "閉じる(&C)"}}), "ファイル(&F)");
    AppendMenuA(bar, MF_POPUP, (UINT_PTR)Popup({{kCmdCopy, "コピー(&C)"}}), "編集(&E)");
    AppendMenuA(bar, MF_POPUP, (UINT_PTR)Popup({{kCmdReply, "返信(&R)"}}), "メール(&M)");
    AppendMenuA(bar, MF_POPUP, (UINT_PTR)Popup({{kCmdRefresh, "最新の情報に更新(&R)"}}),
                "ツール(&T)");
    return bar;
}

} // namespace hostrig

HMENU HostBuildFolderMenu(HWND folderWindow)
{
    hostrig::FolderRecord *folder = hostrig::FindFolder(folderWindow);
    if (!folder)
        return NULL;
    HMENU menu = Popup({{hostrig::kCmdOpen, "開く(&O)"}, {hostrig::kCmdReply, "返信(&R)"}});
    if (folder->contextMenu)
        DestroyMenu(folder->contextMenu);
    folder->contextMenu = menu;
    int result = 102;
    if (Plugin.module)
        result = Plugin.FolderInitMenu(folderWindow, menu, 102);
    RecordMenu("folder menu", 102, result, menu, folderWindow);
    return menu;
}

HMENU HostBuildViewMenu(HWND viewWindow, int code)
{
    hostrig::ViewRecord *view = hostrig::FindView(viewWindow);
    if (!view)
        return NULL;
    HMENU menu;
    if (code == 201) {
        menu = hostrig::MakeViewMenuBar();
        HMENU old = GetMenu(viewWindow);
        SetMenu(viewWindow, menu);
        if (old)
            DestroyMenu(old);
    } else {
        menu = Popup({{hostrig::kCmdCopy, "コピー(&C)"}, {hostrig::kCmdReply, "返信(&R)"}});
        if (view->contextMenu)
            DestroyMenu(view->contextMenu);
        view->contextMenu = menu;
    }
    int result = code;
    if (Plugin.module)
        result = Plugin.ViewInitMenu(viewWindow, menu, code);
    if (code == 201)
        DrawMenuBar(viewWindow);
    RecordMenu(code == 201 ? "view menu bar" : "view menu", code, result, menu, viewWindow);
    return menu;
}

UINT HostChooseMenuItem(HWND window, HMENU menu, const std::vector<std::string> &textPath)
{
    HMENU level = menu;
    for (size_t depth = 0; depth < textPath.size() && level; ++depth) {
        int count = GetMenuItemCount(level);
        HMENU next = NULL;
        for (int i = 0; i < count; ++i) {
            ItemFacts item = ItemAt(level, i);
            if ((item.type & MFT_SEPARATOR) || !TextMatches(item.text, textPath[depth]))
                continue;
            bool last = depth + 1 == textPath.size();
            if (!last) {
                next = item.submenu;
                break;
            }
            if (item.submenu || (item.state & (MFS_GRAYED | MFS_DISABLED))) {
                hostrig::Record("choose", PathText(textPath) + ": not a command that can be chosen",
                                "", "", 0, 0, window);
                return 0;
            }
            hostrig::Record("choose", PathText(textPath) + ": id " + std::to_string(item.id), "",
                            "", 0, item.id, window);
            SendMessageA(window, WM_COMMAND, MAKEWPARAM(item.id, 0), 0);
            return item.id;
        }
        level = next;
    }
    hostrig::Record("choose", PathText(textPath) + ": no such item", "", "", 0, 0, window);
    return 0;
}

std::string HostDescribeMenu(HMENU menu)
{
    std::string text;
    if (menu)
        Describe(menu, 0, &text);
    return text;
}
