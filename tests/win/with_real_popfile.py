#!/usr/bin/env python3
"""Runs a Windows test program under Wine against the real POPFile 1.1.3.

    with_real_popfile.py TEST_EXE [test args...]

POPFile's engine is copied from SORTELLA_POPFILE_DIR, by default the folder
popfile-1.1.3 of ../shared beside the repository, into a scratch folder
(the original is never written), and two POPFiles are started from that
copy on free loopback ports, each with a data folder of its own: "en" with
POPFile's English web interface and "ja" with its Japanese one
(html_language=Nihongo). Behind both proxies a small POP3 server of this
script plays the user's real mail server; it serves the files of a
maildrop folder as they are, so that what a message carries on arrival is
what POPFile made of it. Each POPFile gets the buckets personal, spam and
work and is trained with a few samples of each, retrieved through its own
proxy and reclassified through its web interface, before the program
starts.

The program learns where everything is through the environment (Wine
passes it on; folders as Windows paths below Z:):
  SORTELLA_SCRATCH              a scratch folder, kept when the run failed
  SORTELLA_MAIL_POP3            the mail server's port
  SORTELLA_MAILDROP             the maildrop of its user alice: one message
                                per file, served in name order and deleted
                                by DELE + QUIT
  SORTELLA_REAL_POPFILE_EN      "HTTP-PORT POP3-PORT" of the English POPFile
  SORTELLA_REAL_POPFILE_JA      the same of the Japanese one
  SORTELLA_REAL_POPFILE_CONTROL a folder through which the program asks
                                for what only this side can do

The program writes "NUMBER VERB ARGS..." into request.txt there (replacing
the file whole; a NUMBER not used before, also across runs of the
program); this script carries it out and writes answer.txt: the same
number on the first line, "ok" or "error", then the result. Verbs (LANG
is en or ja):
  stop LANG              stop that POPFile (SIGTERM to its process id)
  start LANG [PASSWORD]  start it on its ports, with a password on its web
                         interface or without one (again when it runs with
                         another)
  purge LANG SLOT        remove a history slot as POPFile's purge of old
                         history does: its row and its message file (only
                         while that POPFile is stopped)
  history LANG SLOT      "BUCKET USEDTOBE" of the slot's row ("-" for none);
                         "gone" when there is no row
  dump LANG              every row of table history, one a line
  get LANG PATH          status and Location of a GET without following it
  rename LANG OLD NEW    rename a bucket through POPFile's web interface
  relay LANG             start a relay to that POPFile's web interface on
                         a port of its own (the answer), which pauses
                         POPFile (SIGSTOP) as the first bytes of a POST
                         reach it, before handing them on
  resume LANG            let a paused POPFile go on (SIGCONT)
  await LANG SLOT BUCKET the slot's "BUCKET USEDTOBE" once its bucket is
                         BUCKET (POPFile records a correction between its
                         other work); an error after 30 s

Exit status: the program's (through scripts/wine-run.sh); 77 when no
POPFile tree is there (the test is then skipped, and says why); 1 when
POPFile could not be started or trained. A failed run keeps the scratch
folder, with POPFile's logs, and says where.
"""
import hashlib
import http.client
import os
import shutil
import signal
import socket
import socketserver
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

SKIPPED = 77
LANGUAGES = {"en": "English", "ja": "Nihongo"}
BUCKETS = ("personal", "spam", "work")
PERL_MODULES = ("DBI", "DBD::SQLite", "Date::Parse", "HTML::Tagset", "HTML::Template")

