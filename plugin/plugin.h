// The plug-in frame: module-level state shared with the other subsystems.
#pragma once
#include <windows.h>

// Shift_JIS constant; lives as long as the module.
extern const char PluginName[];

// This module's instance handle; the resource module of dialogs 100, 101, 103.
extern HINSTANCE InstanceHandle;

// Command id of the filing command, enrolled with the host at start-up.
extern DWORD FilingCommandId;

// Runs `body` and returns its result; if it throws, returns `failure`
// instead, so that no C++ exception ever unwinds into the host.
template <typename Result, typename Body>
Result GuardHostCall(Result failure, Body body) noexcept
{
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

template <typename Body>
void GuardHostCall(Body body) noexcept
{
    try {
        body();
    } catch (...) {
    }
}
