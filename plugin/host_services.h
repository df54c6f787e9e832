// Binding of the host's exported services.
//
// The host exports 34 stdcall services from its executable under decorated
// names ("_APAMoveMail@8"). They are looked up once, at process attach, in
// the process's main module. Strings the host returns belong to the host:
// use them at once, never free them.
#pragma once
#include <windows.h>

typedef void(WINAPI *HostCommandProc)(HWND window, DWORD value);
typedef DWORD(WINAPI *HostTimerProc)(DWORD unused1, DWORD unused2);

struct HostServices {
    HMODULE HostModule; // host executable's module; NULL while unbound

    DWORD(WINAPI *APARegistCallback)(HostCommandProc callback, DWORD value);
    DWORD(WINAPI *APASetTimer)(DWORD period, HostTimerProc callback, DWORD value);
    DWORD(WINAPI *APAKillTimer)(DWORD id);
    DWORD(WINAPI *APAIsBusy)(void);
    DWORD(WINAPI *APAExecPostwick)(DWORD);
    const char *(WINAPI *APAGetMailbox)(void);
    const char *(WINAPI *APAGetAccount)(HWND folderWindow);
    DWORD(WINAPI *APAGetFolderName)(DWORD);
    DWORD(WINAPI *APAImportFile)(DWORD, DWORD, DWORD);
    DWORD(WINAPI *APASaveMail)(DWORD, DWORD, DWORD, DWORD);
    DWORD(WINAPI *APAMoveMail)(const char *entry, const char *destination);
    DWORD(WINAPI *APAMarkMail)(DWORD, DWORD, DWORD);
    DWORD(WINAPI *APADeleteMail)(DWORD);
    DWORD(WINAPI *APAFolderGetCurrentFolder)(DWORD);
    const char *(WINAPI *APAFolderGetCurrentEntry)(HWND folderWindow);
    DWORD(WINAPI *APAFolderGetSelectEntry)(DWORD, DWORD);
    DWORD(WINAPI *APAFolderChangePassword)(DWORD, DWORD);
    DWORD(WINAPI *APAFolderMailTo)(DWORD, DWORD);
    DWORD(WINAPI *APAFolderReply)(DWORD, DWORD);
    DWORD(WINAPI *APAFolderForward)(DWORD, DWORD);
    DWORD(WINAPI *APAFolderOpenMail)(DWORD, DWORD, DWORD);
    DWORD(WINAPI *APASendGetText)(DWORD, DWORD);
    DWORD(WINAPI *APASendGetHeader)(DWORD);
    DWORD(WINAPI *APASendSetText)(DWORD, DWORD);
    DWORD(WINAPI *APASendSetHeader)(DWORD, DWORD);
    DWORD(WINAPI *APASendGetEditor)(DWORD);
    DWORD(WINAPI *APAViewGetText)(DWORD);
    DWORD(WINAPI *APAViewGetHeader)(DWORD);
    DWORD(WINAPI *APAViewSetText)(DWORD, DWORD);
    const char *(WINAPI *APAViewGetPath)(HWND viewWindow);
    DWORD(WINAPI *APAViewGetEditor)(DWORD);
    DWORD(WINAPI *APAViewChangeMail)(DWORD, DWORD);
    DWORD(WINAPI *APASjisToJis)(DWORD, DWORD, DWORD);
    DWORD(WINAPI *APAJisToSjis)(DWORD, DWORD, DWORD);
};

extern HostServices Host;

// Looks up all 34 services in the main module, in the host's order.
// Returns 1 when every one was found (or when already bound), 0 otherwise;
// on failure HostModule is NULL and nothing may be called.
int BindHostServices(void);

// Marks the services unbound (HostModule NULL).
void UnbindHostServices(void);
