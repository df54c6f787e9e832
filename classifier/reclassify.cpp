// Correcting POPFile's verdict for one message: tell POPFile, relabel the
// message file, file the message again, and say so when POPFile was not
// told.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "classifier/bucket_list.h"
#include "classifier/http.h"
#include "classifier/links.h"
#include "classifier/menu_choices.h"
#include "classifier/reclassify.h"
#include "classifier/reclassify_form.h"
#include "classifier/web_state.h"
#include "filing/filing_log.h"
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

// What became of telling POPFile; every outcome but the first two gets a
// box.
enum CorrectionOutcome {
    kTold,        // the form was posted for a message in POPFile's history
    kNotAsked,    // the message has no POPFile number
    kNoUrl,       // no clean base URL: neither set nor learnt
    kUnreachable, // no front page or no answer to the jump link
    kNoKey,       // a front page without a key: a password on the interface
    kGone,        // POPFile's jump link leads to its history page
    kPostFailed,  // the form could not be sent
};

const char kBoxCaption[] = "Sortella";
const char kNoUrlText[] =
    "POPFileにこの訂正を伝えられませんでした。\n"
    "POPFileのURLが設定されていないか、正しくありません。\n"
    "設定画面でPOPFileのURL（例: http://127.0.0.1:8080/）を入力してから、もう一度訂正してください。";
const char kUnreachableText[] =
    "POPFileにこの訂正を伝えられませんでした。\n"
    "POPFileにつながらないか、POPFileが時間内に応答しませんでした。\n"
    "POPFileが動いていることを確かめてから、もう一度訂正してください。";
const char kNoKeyText[] =
    "POPFileにこの訂正を伝えられませんでした。\n"
    "POPFileの画面にパスワードが設定されていると、訂正を送ることができません。\n"
    "パスワードを外すか、POPFileの画面でこのメールを訂正してください。";
const char kGoneText[] =
    "POPFileにこの訂正を伝えられませんでした。\n"
    "このメールはPOPFileの履歴から消えています（POPFileは履歴を通常2日間保存します）。\n"
    "古いメールも訂正したいときは、POPFileの設定で履歴の保存日数を増やしてください。";
const char kPostFailedText[] =
    "POPFileにこの訂正を伝えられませんでした。\n"
    "訂正の送信に失敗しました。\n"
    "しばらくしてから、もう一度訂正してください。";

// The box text of an outcome, or nullptr when it needs none.
const char *UntoldText(CorrectionOutcome outcome)
{
    switch (outcome) {
    case kNoUrl:
        return kNoUrlText;
    case kUnreachable:
        return kUnreachableText;
    case kNoKey:
        return kNoKeyText;
    case kGone:
        return kGoneText;
    case kPostFailed:
        return kPostFailedText;
    default:
        return nullptr;
    }
}

// The outcome in a few words, for the POPFile column of the filing log.
// Every outcome has its words here: the switch names each one, so a new
// outcome without them is a compiler warning.
const char *LogWordsOf(CorrectionOutcome outcome)
{
    switch (outcome) {
    case kTold:
        return "済";
    case kNotAsked:
        return "view=の番号なし";
    case kNoUrl:
        return "URLが未設定か不正";
    case kUnreachable:
        return "POPFileが応答せず";
    case kNoKey:
        return "POPFileにパスワード";
    case kGone:
        return "履歴から消えている";
    case kPostFailed:
        return "送信に失敗";
    }
    return "";
}

// Tells POPFile that the message numbered `viewId` (> 0) belongs to
// `bucket`: fetches the key from the front page under the URL setting,
// asks the message's jump link without following it (POPFile sends it to
// its history page once the message is gone), and posts the history form
// to the URL setting followed by "history". The key comes first so that a
// stopped POPFile or a password is told before anything else is asked; the
// jump link comes right before the form, which POPFile answers alike
// whether it took the correction or not.
CorrectionOutcome TellPopfile(int viewId, const char *bucket)
{
    const std::string base = PluginSettings.URL;
    if (!IsCleanBaseUrl(base.c_str()))
        return kNoUrl;
    bool answered = false;
    // Fetched fresh for every correction: POPFile hands out a new key when
    // it restarts.
    std::string key = FetchUiKeyTelling(base.c_str(), &answered);
    if (!answered)
        return kUnreachable;
    if (key.empty())
        return kNoKey;
    char view[16];
    snprintf(view, sizeof view, "%d", viewId);
    std::string location;
    int status = HttpGetStatus((base + "jump_to_message?view=" + view).c_str(), location);
    if (status <= 0)
        return kUnreachable;
    if (JumpLeadsToHistory(status, location.c_str()))
        return kGone;
    std::string body = ReclassificationBody(key.c_str(), viewId, bucket);
    if (HttpPost((base + "history").c_str(), body) != 0)
        return kPostFailed;
    return kTold;
}

// Where the refiling of a corrected message sent it, for the filing log.
struct Refiling {
    std::string Account;     // the account's title
    std::string Entry;       // as given to the host's move
    std::string Destination; // "title\folder"; empty when no move was asked
    bool Moved;              // the host moved the message
};

