// The host stand-in's services and rig: what Postwick32 offers a plug-in
// (the 34 exported services, folder and view windows with their menus, the
// mailbox on disk, the message loop, POP3 retrieval), plus what tests and
// the demo need to drive it and to observe the plug-in.
//
// Linked as the static library `sortella_host` into the stand-in program
// and into every Windows test that needs a host. The executable must export
// the services under their decorated names: add the .def written by
// sortella_host_def() (cmake/windows.cmake) to its sources. Do not define
// any APA service yourself in such an executable.
//
// Texts handed to and from the plug-in are Shift_JIS (the code page of
// string literals in this project). Everything runs on the one
// user-interface thread that first called a Host function. Every function
// is safe to call before any other: the host sets itself up on first use.
//
// Typical test:
//     HostSetMailbox("C:\\tmp\\mbox");
//     HostAddAccount("acc1", "Work", "127.0.0.1", "8110", "1");
//     std::string path = HostWriteMessage("acc1", "郵便受け", nullptr, text);
//     HostLoadPlugin(dllPath); HostStartPlugin();
//     HWND folder = HostCreateFolderWindow("acc1");
//     HostSelectEntry(folder, HostEntryOfPath(path).c_str());
//     HMENU menu = HostBuildFolderMenu(folder);
//     HostChooseMenuItem(folder, menu, {"POPFile訂正[spam]", "inbox"});
//     HostPumpUntil([] { return !HostIsBusy(); }, 5000);
//     for (const HostEvent &e : HostEvents()) ...
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// ---- The services, as this host provides them ---------------------------
// APARegistCallback (callback, value): a new command id from 40001 up (16
//   bits, so menu items can carry it), 0 when the callback is null. A
//   WM_COMMAND with that id (menu choice, or posted with lParam 0) reaching
//   a folder window, a view window or the host's hidden window calls
//   callback (that window, value). Event "enrol", then "command" per call.
// APASetTimer (period, callback, value): a Win32 timer of `period`
//   milliseconds with a timer procedure, so it ticks inside every modal
//   loop of the thread; each tick calls callback (id, value). When the
//   callback returns 0 it is not called again; the id stays valid until
//   APAKillTimer (id), which returns 1, or 0 for an unknown id. Event
//   "timer" at set, at a callback's end and at kill (with the tick count).
// APAIsBusy (): 1 while the service busy sign is set (HostSetBusy...).
// APAGetMailbox (): HostMailbox(). APAGetAccount (folder window): its
//   account directory ending in a backslash; "" for another window.
// APAMoveMail (entry, "Title\Folder"): moves <mailbox><entry>.PWK into
//   that folder of the account whose Title is the text before the first
//   backslash (Shift_JIS aware). 1 moved (or already in that folder), 0
//   nothing moved: no such message file, no backslash or no folder after
//   it, no account with that Title, no such folder directory, or the file
//   could not be moved. A name taken in the target folder gets the next
//   free number. Event "move" either way.
// APAFolderGetCurrentEntry (folder window): its current entry or null.
// APAViewGetPath (view window): the shown path; "" (never null) otherwise.
// The other 25 services return 0 and record an event "service".

// ---- Mailbox on disk --------------------------------------------------
// Layout: <mailbox>\mailbox.ini ([Property] ExternalEditor),
// <mailbox>\<account dir>\account.ini ([Property] Title, POP3Server,
// POP3Port, Connect, POP3User, POP3Password), one subdirectory per folder,
// each message a file "<8 digits>.PWK" with CR LF line ends.

// Sets the mailbox directory (absolute Windows path, with or without a
// final backslash), creating it and its missing parents, and "mailbox.ini"
// when missing. Returns 1, or 0 when the directory cannot be made.
int HostSetMailbox(const char *directory);
// The mailbox directory, ending in a backslash ("" before HostSetMailbox).
// Owned by the host; valid until the next HostSetMailbox.
const char *HostMailbox(void);
// Writes [Property] ExternalEditor of "mailbox.ini". Returns 1 or 0.
int HostSetExternalEditor(const char *command);

// Creates (or updates) an account: directory `dirName` below the mailbox
// with "account.ini" and the folders "郵便受け" and "ごみ箱". A null value
// is not written (an existing one stays); "" is written as an empty value.
// `connect` is the `Connect` key. Returns 1, or 0 on a file error.
int HostAddAccount(const char *dirName, const char *title, const char *server,
                   const char *port, const char *connect);
