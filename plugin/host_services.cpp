#include "plugin/host_services.h"

HostServices Host;

namespace {

struct ServiceSlot {
    const char *decoratedName;
    FARPROC *slot;
};

// The host's own export order; the number is the stdcall argument size.
#define SLOT(name, bytes) {"_" #name "@" #bytes, reinterpret_cast<FARPROC *>(&Host.name)}
const ServiceSlot kServices[] = {
    SLOT(APARegistCallback, 8),        SLOT(APASetTimer, 12),
    SLOT(APAKillTimer, 4),             SLOT(APAIsBusy, 0),
    SLOT(APAExecPostwick, 4),          SLOT(APAGetMailbox, 0),
    SLOT(APAGetAccount, 4),            SLOT(APAGetFolderName, 4),
    SLOT(APAImportFile, 12),           SLOT(APASaveMail, 16),
    SLOT(APAMoveMail, 8),              SLOT(APAMarkMail, 12),
    SLOT(APADeleteMail, 4),            SLOT(APAFolderGetCurrentFolder, 4),
    SLOT(APAFolderGetCurrentEntry, 4), SLOT(APAFolderGetSelectEntry, 8),
    SLOT(APAFolderChangePassword, 8),  SLOT(APAFolderMailTo, 8),
    SLOT(APAFolderReply, 8),           SLOT(APAFolderForward, 8),
    SLOT(APAFolderOpenMail, 12),       SLOT(APASendGetText, 8),
    SLOT(APASendGetHeader, 4),         SLOT(APASendSetText, 8),
    SLOT(APASendSetHeader, 8),         SLOT(APASendGetEditor, 4),
    SLOT(APAViewGetText, 4),           SLOT(APAViewGetHeader, 4),
    SLOT(APAViewSetText, 8),           SLOT(APAViewGetPath, 4),
    SLOT(APAViewGetEditor, 4),         SLOT(APAViewChangeMail, 8),
    SLOT(APASjisToJis, 12),            SLOT(APAJisToSjis, 12),
};
#undef SLOT

} // namespace

int BindHostServices(void)
{
    if (Host.HostModule)
        return 1;
    HMODULE module = GetModuleHandleA(NULL);
    if (!module)
        return 0;
    for (const ServiceSlot &service : kServices) {
        FARPROC address = GetProcAddress(module, service.decoratedName);
        if (!address)
            return 0;
        *service.slot = address;
    }
    Host.HostModule = module;
    return 1;
}

void UnbindHostServices(void)
{
    Host.HostModule = NULL;
}
