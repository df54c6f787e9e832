// Flags and knobs: one table of knob names serves the command line and the
// control file, so both accept exactly the same names and values.
#include "standin_options.h"
#include "text_lines.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// Reads a whole decimal number in [min, max]. Returns 0 or -1.
int ReadLong(const std::string& text, long min, long max, long* out)
{
    if (text.empty())
        return -1;
    errno = 0;
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < min || value > max)
        return -1;
    *out = value;
    return 0;
}

// Reads seconds as a non-negative decimal fraction, or "never" as -1.
int ReadDelay(const std::string& text, double* out)
{
    if (text == "never") {
        *out = -1;
        return 0;
    }
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return -1;
    errno = 0;
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !(value >= 0) || value > 1e6)
        return -1;
    *out = value;
    return 0;
}

int ReadLetterCase(const std::string& text, bool allowAsIs, LetterCase* out)
{
    if (text == "lower") *out = LetterCase::Lower;
    else if (text == "upper") *out = LetterCase::Upper;
    else if (text == "mixed") *out = LetterCase::Mixed;
    else if (text == "asis" && allowAsIs) *out = LetterCase::AsIs;
    else return -1;
    return 0;
}

// "PATH CODE" or "PATH CODE page", blanks between the words.
int ReadStatusRule(const std::string& text, StatusRule* out)
{
    std::vector<std::string> words;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t start = text.find_first_not_of(" \t", pos);
        if (start == std::string::npos)
            break;
        size_t end = text.find_first_of(" \t", start);
        if (end == std::string::npos)
            end = text.size();
        words.push_back(text.substr(start, end - start));
        pos = end;
    }
    if (words.size() < 2 || words.size() > 3 || words[0].empty() || words[0][0] != '/')
        return -1;
    long status = 0;
    bool hold = words[1] == "hold" && words.size() == 2;
    if ((words[1] == "drop" || hold) && words.size() == 2)
        status = 0;
    else if (ReadLong(words[1], 100, 599, &status) != 0)
        return -1;
    if (words.size() == 3 && words[2] != "page")
        return -1;
    out->path = words[0];
    out->status = static_cast<int>(status);
    out->realBody = words.size() == 3;
    out->hold = hold;
    return 0;
}

// Flags that are not knobs: each takes one value.
int ApplyOption(StandinOptions* options, const std::string& name, const std::string& value)
{
    long number = 0;
    if (name == "pop3-port" || name == "http-port") {
        if (ReadLong(value, 0, 65535, &number) != 0)
            return -1;
        (name == "pop3-port" ? options->pop3Port : options->httpPort) = static_cast<int>(number);
    } else if (name == "spool") {
        options->spoolDir = value;
    } else if (name == "state-dir") {
        options->stateDir = value;
    } else if (name == "classifier") {
        options->classifierFile = value;
    } else if (name == "control") {
        options->controlFile = value;
    } else if (name == "key") {
        // The key travels unencoded in links and forms: no quote, blank or
        // control byte, which would end it early on a page.
        if (value.empty())
            return -1;
        for (unsigned char c : value)
            if (c <= 0x20 || c >= 0x7F || c == '"')
                return -1;
        options->key = value;
    } else if (name == "first-history") {
        if (ReadLong(value, 1, 1000000000L, &number) != 0)
            return -1;
        options->firstHistory = number;
    } else {
        return ApplyKnob(&options->knobs, name, value);
    }
    return 0;
}

}  // namespace

