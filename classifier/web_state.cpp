// What the plug-in learns from messages and from POPFile's pages. Every page
// URL is the URL setting with a page name appended ("buckets", or nothing
// for the front page).
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "classifier/bucket_list.h"
#include "classifier/http.h"
#include "classifier/links.h"
#include "classifier/web_state.h"
#include "mailstore/header_reader.h"
#include "mailstore/mailbox.h"
#include "settings/settings.h"

namespace {

// Both headers are read with room for 4095 bytes of value.
const size_t kHeaderLineSize = 4096;

} // namespace

void LearnBaseUrl(const char *link)
{
    size_t length = BaseUrlLengthOfLink(link);
    if (length > 0)
        AdoptUrl(std::string(link, length).c_str());
}

char *CurrentMessagePath(HWND window, int isView)
{
    char *path = WindowMessagePath(window, isView);
    if (path)
        BucketList.messagePath = path;
    return path;
}

char *ReadClassification(const char *path)
{
    char line[kHeaderLineSize];
    const char *value = ReadHeaderLine(path, "X-Text-Classification:", line, sizeof line);
    return value ? _strdup(value) : nullptr;
}

int ReadViewId(const char *path)
{
    char line[kHeaderLineSize];
    const char *link = ReadHeaderLine(path, "X-POPFile-Link:", line, sizeof line);
    if (!link) {
        BucketList.viewId = -1;
        return -1;
    }
    LearnBaseUrl(link);
    BucketList.viewId = ViewIdOfLink(link);
    return BucketList.viewId;
}

const char *FetchUiKey(const char *baseUrl)
{
    return FetchUiKeyTelling(baseUrl, nullptr);
}

const char *FetchUiKeyTelling(const char *baseUrl, bool *answered)
{
    BucketList.uiKey.clear();
    std::string page;
    int read = HttpGet(baseUrl, page);
    bool gotPage = read >= 1 && !page.empty();
    if (gotPage)
        ScanUiKey(page.c_str());
    if (answered)
        *answered = gotPage && read < HttpPageLimit;
    return BucketList.uiKey.c_str();
}

void RefreshBuckets(int force)
{
    // A URL setting edited by hand is used only when it is clean.
    if (!IsCleanBaseUrl(PluginSettings.URL.c_str()))
        return;
    if (BucketList.bucketCount > 0) {
        if (!force)
            return; // fetched once per run
        ClearBucketNames();
    } else if (!force && HttpServerResting(PluginSettings.URL.c_str())) {
        return; // every right click would wait for the connect again
    }
    std::string page;
    std::string url = PluginSettings.URL + "buckets";
    if (HttpGet(url.c_str(), page) >= 1 && !page.empty())
        ParseBucketPage(page.c_str());
}
