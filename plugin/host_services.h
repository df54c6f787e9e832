// Binding of the host's exported services: the bottom layer, which every
// part of the plug-in that calls the host includes.
//
// The host exports 34 stdcall services from its executable under decorated
// names ("_APAMoveMail@8"). They are looked up once, at process attach, in
// the process's main module. Strings the host returns belong to the host:
// use them at once, never free them.
#pragma once
#include <windows.h>

#include "plugin/host_service_list.h"

typedef void(WINAPI *HostCommandProc)(HWND window, DWORD value);
typedef DWORD(WINAPI *HostTimerProc)(DWORD unused1, DWORD unused2);

#define SORTELLA_SERVICE_POINTER(name, bytes, result, parameters) result(WINAPI *name) parameters;
struct HostServices {
    HMODULE HostModule; // host executable's module; NULL while unbound
    SORTELLA_HOST_SERVICES(SORTELLA_SERVICE_POINTER, SORTELLA_SERVICE_POINTER)
};
#undef SORTELLA_SERVICE_POINTER

extern HostServices Host;

// Looks up all 34 services in the main module, in the host's order.
// Returns 1 when every one was found (or when already bound), 0 otherwise;
// on failure HostModule is NULL and nothing may be called.
int BindHostServices(void);

// Marks the services unbound (HostModule NULL).
void UnbindHostServices(void);
