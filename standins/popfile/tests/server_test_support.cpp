#include "server_test_support.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// Case-insensitive search as the plug-in's FindAfterNoCase: the position
// after the match, or npos.
size_t FindAfterNoCase(const std::string& text, size_t from, const std::string& pattern)
{
    auto upper = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
    for (size_t i = from; i + pattern.size() <= text.size(); ++i) {
        size_t j = 0;
        while (j < pattern.size() && upper(text[i + j]) == upper(pattern[j]))
            ++j;
        if (j == pattern.size())
            return i + j;
    }
    return std::string::npos;
}

// Reads one line from the child's stdout pipe, waiting up to `timeoutMs`.
bool ReadLineFrom(int fd, std::string* line, int timeoutMs)
{
    line->clear();
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        until - std::chrono::steady_clock::now()).count());
        pollfd entry = {fd, POLLIN, 0};
        if (left <= 0 || poll(&entry, 1, left) <= 0)
            return false;
        char c;
        if (read(fd, &c, 1) != 1)
            return false;
        if (c == '\n')
            return true;
        *line += c;
    }
}

}  // namespace

bool PrepareRun(StandinRun* run)
{
    char pattern[] = "/tmp/popfile-standin-test.XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return false;
    run->root = pattern;
    run->spoolDir = run->root + "/spool";
    run->stateDir = run->root + "/state";
    return mkdir(run->spoolDir.c_str(), 0755) == 0;
}

bool StartStandin(StandinRun* run, const std::vector<std::string>& extraArgs)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return false;
    std::vector<std::string> args = {STANDIN_BINARY, "--spool", run->spoolDir, "--state-dir", run->stateDir,
                                     "--pop3-port", "0", "--http-port", "0"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        dup2(pipeFds[1], 1);
        close(pipeFds[0]);
        close(pipeFds[1]);
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(&arg[0]);
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    run->pid = pid;
    std::string line;
    bool ready = false;
    while (ReadLineFrom(pipeFds[0], &line, 5000)) {
        if (line.compare(0, 5, "pop3 ") == 0) run->pop3Port = std::atoi(line.c_str() + 5);
        else if (line.compare(0, 5, "http ") == 0) run->httpPort = std::atoi(line.c_str() + 5);
        else if (line.compare(0, 4, "key ") == 0) run->key = line.substr(4);
        else if (line == "ready") { ready = true; break; }
    }
    close(pipeFds[0]);
    return ready && run->pop3Port > 0 && run->httpPort > 0;
}

