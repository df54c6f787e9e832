// The 34 services the host exports to plug-ins (stdcall; the executable's
// .def exports them as "_APAMoveMail@8" and so on). The nine that the
// plug-in calls do real work; the others answer 0 (or an empty text) and
// record that they were called.
#include "standins/host/host.h"
#include "standins/host/host_internal.h"

namespace {

void RecordUnused(const char *name)
{
    hostrig::Record("service", std::string(name) + " called (not provided; answered 0)");
}

} // namespace

extern "C" {

DWORD WINAPI APARegistCallback(hostrig::CommandProc callback, DWORD value)
{
    return hostrig::EnrolCommand(callback, value);
}

DWORD WINAPI APASetTimer(DWORD period, hostrig::TimerProc callback, DWORD value)
{
    return hostrig::StartServiceTimer(period, callback, value);
}

DWORD WINAPI APAKillTimer(DWORD id)
{
    return hostrig::KillServiceTimer(id);
}

DWORD WINAPI APAIsBusy(void)
{
    return hostrig::ServiceBusy() ? 1 : 0;
}

const char *WINAPI APAGetMailbox(void)
{
    return HostMailbox();
}

// The account directory of a folder window; "" for any other window.
const char *WINAPI APAGetAccount(HWND folderWindow)
{
    hostrig::FolderRecord *folder = hostrig::FindFolder(folderWindow);
    return folder ? folder->accountPath.c_str() : "";
}

DWORD WINAPI APAMoveMail(const char *entry, const char *destination)
{
    return hostrig::MoveMessage(entry, destination);
}

const char *WINAPI APAFolderGetCurrentEntry(HWND folderWindow)
{
    hostrig::FolderRecord *folder = hostrig::FindFolder(folderWindow);
    return folder && folder->hasEntry ? folder->entry.c_str() : nullptr;
}

// The path shown in a view window; "" (never null) for any other window.
const char *WINAPI APAViewGetPath(HWND viewWindow)
{
    hostrig::ViewRecord *view = hostrig::FindView(viewWindow);
    return view ? view->path.c_str() : "";
}

#define UNUSED_SERVICE(name, ...)  \
    DWORD WINAPI name(__VA_ARGS__) \
    {                              \
        RecordUnused(#name);       \
        return 0;                  \
    }
UNUSED_SERVICE(APAExecPostwick, DWORD)
UNUSED_SERVICE(APAGetFolderName, DWORD)
UNUSED_SERVICE(APAImportFile, DWORD, DWORD, DWORD)
UNUSED_SERVICE(APASaveMail, DWORD, DWORD, DWORD, DWORD)
UNUSED_SERVICE(APAMarkMail, DWORD, DWORD, DWORD)
UNUSED_SERVICE(APADeleteMail, DWORD)
UNUSED_SERVICE(APAFolderGetCurrentFolder, DWORD)
UNUSED_SERVICE(APAFolderGetSelectEntry, DWORD, DWORD)
UNUSED_SERVICE(APAFolderChangePassword, DWORD, DWORD)
UNUSED_SERVICE(APAFolderMailTo, DWORD, DWORD)
UNUSED_SERVICE(APAFolderReply, DWORD, DWORD)
UNUSED_SERVICE(APAFolderForward, DWORD, DWORD)
UNUSED_SERVICE(APAFolderOpenMail, DWORD, DWORD, DWORD)
UNUSED_SERVICE(APASendGetText, DWORD, DWORD)
UNUSED_SERVICE(APASendGetHeader, DWORD)
UNUSED_SERVICE(APASendSetText, DWORD, DWORD)
UNUSED_SERVICE(APASendSetHeader, DWORD, DWORD)
UNUSED_SERVICE(APASendGetEditor, DWORD)
UNUSED_SERVICE(APAViewGetText, DWORD)
UNUSED_SERVICE(APAViewGetHeader, DWORD)
UNUSED_SERVICE(APAViewSetText, DWORD, DWORD)
UNUSED_SERVICE(APAViewGetEditor, DWORD)
UNUSED_SERVICE(APAViewChangeMail, DWORD, DWORD)
UNUSED_SERVICE(APASjisToJis, DWORD, DWORD, DWORD)
UNUSED_SERVICE(APAJisToSjis, DWORD, DWORD, DWORD)
#undef UNUSED_SERVICE

} // extern "C"

namespace hostrig {

int ServicesLinked(void)
{
    return 34;
}

} // namespace hostrig
