// Message paths, entries and folder destinations, and the host's INI files
// "mailbox.ini" and "account.ini". Texts are Shift_JIS.
//
//   message path = mailbox directory + entry + ".PWK"
//   entry        = message path below the mailbox directory, without ".PWK"
//   destination  = account title + "\" + folder name
#pragma once
#include <windows.h>

// New heap string: mailbox directory, `entry` and ".PWK"; nullptr when no
// memory. The caller frees it.
char *MessagePathOfEntry(const char *entry);

// Length of the mailbox directory text when `path` begins with it (bytes
// compared with ASCII case folded), else -1: such a path is no message of
// the mailbox and no entry or account can be derived from it.
int MailboxPrefixLength(const char *path);

// Writes into `output` the text of `path` after its first `mailboxLength`
// bytes, without its last 4 bytes when more than 4 remain. `output` holds at
// least strlen(path) + 1 bytes. `path` must be at least `mailboxLength` long.
void EntryOfMessagePath(const char *path, int mailboxLength, char *output);

// Formats "%s\%s" from title and folder into `output`, which holds at least
// strlen(title) + strlen(folder) + 2 bytes.
void MakeDestination(const char *title, const char *folder, char *output);

// Fills `output` (200 bytes) with "Title" of the account that the message
// file belongs to; empty when unknown.
void ReadAccountTitle(const char *path, char *output);

// Fills `output` (`size` bytes) with "ExternalEditor" of "mailbox.ini",
// "notepad" when missing; leaves it untouched when no memory.
void ReadExternalEditor(int size, char *output);

// Path of the message shown in `window`: a view window (isView non-zero)
// asks APAViewGetPath, a folder window its current entry. New heap string,
// or nullptr when there is no message. The caller frees it.
char *WindowMessagePath(HWND window, int isView);