int StopStandin(StandinRun* run)
{
    if (run->pid <= 0)
        return -1;
    kill(run->pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 250; ++i) {
        pid_t done = waitpid(run->pid, &status, WNOHANG);
        if (done == run->pid) {
            run->pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(run->pid, SIGKILL);
    waitpid(run->pid, &status, 0);
    run->pid = -1;
    return -1;
}

void WriteTextFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string ReadTextFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool FileExists(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

int ConnectTo(int port)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool SendText(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t sent = send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        done += static_cast<size_t>(sent);
    }
    return true;
}

std::string ReceiveUntilClose(int fd, int timeoutMs)
{
    std::string data;
    for (;;) {
        pollfd entry = {fd, POLLIN, 0};
        if (poll(&entry, 1, timeoutMs) <= 0)
            return data;
        char chunk[65536];
        ssize_t got = recv(fd, chunk, sizeof chunk, 0);
        if (got <= 0)
            return data;
        data.append(chunk, static_cast<size_t>(got));
    }
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    for (int waited = 0; waited <= timeoutMs; waited += 20) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

bool PortAccepts(int port)
{
    int fd = ConnectTo(port);
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

std::string HttpExchange(int port, const std::string& raw)
{
    int fd = ConnectTo(port);
    if (fd < 0)
        return std::string();
    SendText(fd, raw);
    std::string answer = ReceiveUntilClose(fd);
    close(fd);
    return answer;
}

std::string HttpGet(int port, const std::string& target)
{
    return HttpExchange(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                  "\r\nUser-Agent: sortella\r\nConnection: close\r\n\r\n");
}

std::string HttpPost(int port, const std::string& target, const std::string& body)
{
    return HttpExchange(port, "POST " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                  "\r\nUser-Agent: sortella\r\nContent-Length: " + std::to_string(body.size()) +
                                  "\r\nConnection: close\r\n\r\n" + body);
}

int StatusOf(const std::string& response)
{
    if (response.compare(0, 9, "HTTP/1.1 ") != 0)
        return 0;
    return std::atoi(response.c_str() + 9);
}

std::string BodyOf(const std::string& response)
{
    size_t end = response.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : response.substr(end + 4);
}

std::string ReclassifyBody(const std::string& key, long number, const std::string& bucket)
{
    return "search=&sort=-inserted&session=" + key + "&negate=&start_message=0&filter=&reclassify_" +
           std::to_string(number) + "=" + bucket + "&change=%BA%C6%CA%AC%CE%E0";
}

bool Pop3Open(Pop3Client* client, int port)
{
    client->fd = ConnectTo(port);
    client->pending.clear();
    return client->fd >= 0 && Pop3ReadLine(client).compare(0, 3, "+OK") == 0;
}

std::string Pop3ReadLine(Pop3Client* client)
{
    for (;;) {
        size_t end = client->pending.find("\r\n");
        if (end != std::string::npos) {
            std::string line = client->pending.substr(0, end + 2);
            client->pending.erase(0, end + 2);
            return line;
        }
        pollfd entry = {client->fd, POLLIN, 0};
        char chunk[65536];
        if (poll(&entry, 1, 5000) <= 0)
            return std::string();
        ssize_t got = recv(client->fd, chunk, sizeof chunk, 0);
        if (got <= 0)
            return std::string();
        client->pending.append(chunk, static_cast<size_t>(got));
    }
}

std::string Pop3ReadMultiLine(Pop3Client* client)
{
    std::string text;
    for (;;) {
        std::string line = Pop3ReadLine(client);
        text += line;
        if (line.empty() || line == ".\r\n")
            return text;
    }
}

std::string Pop3Command(Pop3Client* client, const std::string& command, bool multiLine)
{
    SendText(client->fd, command + "\r\n");
    std::string reply = Pop3ReadLine(client);
    if (multiLine && reply.compare(0, 3, "+OK") == 0)
        reply += Pop3ReadMultiLine(client);
    return reply;
}

void Pop3Close(Pop3Client* client)
{
    if (client->fd >= 0)
        close(client->fd);
    client->fd = -1;
}

bool Pop3Login(Pop3Client* client, int port)
{
    return Pop3Open(client, port) && Pop3Command(client, "USER tester").compare(0, 3, "+OK") == 0 &&
           Pop3Command(client, "PASS secret").compare(0, 3, "+OK") == 0;
}

std::string ScanKeyLikePlugin(const std::string& page, bool* found)
{
    *found = false;
    size_t after = FindAfterNoCase(page, 0, "/history?session=");
    while (after != std::string::npos) {
        size_t quote = page.find('"', after);
        if (quote != std::string::npos) {
            *found = true;
            return page.substr(after, quote - after);
        }
        after = FindAfterNoCase(page, after, "/history?session=");
    }
    return std::string();
}

std::vector<std::string> ScanBucketsLikePlugin(const std::string& page)
{
    std::vector<std::string> names;
    size_t pos = FindAfterNoCase(page, 0, "/history?session=");
    while (pos != std::string::npos) {
        pos = FindAfterNoCase(page, pos, "showbucket=");
        if (pos == std::string::npos)
            break;
        size_t quote = page.find('"', pos);
        if (quote != std::string::npos)
            names.push_back(page.substr(pos, quote - pos));
    }
    return names;
}

std::vector<std::string> FileLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::istringstream in(ReadTextFile(path));
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

#include <ftw.h>

namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*)
{
    return remove(path);
}

}  // namespace

void RemoveTree(const std::string& path)
{
    if (!path.empty())
        nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}
