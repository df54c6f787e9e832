// The host's 34 services, in the host's own export order: one line each
// with the name, the size of its stdcall arguments in bytes, its result
// type and its parameters. CALLED marks the nine that the plug-in calls,
// OTHER the rest (their parameters as 32-bit words). The one list from which
// the plug-in's service table (plugin/host_services.h), the .def files of
// programs that export the services (sortella_host_def in
// cmake/windows.cmake reads this file) and the host stand-in's unused
// services (standins/host/services.cpp) are made.
#pragma once

#define SORTELLA_HOST_SERVICES(CALLED, OTHER)                                          \
    CALLED(APARegistCallback, 8, DWORD, (HostCommandProc callback, DWORD value))       \
    CALLED(APASetTimer, 12, DWORD, (DWORD period, HostTimerProc callback, DWORD value)) \
    CALLED(APAKillTimer, 4, DWORD, (DWORD id))                                         \
    CALLED(APAIsBusy, 0, DWORD, (void))                                                \
    OTHER(APAExecPostwick, 4, DWORD, (DWORD))                                          \
    CALLED(APAGetMailbox, 0, const char *, (void))                                     \
    CALLED(APAGetAccount, 4, const char *, (HWND folderWindow))                        \
    OTHER(APAGetFolderName, 4, DWORD, (DWORD))                                         \
    OTHER(APAImportFile, 12, DWORD, (DWORD, DWORD, DWORD))                             \
    OTHER(APASaveMail, 16, DWORD, (DWORD, DWORD, DWORD, DWORD))                        \
    CALLED(APAMoveMail, 8, DWORD, (const char *entry, const char *destination))        \
    OTHER(APAMarkMail, 12, DWORD, (DWORD, DWORD, DWORD))                               \
    OTHER(APADeleteMail, 4, DWORD, (DWORD))                                            \
    OTHER(APAFolderGetCurrentFolder, 4, DWORD, (DWORD))                                \
    CALLED(APAFolderGetCurrentEntry, 4, const char *, (HWND folderWindow))             \
    OTHER(APAFolderGetSelectEntry, 8, DWORD, (DWORD, DWORD))                           \
    OTHER(APAFolderChangePassword, 8, DWORD, (DWORD, DWORD))                           \
    OTHER(APAFolderMailTo, 8, DWORD, (DWORD, DWORD))                                   \
    OTHER(APAFolderReply, 8, DWORD, (DWORD, DWORD))                                    \
    OTHER(APAFolderForward, 8, DWORD, (DWORD, DWORD))                                  \
    OTHER(APAFolderOpenMail, 12, DWORD, (DWORD, DWORD, DWORD))                         \
    OTHER(APASendGetText, 8, DWORD, (DWORD, DWORD))                                    \
    OTHER(APASendGetHeader, 4, DWORD, (DWORD))                                         \
    OTHER(APASendSetText, 8, DWORD, (DWORD, DWORD))                                    \
    OTHER(APASendSetHeader, 8, DWORD, (DWORD, DWORD))                                  \
    OTHER(APASendGetEditor, 4, DWORD, (DWORD))                                         \
    OTHER(APAViewGetText, 4, DWORD, (DWORD))                                           \
    OTHER(APAViewGetHeader, 4, DWORD, (DWORD))                                         \
    OTHER(APAViewSetText, 8, DWORD, (DWORD, DWORD))                                    \
    CALLED(APAViewGetPath, 4, const char *, (HWND viewWindow))                         \
    OTHER(APAViewGetEditor, 4, DWORD, (DWORD))                                         \
    OTHER(APAViewChangeMail, 8, DWORD, (DWORD, DWORD))                                 \
    OTHER(APASjisToJis, 12, DWORD, (DWORD, DWORD, DWORD))                              \
    OTHER(APAJisToSjis, 12, DWORD, (DWORD, DWORD, DWORD))
