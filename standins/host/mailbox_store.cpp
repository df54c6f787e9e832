// The mailbox on disk: accounts, folders, message files, and the moves the
// plug-in asks for. Paths are Shift_JIS (the ANSI functions under code page
// 932), so a backslash is looked for character by character: the trail
// byte of a double-byte character can be 0x5C.
#include "standins/host/host.h"
#include "standins/host/host_internal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

std::string mailbox; // ends in a backslash once set

bool IsLeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Offsets of the real backslashes of a Shift_JIS text.
std::vector<size_t> BackslashOffsets(const std::string &text)
{
    std::vector<size_t> offsets;
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsLeadByte((unsigned char)text[i]) && i + 1 < text.size())
            ++i;
        else if (text[i] == '\\')
            offsets.push_back(i);
    }
    return offsets;
}

bool EndsWithBackslash(const std::string &text)
{
    std::vector<size_t> offsets = BackslashOffsets(text);
    return !offsets.empty() && offsets.back() == text.size() - 1;
}

std::string WithBackslash(const std::string &text)
{
    return EndsWithBackslash(text) ? text : text + "\\";
}

// Creates the directory and its missing parents.
bool MakeDirectories(const std::string &path)
{
    std::string whole = WithBackslash(path);
    for (size_t offset : BackslashOffsets(whole)) {
        if (offset == 0 || whole[offset - 1] == ':')
            continue;
        std::string part = whole.substr(0, offset);
        if (!hostrig::DirectoryExists(part) && !CreateDirectoryA(part.c_str(), NULL))
            return false;
    }
    return true;
}

std::string IniPath(const std::string &accountDir)
{
    return mailbox + accountDir + "\\account.ini";
}

bool WriteValue(const std::string &file, const char *key, const char *value)
{
    if (!value)
        return true;
    return WritePrivateProfileStringA("Property", key, value, file.c_str()) != 0;
}

// LF or CR LF text to CR LF text.
std::string WithCrLf(const char *text)
{
    std::string out;
    for (const char *p = text; *p; ++p) {
        if (*p == '\n' && (p == text || p[-1] != '\r'))
            out += '\r';
        out += *p;
    }
    return out;
}

std::string FolderPath(const std::string &accountDir, const std::string &folder)
{
    return mailbox + accountDir + "\\" + folder + "\\";
}

// Next free "<8 digits>" name of a folder: one above the highest number.
std::string NextFreeName(const std::string &folderPath)
{
    unsigned long highest = 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folderPath + "*.PWK").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            unsigned long number = strtoul(found.cFileName, nullptr, 10);
            highest = std::max(highest, number);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    char name[16];
    for (unsigned long n = highest + 1;; ++n) {
        snprintf(name, sizeof name, "%08lu", n);
        if (!hostrig::FileExists(folderPath + name + ".PWK") &&
            !hostrig::FileExists(folderPath + name + ".tmp"))
            return name;
    }
}

bool WriteWholeFile(const std::string &path, const std::string &content)
{
    FILE *file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = fwrite(content.data(), 1, content.size(), file) == content.size();
    ok = fclose(file) == 0 && ok;
    if (!ok)
        DeleteFileA(path.c_str());
    return ok;
}

// The account directory names below the mailbox (those with "account.ini").
std::vector<std::string> AccountDirectories()
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((mailbox + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != "." && name != ".." &&
            hostrig::FileExists(IniPath(name)))
            names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

// Account directory whose Title is `title` (bytes compared), "" when none.
std::string AccountOfTitle(const std::string &title, bool *found)
{
    *found = false;
    for (const std::string &name : AccountDirectories()) {
        if (hostrig::AccountValue(name, "Title") == title) {
            *found = true;
            return name;
        }
    }
    return std::string();
}

void RecordMove(const std::string &entry, const std::string &destination, DWORD result,
                const std::string &outcome)
{
    hostrig::Record("move",
                    HostSjisToUtf8(entry) + " -> " + HostSjisToUtf8(destination) + ": " + outcome,
                    entry, destination, 0, result);
}

} // namespace

