#include "pop3_server.h"

#include "classifier_rules.h"
#include "mail_message.h"
#include "net_util.h"
#include "spool.h"
#include "standin_state.h"

#include <sys/socket.h>

namespace {

const size_t MaxCommandLine = 1000;   // bytes without the line end
const int IdleTimeoutMs = 600 * 1000; // RFC 1939's autologout: ten minutes
const int MaildropGraceMs = 1000;

std::vector<std::string> SplitWords(const std::string& text)
{
    std::vector<std::string> words;
    size_t pos = 0;
    while ((pos = text.find_first_not_of(' ', pos)) != std::string::npos) {
        size_t end = text.find(' ', pos);
        words.push_back(text.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        pos = end;
    }
    return words;
}

std::string UpperAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    return text;
}

// Reads a message number argument. Returns the 0-based index, or -1 with
// `error` holding the reply.
long MessageIndex(const Pop3Session& session, const std::string& text, std::string* error)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
        *error = "-ERR invalid message number\r\n";
        return -1;
    }
    long number = std::stol(text);
    if (number < 1 || static_cast<size_t>(number) > session.messages.size()) {
        *error = "-ERR no such message\r\n";
        return -1;
    }
    if (session.messages[number - 1].deleted) {
        *error = "-ERR message " + text + " already deleted\r\n";
        return -1;
    }
    return number - 1;
}

// Builds the message as it goes out, with a history number planned (the
// message's own, or the next free one, which RETR or TOP then records).
Pop3Message PlanMessage(const std::string& spoolName, const std::string& raw, long* nextNumber,
                        const std::string& linkBase)
{
    Pop3Message message;
    message.spoolName = spoolName;
    message.uniqueId = UniqueIdOf(spoolName);
    std::vector<std::string> lines = SplitMessageLines(raw);
    if (HeaderFieldValue(lines, "X-Standin-No-Verdict") == "1") {
        message.delivered = BuildDeliveredMessage(lines, {});
        return message;
    }
    HistoryEntry entry;
    if (FindHistoryBySpoolName(spoolName, &entry)) {
        message.historyNumber = entry.number;
        message.bucket = entry.current;
    } else {
        message.historyNumber = (*nextNumber)++;
        message.bucket = ClassifyMessage(Rules(), lines);
    }
    message.delivered = BuildDeliveredMessage(
        WithoutClassifierFields(lines), {"X-Text-Classification: " + message.bucket,
                "X-POPFile-Link: " + linkBase + "jump_to_message?view=" + std::to_string(message.historyNumber)});
    return message;
}

// The session's view of the maildrop, taken when PASS succeeds.
void TakeMaildropSnapshot(Pop3Session* session)
{
    const std::string& dir = Options().spoolDir;
    std::string linkBase = LinkBase(CurrentKnobs());
    long nextNumber = NextHistoryNumber();
    session->messages.clear();
    for (const std::string& name : ListSpoolFiles(dir)) {
        std::string raw;
        if (IsDeleted(name) || ReadSpoolFile(dir, name, &raw) != 0)
            continue;
        session->messages.push_back(PlanMessage(name, raw, &nextNumber, linkBase));
    }
}

void CountMaildrop(const Pop3Session& session, size_t* count, size_t* octets)
{
    *count = 0;
    *octets = 0;
    for (const Pop3Message& message : session.messages) {
        if (message.deleted)
            continue;
        ++*count;
        *octets += message.delivered.size();
    }
}

std::string MaildropSummary(const Pop3Session& session)
{
    size_t count = 0, octets = 0;
    CountMaildrop(session, &count, &octets);
    return std::to_string(count) + " messages (" + std::to_string(octets) + " octets)";
}

void RecordHandedOut(const Pop3Message& message)
{
    if (message.historyNumber > 0)
        CommitHistoryEntry(message.historyNumber, message.spoolName, message.bucket);
}

// A client that drops a connection and logs in again at once may be
// quicker than the old connection's thread, which frees the lock only when
// it sees the close: give it a moment before calling the maildrop busy.
bool LockMaildropSoon()
{
    for (int waited = 0; waited < MaildropGraceMs; waited += 20) {
        if (TryLockMaildrop())
            return true;
        if (!PauseMs(20))
            return false;
    }
    return TryLockMaildrop();
}

