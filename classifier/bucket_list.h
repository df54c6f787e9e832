// What the plug-in has learnt from POPFile's web interface: bucket names,
// the interface's key, and the message of the last classifier menu.
// Page scanning lives here too; nothing in this module talks to the network.
#pragma once
#include <string>

struct BucketListRecord {
    int bucketCount;         // names in bucketNames
    char **bucketNames;      // owned heap strings in page order; grows by 10
    std::string uiKey;       // the value after "session=" in POPFile's links
    std::string messagePath; // message file of the last classifier menu
    int viewId;              // POPFile's number of that message; -1: none
};

extern BucketListRecord BucketList;

// Longest bucket name taken from a page, in bytes: the refiling after a
// correction reads the name back from the message header with room for 200.
const int BucketNameLimit = 200;

// Most bucket names taken from one page; later ones are ignored. POPFile
// users have a handful of buckets, and each name becomes a menu item with
// a command enrolled with the host at every menu set-up.
const int BucketCountLimit = 100;

// Empties names, key and message path (start-up).
void ResetBucketList(void);

// Frees every name and the array; bucketCount becomes 0.
void ClearBucketNames(void);

// Appends a copy of `name` (the list owns it). The names array grows by 10
// slots whenever bucketCount is a multiple of 10. When memory for the copy
// or a larger array cannot be had the name is dropped and the list keeps
// its earlier entries.
void AddBucketName(const char *name);

// Takes the key of the first "/history?session=" link (ASCII case ignored)
// that is followed by a double quote somewhere later in `text` into uiKey:
// the bytes up to that quote. Returns a pointer into `text` just after that
// "/history?session=", or to the end of `text` (uiKey unchanged) when there
// is no such link or `text` is empty.
const char *ScanUiKey(const char *text);

// True when `text` is POPFile's login page, which a web interface with a
// password shows in place of every other page: it holds a form posted to
// "/password" (action="/password", ASCII letters in any case).
bool IsLoginPage(const char *text);

// Runs ScanUiKey on a bucket page, then appends, in page order, the name
// of every "showbucket=NAME\"" after the key's link (a name linked twice
// is added twice), until the list holds BucketCountLimit names. No name is
// taken from a page without a key link, after the last double quote,
// holding a byte below 0x20, or longer than BucketNameLimit. Nothing is
// decoded.
void ParseBucketPage(const char *text);