// Writes any other [Property] key of the account's "account.ini" (for
// instance POP3User / POP3Password, default "user" / "pass"). 1 or 0.
int HostSetAccountValue(const char *dirName, const char *key, const char *value);
// Creates folder `folder` (may be "a\b") of the account. Returns 1 or 0.
int HostAddFolder(const char *dirName, const char *folder);
// The account directory "<mailbox><dirName>\".
std::string HostAccountDirectory(const char *dirName);

// Writes a message file into account/folder and returns its full path, or
// "" on failure. `text` may use LF or CR LF line ends; the file gets CR LF.
// `name` is the file name without ".PWK"; nullptr takes the next free
// 8-digit number of that folder.
std::string HostWriteMessage(const char *dirName, const char *folder, const char *name,
                             const char *text);
// The entry of a message path (below the mailbox directory, without
// ".PWK"), "" when the path is not below the mailbox directory.
std::string HostEntryOfPath(const std::string &path);
// The message path of an entry: mailbox + entry + ".PWK".
std::string HostPathOfEntry(const std::string &entry);
// The file names (with ".PWK") in account/folder, sorted.
std::vector<std::string> HostListMessages(const char *dirName, const char *folder);
// Whole content of a file, bytes as on disk; "" when unreadable.
std::string HostReadFile(const std::string &path);
// The folder of the running program, with its trailing backslash: the
// plug-ins and their settings files are in its Plugins\ folder.
std::string HostProgramDirectory();

// ---- Windows ---------------------------------------------------------
// Command id of the folder window's busy-sign command (fourth menu).
const UINT HOST_BUSY_COMMAND = 32835;
// Options of HostCreateFolderWindow.
enum {
    HOST_FOLDER_NO_BUSY_COMMAND = 1, // menu bar without command 32835
    HOST_FOLDER_NO_FOLDER_CREATE = 2 // do not call APCFolderCreate
};

// Creates and shows the main folder window of an account (title
// "Postwick32 - <Title>"; a list of the account's messages, a row each with
// folder, date, sender and subject as a mail client shows them). Its menu bar
// has four menus, the fourth ("ツール(&T)") holding HOST_BUSY_COMMAND,
// grayed while the menu is busy and state 0 when idle, updated on every
// WM_INITMENUPOPUP. When a plug-in is started, calls APCFolderCreate with
// the window (which may run a modal wait) and records its result. The
// window is destroyed by HostDestroyWindow or HostShutdown. NULL when the
// account directory does not exist.
HWND HostCreateFolderWindow(const char *accountDirName, int options = 0);
// The first folder window still open, or NULL.
HWND HostMainFolderWindow(void);
// While held, folder windows keep their message lists as they are when
// messages are written or moved (each refresh reads every message of the
// account, which makes a run of hundreds of messages quadratic); letting
// go refreshes them once.
void HostHoldFolderLists(bool hold);
// Makes `entry` (below the mailbox, without ".PWK") the folder window's
// current message; nullptr or "" makes it have none. Returns 1, or 0 when
// the message file does not exist (the current message is then none).
int HostSelectEntry(HWND folderWindow, const char *entry);
// The current entry of a folder window, "" when none.
std::string HostCurrentEntry(HWND folderWindow);
// The account directory name (below the mailbox) of a folder window, ""
// for any other window.
std::string HostFolderAccount(HWND folderWindow);

// Creates and shows a message view window of `messagePath` (the file's
// text in a read-only edit control). Its menu bar has four menus; when a
// plug-in is started, APCViewInitMenu (window, bar, 201) is called on it,
// the plug-in's items going into the fourth submenu. NULL when the file
// cannot be read.
HWND HostCreateViewWindow(const char *messagePath);
void HostDestroyWindow(HWND window);

// Busy state. HostSetBusy sets both signs: what APAIsBusy reports and the
// gray state of HOST_BUSY_COMMAND. HostSetBusyParts sets them one by one.
// HostBusyFor makes both busy now and idle after `ms` milliseconds (a
// host timer, so it ends inside modal loops and plug-in waits too).
void HostSetBusy(bool busy);
void HostSetBusyParts(bool serviceBusy, bool menuGrayed);
void HostBusyFor(DWORD ms);
bool HostIsBusy(void); // either sign set
// State of HOST_BUSY_COMMAND as the plug-in reads it: sends
// WM_INITMENUPOPUP, then GetMenuState by command in the fourth menu.
UINT HostBusyCommandState(HWND folderWindow);

