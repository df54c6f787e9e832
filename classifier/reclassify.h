// Correcting POPFile's verdict for the message of the last classifier menu.
#pragma once
#include <windows.h>

// Menu command, enrolled once per bucket item with the bucket's 0-based
// index in bucketNames; `window` is not used. Acts on
// BucketList.messagePath: posts the correction to POPFile when the message
// has a positive view id, then rewrites its classification header and
// files it again. An index beyond the current list does nothing.
void WINAPI OnReclassify(HWND window, DWORD bucketIndex);

// Fetches the key from the front page under the URL setting and posts the
// history form for BucketList.viewId and the bucket at `index` (below
// bucketCount) to the URL setting followed by "history". Posts nothing
// while the URL setting is empty or no key is found.
void PostReclassification(int index);

// Files the message at `path` (a message path of the mailbox) again by its
// "X-Text-Classification:" value: into the folder of that bucket's rule, or
// "郵便受け" when no rule names it, of the message's own account, through
// APAMoveMail. Does nothing when the header is missing or the path lies
// outside the mailbox.
void MoveAfterReclassify(const char *path);
