// The filing command: after a retrieval, moves each queued message into its
// rule's folder once the host is idle, then reports the moves per folder
// with a beep and/or a message box.
//
// The wait before each move dispatches the thread's messages, so the host
// keeps working and may call the plug-in again meanwhile: APCRecFilter then
// queues onto a fresh list, and a nested filing command moves only that
// list. The rule table may be replaced (a reload from the setup dialog)
// while we wait, so a record names its rule by index and the index is
// checked against the table as it is after the move.
#include <windows.h>

#include <string>
#include <vector>

#include "filing/filing_command.h"
#include "filing/receive_filter.h"
#include "filing/summary_text.h"
#include "plugin/host_guard.h"
#include "plugin/host_services.h"
#include "settings/settings.h"

namespace {

// The host's command that is grayed while it is busy, in its fourth menu.
const UINT kBusyCommand = 32835;
const int kBusyMenuPosition = 3;

const char kSummaryCaption[] = "Sortellaメール振り分け";

// What the moves since the last summary were, per rule of the rule list as
// it is now: a reload (from the setup dialog, during the wait) starts them
// afresh, as the rules it brings start afresh.
struct FolderTally {
    int MovedCount;
    std::string Details;
};
struct MoveTally {
    unsigned RuleList; // RuleListNumber() of the list the folders belong to
    std::vector<FolderTally> Folders;
};
MoveTally Tally;

// The tally of the rule list now loaded, one folder per rule.
std::vector<FolderTally> &CurrentFolders(void)
{
    if (Tally.RuleList != RuleListNumber() || Tally.Folders.size() != static_cast<size_t>(RuleCount)) {
        Tally.RuleList = RuleListNumber();
        Tally.Folders.assign(static_cast<size_t>(RuleCount), FolderTally{0, std::string()});
    }
    return Tally.Folders;
}

// True while command 32835 of the window's fourth menu is not in state 0,
// after sending WM_INITMENUPOPUP so the host updates it. A window without
// that menu or that command counts as not busy.
bool HostMenuBusy(HWND window)
{
    HMENU bar = GetMenu(window);
    if (!bar)
        return false;
    HMENU menu = GetSubMenu(bar, kBusyMenuPosition);
    if (!menu)
        return false;
    // The host brings its items up to date when the menu is about to open.
    SendMessageA(window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), 0);
    UINT state = GetMenuState(menu, kBusyCommand, MF_BYCOMMAND);
    // A menu without the command answers all bits set; then APAIsBusy
    // alone decides, or the wait would never end.
    return state != static_cast<UINT>(-1) && state != 0;
}

// Waits until neither APAIsBusy nor the busy command says the host is
// busy, dispatching the messages of every window of the thread meanwhile.
// On an empty queue it sleeps 1 ms rather than spinning. Returns false when
// it took WM_QUIT out of the queue: the quit request is posted again for
// the host's own loop, and the caller must stop moving.
bool WaitForIdleHost(HWND window)
{
    while (Host.APAIsBusy() || HostMenuBusy(window)) {
        MSG message;
        if (!PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            Sleep(1);
            continue;
        }
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return false;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return true;
}

// Counts a successful move on the rule now at the record's index; nothing
// when the table has been replaced by a shorter one.
void CountMove(PendingMove *move)
{
    if (move->RuleIndex < 0 || move->RuleIndex >= RuleCount)
        return;
    GuardHostCall([&] {
        FolderTally &folder = CurrentFolders()[static_cast<size_t>(move->RuleIndex)];
        ++folder.MovedCount;
        // Without memory for the line the move stays counted, unlisted.
        GuardHostCall([&] {
            folder.Details += DetailLine(move->From, move->Subject, PluginSettings.FromLength,
                                         PluginSettings.SubjectLength);
        });
    });
}

void ReleaseList(PendingMove *move)
{
    while (move) {
        PendingMove *next = move->Next;
        ReleasePendingMove(move);
        move = next;
    }
}

// Appends one paragraph per rule with moves, in table order.
int BuildSummary(std::string &summary)
{
    std::vector<FolderTally> &folders = CurrentFolders();
    int reported = 0;
    for (int i = 0; i < RuleCount; ++i) {
        const FolderTally &folder = folders[static_cast<size_t>(i)];
        if (folder.MovedCount <= 0)
            continue;
        AppendFolderParagraph(summary, Rules[i].Folder, folder.MovedCount, folder.Details);
        ++reported;
    }
    return reported;
}

void ClearCounts(void)
{
    Tally.Folders.clear();
}

void ReportMoves(HWND window)
{
    std::string summary;
    int reported = 0;
    bool built = GuardHostCall(false, [&] {
        reported = BuildSummary(summary);
        return true;
    });
    // Cleared before the box: the box dispatches messages, and a nested
    // run must not report these moves again.
    ClearCounts();
    if (!built) {
        // Without memory for the text, the moves are still announced.
        reported = 1;
        summary.clear();
    }
    if (reported == 0)
        return;
    if (PluginSettings.Beep)
        MessageBeep(MB_ICONEXCLAMATION);
    if (PluginSettings.DispDialog && built)
        MessageBoxA(window, summary.c_str(), kSummaryCaption, MB_OK | MB_ICONINFORMATION);
}

// Detaches PendingList and moves each record with APAMoveMail, in order,
// after waiting until the host is idle; counts each successful move on the
// rule at the record's RuleIndex (when still inside the table) and adds its
// detail line. Releases every record. When the wait takes WM_QUIT out of
// the queue, it posts the quit again and releases the remaining records
// without moving them.
void PerformPendingMoves(HWND window)
{
    // Detached first: whatever the wait lets the host queue meanwhile goes
    // to a new list, so each record here is moved exactly once.
    PendingMove *move = DetachPendingList();
    while (move) {
        PendingMove *next = move->Next;
        if (!WaitForIdleHost(window)) {
            // The host is quitting: the rest stay where the host stored
            // them, unmoved and unreported.
            ReleaseList(move);
            return;
        }
        if (Host.APAMoveMail(move->Entry, move->Destination))
            CountMove(move);
        ReleasePendingMove(move);
        move = next;
    }
}

} // namespace

void WINAPI FilingCommand(HWND window, DWORD)
{
    GuardHostCall([&] {
        PerformPendingMoves(window);
        ReportMoves(window);
    });
}
