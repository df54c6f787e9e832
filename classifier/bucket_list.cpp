// The bucket list and the scanning of POPFile's pages. Patterns are matched
// with ASCII letters in either case; the closing double quote is a plain
// byte search.
#include <cstdlib>
#include <cstring>

#include "classifier/bucket_list.h"
#include "mailstore/text.h"

BucketListRecord BucketList = {0, nullptr, std::string(), std::string(), 0};

namespace {

const char kSessionPattern[] = "/history?session=";
const char kBucketPattern[] = "showbucket=";
const int kGrowth = 10;

// First byte below 0x20 at or after `text`, or its terminating NUL.
const char *NextControlByte(const char *text)
{
    while (static_cast<unsigned char>(*text) >= 0x20)
        ++text;
    return text;
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
        // realloc moves the pointers and frees the old array when it cannot
        // grow it in place; on failure the old array stays as it was.
        void *grown = realloc(BucketList.bucketNames, sizeof(char *) * (count + kGrowth));
        if (!grown) {
            free(copy);
            return;
        }
        BucketList.bucketNames = static_cast<char **>(grown);
    }
    BucketList.bucketNames[count] = copy;
    BucketList.bucketCount = count + 1;
}

const char *ScanUiKey(const char *text)
{
    if (!*text)
        return text;
    const char *keyStart = FindAfterNoCase(text, kSessionPattern);
    if (!*keyStart)
        return keyStart;
    const char *quote = strchr(keyStart, '"');
    if (!quote) {
        // No quote after this link means none after any later one either:
        // the scan ends at the end of the text.
        return keyStart + strlen(keyStart);
    }
    BucketList.uiKey.assign(keyStart, quote);
    return keyStart;
}

bool IsLoginPage(const char *text)
{
    // The search ends at the text's end both when the pattern ends the text
    // and when it is missing: what stands before that end tells them apart.
    static const char kLoginForm[] = "action=\"/password\"";
    const size_t length = sizeof kLoginForm - 1;
    const char *after = FindAfterNoCase(text, kLoginForm);
    return static_cast<size_t>(after - text) >= length && PrefixDiffersNoCase(after - length, kLoginForm) == 0;
}

void ParseBucketPage(const char *text)
{
    const char *position = ScanUiKey(text);
    if (!*position)
        return;
    // The next quote and the next control byte are kept between matches,
    // so that a page of 10 MB is scanned in one pass however its patterns
    // and quotes are spread.
    const char *quote = nullptr;
    const char *control = nullptr;
    const char *nameStart = FindAfterNoCase(position, kBucketPattern);
    while (*nameStart && BucketList.bucketCount < BucketCountLimit) {
        if (!quote || quote < nameStart) {
            quote = strchr(nameStart, '"');
            if (!quote)
                return; // no later match has a closing quote either
        }
        if (!control || control < nameStart)
            control = NextControlByte(nameStart);
        // A name with control bytes would inject lines into the message
        // file and fields into the form; a longer name could not be read
        // back whole from the rewritten header. Neither is taken.
        if (control > quote && quote - nameStart <= BucketNameLimit)
            AddBucketName(std::string(nameStart, quote).c_str());
        nameStart = FindAfterNoCase(nameStart, kBucketPattern);
    }
}
