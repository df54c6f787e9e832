// The rules between the texts the host gives (mailbox directory, message
// paths, entries) and the texts its move service takes. Every text is
// Shift_JIS and built by plain concatenation; a search for a backslash
// steps over double-byte characters.
//
//   message path      = mailbox directory + entry + ".PWK"
//   entry             = message path below the mailbox directory, no ".PWK"
//   account directory = mailbox directory + the first name below it
//   destination       = account title + "\" + folder name
#pragma once
#include <cstddef>

// Length of `mailbox` (the mailbox directory, ending in a backslash) when
// `path` begins with it, ASCII letters of single-byte characters matched in
// either case; -1 otherwise: such a path is no message of the mailbox, and
// no entry or account is derived from it.
int MailboxPrefixLength(const char *path, const char *mailbox);

// New heap string: `mailbox`, `entry` and ".PWK"; nullptr when no memory.
// The caller frees it.
char *MessagePathOfEntry(const char *mailbox, const char *entry);

// Writes into `output` the text of `path` after its first `mailboxLength`
// bytes, without its last 4 bytes when more than 4 remain. `output` holds at
// least strlen(path) + 1 bytes; `path` is at least `mailboxLength` long.
void EntryOfMessagePath(const char *path, int mailboxLength, char *output);

// Formats "%s\%s" from title and folder into `output`, which holds at least
// strlen(title) + strlen(folder) + 2 bytes.
void MakeDestination(const char *title, const char *folder, char *output);

// New heap string: the "account.ini" of the account that the message at
// `path` belongs to, that is the account directory (the path up to the
// first backslash after its first `mailboxLength` bytes, or the whole path
// when there is none) followed by "\account.ini". nullptr when no memory.
char *AccountIniPathOf(const char *path, int mailboxLength);

// Where the host is to move one message: the destination and the entry in
// one heap block, the entry right after the destination's NUL.
struct MoveTarget {
    char *Destination; // owns the block; "title\folder"
    char *Entry;       // inside the block
};

// Builds the move target of the message at `path` (below the mailbox
// directory of length `mailboxLength`) into the folder `folder` of the
// account titled `title`. Returns 0, or -1 when no memory (the target is
// then untouched). The caller frees target->Destination.
int BuildMoveTarget(const char *path, int mailboxLength, const char *title, const char *folder, MoveTarget *target);