// Files the message at `path` (a message path of the mailbox) again by its
// "X-Text-Classification:" value: into the folder of that bucket's rule, or
// "郵便受け" when no rule names it, of the message's own account, through
// APAMoveMail, and tells `refiling` what it asked. Asks nothing when the
// header is missing or the path lies outside the mailbox.
void MoveAfterReclassify(const char *path, Refiling *refiling)
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
    refiling->Moved = Host.APAMoveMail(target.Entry, target.Destination) != 0;
    GuardHostCall([&] {
        refiling->Account = line;
        refiling->Entry = target.Entry;
        refiling->Destination = target.Destination;
    });
    free(target.Destination);
}

// What the filing log tells of a message as it was before its correction.
struct MessageBefore {
    std::string Bucket;  // its "X-Text-Classification:" value
    std::string From;    // its unfolded "From:" value
    std::string Subject; // its unfolded "Subject:" value
};

// Reads the three values of the message at `path` with one open; a value
// that is missing stays empty.
MessageBefore ReadMessageBefore(const char *path)
{
    MessageBefore before;
    MessageFile message;
    if (MessageFileOpen(&message, path) != 0)
        return before;
    char line[kValueSize];
    const char *bucket = HeaderLineOf(&message, "X-Text-Classification:", line, kValueSize);
    char *from = UnfoldedHeaderOf(&message, "From:");
    char *subject = UnfoldedHeaderOf(&message, "Subject:");
    MessageFileClose(&message);
    GuardHostCall([&] {
        before.Bucket = bucket ? bucket : "";
        before.From = from ? from : "";
        before.Subject = subject ? subject : "";
    });
    free(from);
    free(subject);
    return before;
}

// Appends the correction's line to the filing log.
void LogCorrection(const MessageBefore &before, const char *bucket, const Refiling &refiling,
                   CorrectionOutcome outcome)
{
    LogEvent event = {LocalLogTime(),
                      LogCorrected,
                      refiling.Account.c_str(),
                      refiling.Entry.c_str(),
                      refiling.Destination.empty() ? nullptr : refiling.Destination.c_str(),
                      !refiling.Moved,
                      bucket,
                      before.Bucket.c_str(),
                      LogWordsOf(outcome),
                      before.From.c_str(),
                      before.Subject.c_str()};
    WriteFilingLog(std::vector<std::string>{FormatLogLine(event)});
}

// True when `name` is in the bucket list as it stands now: a name that a
// refresh has dropped is not posted (POPFile would empty the message's
// bucket) nor written into the message.
bool IsListedBucket(const char *name)
{
    for (int i = 0; i < BucketList.bucketCount; ++i) {
        if (strcmp(BucketList.bucketNames[i], name) == 0)
            return true;
    }
    return false;
}

// The path of the message `window` shows now, asked as its menu's kind of
// window; empty when the window had no classifier menu or shows nothing.
std::string MessageOfCommandWindow(HWND window)
{
    int isView = MenuWindowKind(window);
    if (isView < 0)
        return std::string();
    char *path = WindowMessagePath(window, isView);
    if (!path)
        return std::string();
    std::string copy = path;
    free(path);
    return copy;
}

void Reclassify(HWND window, DWORD shownBucket)
{
    const char *shown = ShownBucketName(shownBucket);
    if (!shown || !IsListedBucket(shown))
        return; // a stale submenu after a refresh without that name
    // Own copies: the host may call back into the plug-in (and set up a
    // menu) during the move or the box.
    std::string bucket = shown;
    std::string path = MessageOfCommandWindow(window);
    if (path.empty())
        return;
    // Read before the rewrite, which changes the bucket.
    bool logged = PluginSettings.Log;
    MessageBefore before = logged ? ReadMessageBefore(path.c_str()) : MessageBefore();
    CorrectionOutcome outcome = kNotAsked;
    int viewId = ReadViewId(path.c_str());
    if (viewId > 0)
        outcome = TellPopfile(viewId, bucket.c_str());
    // Relabelled (the file either unchanged or completely rewritten) and
    // refiled locally even when POPFile was not told.
    RewriteClassificationHeaderFile(path.c_str(), bucket.c_str());
    Refiling refiling = {};
    MoveAfterReclassify(path.c_str(), &refiling);
    // Before the box, which waits for the user: the line is in the log
    // when the box shows.
    if (logged)
        GuardHostCall([&] { LogCorrection(before, bucket.c_str(), refiling, outcome); });
    // A correction that POPFile did not take must not look like one it
    // took: the user would believe POPFile had learnt.
    if (const char *text = UntoldText(outcome))
        MessageBoxA(window, text, kBoxCaption, MB_OK | MB_ICONEXCLAMATION);
}

} // namespace

void WINAPI OnReclassify(HWND window, DWORD shownBucket)
{
    // One user action: the requests of a correction share one budget.
    GuardHostCall([&] { RunAsUserAction([&] { Reclassify(window, shownBucket); }); });
}
