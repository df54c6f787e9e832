// The host's mailbox: host calls and lookups in the host's INI files.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mailstore/mailbox.h"
#include "mailstore/message_paths.h"
#include "plugin/host_services.h"

namespace {

const int kTitleSize = 200; // "Title" of up to 199 bytes and its NUL

// The title of the account last looked up, with the write time and size of
// its "account.ini" when it was read.
struct AccountTitleRecord {
    char IniPath[MAX_PATH]; // "" when nothing is kept
    FILETIME WriteTime;
    DWORD Size;
    char Title[kTitleSize];
};
AccountTitleRecord LastAccountTitle;

void ReadTitleOfIni(const char *iniPath, char *title)
{
    GetPrivateProfileStringA("Property", "Title", "", title, kTitleSize, iniPath);
}

// Reads the title and keeps it with the file's state; keeps nothing when
// the file's state cannot be had or its path is too long to keep.
void ReadAndKeepTitle(const char *iniPath, char *title)
{
    AccountTitleRecord &last = LastAccountTitle;
    last.IniPath[0] = '\0';
    ReadTitleOfIni(iniPath, title);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (strlen(iniPath) >= sizeof last.IniPath || !GetFileAttributesExA(iniPath, GetFileExInfoStandard, &data))
        return;
    strcpy(last.IniPath, iniPath);
    last.WriteTime = data.ftLastWriteTime;
    last.Size = data.nFileSizeLow;
    strcpy(last.Title, title);
}

bool KeptTitleIsCurrent(const char *iniPath)
{
    const AccountTitleRecord &last = LastAccountTitle;
    WIN32_FILE_ATTRIBUTE_DATA data;
    return last.IniPath[0] != '\0' && strcmp(last.IniPath, iniPath) == 0 &&
           GetFileAttributesExA(iniPath, GetFileExInfoStandard, &data) &&
           CompareFileTime(&last.WriteTime, &data.ftLastWriteTime) == 0 && last.Size == data.nFileSizeLow;
}

} // namespace

int MailboxPrefixOfPath(const char *path)
{
    return MailboxPrefixLength(path, Host.APAGetMailbox());
}

void ReadAccountTitle(const char *path, int mailboxLength, char *title)
{
    title[0] = '\0';
    char *iniPath = AccountIniPathOf(path, mailboxLength);
    if (!iniPath)
        return;
    if (KeptTitleIsCurrent(iniPath))
        strcpy(title, LastAccountTitle.Title);
    else
        ReadAndKeepTitle(iniPath, title);
    free(iniPath);
}

void ReadAccountServer(const char *path, char *server, int size)
{
    server[0] = '\0';
    int mailboxLength = MailboxPrefixOfPath(path);
    char *iniPath = mailboxLength < 0 ? nullptr : AccountIniPathOf(path, mailboxLength);
    if (!iniPath)
        return;
    GetPrivateProfileStringA("Property", "POP3Server", "", server, size, iniPath);
    free(iniPath);
}

void ReadExternalEditor(int size, char *output)
{
    const char *mailbox = Host.APAGetMailbox();
    size_t pathSize = strlen(mailbox) + 30;
    char *iniPath = static_cast<char *>(malloc(pathSize));
    if (!iniPath)
        return;
    snprintf(iniPath, pathSize, "%s%s", mailbox, "mailbox.ini");
    GetPrivateProfileStringA("Property", "ExternalEditor", "notepad", output, size, iniPath);
    free(iniPath);
}

char *WindowMessagePath(HWND window, int isView)
{
    if (isView) {
        const char *path = Host.APAViewGetPath(window);
        return path ? _strdup(path) : nullptr;
    }
    // The mailbox directory first, copied before the entry is asked for: a
    // host may answer both in one buffer.
    char *mailbox = _strdup(Host.APAGetMailbox());
    if (!mailbox)
        return nullptr;
    const char *entry = Host.APAFolderGetCurrentEntry(window);
    char *path = entry ? MessagePathOfEntry(mailbox, entry) : nullptr;
    free(mailbox);
    return path;
}