# Training samples: a few messages per bucket, each bucket with words of
# its own, so that a fresh sample of the same kind is classified at once.
TRAINING = {
    "spam": [
        ("Winner! Claim your lottery prize now",
         "You are the lucky winner of our casino lottery. Claim your cash prize\n"
         "now: cheap pills, free money, viagra discount, click here to win.\n"),
        ("Cheap viagra and casino bonus",
         "Cheap viagra pills without prescription. Casino bonus, free spins,\n"
         "lottery jackpot, cash prize for every winner. Click here now.\n"),
        ("Free money: lottery winner notice",
         "Dear winner, your lottery ticket won a cash prize. Send your bank\n"
         "details to claim the free money. Cheap pills and casino offers inside.\n"),
    ],
    "work": [
        ("Project meeting moved to Thursday",
         "The project meeting is moved to Thursday. Please bring the budget\n"
         "report and the schedule for the release deadline.\n"),
        ("Budget report for the quarter",
         "Attached is the quarterly budget report. The project schedule and the\n"
         "deadline for the release are on page two; meeting on Monday.\n"),
        ("Release schedule and deadline",
         "The release deadline is fixed. Please update the project schedule\n"
         "before the meeting and send the budget figures for the report.\n"),
    ],
    "personal": [
        ("Family dinner on Sunday",
         "Mom asks whether you come to the family dinner on Sunday. Your sister\n"
         "brings the birthday cake; the garden party is after the holiday.\n"),
        ("Birthday party for grandma",
         "Grandma's birthday party is on Saturday. The whole family comes;\n"
         "bring the kids and the dog, we eat cake in the garden.\n"),
        ("Holiday photos from the beach",
         "Here are our holiday photos from the beach. The kids loved the\n"
         "garden of the cottage; see you at the family dinner, love, mom.\n"),
    ],
}


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


# ---- The mail server behind POPFile's proxy ---------------------------------

class MailServer(socketserver.ThreadingTCPServer):
    """A POP3 server (RFC 1939): each user's maildrop is the folder of that
    name below `root`, one message per file."""
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, root):
        self.root = root
        super().__init__(("127.0.0.1", 0), MailSession)


class MailSession(socketserver.StreamRequestHandler):
    def reply(self, line):
        self.wfile.write(line.encode("latin-1") + b"\r\n")

    def multiline(self, lines):
        for line in lines:
            self.wfile.write((b"." + line if line.startswith(b".") else line) + b"\r\n")
        self.wfile.write(b".\r\n")

    def snapshot(self):
        os.makedirs(self.maildrop, exist_ok=True)
        names = sorted(name for name in os.listdir(self.maildrop)
                       if not name.startswith(".") and not name.endswith(".tmp"))
        messages = []
        for name in names:
            with open(os.path.join(self.maildrop, name), "rb") as file:
                lines = file.read().replace(b"\r\n", b"\n").split(b"\n")
            if lines and lines[-1] == b"":
                lines.pop()
            messages.append((name, lines))
        return messages

    def handle(self):
        self.reply("+OK mail server ready")
        messages, deleted, self.maildrop = None, set(), None
        while True:
            line = self.rfile.readline(1024)
            if not line:
                return
            words = line.decode("latin-1").strip().split()
            verb = words[0].upper() if words else ""
            argument = words[1] if len(words) > 1 else ""
            if verb == "QUIT":
                for number in deleted:
                    os.remove(os.path.join(self.maildrop, messages[number][0]))
                self.reply("+OK bye")
                return
            if verb == "USER" and argument.isidentifier() and messages is None:
                self.maildrop = os.path.join(self.server.root, argument)
                self.reply("+OK")
            elif verb == "PASS" and self.maildrop:
                messages = self.snapshot()
                self.reply("+OK %d messages" % len(messages))
            elif messages is None:
                self.reply("-ERR log in first")
            elif verb == "STAT":
                live = [m for i, m in enumerate(messages) if i not in deleted]
                self.reply("+OK %d %d" % (len(live), sum(self.size(m) for m in live)))
            elif verb in ("LIST", "UIDL") and not argument:
                self.reply("+OK")
                self.multiline([("%d %s" % (i + 1, self.size(m) if verb == "LIST" else m[0])).encode()
                                for i, m in enumerate(messages) if i not in deleted])
            elif verb == "NOOP":
                self.reply("+OK")
            elif verb == "RSET":
                deleted.clear()
                self.reply("+OK")
            elif verb in ("LIST", "UIDL", "RETR", "TOP", "DELE"):
                number = int(argument) - 1 if argument.isdigit() else -1
                if not 0 <= number < len(messages) or number in deleted:
                    self.reply("-ERR no such message")
                elif verb == "LIST":
                    self.reply("+OK %d %d" % (number + 1, self.size(messages[number])))
                elif verb == "UIDL":
                    self.reply("+OK %d %s" % (number + 1, messages[number][0]))
                elif verb == "DELE":
                    deleted.add(number)
                    self.reply("+OK")
                else:
                    lines = messages[number][1]
                    if verb == "TOP":
                        body_lines = int(words[2]) if len(words) > 2 and words[2].isdigit() else 0
                        end = lines.index(b"") if b"" in lines else len(lines)
                        lines = lines[:end + 1 + body_lines]
                    self.reply("+OK")
                    self.multiline(lines)
            else:
                self.reply("-ERR unknown command")

    @staticmethod
    def size(message):
        return sum(len(line) + 2 for line in message[1])


