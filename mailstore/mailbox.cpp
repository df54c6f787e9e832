// Path rules between the host's entries, message files and folder
// destinations, and lookups in the host's INI files.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mailstore/mailbox.h"
#include "plugin/host_services.h"

namespace {

const char kExtension[] = ".PWK";
const int kExtensionLength = 4;
const int kTitleSize = 200;

char AsciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

char *MessagePathOfEntry(const char *entry)
{
    const char *mailbox = Host.APAGetMailbox();
    size_t size = strlen(entry) + strlen(mailbox) + 20;
    char *path = static_cast<char *>(malloc(size));
    if (!path)
        return nullptr;
    snprintf(path, size, "%s%s%s", mailbox, entry, kExtension);
    return path;
}

int MailboxPrefixLength(const char *path)
{
    const char *mailbox = Host.APAGetMailbox();
    int length = 0;
    for (; mailbox[length]; ++length) {
        if (AsciiUpper(path[length]) != AsciiUpper(mailbox[length]))
            return -1;
    }
    return length;
}

void EntryOfMessagePath(const char *path, int mailboxLength, char *output)
{
    strcpy(output, path + mailboxLength);
    size_t length = strlen(output);
    if (length > kExtensionLength)
        output[length - kExtensionLength] = '\0';
}

void MakeDestination(const char *title, const char *folder, char *output)
{
    sprintf(output, "%s\\%s", title, folder);
}

void ReadAccountTitle(const char *path, char *output)
{
    output[0] = '\0';
    int mailboxLength = MailboxPrefixLength(path);
    if (mailboxLength < 0)
        return;
    size_t size = strlen(path) + 30;
    char *iniPath = static_cast<char *>(malloc(size));
    if (!iniPath)
        return;
    // The account directory is the mailbox directory and the first name
    // below it.
    const char *accountEnd = path + mailboxLength;
    while (*accountEnd && *accountEnd != '\\')
        ++accountEnd;
    int accountLength = static_cast<int>(accountEnd - path);
    snprintf(iniPath, size, "%.*s\\%s", accountLength, path, "account.ini");
    GetPrivateProfileStringA("Property", "Title", "", output, kTitleSize, iniPath);
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
    const char *entry = Host.APAFolderGetCurrentEntry(window);
    if (!entry)
        return nullptr;
    return MessagePathOfEntry(entry);
}
