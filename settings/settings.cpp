// The settings file, read and written only through the private-profile
// functions. Section "MoveMail" maps bucket names to folder names; section
// "Setup" holds the switches and POPFile's URL.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "mailstore/text.h"
#include "settings/settings.h"

PluginSettingsRecord PluginSettings;
int RuleCount;
FilingRule *Rules;

namespace {

unsigned LoadedRuleList; // RuleListNumber

const char kSuffix[] = "\\Plugins\\sortella.ini";
const char kLogExtension[] = "log";
const int kPathSize = 260;
const int kKeyListSize = 4096; // the key names of "MoveMail"
// The lines of "MoveMail" ("name=folder"), read only when the key list
// shows no name.
const int kSectionSize = 32768;
const int kValueSize = 512;    // one value: at most 511 bytes are taken

void FlushProfile(const char *path)
{
    WritePrivateProfileStringA(NULL, NULL, NULL, path);
}

void ReadSetupValue(const char *path, const char *key, const char *fallback, char *value)
{
    GetPrivateProfileStringA("Setup", key, fallback, value, kValueSize, path);
}

bool ReadSwitch(const char *path, const char *key)
{
    char value[kValueSize];
    ReadSetupValue(path, key, "0", value);
    return ReadIntegerText(value) != 0;
}

void WriteSwitch(const char *path, const char *key, bool on)
{
    WritePrivateProfileStringA("Setup", key, on ? "1" : "0", path);
}

void ReleaseRules(void)
{
    for (int i = 0; i < RuleCount; ++i) {
        free(Rules[i].Bucket);
        free(Rules[i].Folder);
    }
    free(Rules);
    Rules = nullptr;
    RuleCount = 0;
}

// Fills a rule with copies of its texts; false when a copy cannot be made,
// in which case the record holds nothing that needs releasing.
bool MakeRule(FilingRule *rule, int index, const char *bucket, const char *folder)
{
    char *bucketCopy = _strdup(bucket);
    char *folderCopy = _strdup(folder);
    if (!bucketCopy || !folderCopy) {
        free(bucketCopy);
        free(folderCopy);
        return false;
    }
    *rule = FilingRule{index, bucketCopy, folderCopy};
    return true;
}

// The next name of a key list (`length` bytes, as the profile function
// counted them) at or after offset `*at`, which moves past it; nullptr at
// the list's end. Empty names are stepped over: a line "=text" in the
// section gives one, and it would otherwise look like the end of the list.
const char *NextKeyName(const char *keys, DWORD length, DWORD *at)
{
    while (*at < length) {
        const char *name = keys + *at;
        *at += static_cast<DWORD>(strnlen(name, length - *at)) + 1;
        if (*name)
            return name;
    }
    return nullptr;
}

// Counts the names of a key list. When the profile function filled the
// buffer to its limit, the last name may have been cut: such a name is
// dropped, since a rule for a shortened bucket name would file another
// bucket's mail.
int CountKeyNames(const char *keys, DWORD length)
{
    int count = 0;
    DWORD at = 0;
    while (NextKeyName(keys, length, &at))
        ++count;
    bool cut = length >= static_cast<DWORD>(kKeyListSize - 2);
    if (cut && count > 0)
        --count;
    return count;
}

// Gathers into `names` (kKeyListSize bytes) the key list that the lines
// of section "MoveMail" give: the name before the '=' of each line, lines
// with an empty name or without '=' left out. Needed because some profile
// implementations end the key list at a first empty name, so that a line
// "=text" at the top hides every rule below it. Returns the list's length
// as the profile function counts it (kKeyListSize - 2 when cut).
DWORD KeyListOfSectionLines(const char *path, char *names)
{
    static char lines[kSectionSize];
    // Cleared, so that a walk up to the cut length meets no name of an
    // earlier list.
    memset(names, 0, kKeyListSize);
    DWORD got = GetPrivateProfileSectionA("MoveMail", lines, kSectionSize, path);
    bool cut = got >= static_cast<DWORD>(kSectionSize - 2);
    DWORD length = 0;
    for (DWORD at = 0; at < got && !cut;) {
        const char *line = lines + at;
        size_t lineLength = strnlen(line, got - at);
        at += static_cast<DWORD>(lineLength) + 1;
        const char *equals = static_cast<const char *>(memchr(line, '=', lineLength));
        if (!equals || equals == line)
            continue;
        DWORD nameLength = static_cast<DWORD>(equals - line);
        if (length + nameLength + 2 > static_cast<DWORD>(kKeyListSize - 2)) {
            cut = true;
            break;
        }
        memcpy(names + length, line, nameLength);
        length += nameLength;
        names[length++] = '\0';
    }
    names[length] = '\0';
    return cut ? static_cast<DWORD>(kKeyListSize - 2) : length;
}

void LoadDefaultRule(const char *path)
{
    Rules = static_cast<FilingRule *>(malloc(sizeof(FilingRule)));
    if (!Rules)
        return;
    if (MakeRule(&Rules[0], 0, "spam", "ごみ箱"))
        RuleCount = 1;
    WritePrivateProfileStringA("MoveMail", "spam", "ごみ箱", path);
    FlushProfile(path);
}

// Makes the first `count` names of the key list rules. Returns false when
// the record block cannot be taken.
bool LoadRules(const char *path, const char *keys, DWORD length, int count)
{
    Rules = static_cast<FilingRule *>(malloc(sizeof(FilingRule) * count));
    if (!Rules)
        return false;
    DWORD at = 0;
    for (int i = 0; i < count; ++i) {
        const char *name = NextKeyName(keys, length, &at);
        char folder[kValueSize];
        GetPrivateProfileStringA("MoveMail", name, "", folder, kValueSize, path);
        // A rule whose copies cannot be made is left out; the later rules
        // keep their own positions as Index.
        if (MakeRule(&Rules[RuleCount], RuleCount, name, folder))
            ++RuleCount;
    }
    return true;
}

void LoadSetupSection(const char *path)
{
    char value[kValueSize];
    PluginSettings.DispDialog = ReadSwitch(path, "DispDialog");
    PluginSettings.Beep = ReadSwitch(path, "Beep");
    PluginSettings.DispFrom = ReadSwitch(path, "DispFrom");
    PluginSettings.DispSubject = ReadSwitch(path, "DispSubject");
    ReadSetupValue(path, "FromLength", "0", value);
    PluginSettings.FromLength = ReadIntegerText(value);
    ReadSetupValue(path, "SubjectLength", "0", value);
    PluginSettings.SubjectLength = ReadIntegerText(value);
    // On unless the file says otherwise; a first start does not write it.
    ReadSetupValue(path, "Log", "1", value);
    PluginSettings.Log = ReadIntegerText(value) != 0;

    ReadSetupValue(path, "CheckConnect", "", value);
    if (!value[0]) {
        PluginSettings.CheckConnect = false;
        WritePrivateProfileStringA("Setup", "CheckConnect", "0", path);
        FlushProfile(path);
    } else {
        PluginSettings.CheckConnect = ReadIntegerText(value) != 0;
    }

    ReadSetupValue(path, "URL", "", value);
    // Written back with its "/" when the plug-in next writes the file.
    PluginSettings.URL = UrlSettingOf(value);
}

// True when `text` holds a CR or LF: written into the settings file it
// would end the line and make the rest a key of its own.
bool HoldsLineBreak(const char *text)
{
    return strpbrk(text, "\r\n") != nullptr;
}

// The URL as the settings file may hold it: empty in place of a URL that
// holds a line break.
const char *UrlToWrite(void)
{
    const char *url = PluginSettings.URL.c_str();
    return HoldsLineBreak(url) ? "" : url;
}

// Writes URL alone into section "Setup".
void SaveUrl(const char *path)
{
    WritePrivateProfileStringA("Setup", "URL", UrlToWrite(), path);
    FlushProfile(path);
}

} // namespace

