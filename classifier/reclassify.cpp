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
    kTold,        // a 2xx answer to the form, for a message in POPFile's history
    kNotAsked,    // the message has no POPFile number
    kNoUrl,       // no clean base URL: neither set nor learnt
    kUnreachable, // no bucket page or no answer to the jump link in time
    kNoKey,       // POPFile's login page: a password on the interface
    kNotPopfile,  // a bucket page or a jump answer that is not POPFile's
    kBucketGone,  // POPFile no longer lists the chosen bucket
    kGone,        // POPFile's jump link leads to its history page
    kPostFailed,  // the form was not sent, or refused
    kUnanswered,  // the form was sent, its answer did not come in time
};

// The form is not started with less of the action's budget left than this
// (ms): POPFile records a correction before it answers, so a POST given up
// for want of time leaves the user not knowing whether POPFile took it.
const uint32_t kPostReserveMs = 2000;

const char kBoxCaption[] = "Sortella";
// The untold boxes begin so; each names its cause and what to do.
#define UNTOLD_LINE "POPFileにこの訂正を伝えられませんでした。\n"
// How to try again: the same bucket is now the checked one, whose choice
// asks first.
#define RETRY_LINE "同じバケツをもう一度選び、確認に「はい」と答えてください。"
const char kNoUrlText[] =
    UNTOLD_LINE "POPFileのURLが設定されていないか、正しくありません。\n"
    "Sortellaの設定ダイアログでPOPFileのURL（例: http://127.0.0.1:8080/）を入力してから、" RETRY_LINE;
const char kUnreachableText[] =
    UNTOLD_LINE "POPFileにつながらないか、POPFileが時間内に応答しませんでした。\n"
    "POPFileが動いていることを確かめてから、" RETRY_LINE;
const char kNoKeyText[] =
    UNTOLD_LINE "POPFile コントロールセンターにパスワードが設定されていると、訂正を送ることができません。\n"
    "パスワードを外してから" RETRY_LINE "または、POPFile コントロールセンターの「履歴」のページでこのメールを訂正してください。";
const char kNotPopfileText[] =
    UNTOLD_LINE "POPFileのURLで答えたのは、POPFile コントロールセンターではありませんでした。\n"
    "Sortellaの設定ダイアログでPOPFileのURLを確かめてから、" RETRY_LINE;
// %s: the bucket's name.
const char kBucketGoneFormat[] =
    UNTOLD_LINE "POPFileには「%s」というバケツがもうありません（名前を変えたか、削除したバケツです）。\n"
    "メニューをもう一度開き、今のバケツの一覧から選んでください。";
const char kGoneText[] =
    UNTOLD_LINE "このメールはPOPFileの履歴から消えています（POPFileは、既定では2日より古い履歴を消します）。\n"
    "古いメールも訂正したいときは、POPFile コントロールセンターの「設定」のページで「履歴を残す日数」を増やしてください。";
const char kPostFailedText[] =
    UNTOLD_LINE "訂正の送信に失敗しました。\n"
    "しばらくしてから、" RETRY_LINE;
const char kUnansweredText[] =
    "POPFileがこの訂正を受け付けたかどうか、わかりませんでした。\n"
    "訂正を送りましたが、POPFileが時間内に応答しませんでした。POPFileは訂正を受け付けているかもしれません。\n"
    "もう一度訂正する前に、POPFile コントロールセンターの「履歴」のページで、このメールの行に「再分類されました」と出ていないか確かめてください。";
// Asked before the bucket the message already names is told once more.
// %s: the bucket's name, twice.
const char kTellAgainFormat[] =
    "このメールのバケツは、すでに「%s」です。\n"
    "POPFileにもう一度「%s」と伝えますか？\n"
    "伝えると、POPFileはこのメールをもう一度学習します。";
const char kUnknownWindowText[] =
    "このウィンドウのメールがわからなくなったため、訂正できませんでした。\n"
    "メニューをもう一度開いてから、バケツを選んでください。";

// `format` with its every %s replaced by `name`.
std::string WithName(const char *format, const std::string &name)
{
    std::string text = format;
    for (size_t at = text.find("%s"); at != std::string::npos; at = text.find("%s", at + name.size()))
        text.replace(at, 2, name);
    return text;
}

// The box text of an outcome for `bucket`, or "" when it needs none.
std::string UntoldText(CorrectionOutcome outcome, const std::string &bucket)
{
    switch (outcome) {
    case kNoUrl:
        return kNoUrlText;
    case kUnreachable:
        return kUnreachableText;
    case kNoKey:
        return kNoKeyText;
    case kNotPopfile:
        return kNotPopfileText;
    case kBucketGone:
        return WithName(kBucketGoneFormat, bucket);
    case kGone:
        return kGoneText;
    case kPostFailed:
        return kPostFailedText;
    case kUnanswered:
        return kUnansweredText;
    default:
        return std::string();
    }
}

// True when `name` is in the bucket list as it stands now: a name that
// POPFile no longer lists is not posted (POPFile would empty the message's
// bucket and shift its counts).
bool IsListedBucket(const char *name)
{
    for (int i = 0; i < BucketList.bucketCount; ++i) {
        if (strcmp(BucketList.bucketNames[i], name) == 0)
            return true;
    }
    return false;
}

