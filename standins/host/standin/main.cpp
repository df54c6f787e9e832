// postwick-standin.exe: a Win32 program that loads Plugins\sortella.dll
// from its own directory as the mail client does, and runs a script of
// steps from its message loop, writing a UTF-8 transcript of every event.
//
//   postwick-standin.exe [--transcript FILE] [--script FILE] [STEP ARGS... [-- STEP ...]]
//
// Without --transcript the transcript is "transcript.txt" in the program's
// directory. Steps given on the command line run after those of the file.
// The program quits after the last step; its exit code is 0, or 2 when a
// step was not understood or the script file could not be read.
#include <windows.h>

#include "standins/host/host.h"
#include "standins/host/standin/script.h"

#include <shellapi.h>

namespace {

std::vector<std::vector<std::string>> steps;
size_t nextStep;
bool quitting;
int exitCode;

std::string ProgramDirectory()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string directory = path;
    return directory.substr(0, directory.rfind('\\') + 1);
}

std::string Utf8OfWide(const wchar_t *text)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
    if (bytes <= 1)
        return std::string();
    std::string result(bytes - 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &result[0], bytes, NULL, NULL);
    return result;
}

// The command line's words in UTF-8, without the program's name.
std::vector<std::string> ArgumentWords()
{
    std::vector<std::string> words;
    int count = 0;
    wchar_t **arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments)
        return words;
    for (int i = 1; i < count; ++i)
        words.push_back(Utf8OfWide(arguments[i]));
    LocalFree(arguments);
    return words;
}

// Runs one step per tick of a thread timer, from the program's own message
// loop. The timer is stopped while a step runs, so a step that runs a
// modal loop (a dialog, a wait) is never re-entered by the next one.
VOID CALLBACK RunNextStep(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(NULL, timer);
    if (quitting)
        return;
    // A box or dialog of the plug-in is up (from a posted command, say):
    // the script waits until its modal loop has ended.
    if (HostModalDepth() > 0) {
        SetTimer(NULL, 0, 50, RunNextStep);
        return;
    }
    if (nextStep >= steps.size() || HostQuitSeen()) {
        quitting = true;
        PostQuitMessage(0);
        return;
    }
    int result = RunScriptStep(steps, &nextStep);
    if (result < 0)
        exitCode = 2;
    if (result == 1) {
        quitting = true;
        PostQuitMessage(0);
        return;
    }
    SetTimer(NULL, 0, 10, RunNextStep);
}

// Takes "--transcript FILE" and "--script FILE" out of the words.
bool TakeOptions(std::vector<std::string> *words, std::string *transcript, std::string *script)
{
    std::vector<std::string> rest;
    for (size_t i = 0; i < words->size(); ++i) {
        const std::string &word = (*words)[i];
        if ((word == "--transcript" || word == "--script") && i + 1 < words->size()) {
            (word == "--script" ? *script : *transcript) = ScriptPath((*words)[++i]);
            continue;
        }
        rest.push_back(word);
    }
    *words = rest;
    return true;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    std::string directory = ProgramDirectory();
    SetProgramDirectory(directory);
    std::vector<std::string> words = ArgumentWords();
    std::string transcript = directory + "transcript.txt";
    std::string script;
    TakeOptions(&words, &transcript, &script);
    if (!HostTranscriptTo(transcript.c_str()))
        HostTranscriptTo((directory + "transcript.txt").c_str());
    HostNote("note", "postwick-standin in " + HostSjisToUtf8(directory) + ", code page " +
                         std::to_string(GetACP()));
    if (!script.empty() && !ReadScriptFile(script, &steps)) {
        HostNote("error", "script " + HostSjisToUtf8(script) + " cannot be read");
        exitCode = 2;
    }
    std::vector<std::vector<std::string>> more = StepsOfArguments(words);
    steps.insert(steps.end(), more.begin(), more.end());

    HostCloseDialogsLeftOpen(5000);
    SetTimer(NULL, 0, 10, RunNextStep);
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    HostShutdown();
    HostNote("note", "quit");
    HostTranscriptTo(nullptr);
    return exitCode;
}
