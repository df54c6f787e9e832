#include "standin_state.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <sys/stat.h>

namespace {

struct StandinState {
    std::mutex lock;
    StandinOptions options;
    ClassifierRules rules;
    int httpPort = 0;
    std::map<long, HistoryEntry> history;
    std::map<std::string, long> numberOfSpoolName;
    long nextHistory = 1;
    std::set<std::string> deleted;
    bool maildropLocked = false;
    long requestCount = 0;
    long pop3Count = 0;
};

StandinState State;

std::string StatePath(const char* name)
{
    return State.options.stateDir + "/" + name;
}

int ReadWholeFile(const std::string& path, std::string* text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return -1;
    std::ostringstream out;
    out << in.rdbuf();
    *text = out.str();
    return 0;
}

// Writes a whole file through a temporary and rename, so that a reader
// never sees half of it.
int ReplaceFile(const std::string& path, const std::string& text)
{
    std::string temporary = path + ".tmp";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr)
        return -1;
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    ok = std::fclose(file) == 0 && ok;
    if (!ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return -1;
    }
    return 0;
}

int AppendToFile(const std::string& path, const std::string& text)
{
    FILE* file = std::fopen(path.c_str(), "ab");
    if (file == nullptr)
        return -1;
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return (std::fclose(file) == 0 && ok) ? 0 : -1;
}

int MakeDirectory(const std::string& path)
{
    if (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST)
        return 0;
    return -1;
}

