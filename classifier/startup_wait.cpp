// The start-up wait: one probe of POPFile's proxy at a folder window's
// creation and, when it does not answer, a small modal dialog (template
// 103) that probes again on every tick of a host timer until the proxy
// accepts a connection or the user cancels.
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

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
const WORD kSocketsVersion = 0x0101; // Windows Sockets 1.1

// How long one probe waits for the proxy to accept, in ms. It blocks the
// host's thread (the wait dialog does not respond meanwhile), so it stays
// under a second; a POPFile that runs accepts within milliseconds, on
// this machine or across a LAN, and one that is not ready is probed again
// at the next tick.
const long kConnectWaitMs = 800;

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

// 1 when Windows Sockets started with exactly version 1.1; the caller then
// owes one WSACleanup. 0 otherwise, with nothing left to clean up.
int InitSockets(void)
{
    WSADATA data;
    if (WSAStartup(kSocketsVersion, &data) != 0)
        return 0;
    if (LOBYTE(data.wVersion) != 1 || HIBYTE(data.wVersion) != 1) {
        WSACleanup();
        return 0;
    }
    return 1;
}

// Fills the IPv4 address of `host`: a dotted address as it is, otherwise
// the first address the name resolves to. 0 when it does not resolve.
int ResolveHost(const char *host, in_addr *address)
{
    unsigned long dotted = inet_addr(host);
    if (dotted != INADDR_NONE) {
        address->s_addr = dotted;
        return 1;
    }
    hostent *entry = gethostbyname(host);
    if (!entry || entry->h_addrtype != AF_INET || entry->h_length != sizeof *address ||
        !entry->h_addr_list || !entry->h_addr_list[0])
        return 0;
    memcpy(address, entry->h_addr_list[0], sizeof *address);
    return 1;
}

// The proxy's address, looked up once per process: a name lookup blocks
// the host's thread for as long as the resolver takes (seconds when a DNS
// server does not answer), which a tick of the wait may not. A name that
// did not resolve stays unresolved for the process. `host` is ProxyHost,
// which does not change once read.
int ProxyAddressState; // 0: not looked up yet; 1: ProxyAddress holds it; -1: does not resolve
in_addr ProxyAddress;

int ResolveProxyOnce(const char *host, in_addr *address)
{
    if (ProxyAddressState == 0)
        ProxyAddressState = ResolveHost(host, &ProxyAddress) ? 1 : -1;
    *address = ProxyAddress;
    return ProxyAddressState == 1;
}

// 1 when the non-blocking connect on `probe` has ended within `waitMs`,
// with `*connected` telling how; 0 when it is still under way.
int ConnectEnded(SOCKET probe, long waitMs, bool *connected)
{
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(probe, &writable);
    FD_SET(probe, &failed);
    timeval wait = {waitMs / 1000, (waitMs % 1000) * 1000};
    int ready = select(0, NULL, &writable, &failed, &wait);
    if (ready == 0)
        return 0;
    int error = 1;
    int length = sizeof error;
    if (ready > 0 && FD_ISSET(probe, &writable) && !FD_ISSET(probe, &failed))
        getsockopt(probe, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &length);
    *connected = error == 0;
    return 1;
}

// Connects `probe` to `address` and waits up to kConnectWaitMs for the
// outcome: 0 connected, -1 failed or not yet accepted. An address that
// does not answer (a switched-off machine) thus holds the host for less
// than a second per tick instead of the system's connection time-out; a
// completion notice lost by the sockets layer (seen under Wine) costs one
// tick, as the next probe asks a new socket.
int ConnectAndWait(SOCKET probe, const sockaddr_in &address)
{
    u_long nonBlocking = 1;
    if (probe == INVALID_SOCKET || ioctlsocket(probe, FIONBIO, &nonBlocking) != 0)
        return -1;
    if (connect(probe, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
        return 0;
    if (WSAGetLastError() != WSAEWOULDBLOCK)
        return -1;
    bool connected = false;
    if (!ConnectEnded(probe, kConnectWaitMs, &connected))
        return -1;
    return connected ? 0 : -1;
}

// A bare TCP connection to `host` (dotted IPv4 address or host name, a
// Shift_JIS text, looked up once per process) at the low 16 bits of
// `port`; nothing is sent. 0:
// connected; -1: the connection failed; -2: Windows Sockets 1.1 unusable or
// the host name does not resolve.
int TryConnect(const char *host, int port)
{
    if (!InitSockets())
        return -2;
    sockaddr_in address;
    memset(&address, 0, sizeof address);
    if (!ResolveProxyOnce(host, &address.sin_addr)) {
        WSACleanup();
        return -2;
    }
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port & 0xFFFF));
    // A socket that cannot be made fails its connect as well: the proxy
    // then counts as not ready, not as unprobeable.
    SOCKET probe = socket(AF_INET, SOCK_STREAM, 0);
    int result = ConnectAndWait(probe, address);
    closesocket(probe);
    WSACleanup();
    return result;
}

// One probe of the proxy. `folderWindow` names the account; 0 keeps the
// one remembered from an earlier call. 1: go ahead (the proxy accepts, or
// the account says not to probe, or it cannot be probed); 0: the proxy
// does not accept connections yet.
int ProbeClassifier(HWND folderWindow)
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
    return TryConnect(ProxyHost, ProxyPort) == -1 ? 0 : 1;
}

// Asks the wait dialog to close; 0 when no dialog is up to receive it.
int CloseWaitDialog(void)
{
    if (!WaitDialog)
        return 0;
    return PostMessageA(WaitDialog, WM_CLOSE, 0, 0) ? 1 : 0;
}

// Host timer callback: 1 while POPFile is not ready, 0 once the dialog has
// been asked to close. A probe blocks for less than a second.
DWORD WINAPI WaitTimerProc(DWORD, DWORD)
{
    return GuardHostCall<DWORD>(1, [] {
        if (ProbeClassifier(NULL) != 1)
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
    if (ProbeClassifier(folderWindow) == 1)
        return 1; // still armed: the next folder window probes again
    // Cleared first, so a folder window created during the wait (its
    // APCFolderCreate runs inside the dialog's loop) does not wait again.
    WaitArmed = 0;
    DWORD timer = Host.APASetTimer(kProbePeriod, WaitTimerProc, 0);
    // No owner window: the folder window is still being created.
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_WAIT), NULL, WaitDialogProc, 0);
    WaitDialog = NULL;
    return Host.APAKillTimer(timer);
}