// The outcome of POPFile's bucket page fetched for a correction; kTold
// when it was read and the correction goes on.
CorrectionOutcome OutcomeOfBucketPage(BucketPageAnswer answer)
{
    switch (answer) {
    case BucketPageUnanswered:
        return kUnreachable;
    case BucketPageLogin:
        return kNoKey;
    case BucketPageForeign:
        return kNotPopfile;
    default:
        return kTold;
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
    case kNotPopfile:
        return "POPFileでないものが応答";
    case kBucketGone:
        return "POPFileにないバケツ";
    case kGone:
        return "履歴から消えている";
    case kPostFailed:
        return "送信に失敗";
    case kUnanswered:
        return "送信後に応答なし（届いたかもしれない）";
    }
    return "";
}

// Tells POPFile that the message numbered `viewId` (> 0) belongs to
// `bucket`: fetches the bucket page under the URL setting (its key, and the
// bucket list as POPFile has it now, which replaces the one held), asks
// the message's jump link without following it (POPFile sends it to the
// message's page while it is in the history, to its history page once it
// is gone), and posts the history form to the URL setting followed by
// "history". Each step is taken only when the one before says this is
// POPFile and it has the bucket and the message: the form is answered
// alike whether POPFile took it or not, and a bucket it does not list
// damages its history.
CorrectionOutcome TellPopfile(int viewId, const char *bucket)
{
    const std::string base = PluginSettings.URL;
    if (!IsCleanBaseUrl(base.c_str()))
        return kNoUrl;
    // Fetched fresh for every correction: POPFile hands out a new key when
    // it restarts, and its buckets may have been renamed meanwhile.
    CorrectionOutcome page = OutcomeOfBucketPage(FetchBucketsForCorrection(base.c_str()));
    if (page != kTold)
        return page;
    if (!IsListedBucket(bucket))
        return kBucketGone;
    std::string key = BucketList.uiKey;
    char view[16];
    snprintf(view, sizeof view, "%d", viewId);
    std::string location;
    int status = HttpGetStatus((base + "jump_to_message?view=" + view).c_str(), location);
    if (status <= 0)
        return kUnreachable;
    JumpAnswer jump = ReadJumpAnswer(status, location.c_str());
    if (jump != JumpInHistory)
        return jump == JumpGone ? kGone : kNotPopfile;
    if (HttpBudgetLeftMs() < kPostReserveMs)
        return kUnreachable;
    std::string body = ReclassificationBody(key.c_str(), viewId, bucket);
    int posted = HttpPost((base + "history").c_str(), body);
    if (posted == HttpPostUnanswered)
        return kUnanswered;
    return posted == HttpPostTold ? kTold : kPostFailed;
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

// The path of the message `window` shows now, asked as the kind of window
// (`isView`) its menu was set up for; empty when it shows nothing.
std::string MessageOfWindow(HWND window, int isView)
{
    char *path = WindowMessagePath(window, isView);
    if (!path)
        return std::string();
    std::string copy = path;
    free(path);
    return copy;
}

// True when the message at `path` already names `bucket` and the user,
// asked whether POPFile should be told once more (which makes it learn the
// message a second time), does not answer Yes.
bool DeclinesTellingAgain(HWND window, const std::string &path, const std::string &bucket)
{
    char *current = ReadClassification(path.c_str());
    bool same = current && bucket == current;
    free(current);
    if (!same)
        return false;
    std::string question = WithName(kTellAgainFormat, bucket);
    return MessageBoxA(window, question.c_str(), kBoxCaption, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES;
}

void Reclassify(HWND window, DWORD shownBucket)
{
    const char *shown = ShownBucketName(shownBucket);
    if (!shown)
        return; // the value names nothing any more: nothing is known
    // Own copies: the host may call back into the plug-in (and set up a
    // menu) during the boxes and the move.
    std::string bucket = shown;
    int isView = MenuWindowKind(window);
    if (isView < 0) {
        // The window's kind gave way in the table: which message it means
        // cannot be asked of the host.
        MessageBoxA(window, kUnknownWindowText, kBoxCaption, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    std::string path = MessageOfWindow(window, isView);
    if (path.empty())
        return;
    // Read before the rewrite, which changes the bucket.
    bool logged = PluginSettings.Log;
    MessageBefore before = logged ? ReadMessageBefore(path.c_str()) : MessageBefore();
    int viewId = ReadViewId(path.c_str());
    if (viewId > 0 && DeclinesTellingAgain(window, path, bucket))
        return;
    CorrectionOutcome outcome = kNotAsked;
    if (viewId > 0) {
        // One user action, after the question: its exchanges share one
        // budget, which the user's reading of the question does not spend.
        outcome = RunAsUserAction([&] { return TellPopfile(viewId, bucket.c_str()); });
    } else if (!IsListedBucket(bucket.c_str())) {
        outcome = kBucketGone; // chosen from a menu older than the list
    }
    // Relabelled (the file either unchanged or completely rewritten) and
    // refiled locally even when POPFile was not told: the user chose it.
    RewriteClassificationHeaderFile(path.c_str(), bucket.c_str());
    Refiling refiling = {};
    MoveAfterReclassify(path.c_str(), &refiling);
    // Before the box, which waits for the user: the line is in the log
    // when the box shows.
    if (logged)
        GuardHostCall([&] { LogCorrection(before, bucket.c_str(), refiling, outcome); });
    // A correction that POPFile did not take must not look like one it
    // took: the user would believe POPFile had learnt.
    std::string text = UntoldText(outcome, bucket);
    if (!text.empty())
        MessageBoxA(window, text.c_str(), kBoxCaption, MB_OK | MB_ICONEXCLAMATION);
}

} // namespace

void WINAPI OnReclassify(HWND window, DWORD shownBucket)
{
    GuardHostCall([&] { Reclassify(window, shownBucket); });
}
