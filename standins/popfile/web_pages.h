// The HTML pages of the stand-in's web interface. Pure text builders: the
// key, the knobs and the data come in as arguments.
//
// The patterns that the plug-in scans for are kept exact here: the history
// link "/history?session=" + key + '"' (first on every page that has it) and,
// on the bucket page after that link, "showbucket=" + name + '"' per bucket.
#pragma once

#include "standin_options.h"
#include "standin_state.h"

#include <string>
#include <vector>

// `text` with its ASCII letters in the given case (AsIs: unchanged; Mixed:
// upper and lower case alternating over the letters, starting upper).
std::string InLetterCase(const std::string& text, LetterCase letterCase);

// `text` with & < > " escaped for HTML.
std::string HtmlEscaped(const std::string& text);

// The reason phrase of a status code ("Not Found"), "Unknown" for others.
const char* StatusText(int status);

// A bucket's name as the pages write it (bucket-case knob).
std::string BucketNameOnPage(const std::string& name, const StandinKnobs& knobs);

// Front page: the menu links carry the key as the front-key knob says.
std::string FrontPage(const std::string& key, const StandinKnobs& knobs, size_t historyCount);

// Page "buckets": the menu (with the history link unless the knob removes
// it), then one row per bucket (none with the no-buckets knob). `counts`
// holds, per bucket, the history entries now in it.
std::string BucketsPage(const std::string& key, const StandinKnobs& knobs,
                        const std::vector<std::string>& buckets, const std::vector<size_t>& counts);

// History page: one row per entry, with the reclassification form. `notice`
// (plain text, may be empty) stands above the table.
std::string HistoryPage(const std::string& key, const StandinKnobs& knobs,
                        const std::vector<HistoryEntry>& entries,
                        const std::vector<std::string>& buckets, const std::string& notice);

// Page of one message: its buckets and its text as the spool file holds it.
std::string MessagePage(const std::string& key, const StandinKnobs& knobs,
                        const HistoryEntry& entry, const std::string& messageText);

// The login page that a web interface with a password shows in place of
// every page: a form posted to "/password", and no key anywhere.
std::string LoginPage(void);

// A small error page naming the status and, when not empty, a detail.
std::string ErrorPage(int status, const std::string& detail);
