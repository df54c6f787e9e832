// The receive filter: runs inside the host's retrieval, so it only reads
// the message and queues it; the filing command moves it afterwards.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "filing/receive_filter.h"
#include "mailstore/header_reader.h"
#include "mailstore/mailbox.h"
#include "settings/settings.h"

PendingMove *PendingList;

namespace {

// Last record of PendingList, so that appending takes constant time.
PendingMove *PendingTail;

// Holds a value of up to 200 bytes and, later, an account title.
const int kLineSize = 201;

char *ReadSummaryHeader(const char *path, const char *name, bool wanted)
{
    if (!wanted || !PluginSettings.DispDialog)
        return nullptr;
    return ReadUnfoldedHeader(path, name);
}

} // namespace

void QueuePendingMove(char *entry, char *destination, int ruleIndex, char *from, char *subject)
{
    PendingMove *move = static_cast<PendingMove *>(malloc(sizeof(PendingMove)));
    if (!move) {
        free(destination);
        free(from);
        free(subject);
        return;
    }
    *move = PendingMove{entry, destination, from, subject, ruleIndex, nullptr};
    if (PendingList)
        PendingTail->Next = move;
    else
        PendingList = move;
    PendingTail = move;
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
    free(move->Destination); // Entry lives in the same block
    free(move->From);
    free(move->Subject);
    free(move);
}

void FilterReceivedMessage(const char *path)
{
    int mailboxLength = MailboxPrefixLength(path);
    if (mailboxLength < 0)
        return; // not a message of the mailbox
    char line[kLineSize];
    const char *bucket = ReadHeaderLine(path, "X-Text-Classification:", line, kLineSize);
    if (!bucket)
        return;
    FilingRule *rule = FindFilingRule(bucket);
    if (!rule)
        return;
    char *from = ReadSummaryHeader(path, "From:", PluginSettings.DispFrom);
    char *subject = ReadSummaryHeader(path, "Subject:", PluginSettings.DispSubject);

    ReadAccountTitle(path, line);
    size_t size = strlen(rule->Folder) + strlen(path) + strlen(line) + 8;
    char *destination = static_cast<char *>(malloc(size));
    if (!destination) {
        free(from);
        free(subject);
        return;
    }
    MakeDestination(line, rule->Folder, destination);
    char *entry = destination + strlen(destination) + 1;
    EntryOfMessagePath(path, mailboxLength, entry);
    QueuePendingMove(entry, destination, rule->Index, from, subject);
}
