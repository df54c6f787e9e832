// Small text helpers of the POPFile stand-in.
#pragma once
#include <string>
#include <vector>

// `text` without the bytes of `blanks` at its start and end.
std::string TrimBlanks(const std::string& text, const char* blanks = " \t");

// The lines of a settings text (split at LF, each trimmed of blanks, tabs
// and a CR), with their numbers from 1; empty lines and lines starting
// with '#' are left out.
struct TextLine {
    int number;
    std::string text;
};
std::vector<TextLine> SettingLines(const std::string& text);
