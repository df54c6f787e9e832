// popfile-standin: a loopback server that takes POPFile's place in tests and
// demos. See README.md for the flags, the files it writes and the knobs.
#include "classifier_rules.h"
#include "http_server.h"
#include "net_util.h"
#include "pop3_server.h"
#include "standin_options.h"
#include "standin_state.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char DefaultKey[] = "8f1c3a52d9e04b7c6a1e5f2d3b4c9a07";

// One of the two ports. The socket stays bound while the port is closed, so
// the port number stays the same and connections are refused meanwhile.
struct PortListener {
    int fd = -1;
    int port = 0;
    bool listening = false;
    void (*serve)(int fd) = nullptr;
};

void OnStopSignal(int)
{
    RequestStop();
}

void InstallSignalHandlers()
{
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

std::string RandomKey()
{
    unsigned char bytes[16] = {};
    std::ifstream random("/dev/urandom", std::ios::binary);
    random.read(reinterpret_cast<char*>(bytes), sizeof bytes);
    std::string key;
    char hex[3];
    for (unsigned char b : bytes) {
        std::snprintf(hex, sizeof hex, "%02x", b);
        key += hex;
    }
    return key;
}

int LoadRules(const std::string& path, ClassifierRules* rules, std::string* error)
{
    std::string text = BuiltInClassifierText();
    if (!path.empty()) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            *error = "cannot read " + path;
            return -1;
        }
        std::ostringstream out;
        out << in.rdbuf();
        text = out.str();
    }
    if (ParseClassifierRules(text, rules, error) != 0) {
        *error = path + ": " + *error;
        return -1;
    }
    return 0;
}

// Opens or closes the port as its delay knob says for the time since start.
// Closing it also ends the connections it accepted, as a POPFile that stops
// ends them all.
void UpdateListener(PortListener* listener, double delaySec, double elapsedSec)
{
    bool wanted = delaySec >= 0 && elapsedSec >= delaySec;
    if (listener->fd < 0)
        listener->fd = BindLoopback(listener->port, &listener->port);
    if (listener->fd < 0)
        return;
    if (wanted && !listener->listening) {
        listener->listening = StartListening(listener->fd) == 0;
    } else if (!wanted && listener->listening) {
        // A socket cannot stop listening: close it and bind the port again.
        close(listener->fd);
        listener->listening = false;
        ShutConnectionsServedBy(listener->serve);
        int port = listener->port;
        listener->fd = BindLoopback(port, &port);
    }
}

void AcceptConnections(PortListener* listeners[2])
{
    pollfd entries[2];
    PortListener* owners[2];
    nfds_t count = 0;
    for (int i = 0; i < 2; ++i) {
        if (!listeners[i]->listening)
            continue;
        entries[count] = {listeners[i]->fd, POLLIN, 0};
        owners[count++] = listeners[i];
    }
    if (count == 0 || poll(entries, count, 50) <= 0) {
        if (count == 0)
            PauseMs(50);
        return;
    }
    for (nfds_t i = 0; i < count; ++i) {
        if ((entries[i].revents & POLLIN) == 0)
            continue;
        int connection = accept4(entries[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection >= 0)
            StartConnectionThread(connection, owners[i]->serve);
    }
}

int PrepareOptions(int argc, char** argv, StandinOptions* options, ClassifierRules* rules)
{
    std::string error;
    int parsed = ParseCommandLine(argc, argv, options, &error);
    if (parsed != 0) {
        if (parsed < 0)
            std::fprintf(stderr, "popfile-standin: %s\n", error.c_str());
        std::fputs(UsageText(), parsed < 0 ? stderr : stdout);
        return parsed < 0 ? 2 : 1;
    }
    if (options->key.empty())
        options->key = DefaultKey;
    else if (options->key == "random")
        options->key = RandomKey();
    if (LoadRules(options->classifierFile, rules, &error) != 0) {
        std::fprintf(stderr, "popfile-standin: %s\n", error.c_str());
        return 2;
    }
    if (options->stateDir.empty()) {
        char pattern[] = "/tmp/popfile-standin.XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            std::perror("popfile-standin: mkdtemp");
            return 2;
        }
        options->stateDir = pattern;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    StandinOptions options;
    ClassifierRules rules;
    int prepared = PrepareOptions(argc, argv, &options, &rules);
    if (prepared != 0)
        return prepared == 1 ? 0 : prepared;

    PortListener pop3, http;
    pop3.serve = ServePop3Connection;
    http.serve = ServeHttpConnection;
    pop3.fd = BindLoopback(options.pop3Port, &pop3.port);
    http.fd = BindLoopback(options.httpPort, &http.port);
    if (pop3.fd < 0 || http.fd < 0) {
        std::fprintf(stderr, "popfile-standin: cannot bind the ports on 127.0.0.1\n");
        return 2;
    }
    std::string error;
    if (OpenStandinState(options, rules, http.port, &error) != 0) {
        std::fprintf(stderr, "popfile-standin: %s\n", error.c_str());
        return 2;
    }
    InstallSignalHandlers();

    // The ports without delay listen before "ready" is printed, so that a
    // script may connect as soon as it reads that line.
    auto start = std::chrono::steady_clock::now();
    PortListener* listeners[2] = {&pop3, &http};
    bool announced = false;
    while (!StopRequested()) {
        std::string controlText;
        StandinKnobs knobs = CurrentKnobs(&controlText);
        double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        UpdateListener(&pop3, knobs.pop3DelaySec, elapsed);
        UpdateListener(&http, knobs.httpDelaySec, elapsed);
        AcknowledgeControlText(controlText);
        if (!announced) {
            std::printf("pop3 %d\nhttp %d\nkey %s\nstate %s\nready\n", pop3.port, http.port,
                        options.key.c_str(), options.stateDir.c_str());
            std::fflush(stdout);
            announced = true;
        }
        AcceptConnections(listeners);
    }
    for (PortListener* listener : listeners)
        if (listener->fd >= 0)
            close(listener->fd);
    bool allEnded = EndConnections(3000);
    return allEnded ? 0 : 3;
}
