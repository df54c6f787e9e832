// The record of events and the transcript file; text conversions.
#include "standins/host/host.h"
#include "standins/host/host_internal.h"

#include <cstdio>

namespace {

std::vector<HostEvent> events;
FILE *transcript;

std::string Convert(const std::string &text, UINT from, UINT to)
{
    if (text.empty())
        return text;
    int wide = MultiByteToWideChar(from, 0, text.data(), (int)text.size(), NULL, 0);
    if (wide <= 0)
        return text;
    std::wstring buffer(wide, L'\0');
    MultiByteToWideChar(from, 0, text.data(), (int)text.size(), &buffer[0], wide);
    int bytes = WideCharToMultiByte(to, 0, buffer.data(), wide, NULL, 0, NULL, NULL);
    if (bytes <= 0)
        return text;
    std::string result(bytes, '\0');
    WideCharToMultiByte(to, 0, buffer.data(), wide, &result[0], bytes, NULL, NULL);
    return result;
}

// One event as transcript lines: "kind: first line", further lines indented.
void WriteToTranscript(const HostEvent &event)
{
    if (!transcript)
        return;
    std::string text = event.text;
    std::string out = event.kind + ": ";
    for (char c : text) {
        if (c == '\r')
            continue;
        out += c;
        if (c == '\n')
            out += "    ";
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == '\n'))
        out.pop_back();
    out += '\n';
    fputs(out.c_str(), transcript);
    fflush(transcript);
}

} // namespace

namespace hostrig {

void Record(const char *kind, const std::string &text, const std::string &raw,
            const std::string &extra, DWORD flags, DWORD result, HWND window)
{
    HostEvent event{kind, text, raw, extra, flags, result, window};
    events.push_back(event);
    WriteToTranscript(events.back());
}

std::string Hex(DWORD value)
{
    char text[16];
    snprintf(text, sizeof text, "0x%08lX", (unsigned long)value);
    return text;
}

} // namespace hostrig

const std::vector<HostEvent> &HostEvents(void)
{
    return events;
}

void HostClearEvents(void)
{
    events.clear();
}

std::vector<HostEvent> HostEventsOfKind(const char *kind, size_t from)
{
    std::vector<HostEvent> found;
    for (size_t i = from; i < events.size(); ++i)
        if (events[i].kind == kind)
            found.push_back(events[i]);
    return found;
}

void HostNote(const char *kind, const std::string &text)
{
    hostrig::Record(kind, text);
}

int HostTranscriptTo(const char *path)
{
    if (transcript)
        fclose(transcript);
    transcript = nullptr;
    if (!path)
        return 1;
    transcript = fopen(path, "wb");
    return transcript ? 1 : 0;
}

std::string HostSjisToUtf8(const std::string &sjis)
{
    return Convert(sjis, 932, CP_UTF8);
}

std::string HostUtf8ToSjis(const std::string &utf8)
{
    return Convert(utf8, CP_UTF8, 932);
}
