"""Checks one demo session (scripts/demo.sh) against what should happen and
prints a readable report in UTF-8. Exit status 0 only when every check
passed. Reads the work directory the demo left: the stand-in program's
transcript, POPFile stand-in's records, the mailbox, the settings file and
the screenshots."""
import argparse
import os
import re
import sys

failures = 0


def check(ok, what, detail=""):
    global failures
    if not ok:
        failures += 1
    line = "  %-7s %s" % ("ok" if ok else "FAILED", what)
    if detail:
        line += "  (" + detail + ")"
    print(line)
    return ok


def heading(text):
    print()
    print("== " + text)


def read_events(path):
    """The transcript as (kind, text) pairs; continuation lines are joined
    to their event with newlines."""
    events = []
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            for line in f:
                line = line.rstrip("\n")
                if line.startswith(" ") and events:
                    kind, text = events[-1]
                    events[-1] = (kind, text + "\n" + line.strip())
                elif ": " in line:
                    kind, text = line.split(": ", 1)
                    events.append((kind, text))
                elif line:
                    events.append((line.rstrip(":"), ""))
    except OSError:
        pass
    return events


def section(events, title):
    """The events after the note "--- TITLE" up to the next such note."""
    out = []
    inside = False
    for kind, text in events:
        if kind == "note" and text.startswith("--- "):
            inside = text == "--- " + title
            continue
        if inside:
            out.append((kind, text))
    return out


def before_first_note(events):
    out = []
    for kind, text in events:
        if kind == "note" and text.startswith("--- "):
            break
        out.append((kind, text))
    return out


def read_ini(path, encoding):
    sections = {}
    current = None
    try:
        with open(path, encoding=encoding) as f:
            for line in f:
                line = line.strip()
                if line.startswith("[") and line.endswith("]"):
                    current = sections.setdefault(line[1:-1], {})
                elif "=" in line and current is not None and not line.startswith(";"):
                    key, value = line.split("=", 1)
                    current[key.strip()] = value.strip()
    except (OSError, UnicodeDecodeError):
        pass
    return sections


def header(content, name):
    """The value of header NAME (bytes) in a message, unfolded, or None."""
    head = content.split(b"\r\n\r\n", 1)[0].replace(b"\r\n", b"\n")
    for line in re.split(rb"\n(?![ \t])", head):
        if line.lower().startswith(name.lower() + b":"):
            return line[len(name) + 1:].strip()
    return None


def read_history(path):
    history = {}
    try:
        with open(path, encoding="utf-8") as f:
            for line in f:
                fields = line.rstrip("\n").split("\t")
                if len(fields) == 4:
                    history[int(fields[0])] = {"spool": fields[1], "delivered": fields[2],
                                               "current": fields[3]}
    except OSError:
        pass
    return history


def mailbox_messages(account_dir):
    """{entry name: (folder, path, link number or None)} for every message."""
    messages = {}
    if not os.path.isdir(account_dir):
        return messages
    for folder in sorted(os.listdir(account_dir)):
        folder_dir = os.path.join(account_dir, folder)
        if not os.path.isdir(folder_dir):
            continue
        for name in sorted(os.listdir(folder_dir)):
            path = os.path.join(folder_dir, name)
            with open(path, "rb") as f:
                content = f.read()
            link = header(content, b"X-POPFile-Link")
            number = None
            if link:
                match = re.search(rb"view=(\d+)", link)
                number = int(match.group(1)) if match else None
            messages[os.path.splitext(name)[0]] = (folder, path, number, content)
    return messages