// ---- The plug-in -------------------------------------------------------
// LoadLibraryA of the DLL (so its DllMain binds the services), then
// redirects its imports of MessageBoxA, MessageBeep, ShellExecuteA,
// CreateProcessA, DialogBoxParamA through recorders. Returns 1, or 0 when
// the load failed or the DLL lacks an entry point (event "plugin").
int HostLoadPlugin(const char *dllPath);
HMODULE HostPluginModule(void); // NULL when none is loaded
// FreeLibrary; forgets enrolled commands and timers of the plug-in.
void HostUnloadPlugin(void);
// APCStartUp(0) (result recorded and returned; 0 when no plug-in) and
// APCCleanUp.
DWORD HostStartPlugin(void);
void HostCleanUpPlugin(void);
// APCGetPlugName's text (Shift_JIS), "" when no plug-in.
std::string HostPluginName(void);
// APCSetup / APCVersionInfo owned by `owner` (modal; use HostDriveDialog
// before to act on it). Return the dialog's end code, -1 when no plug-in.
INT_PTR HostRunSetup(HWND owner);
INT_PTR HostRunAbout(HWND owner);
// Direct calls of APCRecFilter / APCFolderEndRetrieve, recorded.
DWORD HostCallRecFilter(const char *path);
BOOL HostCallEndRetrieve(HWND folderWindow);

// A right click (WM_CONTEXTMENU) on a folder or view window builds and
// shows its context menu the same way.
// Builds the folder window's context menu (a new popup with the host's
// own items) and calls APCFolderInitMenu (window, menu, 102). Builds a
// view window's menus: code 201 a new menu bar (set on the window), code
// 202 a new context popup; then APCViewInitMenu (window, menu, code).
// Records the whole menu tree (event "menu") and returns the menu, which
// stays owned by the window (the previous one of the same kind is
// destroyed). NULL on failure.
HMENU HostBuildFolderMenu(HWND folderWindow);
HMENU HostBuildViewMenu(HWND viewWindow, int code);
// Chooses a menu item by its text path (Shift_JIS texts compared whole,
// also with "&" removed; e.g. {"POPFile訂正[spam]", "inbox"}): sends
// WM_COMMAND with its id to `window`, as a menu choice does. Returns the
// id, or 0 when no such enabled command item exists (event "choose").
UINT HostChooseMenuItem(HWND window, HMENU menu, const std::vector<std::string> &textPath);
// The menu tree as text lines (UTF-8), one item a line, indented by depth:
//   "<text> type=0x.. state=0x.. id=N" and "---- type=0x800" for separators.
std::string HostDescribeMenu(HMENU menu);

// ---- Retrieval ---------------------------------------------------------
// Starts a POP3 retrieval for the account of `folderWindow` and returns
// at once (1 started, 0 not: no account, already retrieving, bad
// POP3Server/POP3Port). The session runs on socket notifications
// dispatched by any message loop (including the plug-in's waits and
// modal dialogs): connect to POP3Server:POP3Port, USER/PASS (POP3User /
// POP3Password), STAT, then for each message RETR, store it as a new .PWK
// (CR LF, dot-unstuffed) in the account's "郵便受け", call APCRecFilter
// with its path, DELE it; QUIT. The host is busy from the start until
// after APCFolderEndRetrieve (window), which is called at the end in every
// case. A message is deleted on the server only after it was stored; a
// connection that breaks mid-message stores nothing of that message.
// Events "pop3" tell every step and failure.
int HostStartRetrieve(HWND folderWindow);
bool HostRetrieving(void);
// HostStartRetrieve, then dispatches messages until it ended (or
// `timeoutMs`). Returns the number of messages stored, or -1 when the
// session failed at any point or timed out (messages stored before the
// failure stay stored and were filtered).
int HostRetrieve(HWND folderWindow, DWORD timeoutMs = 60000);
// Result of the last finished retrieval: stored count, -1 on failure.
int HostLastRetrieveResult(void);
// Seconds without an answer after which a session fails (default 20).
void HostSetPop3Timeout(DWORD seconds);

// ---- Message loop --------------------------------------------------------
// Dispatches one message of the thread, or sleeps 1 ms when there is none.
void HostPumpOnce(void);
// Dispatches everything queued now.
void HostPumpPending(void);
// Dispatches messages for `ms` milliseconds.
void HostPumpFor(DWORD ms);
// Dispatches messages until `done()` is true or `timeoutMs` passes;
// returns done().
template <typename Done>
bool HostPumpUntil(Done done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= timeoutMs)
            return done();
        HostPumpOnce();
    }
    return true;
}
// Set when a WM_QUIT was taken out of the queue by the host's pumps.
bool HostQuitSeen(void);
// Destroys all host windows, kills timers and unloads the plug-in
// (APCCleanUp first when it was started).
void HostShutdown(void);

