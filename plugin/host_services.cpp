#include "plugin/host_services.h"

HostServices Host;

namespace {

struct ServiceSlot {
    const char *decoratedName;
    FARPROC *slot;
};

// The host's own export order; the number is the stdcall argument size.
#define SORTELLA_SERVICE_SLOT(name, bytes, result, parameters) \
    {"_" #name "@" #bytes, reinterpret_cast<FARPROC *>(&Host.name)},
const ServiceSlot kServices[] = {SORTELLA_HOST_SERVICES(SORTELLA_SERVICE_SLOT, SORTELLA_SERVICE_SLOT)};
#undef SORTELLA_SERVICE_SLOT

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
