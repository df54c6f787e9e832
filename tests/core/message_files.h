// Test helpers: a fresh temporary directory per test and whole-file reads
// and writes of message files in it.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/printable.h"

class MessageFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/sortella-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory = pattern;
    }

    void TearDown() override { std::filesystem::remove_all(directory); }

    std::string PathOf(const std::string &name) const { return directory + "/" + name; }

    // Writes `bytes` as the file `name` of the directory; returns its path.
    std::string WriteFile(const std::string &name, const std::string &bytes) const
    {
        std::string path = PathOf(name);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), (std::streamsize)bytes.size());
        return path;
    }

    static std::string ReadFile(const std::string &path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    static bool Exists(const std::string &path) { return std::filesystem::exists(path); }

    std::string directory;
};
