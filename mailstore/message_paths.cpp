// Path rules of the mail store; no host call, no file access.
#include "mailstore/message_paths.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mailstore/text.h"

namespace {

const char kExtension[] = ".PWK";
const size_t kExtensionLength = 4;
const char kAccountIni[] = "\\account.ini";

} // namespace

int MailboxPrefixLength(const char *path, const char *mailbox)
{
    int length = 0;
    while (mailbox[length]) {
        unsigned char byte = (unsigned char)mailbox[length];
        if (IsCp932LeadByte(byte) && mailbox[length + 1]) {
            // A double-byte character matches only byte for byte: its
            // second byte may look like an ASCII letter.
            if (path[length] != mailbox[length] || path[length + 1] != mailbox[length + 1])
                return -1;
            length += 2;
            continue;
        }
        if (AsciiUpper((unsigned char)path[length]) != AsciiUpper(byte))
            return -1;
        ++length;
    }
    return length;
}

char *MessagePathOfEntry(const char *mailbox, const char *entry)
{
    size_t size = strlen(entry) + strlen(mailbox) + 20;
    char *path = (char *)malloc(size);
    if (!path)
        return nullptr;
    snprintf(path, size, "%s%s%s", mailbox, entry, kExtension);
    return path;
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

char *AccountIniPathOf(const char *path, int mailboxLength)
{
    size_t length = (size_t)(FindBackslash(path + mailboxLength) - path);
    char *iniPath = (char *)malloc(length + sizeof kAccountIni);
    if (!iniPath)
        return nullptr;
    memcpy(iniPath, path, length);
    memcpy(iniPath + length, kAccountIni, sizeof kAccountIni);
    return iniPath;
}

int BuildMoveTarget(const char *path, int mailboxLength, const char *title, const char *folder, MoveTarget *target)
{
    // Room for both texts and their NULs, and a few bytes to spare.
    size_t size = strlen(folder) + strlen(path) + strlen(title) + 8;
    char *block = (char *)malloc(size);
    if (!block)
        return -1;
    MakeDestination(title, folder, block);
    char *entry = block + strlen(block) + 1;
    EntryOfMessagePath(path, mailboxLength, entry);
    target->Destination = block;
    target->Entry = entry;
    return 0;
}
