// Fuzz-target helpers: a scratch directory of the process's own (below
// $TMPDIR, else /tmp), removed at exit, and whole-file reads and writes that
// bypass the file-operation layer, so they are never counted by its fault
// seam.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

struct ScratchDirectory {
    std::string path;
    ScratchDirectory()
    {
        const char *base = getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/sortella-fuzz-XXXXXX";
        if (mkdtemp(&pattern[0]) == nullptr)
            abort();
        path = pattern;
    }
    ~ScratchDirectory() { std::filesystem::remove_all(path); }
};

inline const std::string &ScratchPath()
{
    static ScratchDirectory directory;
    return directory.path;
}

inline std::string ScratchFile(const char *name) { return ScratchPath() + "/" + name; }

inline void WriteWholeFile(const std::string &path, const std::string &bytes)
{
    FILE *file = fopen(path.c_str(), "wb");
    if (file == nullptr)
        abort();
    if (fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || fclose(file) != 0)
        abort();
}

inline std::string ReadWholeFile(const std::string &path)
{
    std::string bytes;
    FILE *file = fopen(path.c_str(), "rb");
    if (file == nullptr)
        return bytes;
    char block[4096];
    size_t got;
    while ((got = fread(block, 1, sizeof block, file)) > 0)
        bytes.append(block, got);
    fclose(file);
    return bytes;
}

// The bytes with every CR that directly precedes an LF removed: a file as
// the C library's text mode on Windows presents it.
inline std::string FoldCrLf(const std::string &bytes)
{
    std::string folded;
    for (size_t i = 0; i < bytes.size(); i++) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            continue;
        folded += bytes[i];
    }
    return folded;
}