namespace hostrig {

bool DirectoryExists(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string AccountValue(const std::string &accountDir, const char *key)
{
    char value[1024] = "";
    GetPrivateProfileStringA("Property", key, "", value, sizeof value, IniPath(accountDir).c_str());
    return value;
}

DWORD MoveMessage(const char *entry, const char *destination)
{
    if (!entry || !destination) {
        RecordMove(entry ? entry : "(null)", destination ? destination : "(null)", 0,
                   "not moved: no entry or destination");
        return 0;
    }
    std::string from = HostPathOfEntry(entry);
    if (mailbox.empty() || !FileExists(from)) {
        RecordMove(entry, destination, 0, "not moved: no such message");
        return 0;
    }
    std::string target = destination;
    std::vector<size_t> slashes = BackslashOffsets(target);
    if (slashes.empty() || slashes[0] + 1 >= target.size()) {
        RecordMove(entry, destination, 0, "not moved: no folder in the destination");
        return 0;
    }
    std::string title = target.substr(0, slashes[0]);
    std::string folder = target.substr(slashes[0] + 1);
    bool known = false;
    std::string accountDir = AccountOfTitle(title, &known);
    if (!known) {
        RecordMove(entry, destination, 0, "not moved: no account with that title");
        return 0;
    }
    std::string folderPath = FolderPath(accountDir, folder);
    if (!DirectoryExists(folderPath)) {
        RecordMove(entry, destination, 0, "not moved: no such folder");
        return 0;
    }
    std::vector<size_t> entrySlashes = BackslashOffsets(from);
    std::string fileName = from.substr(entrySlashes.back() + 1);
    std::string sourceFolder = from.substr(0, entrySlashes.back() + 1);
    if (lstrcmpiA(sourceFolder.c_str(), folderPath.c_str()) == 0) {
        RecordMove(entry, destination, 1, "already in that folder");
        return 1;
    }
    std::string to = folderPath + fileName;
    if (FileExists(to))
        to = folderPath + NextFreeName(folderPath) + ".PWK";
    if (!MoveFileA(from.c_str(), to.c_str())) {
        RecordMove(entry, destination, 0, "not moved: the file could not be moved");
        return 0;
    }
    ForgetEntryInFolderWindows(entry);
    RecordMove(entry, destination, 1, "moved to " + HostSjisToUtf8(HostEntryOfPath(to)));
    RefreshFolderWindows();
    return 1;
}

std::string StoreNewMessage(const std::string &accountDir, const char *folder,
                            const std::string &content)
{
    std::string folderPath = FolderPath(accountDir, folder);
    if (mailbox.empty() || !DirectoryExists(folderPath))
        return std::string();
    std::string name = NextFreeName(folderPath);
    // Written under a temporary name first, so that a failed write never
    // leaves a partial message where the client and plug-in look.
    std::string temporary = folderPath + name + ".tmp";
    std::string path = folderPath + name + ".PWK";
    if (!WriteWholeFile(temporary, content))
        return std::string();
    if (!MoveFileA(temporary.c_str(), path.c_str())) {
        DeleteFileA(temporary.c_str());
        return std::string();
    }
    return path;
}

} // namespace hostrig

int HostSetMailbox(const char *directory)
{
    hostrig::EnsureHost();
    std::string path = WithBackslash(directory ? directory : "");
    if (path.size() < 2 || !MakeDirectories(path)) {
        hostrig::Record("error", "mailbox " + HostSjisToUtf8(path) + " cannot be made");
        return 0;
    }
    mailbox = path;
    std::string ini = mailbox + "mailbox.ini";
    if (!hostrig::FileExists(ini))
        WritePrivateProfileStringA("Property", "ExternalEditor", "notepad", ini.c_str());
    WritePrivateProfileStringA(NULL, NULL, NULL, ini.c_str());
    return 1;
}

const char *HostMailbox(void)
{
    return mailbox.c_str();
}

int HostSetExternalEditor(const char *command)
{
    std::string ini = mailbox + "mailbox.ini";
    int ok = WritePrivateProfileStringA("Property", "ExternalEditor", command, ini.c_str()) != 0;
    WritePrivateProfileStringA(NULL, NULL, NULL, ini.c_str());
    return ok;
}

int HostAddAccount(const char *dirName, const char *title, const char *server, const char *port,
                   const char *connect)
{
    if (mailbox.empty() || !dirName || !*dirName)
        return 0;
    std::string directory = mailbox + dirName;
    if (!MakeDirectories(directory))
        return 0;
    std::string ini = IniPath(dirName);
    bool ok = WriteValue(ini, "Title", title) && WriteValue(ini, "POP3Server", server) &&
              WriteValue(ini, "POP3Port", port) && WriteValue(ini, "Connect", connect);
    WritePrivateProfileStringA(NULL, NULL, NULL, ini.c_str());
    return ok && HostAddFolder(dirName, "郵便受け") && HostAddFolder(dirName, "ごみ箱");
}

int HostSetAccountValue(const char *dirName, const char *key, const char *value)
{
    if (mailbox.empty() || !dirName || !key)
        return 0;
    std::string ini = IniPath(dirName);
    int ok = WritePrivateProfileStringA("Property", key, value, ini.c_str()) != 0;
    WritePrivateProfileStringA(NULL, NULL, NULL, ini.c_str());
    return ok;
}

int HostAddFolder(const char *dirName, const char *folder)
{
    if (mailbox.empty() || !dirName || !folder || !*folder)
        return 0;
    return MakeDirectories(FolderPath(dirName, folder)) ? 1 : 0;
}

std::string HostAccountDirectory(const char *dirName)
{
    return mailbox + dirName + "\\";
}

std::string HostWriteMessage(const char *dirName, const char *folder, const char *name,
                             const char *text)
{
    if (mailbox.empty() || !dirName || !folder || !text)
        return std::string();
    std::string folderPath = FolderPath(dirName, folder);
    if (!hostrig::DirectoryExists(folderPath))
        return std::string();
    std::string path = folderPath + (name ? std::string(name) : NextFreeName(folderPath)) + ".PWK";
    if (!WriteWholeFile(path, WithCrLf(text)))
        return std::string();
    hostrig::RefreshFolderWindows();
    return path;
}

std::string HostEntryOfPath(const std::string &path)
{
    if (mailbox.empty() || path.size() <= mailbox.size() + 4 ||
        lstrcmpiA(path.substr(0, mailbox.size()).c_str(), mailbox.c_str()) != 0)
        return std::string();
    return path.substr(mailbox.size(), path.size() - mailbox.size() - 4);
}

std::string HostPathOfEntry(const std::string &entry)
{
    return mailbox + entry + ".PWK";
}

std::vector<std::string> HostListMessages(const char *dirName, const char *folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((FolderPath(dirName, folder) + "*.PWK").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

std::string HostReadFile(const std::string &path)
{
    std::string content;
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return content;
    char buffer[4096];
    size_t count;
    while ((count = fread(buffer, 1, sizeof buffer, file)) > 0)
        content.append(buffer, count);
    fclose(file);
    return content;
}

std::string HostProgramDirectory()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string directory(path, length < MAX_PATH ? length : 0);
    return directory.substr(0, directory.rfind('\\') + 1);
}
