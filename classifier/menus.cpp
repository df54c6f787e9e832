// The classifier items of the folder and view menus: the correction
// submenu "POPFile訂正[bucket]" and the command "POPFileを開く". Every item
// is appended at the end of its menu, and every command is enrolled with
// the host when its item is made.
#include <windows.h>
#include <shellapi.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "classifier/bucket_list.h"
#include "classifier/http.h"
#include "classifier/links.h"
#include "classifier/menu_choices.h"
#include "classifier/menus.h"
#include "classifier/reclassify.h"
#include "classifier/web_state.h"
#include "mailstore/header_reader.h"
#include "mailstore/mailbox.h"
#include "plugin/host_guard.h"
#include "plugin/host_services.h"
#include "settings/settings.h"

namespace {

const int kFolderMenuCode = 102;
const int kViewSubmenuCode = 201; // items go into the fourth submenu
const int kViewMenuCode = 202;
const int kViewSubmenuPosition = 3;

// The structure without its final bitmap member, as a 32-bit build of the
// host knows it.
const UINT kMenuItemInfoSize = offsetof(MENUITEMINFOA, hbmpItem);
static_assert(sizeof(void *) != 4 || kMenuItemInfoSize == 44, "MENUITEMINFOA layout");

// Label of up to 200 bytes and its NUL.
const int kLabelLimit = 200;
const size_t kSubmenuLinkSize = 4096;
const size_t kOpenLinkSize = 1024;

const char kOpenLabel[] = "POPFileを開く";
const char kRefreshLabel[] = "バケツの再取得";
const char kNoVerdictNotice[] = "メールにPOPFileの情報が記録されていません";
const char kNoBucketsNotice[] = "POPFileの情報が取得できません";

// Inserts `item` at the end of `menu`; non-zero when it succeeded.
int AppendItem(HMENU menu, MENUITEMINFOA &item)
{
    item.cbSize = kMenuItemInfoSize;
    return InsertMenuItemA(menu, GetMenuItemCount(menu), TRUE, &item);
}

int AppendSubmenuItem(HMENU menu, HMENU submenu, char *label)
{
    MENUITEMINFOA item = {};
    item.fMask = MIIM_SUBMENU | MIIM_TYPE;
    item.fType = MFT_STRING;
    item.hSubMenu = submenu;
    item.dwTypeData = label;
    return AppendItem(menu, item);
}

int AppendCommandItem(HMENU menu, DWORD id, const char *label)
{
    MENUITEMINFOA item = {};
    item.fMask = MIIM_ID | MIIM_TYPE;
    item.fType = MFT_STRING;
    item.wID = id;
    item.dwTypeData = const_cast<char *>(label);
    return AppendItem(menu, item);
}

int AppendBucketItem(HMENU menu, DWORD id, char *name, bool current)
{
    MENUITEMINFOA item = {};
    item.fMask = MIIM_STATE | MIIM_ID | MIIM_TYPE;
    item.fType = MFT_RADIOCHECK;
    item.fState = current ? MFS_CHECKED : 0;
    item.wID = id;
    item.dwTypeData = name;
    return AppendItem(menu, item);
}

int AppendSeparator(HMENU menu)
{
    MENUITEMINFOA item = {};
    item.fMask = MIIM_TYPE;
    item.fType = MFT_SEPARATOR;
    return AppendItem(menu, item);
}

int AppendNotice(HMENU menu, const char *text)
{
    MENUITEMINFOA item = {};
    item.fMask = MIIM_TYPE;
    item.fType = MFT_STRING;
    item.dwTypeData = const_cast<char *>(text);
    return AppendItem(menu, item);
}

// Appends a separator and the command "バケツの再取得".
void AppendRefreshItem(HMENU submenu)
{
    AppendSeparator(submenu);
    DWORD id = Host.APARegistCallback(OnRefreshBuckets, 0);
    AppendCommandItem(submenu, id, kRefreshLabel);
}

// Fills the new, empty correction submenu for the message shown in
// `window` (isView 0: folder window, 1: view window): one radio item per
// bucket (the message's own bucket checked, names compared exactly), a
// separator and "バケツの再取得"; or one of the two notice items when the
// message has no verdict or no bucket list can be had. Fetches the bucket
// page only while the list is empty. While POPFile's server is left alone
// after a failed connect, the notice comes with the separator and
// "バケツの再取得", so that a user who has just started POPFile need not
// wait for the next try.
void BuildBucketSubmenu(HWND window, HMENU submenu, int isView)
{
    char *path = CurrentMessagePath(window, isView);
    if (!path)
        return;
    // A first message with a link teaches the base URL before the bucket
    // list is needed.
    char line[kSubmenuLinkSize];
    const char *link = ReadHeaderLine(path, "X-POPFile-Link:", line, sizeof line);
    if (link)
        LearnBaseUrl(link, path);
    char *bucket = ReadClassification(path);
    free(path);
    if (!bucket) {
        AppendNotice(submenu, kNoVerdictNotice);
        return;
    }
    RefreshBuckets(0);
    if (BucketList.bucketCount < 1) {
        AppendNotice(submenu, kNoBucketsNotice);
        free(bucket);
        if (HttpServerResting(PluginSettings.URL.c_str()))
            AppendRefreshItem(submenu);
        return;
    }
    for (int i = 0; i < BucketList.bucketCount; ++i) {
        char *name = BucketList.bucketNames[i];
        // The command names the bucket as shown, not its place in a list
        // that a refresh may reorder before the choice.
        DWORD id = Host.APARegistCallback(OnReclassify, ShownBucketValue(name));
        AppendBucketItem(submenu, id, name, strcmp(name, bucket) == 0);
    }
    free(bucket);
    AppendRefreshItem(submenu);
}

// Appends the correction submenu for `bucket`. Returns the insertion's
// result; a submenu that could not be attached is destroyed unfilled.
int AppendCorrectionSubmenu(HWND window, HMENU target, const char *bucket, int isView)
{
    HMENU submenu = CreateMenu();
    if (!submenu)
        return 0;
    char label[kLabelLimit + 1];
    _snprintf(label, kLabelLimit, "POPFile訂正[%s]", bucket);
    label[kLabelLimit] = '\0';
    int result = AppendSubmenuItem(target, submenu, label);
    if (result)
        BuildBucketSubmenu(window, submenu, isView);
    else
        DestroyMenu(submenu);
    return result;
}

bool WindowStillExists(const void *window)
{
    return IsWindow(static_cast<HWND>(const_cast<void *>(window))) != FALSE;
}

// Menu set-up once the target menu is chosen. Returns the result of the
// last insertion.
int AppendClassifierItems(HWND window, HMENU target, int isView)
{
    // A correction asks this window for its message when it is chosen.
    NoteMenuWindow(window, isView, WindowStillExists);
    char *path = CurrentMessagePath(window, isView);
    char *bucket = path ? ReadClassification(path) : nullptr;
    free(path);
    if (bucket) {
        AppendCorrectionSubmenu(window, target, bucket, isView);
        free(bucket);
    }
    DWORD id = Host.APARegistCallback(OnOpenInClassifier, static_cast<DWORD>(isView));
    return AppendCommandItem(target, id, kOpenLabel);
}

void OpenInBrowser(const char *url)
{
    ShellExecuteA(NULL, "open", url, NULL, NULL, SW_SHOWNORMAL);
}

// Opens the message's "X-POPFile-Link:" in the browser when it is a web
// link (IsWebLink); otherwise opens the URL setting, or nothing while that
// is empty or not a clean base URL (IsCleanBaseUrl). The shell's result is not examined.
void OpenMessageLink(const char *path)
{
    char line[kOpenLinkSize];
    const char *link = ReadHeaderLine(path, "X-POPFile-Link:", line, sizeof line);
    if (link && IsWebLink(link)) {
        LearnBaseUrl(link, path);
        OpenInBrowser(link);
    } else if (IsCleanBaseUrl(PluginSettings.URL.c_str())) {
        OpenInBrowser(PluginSettings.URL.c_str());
    }
}

void OpenMessageOfWindow(HWND window, DWORD isView)
{
    // Not the menu's message: this command does not change messagePath.
    char *path = WindowMessagePath(window, isView != 0);
    if (!path)
        return;
    OpenMessageLink(path);
    free(path);
}

} // namespace

int ClassifierFolderMenu(HWND window, HMENU menu, int code)
{
    if (code != kFolderMenuCode)
        return code;
    return AppendClassifierItems(window, menu, 0);
}

int ClassifierViewMenu(HWND window, HMENU menu, int code)
{
    HMENU target;
    if (code == kViewSubmenuCode)
        target = GetSubMenu(menu, kViewSubmenuPosition);
    else if (code == kViewMenuCode)
        target = menu;
    else
        return code;
    return AppendClassifierItems(window, target, 1);
}

void WINAPI OnOpenInClassifier(HWND window, DWORD isView)
{
    GuardHostCall([&] { OpenMessageOfWindow(window, isView); });
}

void WINAPI OnRefreshBuckets(HWND, DWORD)
{
    // The menu on screen keeps its items; the next set-up shows the list.
    GuardHostCall([] { RunAsUserAction([] { RefreshBuckets(1); }); });
}
