// The summary's subject text (decoding, conversion to Shift_JIS, the cut)
// on header values of 0.2, 1 and 4 MB made only of encoded words, next to
// DecodeEncodedWords on the same text. Both must grow linearly with the
// text, and the summary should stay within twice the decoder's time. Two
// shapes: the one-letter UTF-8 Q words of a spam Subject (one adjacent run)
// and Japanese UTF-8 B words with a blank between them (a run each).
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "filing/summary_text.h"
#include "mailstore/encoded_words.h"

namespace {

const char *const Shapes[] = {"=?UTF-8?Q?a?=", "=?UTF-8?B?5pel5pys6Kqe?= "};
const size_t Sizes[] = {200 * 1000, 1000 * 1000, 4000 * 1000};

std::string HeaderValue(int shape, size_t size)
{
    std::string word = Shapes[shape];
    std::string text;
    text.reserve(size + word.size());
    while (text.size() + word.size() <= size)
        text += word;
    return text;
}

template <typename Step>
void Run(benchmark::State &state, Step step)
{
    std::string value = HeaderValue(static_cast<int>(state.range(0)), Sizes[state.range(1)]);
    std::vector<char> text(value.size() + 1);
    for (auto _ : state) {
        memcpy(text.data(), value.c_str(), value.size() + 1);
        step(text.data());
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(value.size()));
}

void Decoder(benchmark::State &state)
{
    Run(state, [](char *text) { DecodeEncodedWords(text); });
}

void SummarySubject(benchmark::State &state)
{
    Run(state, [](char *text) { SubjectForSummary(text, 26); });
}

void Arguments(benchmark::internal::Benchmark *benchmark)
{
    for (int shape = 0; shape < 2; ++shape)
        for (int size = 0; size < 3; ++size)
            benchmark->Args({shape, size});
    benchmark->ArgNames({"shape", "size"})->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(Decoder)->Apply(Arguments);
BENCHMARK(SummarySubject)->Apply(Arguments);

BENCHMARK_MAIN();
