#include "web_routes.h"

#include "form_fields.h"
#include "standin_state.h"
#include "web_pages.h"

#include <fstream>
#include <sstream>

namespace {

const char ReclassifyPrefix[] = "reclassify_";

HttpResponse ErrorResponse(int status, const std::string& detail)
{
    HttpResponse response;
    response.status = status;
    response.body = ErrorPage(status, detail);
    return response;
}

// The value of the first query parameter `name`, decoded; empty when absent.
std::string QueryValue(const std::string& query, const char* name)
{
    for (const FormField& field : ParseFormFields(query))
        if (field.name == name)
            return field.value;
    return std::string();
}

// A history number: 1 to 9 decimal digits, not 0. Returns it, or 0.
long ReadHistoryNumber(const std::string& text)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return std::stol(text);
}

// The listed bucket that `name` denotes, or empty.
std::string ListedBucket(const std::string& name, const StandinKnobs& knobs)
{
    for (const std::string& bucket : Rules().buckets)
        if (name == bucket || name == BucketNameOnPage(bucket, knobs))
            return bucket;
    return std::string();
}

std::vector<size_t> BucketCounts(const std::vector<HistoryEntry>& entries)
{
    std::vector<size_t> counts;
    for (const std::string& bucket : Rules().buckets) {
        size_t count = 0;
        for (const HistoryEntry& entry : entries)
            count += entry.current == bucket;
        counts.push_back(count);
    }
    return counts;
}

std::string ReadSpoolMessage(const std::string& spoolName)
{
    std::ifstream in(Options().spoolDir + "/" + spoolName, std::ios::binary);
    if (!in)
        return "(The message file is gone from the spool.)\n";
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool IsGone(long number, const StandinKnobs& knobs)
{
    for (long gone : knobs.goneViews)
        if (gone == number)
            return true;
    return false;
}

// The history entry that the query's "view" names while it is in the
// history (known and not gone); false otherwise.
bool FindViewedEntry(const HttpRequest& request, const StandinKnobs& knobs, HistoryEntry* entry)
{
    long number = ReadHistoryNumber(QueryValue(request.query, "view"));
    return number != 0 && !IsGone(number, knobs) && FindHistoryEntry(number, entry);
}

HttpResponse Redirect(const std::string& location)
{
    HttpResponse response;
    response.status = 302;
    response.extraHeaders = "Location: " + location + "\r\n";
    return response;
}

// As POPFile does: the message's link redirects to its page while the
// message is in the history, and to the history page once it is not.
HttpResponse AnswerJump(const HttpRequest& request, const StandinKnobs& knobs)
{
    HistoryEntry entry;
    if (!FindViewedEntry(request, knobs, &entry))
        return Redirect("/history");
    return Redirect("/view?session=" + Options().key + "&view=" + std::to_string(entry.number));
}

HttpResponse AnswerMessagePage(const HttpRequest& request, const StandinKnobs& knobs)
{
    HistoryEntry entry;
    if (!FindViewedEntry(request, knobs, &entry))
        return Redirect("/history");
    HttpResponse response;
    response.body = MessagePage(Options().key, knobs, entry, ReadSpoolMessage(entry.spoolName));
    return response;
}

HttpResponse AnswerHistory(const HttpRequest& request, const StandinKnobs& knobs)
{
    HttpResponse response;
    std::string notice;
    if (request.method == "POST")
        response.status = HandleReclassifyForm(request.body, Options().key, knobs, &notice);
    response.body = HistoryPage(Options().key, knobs, HistoryEntries(), Rules().buckets, notice);
    return response;
}

HttpResponse AnswerStandinPath(const HttpRequest& request)
{
    if (request.path != "/standin/records")
        return ErrorResponse(404, "Unknown stand-in page.");
    HttpResponse response;
    response.contentType = "text/plain; charset=UTF-8";
    response.body = RecordsText();
    return response;
}

// The page for a request whose method has been checked.
HttpResponse AnswerPage(const HttpRequest& request, const StandinKnobs& knobs)
{
    const std::string& path = request.path;
    if (request.method == "POST" && path != "/history") {
        HttpResponse response = ErrorResponse(405, "Only the history page takes a form.");
        response.extraHeaders = "Allow: GET, HEAD\r\n";
        return response;
    }
    if (path == "/")
        return {200, "text/html; charset=UTF-8", "", FrontPage(Options().key, knobs, HistoryEntries().size())};
    if (path == "/buckets") {
        std::vector<HistoryEntry> entries = HistoryEntries();
        return {200, "text/html; charset=UTF-8", "",
                BucketsPage(Options().key, knobs, Rules().buckets, BucketCounts(entries))};
    }
    if (path == "/history")
        return AnswerHistory(request, knobs);
    if (path == "/jump_to_message")
        return AnswerJump(request, knobs);
    if (path == "/view")
        return AnswerMessagePage(request, knobs);
    return ErrorResponse(404, "No such page.");
}

const StatusRule* FindStatusRule(const StandinKnobs& knobs, const std::string& path)
{
    for (const StatusRule& rule : knobs.statusRules)
        if (rule.path == path)
            return &rule;
    return nullptr;
}

}  // namespace