void GetIniPath(int size, char *buffer)
{
    // The executable's path gets the room left after the suffix.
    int room = size - static_cast<int>(sizeof kSuffix - 1);
    if (room < 1) {
        if (size > 0)
            buffer[0] = '\0';
        return;
    }
    DWORD length = GetModuleFileNameA(NULL, buffer, room);
    if (length >= static_cast<DWORD>(room))
        length = room - 1;
    buffer[length] = '\0';
    // The last backslash that is a character of its own: a Japanese name
    // may hold 0x5C as the second byte of a character.
    const char *lastBackslash = FindLastBackslash(buffer);
    if (lastBackslash)
        buffer[lastBackslash - buffer] = '\0';
    strcat(buffer, kSuffix);
}

void GetLogPath(int size, char *buffer)
{
    GetIniPath(size, buffer);
    // The settings path ends in "sortella.ini", or is empty when the
    // buffer is too small for the suffix.
    size_t length = strlen(buffer);
    const size_t extension = sizeof kLogExtension - 1;
    if (length >= extension)
        memcpy(buffer + length - extension, kLogExtension, extension);
}

unsigned RuleListNumber(void)
{
    return LoadedRuleList;
}

void LoadSettings(void)
{
    ReleaseRules();
    ++LoadedRuleList;
    char path[kPathSize];
    GetIniPath(kPathSize, path);

    static char keys[kKeyListSize];
    DWORD length = GetPrivateProfileStringA("MoveMail", NULL, "", keys, kKeyListSize, path);
    int count = CountKeyNames(keys, length);
    if (count == 0) {
        length = KeyListOfSectionLines(path, keys);
        count = CountKeyNames(keys, length);
    }
    // The default rule goes only into a section without any rule, never
    // over a key that is there.
    if (count == 0) {
        LoadDefaultRule(path);
        if (!Rules)
            return;
    } else if (!LoadRules(path, keys, length, count)) {
        return;
    }
    LoadSetupSection(path);
}

void SaveSettings(void)
{
    char path[kPathSize];
    GetIniPath(kPathSize, path);
    WriteSwitch(path, "DispDialog", PluginSettings.DispDialog);
    WriteSwitch(path, "Beep", PluginSettings.Beep);
    WriteSwitch(path, "DispFrom", PluginSettings.DispFrom);
    WriteSwitch(path, "DispSubject", PluginSettings.DispSubject);
    WriteSwitch(path, "CheckConnect", PluginSettings.CheckConnect);
    WriteSwitch(path, "Log", PluginSettings.Log);
    WritePrivateProfileStringA("Setup", "URL", UrlToWrite(), path);
    FlushProfile(path);
}

void AdoptUrl(const char *text)
{
    if (!PluginSettings.URL.empty() || HoldsLineBreak(text))
        return;
    PluginSettings.URL = text;
    char path[kPathSize];
    GetIniPath(kPathSize, path);
    SaveUrl(path);
}

std::string UrlSettingOf(const char *text)
{
    // '/' is never a Shift_JIS trail byte, so the last byte test is safe.
    std::string url = text;
    if (!url.empty() && url.back() != '/')
        url += '/';
    return url;
}

FilingRule *FindFilingRule(const char *bucket)
{
    for (int i = 0; i < RuleCount; ++i) {
        if (strcmp(Rules[i].Bucket, bucket) == 0)
            return &Rules[i];
    }
    return nullptr;
}
