// Fuzz target of the scanners of POPFile's pages (ScanUiKey,
// ParseBucketPage), which read text that a web page controls. Input: the
// page text (up to its first NUL). The key and every bucket name taken must
// be bytes of the page, and a name must hold no byte below 0x20 and be no
// longer than BucketNameLimit.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "classifier/bucket_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string page((const char *)data, strnlen((const char *)data, size));
    // A block of exactly the page's size, so that ASan sees a read beyond it.
    char *text = (char *)malloc(page.size() + 1);
    memcpy(text, page.c_str(), page.size() + 1);

    ResetBucketList();
    const char *after = ScanUiKey(text);
    if (after < text || after > text + page.size())
        abort();
    if (!BucketList.uiKey.empty() && page.find(BucketList.uiKey) == std::string::npos)
        abort();

    ResetBucketList();
    ParseBucketPage(text);
    for (int i = 0; i < BucketList.bucketCount; i++) {
        const char *name = BucketList.bucketNames[i];
        size_t length = strlen(name);
        if (length > (size_t)BucketNameLimit || page.find(name) == std::string::npos)
            abort();
        for (size_t j = 0; j < length; j++)
            if ((unsigned char)name[j] < 0x20)
                abort();
    }
    ResetBucketList();
    free(text);
    return 0;
}
