// Fuzz target of the HTTP answer reader, which reads bytes that whatever
// listens on POPFile's port controls. Input: one byte of settings (bits
// 0-1: read until the status line, the headers or the body's end; bit 2:
// the connection ends after the bytes; bits 3-7: the piece size, 1-32, in
// which the bytes are handed over), then the answer's bytes. However the
// bytes are cut into pieces, the reader must come to the same result, and
// nothing it keeps may exceed its limits.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "classifier/http_wire.h"

namespace {

const size_t kBodyLimit = 4096;

struct Outcome {
    int result;
    int status;
    std::string location;
    std::string body;
    bool bodyCut;
    bool complete;
};

Outcome Read(HttpReadUntil until, const uint8_t *data, size_t size, size_t piece, bool closes)
{
    HttpAnswerReader reader;
    StartHttpAnswer(&reader, until, kBodyLimit);
    int result = HttpAnswerMore;
    for (size_t at = 0; at < size && result == HttpAnswerMore; at += piece) {
        size_t take = size - at < piece ? size - at : piece;
        result = ReadHttpAnswer(&reader, reinterpret_cast<const char *>(data) + at, take);
    }
    if (result == HttpAnswerMore && closes)
        result = EndHttpAnswer(&reader);
    return Outcome{result, reader.status, reader.location, reader.body, reader.bodyCut, reader.complete};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    HttpReadUntil until = static_cast<HttpReadUntil>(data[0] % 3);
    bool closes = (data[0] & 4) != 0;
    size_t piece = (data[0] >> 3) + 1;
    Outcome whole = Read(until, data + 1, size - 1, size, closes);
    Outcome pieces = Read(until, data + 1, size - 1, piece, closes);
    if (whole.result != pieces.result)
        abort();
    if (whole.result != HttpAnswerDone)
        return 0;
    if (whole.status != pieces.status || whole.location != pieces.location || whole.body != pieces.body ||
        whole.bodyCut != pieces.bodyCut || whole.complete != pieces.complete)
        abort();
    if (whole.status < 200 || whole.status > 999 || whole.location.size() > 2047 || whole.body.size() > kBodyLimit)
        abort();
    if (whole.bodyCut && whole.body.size() != kBodyLimit)
        abort();
    return 0;
}