def png_ok(path):
    try:
        with open(path, "rb") as f:
            data = f.read(24)
        return data.startswith(b"\x89PNG") and os.path.getsize(path) > 1000
    except OSError:
        return False


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--work", required=True)
    parser.add_argument("--settings", required=True)
    parser.add_argument("--http-port", required=True)
    parser.add_argument("--correct-entry", required=True)
    parser.add_argument("--default-bucket", required=True)
    parser.add_argument("--host-status", type=int, default=0)
    args = parser.parse_args()
    work = args.work
    shots = os.path.join(work, "screenshots")
    events = read_events(os.path.join(work, "transcript.txt"))
    history = read_history(os.path.join(work, "popfile", "history.txt"))
    rules = read_ini(args.settings, "utf-8").get("MoveMail", {})
    inbox = "郵便受け"
    account_dir = os.path.join(work, "mailbox", "acc1")
    base_url = "http://127.0.0.1:%s/" % args.http_port

    heading("the stand-in program")
    check(args.host_status == 0, "postwick-standin.exe ran the whole script and ended",
          "exit status %d" % args.host_status)
    errors = [text for kind, text in events if kind == "error"]
    check(not errors, "no step went wrong", "; ".join(errors)[:300])
    names = [text for kind, text in events if kind == "plugin" and text.startswith("name ")]
    check(bool(names), "the plug-in was loaded and named itself", names[0] if names else "")

    heading("1. start-up: the plug-in waits for POPFile")
    start = before_first_note(events)
    try:
        with open(os.path.join(work, "wait-dialog.txt")) as f:
            seen = f.read().split("\n")
    except OSError:
        seen = []
    check(bool(seen) and seen[0].startswith("seen"),
          "the wait dialog appeared while the POP3 port was closed", seen[0] if seen else "")
    check("closed" in seen, "it closed by itself once the port was opened",
          ", ".join(s for s in seen[1:] if s))
    wait_dialog = [text for kind, text in start
                   if kind == "dialog" and "template 103" in text]
    startup = [text for kind, text in start
               if kind == "plugin" and text.startswith("APCStartUp returned")]
    check(bool(startup) and startup[0].endswith(" 1"), "the plug-in started",
          startup[0] if startup else "no APCStartUp")
    if wait_dialog:
        print("          transcript: " + "; ".join(wait_dialog))
    check(png_ok(os.path.join(shots, "wait-dialog.png")), "screenshot wait-dialog.png")

    heading("2. retrieval and filing")
    retrieval = section(events, "retrieval")
    stored = [text for kind, text in retrieval
              if kind == "pop3" and text.startswith("retrieval done")]
    check(bool(stored), "a retrieval ran", stored[0] if stored else "")
    messages = mailbox_messages(account_dir)
    numbers = [m[2] for m in messages.values() if m[2] is not None]
    check(len(history) > 0 and sorted(numbers) == sorted(history),
          "each message POPFile classified is in the mailbox once",
          "%d classified, %d in the mailbox with a verdict, %d without"
          % (len(history), len(numbers), len(messages) - len(numbers)))
    wrong = []
    counts = {}
    for entry, (folder, path, number, content) in sorted(messages.items()):
        if number is None:
            bucket = None
            expected = inbox
        else:
            bucket = history.get(number, {}).get("delivered")
            expected = rules.get(bucket, inbox) if bucket else inbox
        # The corrected message is checked below, in its new folder.
        if number is not None and history.get(number, {}).get("current") != bucket:
            continue
        counts[expected] = counts.get(expected, 0) + 1
        if folder != expected:
            wrong.append("%s [%s] in %s, not %s" % (entry, bucket, folder, expected))
    check(not wrong, "every message is in its rule's folder, the others in " + inbox,
          "; ".join(wrong[:5]) or ", ".join("%s %d" % kv for kv in sorted(counts.items())))
    boxes = [text for kind, text in retrieval if kind == "box"]
    box = boxes[0] if boxes else ""
    check(bool(boxes), "the summary box appeared")
    # Folder counts as the box should state them: every message moved by a
    # rule at delivery.
    moved = {}
    for number, record in history.items():
        folder = rules.get(record["delivered"])
        if folder:
            moved[folder] = moved.get(folder, 0) + 1
    missing = []
    for folder, count in sorted(moved.items()):
        if not re.search(re.escape(folder) + r"\D{0,12}" + str(count) + r"\b", box):
            missing.append("%s %d" % (folder, count))
    check(bool(boxes) and not missing, "the box lists each folder with its count",
          "missing: " + ", ".join(missing) if missing else
          ", ".join("%s %d" % kv for kv in sorted(moved.items())))
    lines = [l for l in box.split("\n") if l.strip()]
    senders = sum(1 for l in lines if "@" in l or "<" in l)
    check(len(lines) > len(moved) + 1, "the box lists senders and subjects",
          "%d lines" % len(lines))
    if box:
        print("          the box says:")
        for l in box.split("\n")[:14]:
            print("            " + l)
        if len(box.split("\n")) > 14:
            print("            …")
    check(png_ok(os.path.join(shots, "summary-box.png")), "screenshot summary-box.png")

    heading("3. correction from the folder menu")
    correction = section(events, "correction")
    target = args.correct_entry.split("\\")[-1]
    try:
        with open(os.path.join(work, "popfile", "reclassify.log")) as f:
            log = f.read()
    except OSError:
        log = ""
    # The corrected message: the one POPFile was told about, found in the
    # mailbox by its link (a move may give it a new name).
    changed = [int(l.split("\t")[0]) for l in log.splitlines() if l.count("\t") == 2]
    number = changed[0] if changed else None
    original = next((m for m in messages.values() if number is not None and m[2] == number),
                    None)
    selected = [t for k, t in correction if k == "select"]
    check(bool(selected) and selected[0] == args.correct_entry,
          "message " + args.correct_entry + " selected", selected[0] if selected else "")
    moves = [t for k, t in correction if k == "move"]
    check(original is not None and (target == os.path.splitext(os.path.basename(original[1]))[0]
                                    or any(m.startswith(args.correct_entry) for m in moves)),
          "the message POPFile was told about is the selected one",
          "history number %s%s" % (number, "; " + moves[0] if moves else ""))
    menus = [text for kind, text in correction if kind == "menu"]
    item = "POPFile訂正[%s]" % args.default_bucket
    check(any(item in m for m in menus), "the folder menu shows \"%s\"" % item)
    shot = [text for kind, text in correction if kind == "menu-shot"]
    check(bool(shot) and "shown and closed" in shot[0] and png_ok(os.path.join(shots, "menu.png")),
          "screenshot menu.png with the submenu open", shot[0] if shot else "")
    chosen = [text for kind, text in correction if kind == "choose"]
    check(bool(chosen) and "id " in chosen[0], "\"%s\" > work chosen" % item,
          chosen[0] if chosen else "")
    if number is not None:
        record = history.get(number, {})
        check(record.get("current") == "work", "POPFile's history: the message is now work",
              "history %d: delivered %s, now %s" % (number, record.get("delivered"),
                                                    record.get("current")))
        check("%d\t%s\twork" % (number, args.default_bucket) in log,
              "POPFile recorded the change %s -> work" % args.default_bucket,
              log.strip().replace("\t", " "))
    if original is not None:
        folder, path, _, content = original
        value = header(content, b"X-Text-Classification")
        check(value == b"work", "the message's header says X-Text-Classification: work",
              "it says %s" % (value.decode("ascii", "replace") if value else "nothing"))
        expected = rules.get("work", inbox)
        check(folder == expected, "the message moved to " + expected, "it is in " + folder)

    heading("4. \"POPFileを開く\"")
    opening = section(events, "open in POPFile")
    selected = [text for kind, text in opening if kind == "select"]
    entry = selected[0].split("\\")[-1] if selected else ""
    link = None
    if entry in messages:
        value = header(messages[entry][3], b"X-POPFile-Link")
        link = value.decode("ascii", "replace") if value else None
    shells = [text for kind, text in opening if kind == "shell"]
    check(bool(link) and any(link in s for s in shells),
          "the message's POPFile page was opened", (shells[0] if shells else "no shell open")
          .replace("\n", " ")[:200])
    check(bool(link) and link.startswith(base_url), "its link is POPFile's web interface",
          link or "no X-POPFile-Link in %s" % (entry or "the selected message"))

    heading("5. setup dialog and about box")
    setup = section(events, "setup dialog")
    ini = read_ini(os.path.join(work, "postwick", "Plugins", "sortella.ini"), "shift_jis")
    values = ini.get("Setup", {})
    check([t for k, t in setup if k == "dialog" and t.startswith("open template 101")] != [],
          "the setup dialog opened")
    check(png_ok(os.path.join(shots, "setup-dialog.png")), "screenshot setup-dialog.png")
    check(values.get("Beep") == "1" and values.get("DispDialog") == "0",
          "\"ビープ音を鳴らす\" chosen and OK: sortella.ini says Beep=1, DispDialog=0",
          "Beep=%s DispDialog=%s" % (values.get("Beep"), values.get("DispDialog")))
    check(values.get("URL") == base_url, "the plug-in learned POPFile's URL from the first link",
          "URL=%s" % values.get("URL"))
    about = section(events, "about box")
    ended = [t for k, t in about if k == "dialog" and t.startswith("template 100 ended")]
    check(bool(ended) and ended[0].endswith(" 1"), "the about box opened and OK closed it",
          ended[0] if ended else "")
    check(png_ok(os.path.join(shots, "about-box.png")), "screenshot about-box.png")

    heading("6. the filing log")
    try:
        with open(os.path.join(work, "sortella.log"), "rb") as f:
            raw = f.read()
    except OSError:
        raw = b""
    check(bool(raw), "sortella.log was written beside sortella.ini")
    text = raw.decode("cp932", "replace")
    lines = text.split("\r\n")
    check(raw.endswith(b"\r\n") and "\n" not in text.replace("\r\n", ""),
          "the log is Shift_JIS with CR LF line ends")
    rows = [line.split("\t") for line in lines[:-1]]
    columns = ["日時", "種類", "アカウント", "メール", "移動先", "バケツ", "POPFile", "差出人", "件名"]
    check(bool(rows) and rows[0] == columns, "one header line with the nine column names",
          "\t".join(rows[0]) if rows else "")
    check(all(len(row) == 9 for row in rows), "every line has nine fields")
    filed = [row for row in rows[1:] if len(row) == 9 and row[1] == "振り分け"]
    corrected = [row for row in rows[1:] if len(row) == 9 and row[1] == "訂正"]
    check(len(filed) == sum(moved.values()), "one line per moved message",
          "%d lines, %d moved" % (len(filed), sum(moved.values())))
    by_folder = {}
    for row in filed:
        folder = row[4].split("\\", 1)[-1]
        by_folder[folder] = by_folder.get(folder, 0) + 1
    check(by_folder == moved, "each line names the folder its message went to",
          ", ".join("%s %d" % kv for kv in sorted(by_folder.items())))
    expected = "%s → work" % args.default_bucket
    check(len(corrected) == 1 and corrected[0][5] == expected and corrected[0][6] == "済"
          and corrected[0][3] == args.correct_entry,
          "one line for the correction: %s, POPFile told (済)" % expected,
          " | ".join(corrected[0]) if corrected else "no correction line")
    if rows:
        print("          the log holds (first lines and the last):")
        for row in rows[:4] + ([["…"]] if len(rows) > 5 else []) + rows[-1:]:
            print("            " + " | ".join(row))

    print()
    print("%s: %d check(s) failed" % ("FAILED", failures) if failures else "all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