// ---- Driving dialogs and message boxes ------------------------------------
// One action on the current dialog (the thread's active dialog window).
struct HostDialogStep {
    enum Kind {
        Click,      // post BM_CLICK to control `id`
        Type,       // WM_SETTEXT `text` (Shift_JIS) into control `id`
        ReadChecked,// record IsDlgButtonChecked of `id`
        ReadEnabled,// record IsWindowEnabled of `id`
        ReadText,   // record the text of control `id`
        Screenshot, // PNG of the dialog into file `text`
        Wait,       // let `id` milliseconds pass
        Close       // post WM_CLOSE to the dialog
    } kind;
    int id;
    std::string text;
};
// Queues steps; a host timer runs them one per tick (100 ms) on the
// thread's active dialog (a window of class "#32770", message boxes
// shown by HostShowBoxes included) once one is there. Each step records an
// event "dialog" (the read value in `result`). Steps left when no dialog
// appears within 10 s are dropped with an event.
void HostDriveDialog(const std::vector<HostDialogStep> &steps);
bool HostDialogStepsPending(void);
// With `ms` > 0, a dialog that is still open `ms` milliseconds after the
// last queued step acted on it gets WM_CLOSE, and EndDialog(IDCANCEL)
// after as long again (events "dialog"), so an unattended run never hangs
// in it. Default 0: dialogs stay open.
void HostCloseDialogsLeftOpen(DWORD ms);
// The values read by the last ReadChecked/ReadEnabled/ReadText steps, in
// order (ReadText: the text as UTF-8 in `text`; others: "0"/"1").
std::vector<std::string> HostDialogReadings(void);
void HostClearDialogReadings(void);

// Message boxes raised by the plug-in are recorded and answered without a
// person. By default none is shown: the answer (IDOK unless changed) is
// returned at once. HostQueueBoxAnswer gives the answer of the next box
// (first in, first out; then the default). With HostShowBoxes(ms > 0) each
// box is really shown for `ms` milliseconds (its own modal loop running),
// then closed with the answer; HostScreenshotNextBox takes a PNG of the
// next shown box before it is closed.
void HostAnswerBoxesWith(int id);
void HostQueueBoxAnswer(int id);
void HostShowBoxes(DWORD ms);
void HostScreenshotNextBox(const char *pngPath);
// How many message boxes (shown ones) and dialogs of the plug-in are
// running now; their modal loops dispatch the thread's messages meanwhile.
int HostModalDepth(void);

// Shell opens and process starts of the plug-in are recorded; with
// forward on they are also performed. Default off: ShellExecuteA answers
// 42 (success) and CreateProcessA TRUE with signaled dummy handles.
void HostForwardShellExecute(bool forward);
void HostForwardCreateProcess(bool forward);

// ---- Observation -------------------------------------------------------
// What the plug-in did that a user could see or that left the process, and
// what the host did on its behalf, one event each, in order.
// Kinds: "plugin" (load, start-up, name, clean-up), "folder-create",
//   "enrol" (id), "command" (enrolled callback called), "timer" (set, kill,
//   and the tick count at kill), "busy", "move", "box", "beep", "shell",
//   "process", "dialog" (plug-in dialogs opened and ended; driven steps),
//   "menu" (a menu built: the tree in `text`), "choose", "select", "view",
//   "pop3", "filter", "end-retrieve", "screenshot", "note", "error".
struct HostEvent {
    std::string kind;
    std::string text;  // UTF-8 description (Shift_JIS texts converted)
    std::string raw;   // Shift_JIS bytes of the main text (box text, entry, ...)
    std::string extra; // Shift_JIS second text (box caption, destination, ...)
    DWORD flags;       // box flags, beep type, show command, menu code, ...
    DWORD result;      // the call's result (box answer, move result, id, ...)
    HWND window;       // window concerned (box owner, command window, ...)
};
const std::vector<HostEvent> &HostEvents(void);
void HostClearEvents(void);
// Events of one kind since `from` (an index into HostEvents()).
std::vector<HostEvent> HostEventsOfKind(const char *kind, size_t from = 0);
// Records an event of the caller's own ("note", "step", ...); `text` UTF-8.
void HostNote(const char *kind, const std::string &text);
// Appends every event, as it happens, as lines "<kind>: <text>" (UTF-8,
// LF; continuation lines of multi-line texts indented by 4 spaces) to the
// file; nullptr stops. Returns 1, or 0 when the file cannot be opened.
int HostTranscriptTo(const char *path);
// Shift_JIS (code page 932) to UTF-8 and back.
std::string HostSjisToUtf8(const std::string &sjis);
std::string HostUtf8ToSjis(const std::string &utf8);

// Saves a PNG of `window`'s screen area (NULL: the whole screen) to
// `pngPath`. Returns 1 or 0.
int HostScreenshot(HWND window, const char *pngPath);