def pop3_retrieve_all(port, user):
    """Retrieves and deletes every message of the maildrop through port;
    returns the messages' texts (bytes, CR LF)."""
    with socket.create_connection(("127.0.0.1", port), timeout=20) as connection:
        stream = connection.makefile("rb")

        def command(text, multiline=False):
            if text:
                connection.sendall(text.encode() + b"\r\n")
            status = stream.readline()
            if not status.startswith(b"+OK"):
                raise RuntimeError("POP3 %r: %r" % (text, status))
            if not multiline:
                return status
            lines = []
            while True:
                line = stream.readline()
                if line in (b".\r\n", b""):
                    return b"".join(lines)
                lines.append(line[1:] if line.startswith(b"..") else line)

        command("")
        command("USER " + user)
        command("PASS secret")
        count = int(command("STAT").split()[1])
        texts = [command("RETR %d" % n, multiline=True) for n in range(1, count + 1)]
        for n in range(1, count + 1):
            command("DELE %d" % n)
        command("QUIT")
        return texts


# ---- One POPFile ------------------------------------------------------------

class Popfile:
    def __init__(self, language, work, engine):
        self.language = language
        self.engine = engine
        self.data = os.path.join(work, language)
        os.makedirs(self.data)
        shutil.copy(os.path.join(engine, "stopwords"), self.data)
        self.http_port = free_port()
        self.pop3_port = free_port()
        self.process = None
        self.console = None
        self.password = None

    def start(self, password=None):
        """Starts POPFile and waits until its web interface answers; one
        that runs already is started again only when its password is to
        change."""
        if self.process is not None:
            if password == self.password:
                return
            self.stop()
        self.password = password
        # A pid file left behind makes a start wait 10 s.
        pid_file = os.path.join(self.data, "popfile.pid")
        if os.path.exists(pid_file):
            os.remove(pid_file)
        environment = dict(os.environ, POPFILE_ROOT=self.engine + "/", POPFILE_USER=self.data + "/")
        settings = {
            "html_port": self.http_port, "html_local": 1,
            "pop3_port": self.pop3_port, "pop3_local": 1,
            "GLOBAL_update_check": 0, "html_send_stats": 0,
            "nntp_enabled": 0, "smtp_enabled": 0, "xmlrpc_enabled": 0,
            "html_language": LANGUAGES[self.language],
            # A password in the clear is hashed at start; the hash of the
            # empty password means none.
            "html_password": password or hashlib.md5(b"__popfile__").hexdigest(),
        }
        arguments = ["perl", "popfile.pl"]
        for name, value in settings.items():
            arguments += ["--set", "%s=%s" % (name, value)]
        self.console = open(os.path.join(self.data, "console.txt"), "ab")
        self.process = subprocess.Popen(arguments, cwd=self.engine, env=environment,
                                        stdin=subprocess.DEVNULL, stdout=self.console,
                                        stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError("POPFile (%s) ended at its start with %d"
                                   % (self.language, self.process.returncode))
            try:
                self.get("/")
                return
            except OSError:
                time.sleep(0.05)
        raise RuntimeError("POPFile (%s) did not answer within 30 s" % self.language)

    def stop(self):
        if self.process is None:
            return
        self.process.send_signal(signal.SIGCONT)  # should a relay have paused it
        self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.process = None
        self.console.close()

    def get(self, path):
        """(status, headers, body) of a GET, redirects not followed."""
        connection = http.client.HTTPConnection("127.0.0.1", self.http_port, timeout=20)
        try:
            connection.request("GET", path)
            response = connection.getresponse()
            return response.status, dict(response.getheaders()), response.read()
        finally:
            connection.close()

    def post(self, path, body):
        connection = http.client.HTTPConnection("127.0.0.1", self.http_port, timeout=20)
        try:
            connection.request("POST", path, body=body.encode(),
                               headers={"Content-Type": "application/x-www-form-urlencoded"})
            response = connection.getresponse()
            return response.status, response.read()
        finally:
            connection.close()

    def key(self):
        page = self.get("/")[2].decode("latin-1")
        marker = "/history?session="
        start = page.index(marker) + len(marker)
        return page[start:page.index('"', start)]

    def create_buckets(self):
        key = self.key()
        for bucket in BUCKETS:
            self.get("/buckets?session=%s&cname=%s&create=Create" % (key, bucket))

    def reclassify(self, buckets):
        """Reclassifies history slots ({slot: bucket}) with one form."""
        fields = [("search", ""), ("sort", "-inserted"), ("session", self.key()), ("negate", ""),
                  ("start_message", "0"), ("filter", "")]
        fields += [("reclassify_%d" % slot, bucket) for slot, bucket in buckets.items()]
        fields.append(("change", "Reclassify"))
        self.post("/history", urllib.parse.urlencode(fields))

    def database(self):
        return sqlite3.connect(os.path.join(self.data, "popfile.db"), timeout=10)

    def history_row(self, slot):
        """ "BUCKET USEDTOBE" of a slot, once POPFile has committed its row
        (it does so between other work, soon after the retrieval)."""
        deadline = time.monotonic() + 20
        while True:
            with self.database() as db:
                row = db.execute(
                    "select h.committed, b.name, u.name from history h"
                    " left join buckets b on h.bucketid = b.id"
                    " left join buckets u on h.usedtobe = u.id where h.id = ?", (slot,)).fetchone()
            if row is None:
                return "gone"
            if row[0] == 1:
                return "%s %s" % (row[1], row[2] or "-")
            if time.monotonic() > deadline:
                raise RuntimeError("history slot %d not committed within 20 s" % slot)
            time.sleep(0.05)

    def dump_history(self):
        with self.database() as db:
            rows = db.execute("select * from history order by id").fetchall()
        return "\n".join("\t".join(str(value) for value in row) for row in rows)

    def rename(self, old, new):
        self.get("/buckets?session=%s&oname=%s&newname=%s" % (self.key(), old, new))

    def await_bucket(self, slot, bucket):
        deadline = time.monotonic() + 30
        while True:
            row = self.history_row(slot)
            if row.split(" ")[0] == bucket:
                return row
            if time.monotonic() > deadline:
                raise RuntimeError("slot %d is still %s after 30 s" % (slot, row))
            time.sleep(0.05)

    def relay(self):
        """A loopback port that hands each connection on to the web
        interface; a connection whose first bytes begin a POST pauses
        POPFile before they are handed on. Returns the port."""
        if getattr(self, "relay_server", None) is None:
            self.relay_server = PausingRelay(self)
            threading.Thread(target=self.relay_server.serve_forever, daemon=True).start()
        return self.relay_server.server_address[1]

    def pause(self):
        self.process.send_signal(signal.SIGSTOP)

    def resume(self):
        self.process.send_signal(signal.SIGCONT)

    def purge(self, slot):
        if self.process is not None:
            raise RuntimeError("POPFile (%s) runs: stop it before a purge" % self.language)
        with self.database() as db:
            db.execute("delete from history where id = ?", (slot,))
        hex_slot = "%08x" % slot
        message = os.path.join(self.data, "messages", hex_slot[0:2], hex_slot[2:4], hex_slot[4:6],
                               "popfile%s.msg" % hex_slot[6:8])
        os.remove(message)


class PausingRelay(socketserver.ThreadingTCPServer):
    """Hands each connection on to a POPFile's web interface, and pauses
    that POPFile as a POST reaches it (see Popfile.relay)."""
    daemon_threads = True

    def __init__(self, popfile):
        self.popfile = popfile
        super().__init__(("127.0.0.1", 0), PausingRelayHandler)


class PausingRelayHandler(socketserver.BaseRequestHandler):
    def handle(self):
        client = self.request
        server = socket.create_connection(("127.0.0.1", self.server.popfile.http_port))
        first = True

        def answers():  # POPFile's side to the client, until POPFile closes
            try:
                while True:
                    data = server.recv(65536)
                    if not data:
                        break
                    client.sendall(data)
            except OSError:
                pass
            try:
                client.shutdown(socket.SHUT_WR)
            except OSError:
                pass

        thread = threading.Thread(target=answers, daemon=True)
        thread.start()
        try:
            while True:
                data = client.recv(65536)
                if not data:
                    break
                if first and data.startswith(b"POST "):
                    self.server.popfile.pause()
                first = False
                server.sendall(data)
            server.shutdown(socket.SHUT_WR)  # the client's end reaches POPFile too
        except OSError:
            pass
        thread.join()
        server.close()


def link_slot(message):
    """The slot number of the X-POPFile-Link line of a message (bytes)."""
    for line in message.split(b"\r\n"):
        if line.lower().startswith(b"x-popfile-link:"):
            return int(line.rsplit(b"view=", 1)[1])
    raise RuntimeError("no X-POPFile-Link in a trained sample: %r" % message[:400])


def train(popfile, mail_port, mail_root):
    """Makes the buckets and teaches POPFile each bucket's samples."""
    popfile.create_buckets()
    user = "trainer_" + popfile.language
    maildrop = os.path.join(mail_root, user)
    os.makedirs(maildrop)
    number = 0
    for bucket, samples in TRAINING.items():
        for subject, body in samples:
            number += 1
            text = ("From: sender%d@example.com\r\nTo: alice@example.com\r\n"
                    "Subject: %s\r\nMessage-ID: <train%d.%s@example.com>\r\n\r\n%s"
                    % (number, subject, number, popfile.language, body.replace("\n", "\r\n")))
            with open(os.path.join(maildrop, "train%02d" % number), "w", newline="") as file:
                file.write(text)
    buckets = {}
    for message in pop3_retrieve_all(popfile.pop3_port, "127.0.0.1:%d:%s" % (mail_port, user)):
        subject = next(line for line in message.split(b"\r\n") if line.startswith(b"Subject:"))
        buckets[link_slot(message)] = next(bucket for bucket, samples in TRAINING.items()
                                           if any(s.encode() in subject for s, _ in samples))
    for slot in buckets:
        popfile.history_row(slot)  # committed, or the form would not find it
    popfile.reclassify(buckets)
    for slot, bucket in buckets.items():
        if popfile.history_row(slot).split()[0] != bucket:
            raise RuntimeError("POPFile (%s) did not take the training of slot %d"
                               % (popfile.language, slot))


def prepare_all(popfiles, mail_port, mail_root):
    """Starts and trains the POPFiles side by side: most of a training is
    waiting for POPFile to commit its history."""
    failures = []

    def prepare(popfile):
        try:
            popfile.start()
            train(popfile, mail_port, mail_root)
        except Exception as error:
            failures.append(error)
    threads = [threading.Thread(target=prepare, args=(popfile,)) for popfile in popfiles]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    if failures:
        raise failures[0]


# ---- What the program asks for ------------------------------------------------

def carry_out(request, popfiles):
    words = request.split()
    verb, language = words[0], words[1]
    popfile = popfiles[language]
    if verb == "stop":
        popfile.stop()
        return ""
    if verb == "start":
        popfile.start(words[2] if len(words) > 2 else None)
        return ""
    if verb == "purge":
        popfile.purge(int(words[2]))
        return ""
    if verb == "history":
        return popfile.history_row(int(words[2]))
    if verb == "dump":
        return popfile.dump_history()
    if verb == "get":
        status, headers, _ = popfile.get(words[2])
        return "%d %s" % (status, headers.get("Location", "-"))
    if verb == "rename":
        popfile.rename(words[2], words[3])
        return ""
    if verb == "relay":
        return str(popfile.relay())
    if verb == "resume":
        popfile.resume()
        return ""
    if verb == "await":
        return popfile.await_bucket(int(words[2]), words[3])
    raise RuntimeError("unknown request " + verb)


def serve_requests(control, popfiles, program):
    """Carries out the program's requests until it ends; its exit status."""
    request_path = os.path.join(control, "request.txt")
    answered = None
    while program.poll() is None:
        try:
            with open(request_path, encoding="utf-8") as file:
                request = file.read().strip()
        except OSError:
            request = ""
        number, _, text = request.partition(" ")
        if number and number != answered and text:
            try:
                answer = "ok\n" + carry_out(text, popfiles)
            except Exception as error:  # told to the program, which fails
                answer = "error\n%s" % error
            print("asked: %s -> %s" % (text, answer.replace("\n", " ")[:100]), flush=True)
            with open(os.path.join(control, "answer.tmp"), "w", encoding="utf-8") as file:
                file.write(number + "\n" + answer + "\n")
            os.replace(os.path.join(control, "answer.tmp"), os.path.join(control, "answer.txt"))
            answered = number
        time.sleep(0.02)
    return program.returncode


def perl_modules_missing():
    return [module for module in PERL_MODULES
            if subprocess.run(["perl", "-M" + module, "-e", "1"], capture_output=True).returncode]


def main(arguments):
    repo = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    tree = os.environ.get("SORTELLA_POPFILE_DIR") or os.path.join(
        os.path.dirname(repo), "shared", "popfile-1.1.3")
    if not os.path.isfile(os.path.join(tree, "popfile.pl")):
        print("SKIPPED: no POPFile 1.1.3 tree at %s (no popfile.pl there); "
              "set SORTELLA_POPFILE_DIR to a copy of it to run this test" % tree)
        return SKIPPED
    missing = perl_modules_missing()
    if missing:
        print("POPFile needs the Perl modules %s: run scripts/setup.sh" % ", ".join(missing))
        return 1

    work = tempfile.mkdtemp(prefix="sortella-real-popfile.")
    engine = os.path.join(work, "engine")
    shutil.copytree(tree, engine)
    mail_root = os.path.join(work, "mail")
    maildrop = os.path.join(mail_root, "alice")
    control = os.path.join(work, "control")
    os.makedirs(maildrop)
    os.makedirs(control)
    server = MailServer(mail_root)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    mail_port = server.server_address[1]
    popfiles = {language: Popfile(language, work, engine) for language in LANGUAGES}
    status = 1
    try:
        prepare_all(popfiles.values(), mail_port, mail_root)
        environment = dict(os.environ, SORTELLA_SCRATCH=windows_path(work),
                           SORTELLA_MAIL_POP3=str(mail_port),
                           SORTELLA_MAILDROP=windows_path(maildrop),
                           SORTELLA_REAL_POPFILE_CONTROL=windows_path(control))
        for language, popfile in popfiles.items():
            environment["SORTELLA_REAL_POPFILE_" + language.upper()] = "%d %d" % (
                popfile.http_port, popfile.pop3_port)
        program = subprocess.Popen(["bash", os.path.join(repo, "scripts", "wine-run.sh")] + arguments,
                                   env=environment)
        try:
            status = serve_requests(control, popfiles, program)
        finally:
            if program.poll() is None:
                program.terminate()
                program.wait()
    except Exception as error:
        print("the real POPFile could not be made ready: %s" % error)
    finally:
        for popfile in popfiles.values():
            popfile.stop()
        server.shutdown()
        server.server_close()
    if status == 0:
        shutil.rmtree(work, ignore_errors=True)
    else:
        print("POPFile's logs and data kept in %s/en and %s/ja (popfile*.log, console.txt, "
              "popfile.db), the mailbox in %s/mailbox-*" % (work, work, work))
    return status


if __name__ == "__main__":
    # A time-out of ctest ends the script with SIGTERM: POPFile is then
    # still stopped on the way out.
    signal.signal(signal.SIGTERM, lambda number, frame: sys.exit(143))
    sys.exit(main(sys.argv[1:]))