std::vector<std::string> SplitFields(const std::string& line)
{
    std::vector<std::string> fields;
    size_t pos = 0;
    for (;;) {
        size_t tab = line.find('\t', pos);
        fields.push_back(line.substr(pos, tab == std::string::npos ? std::string::npos : tab - pos));
        if (tab == std::string::npos)
            return fields;
        pos = tab + 1;
    }
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

// Caller holds the lock.
std::string RecordsTextLocked()
{
    std::string text;
    for (const auto& item : State.history) {
        const HistoryEntry& e = item.second;
        text += std::to_string(e.number) + "\t" + e.spoolName + "\t" + e.classified + "\t" + e.current + "\n";
    }
    return text;
}

void AddHistoryLocked(const HistoryEntry& entry)
{
    State.history[entry.number] = entry;
    State.numberOfSpoolName[entry.spoolName] = entry.number;
    if (entry.number >= State.nextHistory)
        State.nextHistory = entry.number + 1;
}

void LoadHistory()
{
    std::string text;
    if (ReadWholeFile(StatePath("history.txt"), &text) != 0)
        return;
    for (const std::string& line : SplitLines(text)) {
        std::vector<std::string> f = SplitFields(line);
        long number = f.size() == 4 ? std::atol(f[0].c_str()) : 0;
        if (number > 0)
            AddHistoryLocked({number, f[1], f[2], f[3]});
    }
}

void LoadDeleted()
{
    std::string text;
    if (ReadWholeFile(StatePath("deleted.txt"), &text) != 0)
        return;
    for (const std::string& line : SplitLines(text))
        if (!line.empty())
            State.deleted.insert(line);
}

// Connection ids go on from those of an earlier run in the same directory.
long CountPop3Connections()
{
    std::string text;
    if (ReadWholeFile(StatePath("pop3.log"), &text) != 0)
        return 0;
    long count = 0;
    for (const std::string& line : SplitLines(text))
        count += line.size() > 5 && line.compare(line.size() - 5, 5, "\topen") == 0;
    return count;
}

long CountIndexLines()
{
    std::string text;
    if (ReadWholeFile(StatePath("requests/index.txt"), &text) != 0)
        return 0;
    return static_cast<long>(SplitLines(text).size());
}

// Log texts keep to one line: control bytes and tabs become \xNN.
std::string Printable(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace

int OpenStandinState(const StandinOptions& options, const ClassifierRules& rules,
                     int httpPort, std::string* error)
{
    std::lock_guard<std::mutex> guard(State.lock);
    State.options = options;
    State.rules = rules;
    State.httpPort = httpPort;
    State.nextHistory = options.firstHistory;
    if (State.options.controlFile.empty())
        State.options.controlFile = StatePath("control");
    if (MakeDirectory(options.stateDir) != 0 || MakeDirectory(StatePath("requests")) != 0) {
        *error = "cannot create the state directory " + options.stateDir;
        return -1;
    }
    LoadHistory();
    LoadDeleted();
    State.requestCount = CountIndexLines();
    State.pop3Count = CountPop3Connections();
    return 0;
}

StandinKnobs CurrentKnobs(std::string* controlText)
{
    StandinKnobs knobs;
    std::string controlFile;
    {
        std::lock_guard<std::mutex> guard(State.lock);
        knobs = State.options.knobs;
        controlFile = State.options.controlFile;
    }
    std::string text;
    if (ReadWholeFile(controlFile, &text) == 0)
        ApplyControlText(&knobs, text);
    if (controlText)
        *controlText = text;
    return knobs;
}

void AcknowledgeControlText(const std::string& controlText)
{
    static std::string acknowledged;
    static bool written = false;
    if (written && controlText == acknowledged)
        return;
    std::string path = StatePath("control.applied");
    if (ReplaceFile(path, controlText) == 0) {
        acknowledged = controlText;
        written = true;
    }
}

const StandinOptions& Options()
{
    return State.options;
}

const ClassifierRules& Rules()
{
    return State.rules;
}

std::string LinkBase(const StandinKnobs& knobs)
{
    std::string base = knobs.linkBase;
    if (base.empty())
        base = "http://127.0.0.1:" + std::to_string(State.httpPort) + "/";
    if (base.back() != '/')
        base += '/';
    return base;
}

bool FindHistoryEntry(long number, HistoryEntry* entry)
{
    std::lock_guard<std::mutex> guard(State.lock);
    auto found = State.history.find(number);
    if (found == State.history.end())
        return false;
    *entry = found->second;
    return true;
}

bool FindHistoryBySpoolName(const std::string& spoolName, HistoryEntry* entry)
{
    std::lock_guard<std::mutex> guard(State.lock);
    auto found = State.numberOfSpoolName.find(spoolName);
    if (found == State.numberOfSpoolName.end())
        return false;
    *entry = State.history[found->second];
    return true;
}

std::vector<HistoryEntry> HistoryEntries()
{
    std::lock_guard<std::mutex> guard(State.lock);
    std::vector<HistoryEntry> entries;
    for (const auto& item : State.history)
        entries.push_back(item.second);
    return entries;
}

long NextHistoryNumber()
{
    std::lock_guard<std::mutex> guard(State.lock);
    return State.nextHistory;
}

int CommitHistoryEntry(long number, const std::string& spoolName, const std::string& bucket)
{
    std::lock_guard<std::mutex> guard(State.lock);
    if (State.numberOfSpoolName.count(spoolName) != 0 || State.history.count(number) != 0)
        return 0;
    AddHistoryLocked({number, spoolName, bucket, bucket});
    return ReplaceFile(StatePath("history.txt"), RecordsTextLocked());
}

int ReclassifyEntries(const std::vector<std::pair<long, std::string>>& changes)
{
    std::lock_guard<std::mutex> guard(State.lock);
    for (const auto& change : changes)
        if (State.history.count(change.first) == 0)
            return -1;
    std::string log;
    for (const auto& change : changes) {
        HistoryEntry& entry = State.history[change.first];
        log += std::to_string(entry.number) + "\t" + entry.current + "\t" + change.second + "\n";
        entry.current = change.second;
    }
    int written = ReplaceFile(StatePath("history.txt"), RecordsTextLocked());
    if (AppendToFile(StatePath("reclassify.log"), log) != 0)
        written = -1;
    return written;
}

std::string RecordsText()
{
    std::lock_guard<std::mutex> guard(State.lock);
    return RecordsTextLocked();
}

bool IsDeleted(const std::string& spoolName)
{
    std::lock_guard<std::mutex> guard(State.lock);
    return State.deleted.count(spoolName) != 0;
}

int CommitDeletions(const std::vector<std::string>& spoolNames)
{
    std::lock_guard<std::mutex> guard(State.lock);
    std::string lines;
    for (const std::string& name : spoolNames) {
        if (State.deleted.insert(name).second)
            lines += name + "\n";
    }
    return lines.empty() ? 0 : AppendToFile(StatePath("deleted.txt"), lines);
}

bool TryLockMaildrop()
{
    std::lock_guard<std::mutex> guard(State.lock);
    if (State.maildropLocked)
        return false;
    State.maildropLocked = true;
    return true;
}

void UnlockMaildrop()
{
    std::lock_guard<std::mutex> guard(State.lock);
    State.maildropLocked = false;
}

void LogHttpRequest(const std::string& raw, const std::string& method,
                    const std::string& target, int status)
{
    std::lock_guard<std::mutex> guard(State.lock);
    long number = ++State.requestCount;
    char name[32];
    std::snprintf(name, sizeof name, "%04ld", number);
    std::string base = StatePath("requests/") + name;
    ReplaceFile(base + ".raw", raw);
    std::string line = std::string(name) + "\t" + (method.empty() ? "-" : Printable(method)) + "\t" +
                       (target.empty() ? "-" : Printable(target)) + "\t" + std::to_string(status) + "\t" +
                       std::to_string(raw.size()) + "\n";
    AppendToFile(StatePath("requests/index.txt"), line);
}

long LogPop3Open()
{
    std::lock_guard<std::mutex> guard(State.lock);
    long id = ++State.pop3Count;
    AppendToFile(StatePath("pop3.log"), std::to_string(id) + "\topen\n");
    return id;
}

void LogPop3Command(long connection, const std::string& line)
{
    std::lock_guard<std::mutex> guard(State.lock);
    AppendToFile(StatePath("pop3.log"), std::to_string(connection) + "\tcmd\t" + Printable(line) + "\n");
}

void LogPop3Close(long connection, long commands)
{
    std::lock_guard<std::mutex> guard(State.lock);
    AppendToFile(StatePath("pop3.log"),
                 std::to_string(connection) + "\tclose\t" + std::to_string(commands) + "\n");
}
