// The body of POPFile's history form that reclassifies one message.
#pragma once
#include <string>

// Appends `text` to `out` with every byte outside A-Z a-z 0-9 - _ . ~
// written as %XX (upper-case hex).
void AppendPercentEncoded(std::string &out, const char *text);

// "search=&sort=-inserted&session=KEY&negate=&start_message=0&filter=
// &reclassify_VIEW=BUCKET&change=%BA%C6%CA%AC%CE%E0", key and bucket
// percent-encoded.
std::string ReclassificationBody(const char *uiKey, int viewId, const char *bucket);
