// The 34 services the host exports to plug-ins (stdcall; the executable's
// .def exports them as "_APAMoveMail@8" and so on). The nine that the
// plug-in calls do real work; the others answer 0 (or an empty text) and
// record that they were called.
#include "standins/host/host.h"
#include "standins/host/host_internal.h"
#include "plugin/host_service_list.h"

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

#define SORTELLA_CALLED_SERVICE(name, bytes, result, parameters)
#define SORTELLA_UNUSED_SERVICE(name, bytes, result, parameters) \
    result WINAPI name parameters                                 \
    {                                                             \
        RecordUnused(#name);                                      \
        return 0;                                                 \
    }
SORTELLA_HOST_SERVICES(SORTELLA_CALLED_SERVICE, SORTELLA_UNUSED_SERVICE)
#undef SORTELLA_CALLED_SERVICE
#undef SORTELLA_UNUSED_SERVICE

} // extern "C"

namespace hostrig {

int ServicesLinked(void)
{
#define SORTELLA_COUNT_SERVICE(name, bytes, result, parameters) +1
    return 0 SORTELLA_HOST_SERVICES(SORTELLA_COUNT_SERVICE, SORTELLA_COUNT_SERVICE);
#undef SORTELLA_COUNT_SERVICE
}

} // namespace hostrig
