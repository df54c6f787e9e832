#include "classifier_rules.h"
#include "text_lines.h"

#include "mail_message.h"

#include <algorithm>

namespace {

unsigned char UpperAscii(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c;
}

bool ContainsNoCase(const std::string& text, const std::string& word)
{
    if (word.empty() || text.size() < word.size())
        return false;
    auto found = std::search(text.begin(), text.end(), word.begin(), word.end(),
                             [](char a, char b) {
                                 return UpperAscii(static_cast<unsigned char>(a)) ==
                                        UpperAscii(static_cast<unsigned char>(b));
                             });
    return found != text.end();
}

// Splits "WORD rest" at the first blank; rest trimmed.
void SplitFirstWord(const std::string& line, std::string* word, std::string* rest)
{
    size_t gap = line.find_first_of(" \t");
    *word = line.substr(0, gap);
    *rest = gap == std::string::npos ? std::string() : TrimBlanks(line.substr(gap), " \t\r");
}

void DeclareBucket(ClassifierRules* rules, const std::string& name)
{
    if (std::find(rules->buckets.begin(), rules->buckets.end(), name) == rules->buckets.end())
        rules->buckets.push_back(name);
}

// The text keywords are looked for in: Subject, From and the body.
std::string SearchableText(const std::vector<std::string>& lines)
{
    std::string text = HeaderFieldValue(lines, "Subject") + "\n" + HeaderFieldValue(lines, "From") + "\n";
    for (size_t i = HeaderBlockEnd(lines); i < lines.size(); ++i)
        text += lines[i] + "\n";
    return text;
}

}  // namespace

bool IsBucketName(const std::string& name)
{
    if (name.empty() || name.size() > 100)
        return false;
    for (unsigned char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '_' || c == '-' || c == '.';
        if (!ok)
            return false;
    }
    return true;
}

int ParseClassifierRules(const std::string& text, ClassifierRules* rules, std::string* error)
{
    ClassifierRules parsed;
    for (const TextLine& setting : SettingLines(text)) {
        const std::string& line = setting.text;
        int lineNumber = setting.number;
        std::string directive, rest, name, keyword;
        SplitFirstWord(line, &directive, &rest);
        SplitFirstWord(rest, &name, &keyword);
        bool ok = IsBucketName(name);
        if (ok && directive == "bucket" && keyword.empty()) {
            DeclareBucket(&parsed, name);
        } else if (ok && directive == "keyword" && !keyword.empty()) {
            DeclareBucket(&parsed, name);
            parsed.keywords.push_back({name, keyword});
        } else if (ok && directive == "default" && keyword.empty()) {
            parsed.defaultBucket = name;
        } else {
            *error = "line " + std::to_string(lineNumber) + ": " + line;
            return -1;
        }
    }
    *rules = parsed;
    return 0;
}

const char* BuiltInClassifierText()
{
    return "bucket spam\n"
           "bucket work\n"
           "bucket personal\n"
           "keyword spam lottery\n"
           "keyword spam winner\n"
           "keyword spam casino\n"
           "keyword spam viagra\n"
           "keyword spam free money\n"
           "keyword spam unsubscribe\n"
           "keyword spam limited offer\n"
           "keyword work meeting\n"
           "keyword work project\n"
           "keyword work invoice\n"
           "keyword work deadline\n"
           "keyword work schedule\n"
           "keyword work report\n"
           "keyword personal dinner\n"
           "keyword personal birthday\n"
           "keyword personal family\n"
           "keyword personal weekend\n"
           "keyword personal photos\n"
           "default unclassified\n";
}

std::string ClassifyMessage(const ClassifierRules& rules, const std::vector<std::string>& lines)
{
    std::string forced = HeaderFieldValue(lines, "X-Standin-Bucket");
    if (IsBucketName(forced))
        return forced;
    std::string text = SearchableText(lines);
    for (const KeywordRule& rule : rules.keywords)
        if (ContainsNoCase(text, rule.keyword))
            return rule.bucket;
    return rules.defaultBucket;
}
