// What the web interface answers to one parsed request, and the handling of
// the reclassification form. Records change only through a valid form.
#pragma once

#include "http_request.h"
#include "standin_options.h"

#include <string>

struct HttpResponse {
    int status = 200;
    std::string contentType = "text/html; charset=UTF-8";
    std::string extraHeaders;  // complete header lines, each ending in CR LF
    std::string body;
    bool held = false;  // handled, and the answer is never sent (status knob "hold")
};

// Paths below /standin/ are the stand-in's own (records for tests): they are
// neither logged nor touched by the fault knobs.
bool IsStandinPath(const std::string& path);

// Answers a request. Status rules of `knobs` apply here (status 0: reset
// the connection without an answer); slowness and cut connections are the
// connection's matter.
HttpResponse AnswerRequest(const HttpRequest& request, const StandinKnobs& knobs);

// Handles the reclassification form text `body` against `key`: the first
// "session" field must hold the key (percent-escapes decoded, or as sent);
// every "reclassify_N" field must name a known history number N and a listed
// bucket (as the pages write it, or its own name). Then all changes are
// recorded at once; otherwise nothing is. Returns the status to answer
// (200, 400, 403, 500) and a one-line `notice` saying what happened.
int HandleReclassifyForm(const std::string& body, const std::string& key,
                         const StandinKnobs& knobs, std::string* notice);
