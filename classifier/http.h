// Blocking HTTP towards POPFile's web interface (WinInet, agent "sortella").
#pragma once
#include <string>

// Fetches `url`, bypassing any cache, appending the body to `response` (as
// text: each chunk up to its first NUL). Returns the number of body bytes
// read, or -1 when the session or the URL cannot be opened.
int HttpGet(const char *url, std::string &response);

// Posts `body` to the path of `url` (its query is not sent), without a
// Content-Type header. Returns 0 when sent, -1 on any failure.
int HttpPost(const char *url, const std::string &body);

// Asks for `url` once, bypassing any cache and without following a
// redirect: POPFile answers a message's jump link with a redirect whose
// target tells whether the message is still in its history. Stores the
// Location header's value in `location` (empty when the answer has none or
// it is longer than 2047 bytes) and returns the HTTP status (302 for
// POPFile's redirect), 0 when no status could be read, or -1 when the
// session or the URL cannot be opened. The body is read and dropped.
int HttpGetStatus(const char *url, std::string &location);
