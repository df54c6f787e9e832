#include "web_pages.h"

namespace {

std::string PageStart(const std::string& title)
{
    return "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"UTF-8\">\n<title>" + HtmlEscaped(title) +
           "</title>\n</head>\n<body>\n";
}

const char PageEnd[] = "<p class=\"footer\">POPFile stand-in</p>\n</body>\n</html>\n";

// The link to the history page, with the key as `mode` says. Missing: a link
// without any session parameter.
std::string HistoryLink(const std::string& key, FrontKeyMode mode, LetterCase patternCase)
{
    if (mode == FrontKeyMode::Missing)
        return "/history";
    std::string shown = key;
    if (mode == FrontKeyMode::Empty)
        shown.clear();
    else if (mode == FrontKeyMode::Wrong)
        shown = "wrong" + key;
    return InLetterCase("/history?session=", patternCase) + shown;
}

std::string OtherLink(const char* path, const std::string& key, FrontKeyMode mode)
{
    if (mode == FrontKeyMode::Missing)
        return path;
    return std::string(path) + "?session=" + (mode == FrontKeyMode::Normal ? key : std::string());
}

// The menu bar that POPFile puts at the top of each page.
std::string MenuBar(const std::string& key, FrontKeyMode mode, LetterCase patternCase)
{
    return "<p class=\"menu\"><a href=\"" + HistoryLink(key, mode, patternCase) + "\">History</a> |\n"
           "<a href=\"" + OtherLink("/buckets", key, mode) + "\">Buckets</a> |\n"
           "<a href=\"" + OtherLink("/magnets", key, mode) + "\">Magnets</a> |\n"
           "<a href=\"" + OtherLink("/configuration", key, mode) + "\">Configuration</a></p>\n";
}

}  // namespace

std::string InLetterCase(const std::string& text, LetterCase letterCase)
{
    std::string out = text;
    bool upperNext = true;
    for (char& c : out) {
        bool lower = c >= 'a' && c <= 'z';
        bool upper = c >= 'A' && c <= 'Z';
        if (!lower && !upper)
            continue;
        bool makeUpper = letterCase == LetterCase::Upper ||
                         (letterCase == LetterCase::Mixed && upperNext);
        if (letterCase == LetterCase::AsIs)
            makeUpper = upper;
        c = makeUpper ? (lower ? static_cast<char>(c - 32) : c) : (upper ? static_cast<char>(c + 32) : c);
        upperNext = !upperNext;
    }
    return out;
}

std::string HtmlEscaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

const char* StatusText(int status)
{
    switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 302: return "Found";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 411: return "Length Required";
    case 413: return "Payload Too Large";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    case 505: return "HTTP Version Not Supported";
    default: return "Unknown";
    }
}

std::string BucketNameOnPage(const std::string& name, const StandinKnobs& knobs)
{
    return InLetterCase(name, knobs.bucketCase);
}

std::string FrontPage(const std::string& key, const StandinKnobs& knobs, size_t historyCount)
{
    std::string page = PageStart("POPFile Control Center");
    page += MenuBar(key, knobs.frontKey, knobs.patternCase);
    page += "<h1>POPFile Control Center</h1>\n";
    page += "<p>" + std::to_string(historyCount) + " messages in the history.</p>\n";
    page += "<p><a href=\"" + HistoryLink(key, knobs.frontKey, knobs.patternCase) +
            "\">Show the message history</a></p>\n";
    return page + PageEnd;
}

