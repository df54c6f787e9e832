// Correcting POPFile's verdict for one message: tell POPFile, relabel the
// message file, file the message again.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "classifier/bucket_list.h"
#include "classifier/http.h"
#include "classifier/reclassify.h"
#include "classifier/reclassify_form.h"
#include "classifier/web_state.h"
#include "mailstore/header_reader.h"
#include "mailstore/header_rewrite.h"
#include "mailstore/mailbox.h"
#include "mailstore/message_paths.h"
#include "plugin/host_guard.h"
#include "plugin/host_services.h"
#include "settings/settings.h"

namespace {

// A bucket value of up to 200 bytes; the same buffer later holds the
// account title (200 bytes with its NUL).
const int kValueSize = 201;
const char kInboxFolder[] = "郵便受け";

// Fetches the key from the front page under the URL setting and posts the
// history form for BucketList.viewId and the bucket at `index` (below
// bucketCount) to the URL setting followed by "history". Posts nothing
// while the URL setting is empty or no key is found.
void PostReclassification(int index)
{
    if (PluginSettings.URL.empty())
        return;
    // The key is fetched fresh for every correction: POPFile hands out a
    // new one when it restarts.
    std::string key = FetchUiKey(PluginSettings.URL.c_str());
    if (key.empty())
        return;
    std::string url = PluginSettings.URL + "history";
    std::string body = ReclassificationBody(key.c_str(), BucketList.viewId,
                                            BucketList.bucketNames[index]);
    HttpPost(url.c_str(), body);
}

// Files the message at `path` (a message path of the mailbox) again by its
// "X-Text-Classification:" value: into the folder of that bucket's rule, or
// "郵便受け" when no rule names it, of the message's own account, through
// APAMoveMail. Does nothing when the header is missing or the path lies
// outside the mailbox.
void MoveAfterReclassify(const char *path)
{
    int mailboxLength = MailboxPrefixOfPath(path);
    if (mailboxLength < 0)
        return; // not a message of the mailbox: no entry to move
    char line[kValueSize];
    const char *bucket = ReadHeaderLine(path, "X-Text-Classification:", line, kValueSize);
    if (!bucket)
        return;
    FilingRule *rule = FindFilingRule(bucket);
    const char *folder = rule ? rule->Folder : kInboxFolder;
    // The folder name is kept in the rule or is a constant, so the line
    // buffer can take the title now.
    ReadAccountTitle(path, mailboxLength, line);
    MoveTarget target;
    if (BuildMoveTarget(path, mailboxLength, line, folder, &target) != 0)
        return;
    Host.APAMoveMail(target.Entry, target.Destination);
    free(target.Destination);
}

void Reclassify(DWORD bucketIndex)
{
    if (bucketIndex >= static_cast<DWORD>(BucketList.bucketCount) || !BucketList.bucketNames)
        return; // a stale submenu after a refresh to fewer names
    if (BucketList.messagePath.empty())
        return;
    int index = static_cast<int>(bucketIndex);
    // Own copy: the host may call back into the plug-in during the move.
    std::string path = BucketList.messagePath;
    if (ReadViewId(path.c_str()) > 0)
        PostReclassification(index);
    // Relabelled (the file either unchanged or completely rewritten) and
    // refiled locally even when POPFile was not told.
    RewriteClassificationHeaderFile(path.c_str(), BucketList.bucketNames[index]);
    MoveAfterReclassify(path.c_str());
}

} // namespace

void WINAPI OnReclassify(HWND, DWORD bucketIndex)
{
    // One user action: the requests of a correction share one budget.
    GuardHostCall([&] { RunAsUserAction([&] { Reclassify(bucketIndex); }); });
}