bool IsStandinPath(const std::string& path)
{
    return path.compare(0, 9, "/standin/") == 0;
}

int HandleReclassifyForm(const std::string& body, const std::string& key,
                         const StandinKnobs& knobs, std::string* notice)
{
    std::vector<FormField> fields = ParseFormFields(body);
    const FormField* session = nullptr;
    for (const FormField& field : fields)
        if (session == nullptr && field.name == "session")
            session = &field;
    if (session == nullptr || (session->value != key && session->rawValue != key)) {
        *notice = "The session key is missing or wrong; nothing was changed.";
        return 403;
    }
    std::vector<std::pair<long, std::string>> changes;
    for (const FormField& field : fields) {
        if (field.name.compare(0, sizeof ReclassifyPrefix - 1, ReclassifyPrefix) != 0)
            continue;
        long number = ReadHistoryNumber(field.name.substr(sizeof ReclassifyPrefix - 1));
        HistoryEntry entry;
        if (number == 0 || !FindHistoryEntry(number, &entry)) {
            *notice = "Unknown history number in " + field.name + "; nothing was changed.";
            return 400;
        }
        if (IsGone(number, knobs)) {
            // POPFile answers a correction of a purged message as any
            // other and records nothing.
            *notice = "History number " + std::to_string(number) + " is gone; nothing was changed.";
            return 200;
        }
        std::string bucket = ListedBucket(field.value, knobs);
        if (bucket.empty()) {
            *notice = "Unknown bucket " + field.value + "; nothing was changed.";
            return 400;
        }
        changes.push_back({number, bucket});
    }
    if (changes.empty()) {
        *notice = "Nothing to reclassify.";
        return 200;
    }
    if (ReclassifyEntries(changes) != 0) {
        *notice = "The records could not be written.";
        return 500;
    }
    *notice = "Reclassified " + std::to_string(changes.size()) + " message(s).";
    return 200;
}

HttpResponse AnswerRequest(const HttpRequest& request, const StandinKnobs& knobs)
{
    const std::string& method = request.method;
    if (method != "GET" && method != "HEAD" && method != "POST")
        return ErrorResponse(501, "Unknown method.");
    if (IsStandinPath(request.path))
        return AnswerStandinPath(request);
    const StatusRule* rule = FindStatusRule(knobs, request.path);
    if (rule != nullptr && rule->hold) {
        HttpResponse held = AnswerPage(request, knobs);
        held.held = true;
        return held;
    }
    if (rule != nullptr && rule->status == 0)
        return {0, "", "", "", false};  // dropped: the connection closes unanswered
    if (rule != nullptr && !rule->realBody)
        return ErrorResponse(rule->status, "Forced by the status knob.");
    if (knobs.password) {
        // As POPFile with a password: the login page in place of every
        // page, and no form is taken.
        HttpResponse login;
        login.status = 200;
        login.body = LoginPage();
        return login;
    }
    HttpResponse response = AnswerPage(request, knobs);
    if (rule != nullptr)
        response.status = rule->status;
    return response;
}