std::string ReplyAuthorization(Pop3Session* session, const std::string& command,
                               const std::string& argument)
{
    if (command == "USER") {
        if (argument.empty())
            return "-ERR USER needs a name\r\n";
        session->userGiven = true;
        return "+OK user accepted\r\n";
    }
    if (command == "PASS") {
        if (!session->userGiven)
            return "-ERR USER first\r\n";
        if (argument.empty())
            return "-ERR PASS needs a password\r\n";
        if (!LockMaildropSoon())
            return "-ERR [IN-USE] maildrop is locked by another session\r\n";
        session->holdsMaildrop = true;
        session->transaction = true;
        TakeMaildropSnapshot(session);
        return "+OK " + MaildropSummary(*session) + "\r\n";
    }
    if (command == "APOP")
        return "-ERR APOP is not supported\r\n";
    return "-ERR command not valid before login\r\n";
}

// LIST and UIDL share their form: one line per message, or one message.
std::string ReplyListing(const Pop3Session& session, const std::vector<std::string>& words, bool uids)
{
    auto item = [&](size_t i) {
        const Pop3Message& m = session.messages[i];
        return std::to_string(i + 1) + " " + (uids ? m.uniqueId : std::to_string(m.delivered.size()));
    };
    if (words.size() > 2)
        return "-ERR too many arguments\r\n";
    if (words.size() == 2) {
        std::string error;
        long index = MessageIndex(session, words[1], &error);
        return index < 0 ? error : "+OK " + item(static_cast<size_t>(index)) + "\r\n";
    }
    std::string reply = uids ? "+OK unique-id listing follows\r\n" : "+OK " + MaildropSummary(session) + "\r\n";
    for (size_t i = 0; i < session.messages.size(); ++i)
        if (!session.messages[i].deleted)
            reply += item(i) + "\r\n";
    return reply + ".\r\n";
}

std::string ReplyTop(const Pop3Session& session, const std::vector<std::string>& words)
{
    if (words.size() != 3)
        return "-ERR TOP needs a message number and a line count\r\n";
    std::string error;
    long index = MessageIndex(session, words[1], &error);
    if (index < 0)
        return error;
    const std::string& count = words[2];
    if (count.empty() || count.size() > 9 || count.find_first_not_of("0123456789") != std::string::npos)
        return "-ERR invalid line count\r\n";
    const Pop3Message& message = session.messages[static_cast<size_t>(index)];
    RecordHandedOut(message);
    return "+OK top of message follows\r\n" + DotStuffed(TopOfMessage(message.delivered, std::stol(count)));
}

std::string ReplyQuit(Pop3Session* session)
{
    std::vector<std::string> names;
    for (const Pop3Message& message : session->messages)
        if (message.deleted)
            names.push_back(message.spoolName);
    session->ended = true;
    // Free the maildrop before the reply goes out, so that a client may log
    // in again as soon as it has read it.
    int committed = CommitDeletions(names);
    UnlockMaildrop();
    session->holdsMaildrop = false;
    if (committed != 0)
        return "-ERR some deleted messages were not removed\r\n";
    return "+OK POPFile stand-in signing off (" + std::to_string(names.size()) + " messages deleted)\r\n";
}

std::string ReplyTransaction(Pop3Session* session, const std::string& command,
                             const std::vector<std::string>& words)
{
    bool oneArgument = words.size() == 2;
    bool noArgument = words.size() == 1;
    std::string error;
    if (command == "STAT" && noArgument) {
        size_t count = 0, octets = 0;
        CountMaildrop(*session, &count, &octets);
        return "+OK " + std::to_string(count) + " " + std::to_string(octets) + "\r\n";
    }
    if (command == "LIST" || command == "UIDL")
        return ReplyListing(*session, words, command == "UIDL");
    if (command == "RETR" && oneArgument) {
        long index = MessageIndex(*session, words[1], &error);
        if (index < 0)
            return error;
        const Pop3Message& message = session->messages[static_cast<size_t>(index)];
        RecordHandedOut(message);
        return "+OK " + std::to_string(message.delivered.size()) + " octets\r\n" + DotStuffed(message.delivered);
    }
    if (command == "TOP")
        return ReplyTop(*session, words);
    if (command == "DELE" && oneArgument) {
        long index = MessageIndex(*session, words[1], &error);
        if (index < 0)
            return error;
        session->messages[static_cast<size_t>(index)].deleted = true;
        return "+OK message " + words[1] + " deleted\r\n";
    }
    if (command == "NOOP" && noArgument)
        return "+OK\r\n";
    if (command == "RSET" && noArgument) {
        for (Pop3Message& message : session->messages)
            message.deleted = false;
        return "+OK maildrop has " + MaildropSummary(*session) + "\r\n";
    }
    if (command == "QUIT" && noArgument)
        return ReplyQuit(session);
    if (command == "USER" || command == "PASS" || command == "APOP")
        return "-ERR already logged in\r\n";
    if (command == "STAT" || command == "RETR" || command == "DELE" || command == "NOOP" ||
        command == "RSET" || command == "QUIT")
        return "-ERR wrong number of arguments\r\n";
    return "-ERR unknown command\r\n";
}

