// The host's mailbox as the plug-in reaches it: the host's answers (read at
// once, each copied before the next host call) and its INI files
// "mailbox.ini" and "account.ini". The path rules themselves are in
// mailstore/message_paths.h. Texts are Shift_JIS.
#pragma once
#include <windows.h>

// MailboxPrefixLength of `path` against the host's mailbox directory: its
// length when `path` lies below it, else -1.
int MailboxPrefixOfPath(const char *path);

// Fills `title` (200 bytes) with "Title" of the account that the message at
// `path` (below the mailbox directory of length `mailboxLength`) belongs
// to; empty when unknown. A retrieval files many messages of one account,
// so the last title read is kept while its "account.ini" is the same,
// unchanged file.
void ReadAccountTitle(const char *path, int mailboxLength, char *title);

// Fills `server` (`size` bytes) with "POP3Server" of the account that the
// message at `path` belongs to (the host its mail comes through); empty
// when the path lies outside the mailbox or the value is missing.
void ReadAccountServer(const char *path, char *server, int size);

// Fills `output` (`size` bytes) with "ExternalEditor" of "mailbox.ini",
// "notepad" when missing; leaves it untouched when no memory.
void ReadExternalEditor(int size, char *output);

// Path of the message shown in `window`: a view window (isView non-zero)
// asks APAViewGetPath, a folder window the mailbox directory and then its
// current entry. New heap string, or nullptr when there is no message or
// no memory. The caller frees it.
char *WindowMessagePath(HWND window, int isView);
