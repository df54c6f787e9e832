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
// "POP3Server" of an account, as the start-up wait reads it.
const int kServerSize = 512;

} // namespace

void LearnBaseUrl(const char *link, const char *path)
{
    if (!PluginSettings.URL.empty())
        return; // a URL set or learnt before always wins
    char server[kServerSize];
    ReadAccountServer(path, server, sizeof server);
    size_t length = BaseUrlLengthOfLink(link, server);
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
    LearnBaseUrl(link, path);
    BucketList.viewId = ViewIdOfLink(link);
    return BucketList.viewId;
}

const char *FetchUiKey(const char *baseUrl)
{
    BucketList.uiKey.clear();
    std::string page;
    if (HttpGet(baseUrl, page) >= 1 && !page.empty())
        ScanUiKey(page.c_str());
    return BucketList.uiKey.c_str();
}

BucketPageAnswer FetchBucketsForCorrection(const char *baseUrl)
{
    BucketList.uiKey.clear();
    std::string page;
    int read = HttpGet((std::string(baseUrl) + "buckets").c_str(), page);
    if (read < 1 || page.empty() || read >= HttpPageLimit)
        return BucketPageUnanswered;
    ScanUiKey(page.c_str());
    if (BucketList.uiKey.empty())
        return IsLoginPage(page.c_str()) ? BucketPageLogin : BucketPageForeign;
    ClearBucketNames();
    ParseBucketPage(page.c_str());
    return BucketPageRead;
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