int ApplyKnob(StandinKnobs* knobs, const std::string& name, const std::string& value)
{
    StandinKnobs changed = *knobs;
    long number = 0;
    int result = 0;
    if (name == "pop3-delay") {
        result = ReadDelay(value, &changed.pop3DelaySec);
    } else if (name == "http-delay") {
        result = ReadDelay(value, &changed.httpDelaySec);
    } else if (name == "front-key") {
        if (value == "normal") changed.frontKey = FrontKeyMode::Normal;
        else if (value == "missing") changed.frontKey = FrontKeyMode::Missing;
        else if (value == "empty") changed.frontKey = FrontKeyMode::Empty;
        else if (value == "wrong") changed.frontKey = FrontKeyMode::Wrong;
        else result = -1;
    } else if (name == "buckets-page") {
        if (value == "normal") changed.bucketsPage = BucketsPageMode::Normal;
        else if (value == "no-buckets") changed.bucketsPage = BucketsPageMode::NoBuckets;
        else if (value == "no-session") changed.bucketsPage = BucketsPageMode::NoSession;
        else result = -1;
    } else if (name == "status") {
        StatusRule rule;
        result = ReadStatusRule(value, &rule);
        if (result == 0)
            changed.statusRules.push_back(rule);
    } else if (name == "http-slow-ms" || name == "pop3-slow-ms") {
        result = ReadLong(value, 0, 600000, &number);
        (name == "http-slow-ms" ? changed.httpSlowMs : changed.pop3SlowMs) = static_cast<int>(number);
    } else if (name == "http-trickle-ms") {
        result = ReadLong(value, 0, 600000, &number);
        changed.httpTrickleMs = static_cast<int>(number);
    } else if (name == "http-header-trickle-ms") {
        result = ReadLong(value, 0, 600000, &number);
        changed.httpHeaderTrickleMs = static_cast<int>(number);
    } else if (name == "http-endless-chunks") {
        if (value == "on") changed.httpEndlessChunks = true;
        else if (value == "off") changed.httpEndlessChunks = false;
        else result = -1;
    } else if (name == "http-flood-bytes") {
        result = ReadLong(value, 0, 1L << 30, &number);
        changed.httpFloodBytes = number;
    } else if (name == "http-close-after" || name == "pop3-close-after") {
        result = ReadLong(value, -1, 1L << 30, &number);
        (name == "http-close-after" ? changed.httpCloseAfter : changed.pop3CloseAfter) = number;
    } else if (name == "http-keep-alive") {
        if (value == "on") changed.httpKeepAlive = true;
        else if (value == "off") changed.httpKeepAlive = false;
        else result = -1;
    } else if (name == "pattern-case") {
        result = ReadLetterCase(value, false, &changed.patternCase);
    } else if (name == "bucket-case") {
        result = ReadLetterCase(value, true, &changed.bucketCase);
    } else if (name == "link-base") {
        changed.linkBase = value;
    } else if (name == "gone-view") {
        result = ReadLong(value, 1, 999999999L, &number);
        if (result == 0)
            changed.goneViews.push_back(number);
    } else if (name == "password") {
        if (value == "on") changed.password = true;
        else if (value == "off") changed.password = false;
        else result = -1;
    } else if (name == "bucket-order") {
        if (value == "declared") changed.bucketsReversed = false;
        else if (value == "reversed") changed.bucketsReversed = true;
        else result = -1;
    } else {
        result = -1;
    }
    if (result == 0)
        *knobs = changed;
    return result;
}

int ApplyControlText(StandinKnobs* knobs, const std::string& text)
{
    int bad = 0;
    for (const TextLine& setting : SettingLines(text)) {
        const std::string& line = setting.text;
        size_t gap = line.find_first_of(" \t");
        std::string name = line.substr(0, gap);
        std::string value = gap == std::string::npos ? std::string() : TrimBlanks(line.substr(gap), " \t\r");
        if (ApplyKnob(knobs, name, value) != 0)
            ++bad;
    }
    return bad;
}

int ParseCommandLine(int argc, char** argv, StandinOptions* options, std::string* error)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h")
            return 1;
        if (arg.compare(0, 2, "--") != 0) {
            *error = "unexpected argument: " + arg;
            return -1;
        }
        std::string name = arg.substr(2);
        std::string value;
        size_t equals = name.find('=');
        if (equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.erase(equals);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            *error = "missing value for --" + name;
            return -1;
        }
        if (ApplyOption(options, name, value) != 0) {
            *error = "bad flag or value: --" + name + " " + value;
            return -1;
        }
    }
    return 0;
}

const char* UsageText()
{
    return "usage: popfile-standin [flags]\n"
           "  --pop3-port N        POP3 proxy port on 127.0.0.1 (0: any free port)\n"
           "  --http-port N        web interface port on 127.0.0.1 (0: any free port)\n"
           "  --spool DIR          one RFC 822 message per file, served in name order\n"
           "  --state-dir DIR      request log, history records, deletions\n"
           "  --classifier FILE    keyword lists per bucket (see README.md)\n"
           "  --key KEY|random     the web interface's session key\n"
           "  --control FILE       knob file re-read while running (default STATE/control)\n"
           "  --first-history N    history number of the first message handed out\n"
           "knobs (also as control-file lines \"NAME VALUE\"):\n"
           "  --pop3-delay S|never  --http-delay S|never\n"
           "  --front-key normal|missing|empty|wrong\n"
           "  --buckets-page normal|no-buckets|no-session\n"
           "  --status \"PATH CODE [page]\" | \"PATH drop\"   (repeatable)\n"
           "  --http-slow-ms N  --http-close-after N  --pop3-slow-ms N  --pop3-close-after N\n"
           "  --http-trickle-ms N  --http-header-trickle-ms N  --http-flood-bytes N\n"
           "  --http-endless-chunks on|off\n"
           "  --http-keep-alive on|off\n"
           "  --pattern-case lower|upper|mixed  --bucket-case asis|lower|upper|mixed\n"
           "  --link-base URL  --gone-view N (repeatable)  --bucket-order declared|reversed\n"
           "  --password on|off\n";
}
