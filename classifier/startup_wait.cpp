// The start-up wait: one probe of POPFile's proxy at a folder window's
// creation and, when it does not answer, a small modal dialog (template
// 103) that probes again on every tick of a host timer until the proxy
// accepts a connection or the user cancels.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "classifier/http_wire.h"
#include "classifier/net.h"
#include "classifier/startup_wait.h"
#include "plugin/host_guard.h"
#include "plugin/host_services.h"
#include "plugin/resource.h"
#include "settings/settings.h"

namespace {

// Set by ArmStartupWait; cleared just before the wait dialog is shown, so
// that a process waits at most once.
int WaitArmed;

const DWORD kProbePeriod = 100; // in the host's timer unit
const size_t kFileNameExtra = 30; // room for "account.ini" and its NUL
const int kProfileValueSize = 512;

// How long the first probe, at the folder window's creation, waits for the
// proxy to accept, in ms, before the wait dialog is shown: a POPFile that
// runs accepts within milliseconds, on this machine or across a LAN. The
// ticks of the dialog do not wait at all; an attempt under way is looked
// at again at the next tick.
const uint32_t kConnectWaitMs = 800;

// What the probes remember for the whole process; all of it belongs to the
// account of the folder window for which it was first read.
HWND FolderWindow;         // last nonzero window given to ProbeClassifier
int ConnectValue = -1;     // the account's "Connect"; negative: not read yet
int ProxyPort;             // the account's "POP3Port"; 0: not read yet
char ProxyHost[kProfileValueSize]; // the account's "POP3Server"

HWND WaitDialog; // the wait dialog while it is up, else NULL

// Reads `key` of section "Property" of the account file of `window` into
// `value` (512 bytes, empty when missing). 0 when the file name cannot be
// built (the host names no account directory, or no memory), 1 otherwise.
int ReadAccountValue(HWND window, const char *key, char *value)
{
    const char *account = Host.APAGetAccount(window);
    if (!account)
        return 0;
    size_t nameSize = strlen(account) + kFileNameExtra;
    char *fileName = static_cast<char *>(malloc(nameSize));
    if (!fileName)
        return 0;
    snprintf(fileName, nameSize, "%s%s", account, "account.ini");
    GetPrivateProfileStringA("Property", key, "", value, kProfileValueSize, fileName);
    free(fileName);
    return 1;
}

// The account's "Connect" integer; 0 (do not probe) when missing or when
// the file name cannot be built.
int ReadConnectSetting(HWND window)
{
    char value[kProfileValueSize];
    if (!ReadAccountValue(window, "Connect", value))
        return 0;
    return ReadIntegerText(value);
}

// Fills `host` (512 bytes) with "POP3Server" and returns the "POP3Port"
// integer; 0 when missing or when the file name cannot be built.
int ReadProxyEndpoint(char *host, HWND window)
{
    if (!ReadAccountValue(window, "POP3Port", host))
        return 0;
    int port = ReadIntegerText(host);
    if (!ReadAccountValue(window, "POP3Server", host))
        return 0;
    return port;
}

// The proxy's address, looked up once per process: a name lookup blocks
// the host's thread for as long as the resolver takes (seconds when a DNS
// server does not answer), which a tick of the wait may not. A name that
// did not resolve stays unresolved for the process. `host` is ProxyHost,
// which does not change once read. Needs NetStart.
int ProxyAddressState; // 0: not looked up yet; 1: ProxyAddress holds it; -1: does not resolve
uint32_t ProxyAddress;

int ResolveProxyOnce(const char *host, uint32_t *address)
{
    if (ProxyAddressState == 0) {
        bool found = NumericIpv4Host(host, &ProxyAddress) == 0 || NetLookupIpv4(host, &ProxyAddress) == 0;
        ProxyAddressState = found ? 1 : -1;
    }
    *address = ProxyAddress;
    return ProxyAddressState == 1;
}

// The probe's connection while its attempt is under way, kept from one
// tick to the next, so that a tick only looks at it: a refused connect to
// a loopback port takes Windows about 2 s (it tries again after the
// reset), and a silent address far longer. NoNetSocket when none.
NetSocket PendingProbe = NoNetSocket;
uint32_t PendingSince; // NetNowMs() when its attempt began

// An attempt under way longer than this (ms) is given up and a new one
// begun: a completion notice that the sockets layer lost (seen under
// Wine) must not stall the wait for good.
const uint32_t kAttemptMs = 5000;

void DropPendingProbe(void)
{
    if (PendingProbe == NoNetSocket)
        return;
    NetClose(PendingProbe, 1);
    PendingProbe = NoNetSocket;
    NetStop();
}

// A bare TCP connection to `host` (dotted IPv4 address or host name, a
// Shift_JIS text, looked up once per process) at the low 16 bits of
// `port`; nothing is sent. Starts an attempt when none is under way and
// waits up to `waitMs` for its outcome. 0: connected; -1: the connection
// failed or is still under way (it is then kept for the next call); -2:
// Windows Sockets 1.1 unusable or the host name does not resolve.
int TryConnect(const char *host, int port, uint32_t waitMs)
{
    if (PendingProbe != NoNetSocket && NetNowMs() - PendingSince > kAttemptMs)
        DropPendingProbe();
    if (PendingProbe == NoNetSocket) {
        if (NetStart() != 0)
            return -2;
        uint32_t address = 0;
        if (!ResolveProxyOnce(host, &address)) {
            NetStop();
            return -2;
        }
        // A socket that cannot be made fails its connect as well: the
        // proxy then counts as not ready, not as unprobeable.
        PendingProbe = NetConnectStart(address, static_cast<uint16_t>(port & 0xFFFF));
        PendingSince = NetNowMs();
        if (PendingProbe == NoNetSocket) {
            NetStop();
            return -1;
        }
    }
    int connected = NetAwaitConnected(PendingProbe, waitMs);
    if (connected == 0)
        return -1;
    DropPendingProbe();
    return connected == 1 ? 0 : -1;
}

// One probe of the proxy, waiting up to `waitMs` for an answer.
// `folderWindow` names the account; 0 keeps the one remembered from an
// earlier call. 1: go ahead (the proxy accepts, or the account says not to
// probe, or it cannot be probed); 0: the proxy does not accept connections
// yet.
int ProbeClassifier(HWND folderWindow, uint32_t waitMs)
{
    if (folderWindow)
        FolderWindow = folderWindow;
    if (ConnectValue < 0)
        ConnectValue = ReadConnectSetting(FolderWindow);
    // "Connect" 0 means this account is not to be probed, now or later.
    if (ConnectValue == 0)
        return 1;
    if (ProxyPort == 0)
        ProxyPort = ReadProxyEndpoint(ProxyHost, FolderWindow);
    if (ProxyPort <= 0)
        return 1;
    return TryConnect(ProxyHost, ProxyPort, waitMs) == -1 ? 0 : 1;
}

// Asks the wait dialog to close; 0 when no dialog is up to receive it.
int CloseWaitDialog(void)
{
    if (!WaitDialog)
        return 0;
    return PostMessageA(WaitDialog, WM_CLOSE, 0, 0) ? 1 : 0;
}

// Host timer callback: 1 while POPFile is not ready, 0 once the dialog has
// been asked to close. A tick only looks at the probe's connection, so
// that the dialog answers the user at once.
DWORD WINAPI WaitTimerProc(DWORD, DWORD)
{
    return GuardHostCall<DWORD>(1, [] {
        if (ProbeClassifier(NULL, 0) != 1)
            return 1;
        // Before the dialog exists there is nothing to close: keep ticking.
        return CloseWaitDialog() ? 0 : 1;
    });
}

// Only the cancel button, the close box and a successful probe end the
// wait; Enter (IDOK) and Escape (IDCANCEL) do nothing.
INT_PTR CALLBACK WaitDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        WaitDialog = dialog;
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_WAIT_CANCEL)
            EndDialog(dialog, IDC_WAIT_CANCEL);
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

void ArmStartupWait(void)
{
    WaitArmed = 1;
}

DWORD RunStartupWait(HINSTANCE instance, HWND folderWindow)
{
    if (!WaitArmed)
        return 0;
    if (ProbeClassifier(folderWindow, kConnectWaitMs) == 1)
        return 1; // still armed: the next folder window probes again
    // Cleared first, so a folder window created during the wait (its
    // APCFolderCreate runs inside the dialog's loop) does not wait again.
    WaitArmed = 0;
    DWORD timer = Host.APASetTimer(kProbePeriod, WaitTimerProc, 0);
    // No owner window: the folder window is still being created.
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_WAIT), NULL, WaitDialogProc, 0);
    WaitDialog = NULL;
    DropPendingProbe(); // the user ended the wait during an attempt
    return Host.APAKillTimer(timer);
}
