// The plug-in's settings file "Plugins\sortella.ini" and its in-memory form:
// the switches of section "Setup" and the bucket-to-folder rules of section
// "MoveMail". All texts are Shift_JIS byte strings.
#pragma once
#include <string>

struct PluginSettingsRecord {
    bool DispDialog;   // show the summary box after filing
    bool Beep;         // beep after filing
    bool CheckConnect; // wait at start-up until POPFile's proxy answers
    bool DispFrom;     // summary lists senders (only with DispDialog)
    bool DispSubject;  // summary lists subjects (only with DispDialog)
    int FromLength;    // byte limit of a sender text; below 1: shown as written
    int SubjectLength; // byte limit of a subject text; below 1: 26
    bool Log;          // record moves and corrections in the filing log
    std::string URL;   // POPFile's web interface base URL, ending in "/"; empty: unknown
};

struct FilingRule {
    int Index;    // own position in the rule list, from 0
    char *Bucket; // owned heap string: the key in "MoveMail"
    char *Folder; // owned heap string: the key's value
};

extern PluginSettingsRecord PluginSettings;

// The rule list, in file order; replaced whole by each LoadSettings.
// RuleCount is 0 and Rules null before the first load.
extern int RuleCount;
extern FilingRule *Rules;

// Number of the rule list as last loaded, 0 before the first load and one
// more with each LoadSettings: whoever keeps figures per rule (the filing
// command) knows by it when they belong to a list that was replaced.
unsigned RuleListNumber(void);

// Full path of the settings file: the host executable's directory followed
// by "\Plugins\sortella.ini". `size` is the buffer's size in bytes (260).
void GetIniPath(int size, char *buffer);

// Full path of the filing log: "sortella.log" beside the settings file.
// `size` is the buffer's size in bytes (260).
void GetLogPath(int size, char *buffer);

// Replaces the rule list and PluginSettings with what the file holds,
// writing the first-run defaults ("spam" = "ごみ箱", CheckConnect = "0").
// A key with an empty name ("=text") is skipped; the default rule is
// written only when section "MoveMail" has no other key.
void LoadSettings(void);

// Writes the six switches and URL into section "Setup" (an empty URL in
// place of one that holds a CR or LF).
void SaveSettings(void);

// Sets URL to `text` and saves it, only while URL is empty and `text` holds
// no CR or LF.
void AdoptUrl(const char *text);

// `text` as the URL setting holds it: with a final "/" added when it lacks
// one (a URL written by hand as "http://127.0.0.1:8080"), as the page
// names ("buckets", "history") are appended to it; "" stays "".
std::string UrlSettingOf(const char *text);

// First rule whose Bucket equals `bucket` byte for byte, or nullptr.
FilingRule *FindFilingRule(const char *bucket);

// The C library's atoi rule without its undefined overflow: leading white
// space, optional sign, decimal digits; saturates at the int range.
int ReadIntegerText(const char *text);