std::string BucketsPage(const std::string& key, const StandinKnobs& knobs,
                        const std::vector<std::string>& buckets, const std::vector<size_t>& counts)
{
    FrontKeyMode menuMode =
        knobs.bucketsPage == BucketsPageMode::NoSession ? FrontKeyMode::Missing : FrontKeyMode::Normal;
    std::string page = PageStart("POPFile Buckets");
    page += MenuBar(key, menuMode, knobs.patternCase);
    page += "<h1>Buckets</h1>\n<table class=\"buckets\">\n<tr><th>Bucket</th><th>Messages</th></tr>\n";
    if (knobs.bucketsPage == BucketsPageMode::NoBuckets) {
        page += "<tr><td colspan=\"2\">No buckets.</td></tr>\n";
    } else {
        // showbucket is the last parameter so that the name ends at the quote.
        std::string parameter = InLetterCase("showbucket=", knobs.patternCase);
        for (size_t row = 0; row < buckets.size(); ++row) {
            size_t i = knobs.bucketsReversed ? buckets.size() - 1 - row : row;
            std::string name = BucketNameOnPage(buckets[i], knobs);
            page += "<tr><td><a href=\"/buckets?session=" + key + "&amp;" + parameter + name + "\">" + name +
                    "</a></td><td>" + std::to_string(i < counts.size() ? counts[i] : 0) + "</td></tr>\n";
        }
    }
    page += "</table>\n";
    return page + PageEnd;
}

std::string HistoryPage(const std::string& key, const StandinKnobs& knobs,
                        const std::vector<HistoryEntry>& entries,
                        const std::vector<std::string>& buckets, const std::string& notice)
{
    std::string page = PageStart("POPFile History");
    page += MenuBar(key, FrontKeyMode::Normal, knobs.patternCase);
    page += "<h1>History</h1>\n";
    if (!notice.empty())
        page += "<p class=\"notice\">" + HtmlEscaped(notice) + "</p>\n";
    page += "<form action=\"/history\" method=\"post\">\n"
            "<input type=\"hidden\" name=\"session\" value=\"" + key + "\">\n"
            "<table class=\"history\">\n<tr><th>View</th><th>Message</th><th>Bucket</th><th>Reclassify</th></tr>\n";
    for (const HistoryEntry& entry : entries) {
        std::string n = std::to_string(entry.number);
        page += "<tr><td>" + n + "</td><td><a href=\"/jump_to_message?view=" + n + "\">" +
                HtmlEscaped(entry.spoolName) + "</a></td><td>" + BucketNameOnPage(entry.current, knobs) +
                "</td><td><select name=\"reclassify_" + n + "\">";
        for (const std::string& bucket : buckets) {
            std::string name = BucketNameOnPage(bucket, knobs);
            page += "<option value=\"" + name + "\">" + name + "</option>";
        }
        page += "</select></td></tr>\n";
    }
    page += "</table>\n<input type=\"submit\" name=\"change\" value=\"Reclassify\">\n</form>\n";
    return page + PageEnd;
}

std::string MessagePage(const std::string& key, const StandinKnobs& knobs,
                        const HistoryEntry& entry, const std::string& messageText)
{
    std::string page = PageStart("POPFile Message " + std::to_string(entry.number));
    page += MenuBar(key, FrontKeyMode::Normal, knobs.patternCase);
    page += "<h1>Message " + std::to_string(entry.number) + "</h1>\n";
    page += "<p>Classified as <b>" + BucketNameOnPage(entry.classified, knobs) + "</b>, now in <b>" +
            BucketNameOnPage(entry.current, knobs) + "</b>.</p>\n";
    page += "<pre class=\"message\">\n" + HtmlEscaped(messageText) + "</pre>\n";
    return page + PageEnd;
}

std::string ErrorPage(int status, const std::string& detail)
{
    std::string title = std::to_string(status) + " " + StatusText(status);
    std::string page = PageStart(title) + "<h1>" + title + "</h1>\n";
    if (!detail.empty())
        page += "<p>" + HtmlEscaped(detail) + "</p>\n";
    return page + PageEnd;
}

std::string LoginPage(void)
{
    return "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"UTF-8\">\n<title>POPFile Control Center</title>\n"
           "</head>\n<body>\n<h2 class=\"password\">Password</h2>\n"
           "<form action=\"/password\" method=\"post\">\n"
           "    <label class=\"passwordLabel\" for=\"thePassword\">Enter password:</label>\n"
           "    <input type=\"hidden\" name=\"redirect\" value=\"/\" />\n"
           "    <input type=\"password\" id=\"thePassword\" name=\"password\" />\n"
           "    <input type=\"submit\" class=\"submit\" name=\"submit\" value=\"Go!\" />\n"
           "</form>\n</body>\n</html>\n";
}
