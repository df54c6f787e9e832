// The bucket list and the scanning of POPFile's pages. Patterns are matched
// with ASCII letters in either case; the closing double quote is a plain
// byte search.
#include <cstdlib>
#include <cstring>

#include "classifier/bucket_list.h"
#include "mailstore/header_reader.h"

BucketListRecord BucketList = {0, nullptr, std::string(), std::string(), 0};

namespace {

const char kSessionPattern[] = "/history?session=";
const char kBucketPattern[] = "showbucket=";
const int kGrowth = 10;

bool HasControlByte(const char *begin, const char *end)
{
    for (const char *p = begin; p < end; ++p) {
        if (static_cast<unsigned char>(*p) < 0x20)
            return true;
    }
    return false;
}

} // namespace

void ResetBucketList(void)
{
    ClearBucketNames();
    BucketList.uiKey.clear();
    BucketList.messagePath.clear();
}

void ClearBucketNames(void)
{
    for (int i = 0; i < BucketList.bucketCount; ++i)
        free(BucketList.bucketNames[i]);
    free(BucketList.bucketNames);
    BucketList.bucketNames = nullptr;
    BucketList.bucketCount = 0;
}

void AddBucketName(const char *name)
{
    char *copy = strdup(name);
    if (!copy)
        return;
    int count = BucketList.bucketCount;
    if (count % kGrowth == 0) {
        char **grown = static_cast<char **>(malloc(sizeof(char *) * (count + kGrowth)));
        if (!grown) {
            free(copy);
            return;
        }
        if (count > 0)
            memcpy(grown, BucketList.bucketNames, sizeof(char *) * count);
        free(BucketList.bucketNames);
        BucketList.bucketNames = grown;
    }
    BucketList.bucketNames[count] = copy;
    BucketList.bucketCount = count + 1;
}

const char *ScanUiKey(const char *text)
{
    if (!*text)
        return text;
    const char *keyStart = FindAfterNoCase(text, kSessionPattern);
    while (*keyStart) {
        const char *quote = strchr(keyStart, '"');
        if (quote) {
            BucketList.uiKey.assign(keyStart, quote);
            return keyStart;
        }
        keyStart = FindAfterNoCase(keyStart, kSessionPattern);
    }
    return keyStart;
}

void ParseBucketPage(const char *text)
{
    const char *position = ScanUiKey(text);
    if (!*position)
        return;
    const char *nameStart = FindAfterNoCase(position, kBucketPattern);
    while (*nameStart) {
        const char *quote = strchr(nameStart, '"');
        // A name with control bytes would inject lines into the message
        // file and fields into the form: not taken.
        if (quote && !HasControlByte(nameStart, quote))
            AddBucketName(std::string(nameStart, quote).c_str());
        nameStart = FindAfterNoCase(nameStart, kBucketPattern);
    }
}
