// Learning from messages and from POPFile's pages: the base URL, a
// message's bucket and view id, the interface's key, the bucket list.
#pragma once
#include <windows.h>

// Adopts the text before "jump" of a message's link as the URL setting,
// when the setting is empty and the text begins with "http://".
void LearnBaseUrl(const char *link);

// New heap copy of the path of the message shown in `window` (see
// WindowMessagePath), also kept as BucketList.messagePath; nullptr if none.
char *CurrentMessagePath(HWND window, int isView);

// New heap copy of the message's "X-Text-Classification:" value, or
// nullptr. The caller frees it.
char *ReadClassification(const char *path);

// Sets BucketList.viewId from the message's "X-POPFile-Link:" ("view=N";
// -1 when missing or beyond 32 bits) and returns it.
int ReadViewId(const char *path);

// Empties uiKey, fetches the front page under `baseUrl` and scans its key.
// Returns BucketList.uiKey (possibly empty).
const char *FetchUiKey(const char *baseUrl);

// Fetches the page "buckets" when the list is empty or `force` is set.
void RefreshBuckets(int force);

// Rewrites the "X-Text-Classification:" line of BucketList.messagePath to
// the bucket at `bucketIndex`.
void RewriteClassificationHeader(int bucketIndex);
