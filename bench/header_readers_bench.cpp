// Header readers on messages of 2 KB, 200 KB and 5 MB that share one header
// block (CR LF line ends, POPFile's two lines at its end), next to the floor
// of opening the file, reading its header block once and closing it. A
// reader's time should not grow with the body and should stay near the
// floor: it reads no further than the header block's end (in 4 KB blocks).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "mailstore/header_reader.h"

namespace {

const char HeaderBlock[] =
    "Return-Path: <sender@example.com>\r\n"
    "Received: from mail.example.com (mail.example.com [192.0.2.10])\r\n"
    "\tby mx.example.net (Postfix) with ESMTPS id 4F1A2B3C4D\r\n"
    "\tfor <user@example.net>; Mon, 2 Jun 2025 09:14:07 +0900 (JST)\r\n"
    "Received: from [192.0.2.33] (client.example.com [192.0.2.33])\r\n"
    "\tby mail.example.com (Postfix) with ESMTPSA id 9E8D7C6B5A\r\n"
    "\tfor <user@example.net>; Mon, 2 Jun 2025 09:14:05 +0900 (JST)\r\n"
    "DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=example.com; s=mail;\r\n"
    "\tt=1748823245; bh=2jUSOH9NhtVGCQWNr9BrIAPreKQjO6Sn7XIkfJVOzv8=;\r\n"
    "\th=Date:From:To:Subject:From;\r\n"
    "\tb=Qm9keSBvZiB0aGUgc2lnbmF0dXJlIGdvZXMgaGVyZSwgYSBmZXcgaHVuZHJlZCBieXRlcyBs\r\n"
    "\t b25nIGFuZCBmb2xkZWQgb3ZlciBzZXZlcmFsIGxpbmVzIGxpa2UgdGhpcyBvbmUgaXMu\r\n"
    "Message-ID: <20250602091405.12345@client.example.com>\r\n"
    "Date: Mon, 2 Jun 2025 09:14:05 +0900\r\n"
    "From: =?ISO-2022-JP?B?GyRCO1RGYhsoQg==?= <sender@example.com>\r\n"
    "To: user@example.net\r\n"
    "Subject: =?ISO-2022-JP?B?GyRCJDMkcyRLJEEkTxsoQg==?=\r\n"
    " =?ISO-2022-JP?B?GyRCOiNGfCROMnEkRxsoQg==?=\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: text/plain; charset=ISO-2022-JP\r\n"
    "Content-Transfer-Encoding: 7bit\r\n"
    "List-Unsubscribe: <mailto:leave@example.com?subject=unsubscribe>\r\n"
    "X-Mailer: Example Mailer 4.2\r\n"
    "X-Text-Classification: spam\r\n"
    "X-POPFile-Link: http://127.0.0.1:8080/jump_to_message?view=1234\r\n"
    "\r\n";
const size_t HeaderBlockSize = sizeof HeaderBlock - 1;

const size_t MessageSizes[] = {2 * 1024, 200 * 1024, 5 * 1024 * 1024};

std::string directory;
std::string messagePaths[3];

// Writes the three messages once; the benchmarks then read them from the
// page cache.
void MakeMessages()
{
    if (!directory.empty())
        return;
    char pattern[] = "/tmp/sortella-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        abort();
    directory = pattern;
    const std::string bodyLine = "This is a line of the body of the message, seventy-odd bytes.\r\n";
    for (int i = 0; i < 3; i++) {
        std::string message = HeaderBlock;
        while (message.size() + bodyLine.size() <= MessageSizes[i])
            message += bodyLine;
        message.resize(MessageSizes[i], '.');
        messagePaths[i] = directory + "/" + std::to_string(i) + ".PWK";
        FILE *file = fopen(messagePaths[i].c_str(), "wb");
        fwrite(message.data(), 1, message.size(), file);
        fclose(file);
    }
}

void SetUpMessage(benchmark::State &state)
{
    MakeMessages();
    state.SetLabel(std::to_string(MessageSizes[state.range(0)] / 1024) + " KB");
}

void BM_Floor(benchmark::State &state)
{
    SetUpMessage(state);
    const char *path = messagePaths[state.range(0)].c_str();
    char block[sizeof HeaderBlock];
    for (auto _ : state) {
        FILE *file = fopen(path, "rb");
        size_t got = fread(block, 1, HeaderBlockSize, file);
        fclose(file);
        benchmark::DoNotOptimize(got);
    }
}

void BM_ReadHeaderLine_Classification(benchmark::State &state)
{
    SetUpMessage(state);
    const char *path = messagePaths[state.range(0)].c_str();
    char buffer[201];
    for (auto _ : state) {
        char *value = ReadHeaderLine(path, "X-Text-Classification:", buffer, sizeof buffer);
        if (value == nullptr)
            state.SkipWithError("not found");
        benchmark::DoNotOptimize(value);
    }
}

void BM_ReadHeaderLine_Link(benchmark::State &state)
{
    SetUpMessage(state);
    const char *path = messagePaths[state.range(0)].c_str();
    static char buffer[4096];
    for (auto _ : state) {
        char *value = ReadHeaderLine(path, "X-POPFile-Link:", buffer, sizeof buffer);
        if (value == nullptr)
            state.SkipWithError("not found");
        benchmark::DoNotOptimize(value);
    }
}

void BM_ReadHeaderLine_Absent(benchmark::State &state)
{
    SetUpMessage(state);
    const char *path = messagePaths[state.range(0)].c_str();
    char buffer[201];
    for (auto _ : state)
        benchmark::DoNotOptimize(ReadHeaderLine(path, "X-Absent:", buffer, sizeof buffer));
}

void BM_ReadUnfoldedHeader_From(benchmark::State &state)
{
    SetUpMessage(state);
    const char *path = messagePaths[state.range(0)].c_str();
    for (auto _ : state) {
        char *value = ReadUnfoldedHeader(path, "From:");
        if (value == nullptr)
            state.SkipWithError("not found");
        free(value);
    }
}

void BM_ReadUnfoldedHeader_Subject(benchmark::State &state)
{
    SetUpMessage(state);
    const char *path = messagePaths[state.range(0)].c_str();
    for (auto _ : state) {
        char *value = ReadUnfoldedHeader(path, "Subject:");
        if (value == nullptr)
            state.SkipWithError("not found");
        free(value);
    }
}

void BM_ReadUnfoldedHeader_Absent(benchmark::State &state)
{
    SetUpMessage(state);
    const char *path = messagePaths[state.range(0)].c_str();
    for (auto _ : state)
        free(ReadUnfoldedHeader(path, "X-Absent:"));
}

BENCHMARK(BM_Floor)->DenseRange(0, 2);
BENCHMARK(BM_ReadHeaderLine_Classification)->DenseRange(0, 2);
BENCHMARK(BM_ReadHeaderLine_Link)->DenseRange(0, 2);
BENCHMARK(BM_ReadHeaderLine_Absent)->DenseRange(0, 2);
BENCHMARK(BM_ReadUnfoldedHeader_From)->DenseRange(0, 2);
BENCHMARK(BM_ReadUnfoldedHeader_Subject)->DenseRange(0, 2);
BENCHMARK(BM_ReadUnfoldedHeader_Absent)->DenseRange(0, 2);

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!directory.empty())
        std::filesystem::remove_all(directory);
    return 0;
}
