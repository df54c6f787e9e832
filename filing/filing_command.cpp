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

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "filing/filing_command.h"
#include "filing/filing_log.h"
#include "filing/receive_filter.h"
#include "filing/summary_text.h"
#include "mailstore/header_reader.h"
#include "mailstore/message_paths.h"
#include "plugin/host_guard.h"
#include "plugin/host_services.h"
#include "settings/settings.h"

namespace {

// The host's command that is grayed while it is busy, in its fourth menu.
const UINT kBusyCommand = 32835;
const int kBusyMenuPosition = 3;

const char kSummaryCaption[] = "Sortellaメール振り分け";

// What a message box adds to the height of its text, in lines of its font:
// the margins above and below the text and the row of the OK button.
const int kBoxChromeLines = 5;

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
            folder.Details += DetailLine(move->ListFrom ? move->From : nullptr,
                                         move->ListSubject ? move->Subject : nullptr, PluginSettings.FromLength,
                                         PluginSettings.SubjectLength);
        });
    });
}

// Adds the filing log's line of a move that the host made (`moved`) or
// refused to `lines`. Made before the summary's line, which changes the
// record's texts. Without memory for it the line is left out.
void CollectLogLine(const PendingMove *move, bool moved, std::vector<std::string> &lines)
{
    GuardHostCall([&] {
        std::string account(move->Destination, static_cast<size_t>(move->TitleLength));
        LogEvent event = {LocalLogTime(), LogFiled, account.c_str(), move->Entry, move->Destination, !moved,
                          move->Bucket, nullptr, nullptr, move->From, move->Subject};
        lines.push_back(FormatLogLine(event));
    });
}

// Holds a verdict of up to 200 bytes, as the receive filter reads it.
const int kVerdictSize = 201;

// True when the queued message is still where the host stored it, with the
// verdict it had when queued. A correction since then has rewritten its
// verdict or moved it, and filed it itself.
bool StillAsQueued(const PendingMove *move)
{
    if (!move->Bucket)
        return true; // no memory for the name when queued: moved as before
    char *path = MessagePathOfEntry(Host.APAGetMailbox(), move->Entry);
    if (!path)
        return true;
    char line[kVerdictSize];
    const char *bucket = ReadHeaderLine(path, "X-Text-Classification:", line, kVerdictSize);
    bool same = bucket && strcmp(bucket, move->Bucket) == 0;
    free(path);
    return same;
}

void ReleaseList(PendingMove *move)
{
    while (move) {
        PendingMove *next = move->Next;
        ReleasePendingMove(move);
        move = next;
    }
}

// Appends one paragraph per rule with moves, in table order, each listing
// at most `listLimit` messages (all when negative).
int BuildSummary(std::string &summary, int listLimit)
{
    std::vector<FolderTally> &folders = CurrentFolders();
    int reported = 0;
    for (int i = 0; i < RuleCount; ++i) {
        const FolderTally &folder = folders[static_cast<size_t>(i)];
        if (folder.MovedCount <= 0)
            continue;
        AppendFolderParagraph(summary, Rules[i].Folder, folder.MovedCount, folder.Details, listLimit);
        ++reported;
    }
    return reported;
}

// Most detail lines of one folder in the tally.
int LongestList(void)
{
    int longest = 0;
    for (const FolderTally &folder : CurrentFolders()) {
        int lines = DetailLineCount(folder.Details);
        longest = lines > longest ? lines : longest;
    }
    return longest;
}

// Lays a summary out as a message box does, to see whether the box fits on
// the screen: the text in the message font, broken into lines of the
// widest column a box gives its text (the screen's width less the icon and
// margins, half of it at most, which errs towards more lines), below a
// caption and above the OK button.
struct BoxLayout {
    HDC dc;
    HFONT font;
    HGDIOBJ previousFont;
    int textWidth;     // pixels
    int textHeightMax; // pixels
};

