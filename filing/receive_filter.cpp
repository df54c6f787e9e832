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
const int kTitleSize = 200; // what ReadAccountTitle writes at most, NUL included
const char kAccountIni[] = "\\account.ini";

// The title of the account last looked up, with the write time and size of
// its "account.ini" when it was read. A retrieval filters many messages of
// one account; reading the title once instead of once per message keeps
// the filter near the cost of reading the message itself, and a changed
// file is read again.
struct AccountTitleRecord {
    char IniPath[MAX_PATH]; // "" when nothing is kept
    FILETIME WriteTime;
    DWORD Size;
    char Title[kTitleSize];
};
AccountTitleRecord LastAccountTitle;

// Writes the path of the message's "account.ini" (the mailbox directory and
// the first name below it) into `iniPath` (MAX_PATH bytes); false when it
// does not fit.
bool AccountIniPath(const char *path, int mailboxLength, char *iniPath)
{
    const char *accountEnd = path + mailboxLength;
    while (*accountEnd && *accountEnd != '\\')
        ++accountEnd;
    size_t length = static_cast<size_t>(accountEnd - path);
    if (length + sizeof kAccountIni > MAX_PATH)
        return false;
    memcpy(iniPath, path, length);
    memcpy(iniPath + length, kAccountIni, sizeof kAccountIni);
    return true;
}

// ReadAccountTitle, answered from LastAccountTitle while the account's
// "account.ini" is the same file, unchanged. `title` holds kTitleSize bytes.
void ReadAccountTitleOnce(const char *path, int mailboxLength, char *title)
{
    char iniPath[MAX_PATH];
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!AccountIniPath(path, mailboxLength, iniPath) ||
        !GetFileAttributesExA(iniPath, GetFileExInfoStandard, &data)) {
        LastAccountTitle.IniPath[0] = '\0';
        ReadAccountTitle(path, title);
        return;
    }
    AccountTitleRecord &last = LastAccountTitle;
    if (strcmp(last.IniPath, iniPath) == 0 && CompareFileTime(&last.WriteTime, &data.ftLastWriteTime) == 0 &&
        last.Size == data.nFileSizeLow) {
        strcpy(title, last.Title);
        return;
    }
    ReadAccountTitle(path, title);
    memcpy(last.IniPath, iniPath, sizeof iniPath);
    last.WriteTime = data.ftLastWriteTime;
    last.Size = data.nFileSizeLow;
    strcpy(last.Title, title);
}

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

    ReadAccountTitleOnce(path, mailboxLength, line);
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
