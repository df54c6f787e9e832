// The stand-in program's script: steps that drive the host without a
// person. One step a line (a file) or one step per command-line argument
// group; see RunScriptStep for the language. Texts are UTF-8 and become
// Shift_JIS where they reach the plug-in.
#pragma once
#include <string>
#include <vector>

// Splits a script line into words: blanks separate, double quotes group
// (a doubled quote inside is one quote); "#" at a word start begins a
// comment. Returns no words for an empty or comment line.
std::vector<std::string> SplitScriptLine(const std::string &line);

// Reads a script file (UTF-8, LF or CR LF) into lines of words, dropping
// empty and comment lines. Returns false when the file cannot be read.
bool ReadScriptFile(const std::string &path, std::vector<std::vector<std::string>> *steps);

// Turns command-line words into steps: a word "--" or ";" ends a step;
// without separators every word that names a step (dialog steps included)
// begins a new one, so an argument that is such a word needs separators.
std::vector<std::vector<std::string>> StepsOfArguments(const std::vector<std::string> &words);

// Sets where the program lives (its directory holds Plugins\sortella.dll).
void SetProgramDirectory(const std::string &directory);

// Runs the step at `*next` of `steps` and advances `*next` past it (a
// "setup"/"about" step takes its dialog steps up to "end" with it).
// Returns 0 when the step ran (a failure of the host or plug-in is
// reported in the transcript and the script goes on), 1 for "quit",
// -1 for a step that is not understood (reported, the script goes on).
int RunScriptStep(const std::vector<std::vector<std::string>> &steps, size_t *next);

// Windows path of a step argument: "/x/y" becomes "Z:\x\y"; Shift_JIS.
std::string ScriptPath(const std::string &utf8);