// Sends a reply under the POP3 knobs. Returns 0, or -1 when the connection
// is to end (peer gone, stop, or the close-after knob reached).
int SendReply(int fd, const std::string& reply, long* sentBytes)
{
    StandinKnobs knobs = CurrentKnobs();
    if (knobs.pop3SlowMs > 0 && !PauseMs(knobs.pop3SlowMs))
        return -1;
    size_t size = reply.size();
    bool cut = knobs.pop3CloseAfter >= 0 &&
               *sentBytes + static_cast<long>(size) > knobs.pop3CloseAfter;
    if (cut)
        size = static_cast<size_t>(knobs.pop3CloseAfter > *sentBytes ? knobs.pop3CloseAfter - *sentBytes : 0);
    if (SendAll(fd, reply.data(), size) != 0)
        return -1;
    *sentBytes += static_cast<long>(size);
    return cut ? -1 : 0;
}

}  // namespace

const char* Pop3Greeting()
{
    return "+OK POP3 POPFile stand-in server ready\r\n";
}

std::string Pop3Reply(Pop3Session* session, const std::string& line)
{
    std::vector<std::string> words = SplitWords(line);
    if (words.empty())
        return "-ERR empty command\r\n";
    std::string command = UpperAscii(words[0]);
    if (command == "CAPA" && words.size() == 1)
        return "+OK capability list follows\r\nTOP\r\nUSER\r\nUIDL\r\n.\r\n";
    if (!session->transaction) {
        if (command == "QUIT" && words.size() == 1) {
            session->ended = true;
            return "+OK POPFile stand-in signing off\r\n";
        }
        // The argument of USER and PASS is the rest of the line: a password
        // may hold blanks.
        size_t gap = line.find(' ', line.find_first_not_of(' '));
        std::string argument = gap == std::string::npos ? std::string() : line.substr(gap + 1);
        return ReplyAuthorization(session, command, argument);
    }
    return ReplyTransaction(session, command, words);
}

void ServePop3Connection(int fd)
{
    long id = LogPop3Open();
    long commands = 0;
    long sentBytes = 0;
    Pop3Session session;
    std::string buffer;
    bool discarding = false;  // inside an over-long line, up to its LF
    bool open = SendReply(fd, Pop3Greeting(), &sentBytes) == 0;
    while (open && !session.ended) {
        size_t lf = buffer.find('\n');
        if (lf == std::string::npos) {
            if (buffer.size() > MaxCommandLine) {
                buffer.clear();
                if (!discarding)
                    open = SendReply(fd, "-ERR line too long\r\n", &sentBytes) == 0;
                discarding = true;
                continue;
            }
            char chunk[4096];
            if (WaitReadable(fd, IdleTimeoutMs) != 1)
                break;
            ssize_t got = recv(fd, chunk, sizeof chunk, 0);
            if (got <= 0)
                break;
            buffer.append(chunk, static_cast<size_t>(got));
            continue;
        }
        std::string line = buffer.substr(0, lf);
        buffer.erase(0, lf + 1);
        if (discarding) {
            discarding = false;
            continue;
        }
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        ++commands;
        LogPop3Command(id, line);
        if (line.size() > MaxCommandLine) {
            open = SendReply(fd, "-ERR line too long\r\n", &sentBytes) == 0;
            continue;
        }
        open = SendReply(fd, Pop3Reply(&session, line), &sentBytes) == 0;
    }
    if (session.holdsMaildrop)
        UnlockMaildrop();
    LogPop3Close(id, commands);
}
