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

// Empties names, key and message path (start-up).
void ResetBucketList(void);

// Frees every name and the array; bucketCount becomes 0.
void ClearBucketNames(void);

// Appends a copy of `name`; when memory for it cannot be had the name is
// dropped and the list keeps its earlier entries.
void AddBucketName(const char *name);

// Takes the key of the first "/history?session=" link that is followed by a
// double quote into uiKey. Returns the position just after that
// "/history?session=", or the end of `text` (uiKey unchanged) when none.
const char *ScanUiKey(const char *text);

// Refreshes uiKey and appends every "showbucket=NAME\"" after the first
// session link. Names holding a byte below 0x20 are not taken.
void ParseBucketPage(const char *text);
