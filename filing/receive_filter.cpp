// The receive filter: runs inside the host's retrieval, so it only reads
// the message and queues it; the filing command moves it afterwards.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "filing/receive_filter.h"
#include "mailstore/header_reader.h"
#include "mailstore/mailbox.h"
#include "mailstore/message_paths.h"
#include "settings/settings.h"

namespace {

// Head of the queue, in arrival order; nullptr when nothing is queued.
PendingMove *PendingList;

// Holds a value of up to 200 bytes and, later, an account title.
const int kLineSize = 201;

PendingMove *PendingTail; // last record of PendingList: appending is O(1)

} // namespace

// Frees the blocks a record owns.
static void ReleaseTexts(const PendingMove &move)
{
    free(move.Destination); // Entry lives in the same block
    free(move.From);
    free(move.Subject);
    free(move.Bucket);
}

void QueuePendingMove(const PendingMove &fields)
{
    PendingMove *move = static_cast<PendingMove *>(malloc(sizeof(PendingMove)));
    if (!move) {
        ReleaseTexts(fields);
        return;
    }
    *move = fields;
    move->Next = nullptr;
    if (PendingList)
        PendingTail->Next = move;
    else
        PendingList = move;
    PendingTail = move;
}

bool HasPendingMoves(void)
{
    return PendingList != nullptr;
}

PendingMove *DetachPendingList(void)
{
    PendingMove *head = PendingList;
    PendingList = nullptr;
    PendingTail = nullptr;
    return head;
}

void ReleasePendingMove(PendingMove *move)
{
    ReleaseTexts(*move);
    free(move);
}

// Reads the verdict and, when the summary lists them or the filing log is
// on, the sender and the subject, with one open and one read of the header
// block; queues the move.
static void FilterOpenMessage(MessageFile *message, const char *path, int mailboxLength)
{
    char line[kLineSize];
    const char *bucket = HeaderLineOf(message, "X-Text-Classification:", line, kLineSize);
    if (!bucket)
        return;
    FilingRule *rule = FindFilingRule(bucket);
    if (!rule)
        return;
    const PluginSettingsRecord &settings = PluginSettings;
    PendingMove fields = {};
    fields.ListFrom = settings.DispDialog && settings.DispFrom;
    fields.ListSubject = settings.DispDialog && settings.DispSubject;
    fields.From = fields.ListFrom || settings.Log ? UnfoldedHeaderOf(message, "From:") : nullptr;
    fields.Subject = fields.ListSubject || settings.Log ? UnfoldedHeaderOf(message, "Subject:") : nullptr;
    // The rule's own name: the line buffer takes the title next. The
    // filing command compares it with the message's verdict at its move.
    fields.Bucket = _strdup(rule->Bucket);
    fields.RuleIndex = rule->Index;

    ReadAccountTitle(path, mailboxLength, line);
    fields.TitleLength = static_cast<int>(strlen(line));
    MoveTarget target;
    if (BuildMoveTarget(path, mailboxLength, line, rule->Folder, &target) != 0) {
        ReleaseTexts(fields);
        return;
    }
    fields.Destination = target.Destination;
    fields.Entry = target.Entry;
    QueuePendingMove(fields);
}

void FilterReceivedMessage(const char *path)
{
    int mailboxLength = MailboxPrefixOfPath(path);
    if (mailboxLength < 0)
        return; // not a message of the mailbox
    MessageFile message;
    if (MessageFileOpen(&message, path) != 0)
        return;
    FilterOpenMessage(&message, path, mailboxLength);
    MessageFileClose(&message);
}
