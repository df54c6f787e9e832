// Runs a fuzz target's entry over the files named on the command line (a
// directory stands for all its files): the seed corpus and the inputs kept
// from earlier crashes, replayed by the ordinary test command and with any
// compiler. A failing input aborts with the sanitizers' report; its name is
// printed first.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv)
{
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; i++) {
        if (std::filesystem::is_directory(argv[i])) {
            for (const auto &entry : std::filesystem::directory_iterator(argv[i]))
                if (entry.is_regular_file())
                    inputs.push_back(entry.path().string());
        } else {
            inputs.push_back(argv[i]);
        }
    }
    std::sort(inputs.begin(), inputs.end());
    if (inputs.empty()) {
        fprintf(stderr, "no inputs\n");
        return 1;
    }
    for (const std::string &input : inputs) {
        fprintf(stderr, "%s\n", input.c_str());
        std::ifstream in(input, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    fprintf(stderr, "%zu inputs passed\n", inputs.size());
    return 0;
}