bool OpenBoxLayout(BoxLayout &layout)
{
    layout.dc = GetDC(NULL);
    if (!layout.dc)
        return false;
    NONCLIENTMETRICSA metrics = {};
    // The size that every Windows version accepts (without the field that
    // later ones added at the end).
    metrics.cbSize = offsetof(NONCLIENTMETRICSA, lfMessageFont) + sizeof metrics.lfMessageFont;
    layout.font = NULL;
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0))
        layout.font = CreateFontIndirectA(&metrics.lfMessageFont);
    layout.previousFont = SelectObject(layout.dc, layout.font ? layout.font : GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICA text;
    GetTextMetricsA(layout.dc, &text);
    RECT work;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0))
        SetRect(&work, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    int line = text.tmHeight + text.tmExternalLeading;
    layout.textWidth = (work.right - work.left) / 2;
    layout.textHeightMax = (work.bottom - work.top) - GetSystemMetrics(SM_CYCAPTION) -
                           2 * GetSystemMetrics(SM_CYFIXEDFRAME) - kBoxChromeLines * line;
    return true;
}

void CloseBoxLayout(BoxLayout &layout)
{
    SelectObject(layout.dc, layout.previousFont);
    if (layout.font)
        DeleteObject(layout.font);
    ReleaseDC(NULL, layout.dc);
}

bool FitsOnScreen(BoxLayout &layout, const std::string &summary)
{
    RECT area = {0, 0, layout.textWidth, 0};
    DrawTextA(layout.dc, summary.c_str(), -1, &area, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    return area.bottom - area.top <= layout.textHeightMax;
}

// Builds the summary into `summary`, every message listed if the box then
// fits on the screen, otherwise as many of each folder's messages as fit
// (the same number for each folder, at least none). Returns the number of
// folders reported.
int BuildFittingSummary(std::string &summary)
{
    int reported = BuildSummary(summary, -1);
    BoxLayout layout;
    if (reported == 0 || !OpenBoxLayout(layout))
        return reported;
    try {
        if (!FitsOnScreen(layout, summary)) {
            // The most lines per folder that fit: fits(low), not fits(high).
            int low = 0;
            int high = LongestList();
            while (high - low > 1) {
                int middle = low + (high - low) / 2;
                std::string trial;
                BuildSummary(trial, middle);
                (FitsOnScreen(layout, trial) ? low : high) = middle;
            }
            summary.clear();
            BuildSummary(summary, low);
        }
    } catch (...) {
        CloseBoxLayout(layout); // no memory for a trial text
        throw;
    }
    CloseBoxLayout(layout);
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
        reported = PluginSettings.DispDialog ? BuildFittingSummary(summary) : BuildSummary(summary, -1);
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
// after waiting until the host is idle, unless the message was corrected
// since it was queued (StillAsQueued); counts each successful move on the
// rule at the record's RuleIndex (when still inside the table) and adds its
// detail line. With the filing log on, adds the log's line of every move,
// made or refused, to `logLines`. Releases every record. When the wait
// takes WM_QUIT out of the queue, it posts the quit again and releases the
// remaining records without moving them.
void PerformPendingMoves(HWND window, std::vector<std::string> &logLines)
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
        if (!StillAsQueued(move)) {
            // Corrected since it was queued (the wait lets the user do so):
            // the correction filed it, so it is neither moved nor counted.
            ReleasePendingMove(move);
            move = next;
            continue;
        }
        bool moved = Host.APAMoveMail(move->Entry, move->Destination) != 0;
        if (PluginSettings.Log)
            CollectLogLine(move, moved, logLines);
        if (moved)
            CountMove(move);
        ReleasePendingMove(move);
        move = next;
    }
}

} // namespace

void WINAPI FilingCommand(HWND window, DWORD)
{
    GuardHostCall([&] {
        // Written after the last move, not between moves: the wait before
        // each move lets the host call the plug-in (a correction, a nested
        // run), and each of those writes its own lines whole.
        std::vector<std::string> logLines;
        PerformPendingMoves(window, logLines);
        if (PluginSettings.Log)
            GuardHostCall([&] { WriteFilingLog(std::move(logLines)); });
        ReportMoves(window);
    });
}
