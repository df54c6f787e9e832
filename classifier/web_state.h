// Learning from messages and from POPFile's pages: the base URL, a
// message's bucket and view id, the interface's key, the bucket list.
#pragma once
#include <windows.h>

// Adopts the text before the first "jump" of a message's link as the URL
// setting (saved at once), when the setting is empty and the link teaches
// a base URL (BaseUrlLengthOfLink, with the POP3 server of the account of
// the message at `path`). Otherwise changes nothing.
void LearnBaseUrl(const char *link, const char *path);

// New heap copy of the path of the message shown in `window` (see
// WindowMessagePath), also kept as BucketList.messagePath; nullptr if none
// (messagePath then stays as it was). The caller frees it.
char *CurrentMessagePath(HWND window, int isView);

// New heap copy of the message's "X-Text-Classification:" value, or
// nullptr. The caller frees it.
char *ReadClassification(const char *path);

// Sets BucketList.viewId from the message's "X-POPFile-Link:" (see
// ViewIdOfLink; -1 when the header is missing) and returns it. The link
// may teach the base URL (LearnBaseUrl).
int ReadViewId(const char *path);

// Empties uiKey, fetches the front page `baseUrl` and scans its key.
// Returns BucketList.uiKey's text (possibly empty), valid until the key
// changes.
const char *FetchUiKey(const char *baseUrl);

// What the bucket page said when a correction fetched it.
enum BucketPageAnswer {
    BucketPageUnanswered, // no page, or one too long to be POPFile's
    BucketPageLogin,      // POPFile's login page: a password on the interface
    BucketPageForeign,    // a page without the key that is not the login page
    BucketPageRead,       // the key and the bucket list were taken from it
};

// Fetches the page "buckets" under `baseUrl` for a correction. When it
// carries the key, takes the key into uiKey and the bucket list from it
// (replacing the names held); otherwise the names held stay as they were
// and uiKey is empty.
BucketPageAnswer FetchBucketsForCorrection(const char *baseUrl);

// Fetches the page "buckets" under the URL setting when the list is empty,
// or, with `force` non-zero, discards the names and fetches again. Does
// nothing while the URL setting is empty or not clean (IsCleanBaseUrl),
// nor, without `force`, while a connect to its server failed a short while
// ago (HttpServerResting). A failed fetch leaves the list empty.
void RefreshBuckets(int force);
