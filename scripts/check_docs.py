#!/usr/bin/env python3
"""Checks the user's documents against the code they describe.

Reads docs/readme-ja.txt, docs/guide.md and docs/sortella.ini (UTF-8) and
compares with the plug-in's sources:
  - every settings key, section and default they name, with settings/;
  - every quoted text of the plug-in (menu items, buttons, boxes, captions)
    with the string literals of the DLL's sources (every top-level folder but
    those of tests, stand-ins and tools) and of plugin/sortella.rc;
    a quoted text that is neither such a literal, nor a heading of the same
    document, nor one of the texts of other programs listed below, fails;
  - the subject limit that a 0 stands for, the first-run rule, and the
    version (the plug-in's name and the zip's);
  - the Japanese guide's lines: at most 70 columns (a full-width character
    counts 2), and Shift_JIS can hold them;
  - the summary box's folder line as the documents show it, with the
    pieces the code builds it from;
  - the keys that start a row of a table, with the keys the code reads
    (sortella.ini and the host's account.ini);
  - the second column of each two-column table of the Japanese guide
    starts at one column;
  - one voice: none of the retired forms listed below in the Japanese
    texts (outside 「」 quotes) nor in the DLL's own texts, and none of
    the retired English forms in the English guide;
  - every 「」 quote inside a text of the DLL (a message box naming a
    POPFile label) is a listed POPFile label or a text of the code;
  - every word that a correction writes into the POPFile column of the
    filing log is quoted in the Japanese guide and in the English guide;
  - every box of a correction (the texts of classifier/reclassify.cpp
    named k...Text or k...Format) has one of its lines quoted whole in
    the Japanese guide and in the English guide, which say what it means.
The POPFile labels listed below are also looked up in the languages/
English.msg and Nihongo.msg of POPFile's engine folder: the one
SORTELLA_POPFILE_DIR names, or else ../shared/popfile-1.1.3 beside the
repository when it is there.

Usage: check_docs.py [REPO]. Prints one line per mismatch, "FILE:LINE: what",
and exits 1 when there is any.
"""
import os
import re
import sys
import unicodedata

# Top-level folders whose sources are not the DLL's; every other one is.
NOT_DLL_DIRS = {"bench", "build", "cmake", "demo", "dist", "docs", "fuzz", "scripts", "standins", "tests"}
DOCUMENTS = ("docs/readme-ja.txt", "docs/guide.md", "docs/sortella.ini")
README_WIDTH = 70

# Labels of POPFile's web interface that the documents quote, in its
# English and Japanese (Nihongo) interface.
POPFILE_LABELS = {
    "Buckets": "バケツ",
    "Bucket Configuration": "サマリー",
    "X-Text-Classification Header": "X-Text-Classification ヘッダー",
    "X-POPFile-Link Header": "X-POPFile-Link ヘッダー",
    "Apply Changes": "変更を適用",
    "Quarantine Message": "隔離",
    "Configuration": "設定",
    "User interface web port": "ユーザーインターフェース用ポート番号",
    "POP3 listen port": "POP3 ポート番号",
    "POP3 host:port:user separator character":
        "POP3 ホスト名、ポート番号、ユーザー名の区切り文字",
    "Security": "セキュリティ",
    "User Interface Password": "ユーザーインターフェースパスワード",
    "Allow concurrent POP3 connections": "POP3 同時接続の許可",
    "Yes": "はい",
    "No": "いいえ",
    "POPFile Control Center": "POPFile コントロールセンター",
    "History": "履歴",
    "Reclassify": "再分類",
    "Reclassified": "再分類されました",
    "Number of days of history to keep": "履歴を残す日数",
    "Subject Header Modification": "件名の変更",
    "Password": "パスワード",
    "Apply": "適用",
    "Stealth Mode/Server Operation": "ステルスモード/サーバーオペレーション",
    "No (Stealth Mode)": "いいえ (ステルスモード)",
}

# Quoted texts that are neither the plug-in's nor POPFile's: forms the user
# writes, and Windows' own labels.
OTHER_TEXTS = {
    "バケツ名=フォルダー名",
    "サーバー名:ユーザー名",
    "サーバー名:ポート:ユーザー名",
    "すべて展開",
}

# Forms the documents no longer use, each with the one they use instead, so
# that the documents (and the DLL's own texts) keep one voice. Matched in
# the Japanese texts with their 「」 quotes blanked out (a quoted label
# keeps its own spelling) and in the DLL's string literals.
RETIRED_FORMS = (
    (r"画面(?!に収ま)", "画面: say ダイアログ, メッセージ or POPFile コントロールセンター "
     "(画面 only for the screen itself)"),
    (r"教え直|分類し直", "say 訂正 (POPFile's 再分類 is named once)"),
    (r"(?<!受け)取(?!得)", "say 取得 / 再取得, as the menu does"),
    (r"(?:ヘッダ|サーバ|フォルダ|ユーザ|ブラウザ|エディタ|フィルタ|パラメータ|コンピュータ)(?!ー)",
     "POPFile's long vowel: ヘッダー, サーバー, フォルダー, ユーザー, ブラウザー, エディター"),
    (r"いつものもの|打って出|大丈夫|開き直|取れていない", "spoken style: write it plainly"),
    (r"(?:^|(?<=[\s(（]))例(?![:え外])", "例: with its colon"),
    (r"^[ \t]*[-*•●◆■]\s", "one bullet style: ・"),
)
# The same for the English guide: POPFile's web pages go by their own name.
RETIRED_ENGLISH_FORMS = (
    (r"(?i)web interface", "say the POPFile Control Center"),
)

# Words of the documents that look like settings keys but are not.
NOT_KEYS = {"VirtualStore", "POPFile"}

problems = []


def report(path, line, text):
    problems.append("%s:%d: %s" % (path, line, text))


# ---------------------------------------------------------------- code side

def string_literals(source):
    """Yields (text, line) for each string literal of C, C++ or resource
    source, adjacent literals joined, comments skipped, escapes decoded."""
    i, line, n = 0, 1, len(source)
    pending, pending_line, since_literal = None, 0, ""
    while i < n:
        c = source[i]
        if source.startswith("//", i):
            end = source.find("\n", i)
            i = n if end < 0 else end
            continue
        if source.startswith("/*", i):
            end = source.find("*/", i + 2)
            end = n if end < 0 else end + 2
            line += source.count("\n", i, end)
            i = end
            continue
        if c == '"':
            j, text = i + 1, []
            while j < n and source[j] != '"':
                if source[j] == "\\" and j + 1 < n:
                    escape = source[j + 1]
                    text.append({"n": "\n", "r": "\r", "t": "\t", "0": "\0"}.get(escape, escape))
                    j += 2
                else:
                    text.append(source[j])
                    j += 1
            literal = "".join(text)
            if pending is not None and since_literal.strip() == "":
                pending += literal
            else:
                if pending is not None:
                    yield pending, pending_line
                pending, pending_line = literal, line
            since_literal = ""
            i = j + 1
            continue
        if c == "'":
            j = i + 1
            while j < n and source[j] != "'":
                j += 2 if source[j] == "\\" else 1
            since_literal += "x"
            i = j + 1
            continue
        if c == "\n":
            line += 1
        since_literal += c
        i += 1
    if pending is not None:
        yield pending, pending_line


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def project_version(repo):
    match = re.search(r"project\(\s*\w+\s+VERSION\s+([0-9.]+)", read(os.path.join(repo, "CMakeLists.txt")))
    return match.group(1) if match else ""


def dll_literals(repo):
    """(text, file, line) of every string literal of the DLL's sources, with
    the build's version put into the version header's template."""
    version = project_version(repo)
    literals = []
    folders = [name for name in sorted(os.listdir(repo))
               if os.path.isdir(os.path.join(repo, name)) and not name.startswith(".") and name not in NOT_DLL_DIRS]
    for folder in folders:
        for name in sorted(os.listdir(os.path.join(repo, folder))):
            if not re.search(r"\.(cpp|h|rc|in)$", name):
                continue
            path = os.path.join(folder, name)
            for text, line in string_literals(read(os.path.join(repo, path))):
                literals.append((text.replace("@PROJECT_VERSION@", version), path, line))
    return literals


FORMAT = re.compile(r"%[-+ #0]*\d*(?:\.\d+)?(?:l|ll|h)?[sdiuxX]")


def code_pattern(text):
    """A regular expression for a code text: printf conversions match any
    text, surrounding blanks do not count."""
    parts = FORMAT.split(text.strip())
    return re.compile("^" + ".+".join(re.escape(p) for p in parts) + "$", re.S)


def code_sample(text):
    return FORMAT.sub("X", text.strip())


def doc_pattern(text):
    """A regular expression for a quoted text: "..." and "…" stand for any
    text (the documents write "POPFile訂正[…]")."""
    parts = re.split(r"\.\.\.|…", text)
    return re.compile("^" + ".+".join(re.escape(p) for p in parts) + "$", re.S)


class CodeTexts:
    def __init__(self, texts):
        # A box text of several lines may be quoted one line at a time.
        pieces = set()
        for text in texts:
            pieces.add(text)
            pieces.update(re.split(r"\r?\n", text))
        # Only texts with Japanese in their fixed part are matched as
        # patterns: a bare "%s" would match anything.
        self.patterns = [(code_pattern(p), code_sample(p)) for p in pieces
                         if not "".join(FORMAT.split(p)).isascii()]
        self.exact = {p.strip() for p in pieces}

    def holds(self, quoted):
        if quoted in self.exact:
            return True
        wanted = doc_pattern(quoted)
        return any(pattern.match(quoted) or wanted.match(sample) for pattern, sample in self.patterns)


def settings_facts(repo):
    """Keys of section Setup with the default each gets when it is missing
    ("empty" for an empty text), the sections, and the first-run rule."""
    source = read(os.path.join(repo, "settings/settings.cpp"))
    defaults = {}
    for key in re.findall(r'ReadSwitch\(\s*\w+,\s*"(\w+)"\)', source):
        defaults[key] = "0"
    for key, fallback in re.findall(r'ReadSetupValue\(\s*\w+,\s*"(\w+)",\s*"([^"]*)"', source):
        defaults[key] = fallback
    # A key written back when it is missing has that value as its default.
    for key, value in re.findall(r'WritePrivateProfileStringA\(\s*"Setup",\s*"(\w+)",\s*"([^"]*)"', source):
        if defaults.get(key) == "":
            defaults[key] = value
    defaults = {key: value if value != "" else "empty" for key, value in defaults.items()}
    sections = set(re.findall(r'PrivateProfileStringA\(\s*"(\w+)"', source))
    rule = re.search(r'WritePrivateProfileStringA\(\s*"MoveMail",\s*"([^"]+)",\s*"([^"]+)"', source)
    first_rule = (rule.group(1), rule.group(2)) if rule else None
    summary = read(os.path.join(repo, "filing/summary_text.cpp"))
    limit = re.search(r"kDefaultSubjectLength\s*=\s*(\d+)", summary)
    return defaults, sections, first_rule, limit.group(1) if limit else None


def host_facts(repo):
    """Sections and keys that the code reads from the host's INI files
    (mailbox.ini and account.ini)."""
    mailbox = read(os.path.join(repo, "mailstore/mailbox.cpp"))
    wait = read(os.path.join(repo, "classifier/startup_wait.cpp"))
    reads = re.findall(r'GetPrivateProfileStringA\(\s*"(\w+)",\s*(?:"(\w+)")?', mailbox + wait)
    sections = {section for section, _ in reads}
    keys = {key for _, key in reads if key}
    keys |= set(re.findall(r'ReadAccountValue\(\s*\w+,\s*"(\w+)"', wait))
    return sections, keys


def summary_folder_line(repo):
    """A regular expression for the summary box's folder line ("[FOLDER]へ
    N 件移動しました"), from the pieces the code appends, or None."""
    source = read(os.path.join(repo, "filing/summary_text.cpp"))
    pieces = re.search(r'summary \+= "\[";\s*summary \+= folder;\s*summary \+= "([^"]*)";\s*'
                       r'summary \+= std::to_string\(movedCount\);\s*summary \+= "([^"]*?)(?:\\n)?";', source)
    if not pieces:
        return None
    return re.compile(r"\[[^\]\n]+" + re.escape(pieces.group(1)) + r"\d+" + re.escape(pieces.group(2)) + "$")


# ---------------------------------------------------------------- documents

def line_of(text, offset):
    return text.count("\n", 0, offset) + 1


def join_wrapped(text):
    """A quoted text that the document wrapped over lines, as one line."""
    def joint(match):
        before, after = match.group(1), match.group(2)
        blank = " " if before.isascii() and before.isalnum() and after.isascii() and after.isalnum() else ""
        return before + blank + after
    return re.sub(r"(.)\n[ \t]*(.)", joint, text)


def japanese_quotes(text):
    """(quoted text, offset) of each outermost 「」 quote."""
    depth, start = 0, 0
    for i, c in enumerate(text):
        if c == "「":
            if depth == 0:
                start = i
            depth += 1
        elif c == "」" and depth > 0:
            depth -= 1
            if depth == 0:
                yield join_wrapped(text[start + 1:i]), start


def english_quotes(text):
    """(quoted text, offset) of each "..." quote outside code spans and
    indented code blocks (a block indented by four after a blank line, not
    inside a list)."""
    offset, in_list, in_code, after_blank = 0, False, False, True
    for raw in text.split("\n"):
        if not raw.strip():
            after_blank = True
        else:
            if re.match(r"^\s*(?:[-*]|\d+\.)\s", raw):
                in_list, in_code = True, False
            elif not raw.startswith(" "):
                in_list, in_code = False, False
            elif raw.startswith("    ") and after_blank and not in_list:
                in_code = True
            after_blank = False
            if not in_code:
                masked = re.sub(r"`[^`]*`", lambda m: " " * len(m.group(0)), raw)
                for match in re.finditer(r'"([^"\n]+)"', masked):
                    yield match.group(1), offset + match.start(1)
        offset += len(raw) + 1


def readme_headings(text):
    """Section names a quote may refer to: every line that starts at the
    first column (its leading "・" and a trailing bracket left out)."""
    names = set()
    for raw in text.split("\n"):
        if raw and not raw[0].isspace():
            name = re.sub(r"^・", "", raw)
            name = re.sub(r"\s*[(（].*$", "", name).strip()
            names.add(name)
    return names


def guide_headings(text):
    names = set(re.findall(r"^#+\s+(.+?)\s*$", text, re.M))
    names |= set(re.findall(r"\*\*([^*]+)\*\*", text))
    return names


def check_quotes(path, text, quotes, code, headings, marks):
    """marks: the document's quotation marks, to name a quote as written."""
    popfile = set(POPFILE_LABELS.values())
    for quoted, offset in quotes:
        if quoted.isascii():
            continue  # symbols and plain words: ";", "=", "ANSI"
        if code.holds(quoted) or quoted in headings or quoted in popfile or quoted in OTHER_TEXTS:
            continue
        report(path, line_of(text, offset), "%s%s%s is no text of the plug-in's code "
               "(nor a heading here, nor a listed POPFile label)" % (marks[0], quoted, marks[1]))


def check_english_labels(path, text, headings):
    """Italic texts of the guide are POPFile's English labels or refer to
    the guide's own headings."""
    for match in re.finditer(r"(?<![*\w])\*([^*\n]+)\*(?![*\w])", text):
        label = join_wrapped(match.group(1))
        if label not in POPFILE_LABELS and label not in headings:
            report(path, line_of(text, match.start()), "*%s* is no listed POPFile label nor a heading" % label)


def check_keys(path, text, defaults, sections):
    for match in re.finditer(r"\b([A-Z][a-z]+(?:[A-Z][a-z]*)+)\b", text):
        word = match.group(1)
        if word not in defaults and word not in sections and word not in NOT_KEYS:
            report(path, line_of(text, match.start()), "%s is no settings key or section of the code" % word)
    for match in re.finditer(r"\b([A-Z][A-Za-z]+)=(?=\d|\s|$)", text, re.M):
        if match.group(1) not in defaults:
            report(path, line_of(text, match.start()), "%s= names no key of section Setup" % match.group(1))
    for match in re.finditer(r"\[([A-Z][A-Za-z]+)\](?!\()", text):
        if match.group(1) not in sections:
            report(path, line_of(text, match.start()), "[%s] is no section of the code" % match.group(1))


def compare_defaults(path, found, defaults, table_line):
    """found: key -> (default text, line); table_line: where the keys are
    listed, named for a key that has no default there."""
    for key, (value, line) in found.items():
        if key not in defaults:
            report(path, line, "%s is no key of section Setup" % key)
        elif value != defaults[key]:
            report(path, line, "the default of %s is %s in the code, %s here" % (key, defaults[key], value))
    for key in defaults:
        if key not in found:
            report(path, table_line, "no default given for %s" % key)


def readme_defaults(text):
    """key -> (default, line) from the [Setup] list of the Japanese guide:
    each key starts a line indented by two, its default is "既定は N"."""
    found, key, key_line = {}, None, 0
    block = text[text.find("[Setup]"):]
    block = block[:block.find("\n\n")]
    base = line_of(text, text.find("[Setup]"))
    for number, raw in enumerate(block.split("\n")[1:], base + 1):
        start = re.match(r"^  ([A-Za-z]+)\s{2,}", raw)
        if start:
            key, key_line = start.group(1), number
        default = re.search(r"既定は\s*(\d+|空)", raw)
        if key and default and key not in found:
            value = default.group(1)
            found[key] = ("empty" if value == "空" else value, key_line)
    return found


def guide_defaults(text):
    found = {}
    for match in re.finditer(r"^\| `(\w+)` \| ([^|]+?) \|", text, re.M):
        found[match.group(1)] = (match.group(2).strip(), line_of(text, match.start()))
    return found


def sample_keys(path, text, defaults):
    section = None
    present = set()
    for number, raw in enumerate(text.split("\n"), 1):
        header = re.match(r"^\[(\w+)\]", raw)
        if header:
            section = header.group(1)
        key = re.match(r"^(\w+)=", raw)
        if key and section == "Setup":
            present.add(key.group(1))
            if key.group(1) not in defaults:
                report(path, number, "%s is no key of section Setup" % key.group(1))
    for key in defaults:
        if key not in present:
            report(path, 1, "the sample has no %s" % key)


def check_numbers(path, text, first_rule, subject_limit):
    for match in re.finditer(r"\b0 ?(?:の\s*ときは|なら|means)\s+(\d+)", text):
        if match.group(1) != subject_limit:
            report(path, line_of(text, match.start()),
                   "a SubjectLength of 0 stands for %s in the code, %s here" % (subject_limit, match.group(1)))
    if first_rule:
        bucket, folder = first_rule
        for match in re.finditer(r"(?<![\w-])%s=(\S+?)(?=[\s`)、。]|$)" % re.escape(bucket), text):
            if match.group(1) != folder:
                report(path, line_of(text, match.start()),
                       "the first-run rule is %s=%s in the code" % (bucket, folder))


def check_version(path, text, version):
    """The version the plug-in names itself by and the zip's name."""
    for match in re.finditer(r"Sortella Version (\d[\d.]*\d)|sortella-(\d[\d.]*\d)\.zip|^(?:# )?Sortella (\d[\d.]*\d) ", text, re.M):
        found = next(group for group in match.groups() if group)
        if found != version:
            report(path, line_of(text, match.start()), "version %s here, %s in the project" % (found, version))


def columns(line):
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in line)


def check_readme_lines(path, text):
    for number, raw in enumerate(text.split("\n"), 1):
        if columns(raw) > README_WIDTH:
            report(path, number, "%d columns, more than %d" % (columns(raw), README_WIDTH))
        try:
            raw.encode("cp932")
        except UnicodeEncodeError as error:
            report(path, number, "%r has no Shift_JIS form" % raw[error.start])


def blank_japanese_quotes(text):
    """The text with the inside of every outermost 「」 quote blanked (line
    ends kept), so that a quoted label is not read as the document's own
    words."""
    chars, depth = list(text), 0
    for i, c in enumerate(chars):
        if c == "「":
            depth += 1
        elif c == "」" and depth > 0:
            depth -= 1
        elif depth > 0 and c != "\n":
            chars[i] = " "
    return "".join(chars)


def check_retired(path, text, forms, first_line=1):
    """Reports each retired form of `forms` in `text`, which starts at line
    `first_line` of `path`."""
    for pattern, instead in forms:
        for match in re.finditer(pattern, text, re.M):
            report(path, first_line + text.count("\n", 0, match.start()),
                   "%r is a retired form (%s)" % (match.group(0).strip(), instead))


def check_code_texts(literals, code):
    """The DLL's own Japanese texts: no retired form, and each 「」 quote in
    them a listed POPFile label or a text of the code."""
    popfile = set(POPFILE_LABELS.values())
    for text, path, line in literals:
        if text.isascii():
            continue
        check_retired(path, blank_japanese_quotes(text), RETIRED_FORMS, line)
        for quoted, offset in japanese_quotes(text):
            if quoted.isascii() or quoted in popfile or code.holds(quoted):
                continue
            report(path, line + text.count("\n", 0, offset),
                   "「%s」 is no listed POPFile label nor a text of the code" % quoted)


def check_summary_lines(path, text, folder_line):
    """Lines that show the summary box's folder line show it as the code
    builds it."""
    for number, raw in enumerate(text.split("\n"), 1):
        shown = raw.strip().strip("`")
        if re.match(r"\[[^\]\n]+\]\S*\s+\d+\s", shown) and not folder_line.match(shown):
            report(path, number, "%r is not the summary box's folder line as the code builds it" % shown)


# A row of a two-column table: indentation, a first cell, two or more
# blanks, a second cell.
TABLE_ROW = re.compile(r"^( *)(\S(?:.*?\S)?)( {2,})(\S)")


def check_tables(path, text, keys):
    """In each paragraph with two or more table rows, every second cell
    starts at one column, and so does every continuation line indented
    past the first cells; a first cell that looks like a key is a key of
    the code."""
    lines = text.split("\n")
    start = 0
    while start < len(lines):
        end = start
        while end < len(lines) and lines[end].strip():
            end += 1
        rows = []
        for number in range(start, end):
            match = TABLE_ROW.match(lines[number])
            if match:
                rows.append((number + 1, len(match.group(1)), columns(lines[number][:match.start(4)]),
                             match.group(2)))
        if len(rows) >= 2:
            cells = [cell for _, _, cell, _ in rows]
            column = max(set(cells), key=cells.count)
            indent = min(row_indent for _, row_indent, _, _ in rows)
            for number, _, cell, _ in rows:
                if cell != column:
                    report(path, number, "the second column starts at %d here, at %d in the other rows"
                           % (cell + 1, column + 1))
            row_numbers = {number for number, _, _, _ in rows}
            for number in range(start + 1, end + 1):
                raw = lines[number - 1]
                depth = len(raw) - len(raw.lstrip(" "))
                if number not in row_numbers and depth > indent and depth != column:
                    report(path, number, "a continuation starts at %d, the second column at %d"
                           % (depth + 1, column + 1))
            for number, _, _, first in rows:
                if re.fullmatch(r"[A-Z][A-Za-z0-9]+", first) and first not in keys and first not in NOT_KEYS:
                    report(path, number, "%s is no key that the code reads" % first)
        start = end + 1


def check_guide_table_keys(path, text, keys):
    """A row of a table of the guide whose first cell is a key in code
    quotes names a key that the code reads."""
    for match in re.finditer(r"^[ \t]*\| `([A-Z][A-Za-z0-9]+)` \|", text, re.M):
        if match.group(1) not in keys:
            report(path, line_of(text, match.start()), "%s is no key that the code reads" % match.group(1))


def log_words(repo):
    """The words of the filing log's POPFile column: the texts that
    LogWordsOf in classifier/reclassify.cpp returns."""
    source = read(os.path.join(repo, "classifier/reclassify.cpp"))
    body = re.search(r"\bLogWordsOf\([^)]*\)\s*\{(.*?)\n\}", source, re.S)
    if not body:
        return []
    return [text for text, _ in string_literals(body.group(1)) if text]


def check_log_words(path, text, words, marks):
    """Each word of the POPFile column is quoted in the document."""
    for word in words:
        if "%s%s%s" % (marks[0], word, marks[1]) not in text:
            report(path, 1, "the filing log's POPFile column word %s%s%s is not listed here"
                   % (marks[0], word, marks[1]))


def correction_boxes(repo):
    """(name, lines) of each box text of a correction: the constants of
    classifier/reclassify.cpp named k...Text or k...Format, each with the
    lines of its own literals (the lines that macros add are shared by
    several boxes and name none)."""
    source = read(os.path.join(repo, "classifier/reclassify.cpp"))
    boxes = []
    for match in re.finditer(r"\bconst char (k\w+(?:Text|Format))\[\]\s*=(.*?);", source, re.S):
        lines = [line.strip() for text, _ in string_literals(match.group(2))
                 for line in text.split("\n") if line.strip()]
        boxes.append((match.group(1), lines))
    return boxes


def check_correction_boxes(path, quotes, boxes):
    """Each box has a line that a quote of the document gives whole."""
    # A quote of plain words or only "..." names no box.
    quoted = [text for text, _ in quotes if not re.sub(r"\.\.\.|…", "", text).isascii()]
    for name, lines in boxes:
        if not any(code_pattern(line).match(text) or doc_pattern(text).match(code_sample(line))
                   for line in lines for text in quoted):
            report(path, 1, "no line of the correction's box %s is quoted here" % name)


def popfile_labels_in(engine):
    """The label texts of POPFile's English and Japanese interface, with
    its line breaks (<br>) read as blanks."""
    def values(name, encoding):
        with open(os.path.join(engine, "languages", name), encoding=encoding) as f:
            return {re.sub(r"<br\s*/?>", " ", line.split(None, 1)[1].strip())
                    for line in f if len(line.split(None, 1)) == 2 and not line.startswith("#")}
    return values("English.msg", "latin-1"), values("Nihongo.msg", "euc_jp")


def check_popfile_labels(engine):
    english, japanese = popfile_labels_in(engine)
    script = read(__file__)
    for label, nihongo in POPFILE_LABELS.items():
        line = line_of(script, script.find('"%s": ' % label))
        if label not in english:
            report(__file__, line, "POPFile's English interface has no label %r" % label)
        if nihongo not in japanese:
            report(__file__, line, "POPFile's Japanese interface has no label %r" % nihongo)


def popfile_engine(repo):
    """POPFile's engine folder named by SORTELLA_POPFILE_DIR, or else the
    one beside the repository; "" when there is none."""
    engine = os.environ.get("SORTELLA_POPFILE_DIR") or os.path.join(os.path.dirname(repo), "shared", "popfile-1.1.3")
    return engine if os.path.isdir(os.path.join(engine, "languages")) else ""


def main():
    repo = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    literals = dll_literals(repo)
    code = CodeTexts([text for text, _, _ in literals])
    defaults, sections, first_rule, subject_limit = settings_facts(repo)
    host_sections, host_keys = host_facts(repo)
    folder_line = summary_folder_line(repo)
    words = log_words(repo)
    boxes = correction_boxes(repo)
    if not defaults or not sections or not first_rule or not subject_limit or not host_keys or not folder_line \
            or not words or not boxes:
        print("check_docs.py: the settings, host file, summary or filing log code no longer reads as expected; "
              "update this check")
        return 1
    texts = {name: read(os.path.join(repo, name)) for name in DOCUMENTS}
    readme, guide, sample = (texts[name] for name in DOCUMENTS)
    readme_path, guide_path, sample_path = DOCUMENTS

    check_readme_lines(readme_path, readme)
    corners, doubles = ("\u300c", "\u300d"), ('"', '"')
    check_quotes(readme_path, readme, japanese_quotes(readme), code, readme_headings(readme), corners)
    check_quotes(sample_path, sample, japanese_quotes(sample), code, readme_headings(readme), corners)
    headings = guide_headings(guide)
    check_quotes(guide_path, guide, english_quotes(guide), code, headings, doubles)
    check_quotes(guide_path, guide, japanese_quotes(guide), code, headings, corners)
    check_english_labels(guide_path, guide, headings)
    version = project_version(repo)
    for name in DOCUMENTS:
        check_version(name, texts[name], version)
        check_keys(name, texts[name], defaults, sections | host_sections)
        check_numbers(name, texts[name], first_rule, subject_limit)
        check_summary_lines(name, texts[name], folder_line)
    compare_defaults(readme_path, readme_defaults(readme), defaults, line_of(readme, readme.find("[Setup]")))
    compare_defaults(guide_path, guide_defaults(guide), defaults, line_of(guide, guide.find("| Key |")))
    sample_keys(sample_path, sample, defaults)
    check_tables(readme_path, readme, set(defaults) | host_keys)
    check_guide_table_keys(guide_path, guide, set(defaults) | host_keys)
    for name in (readme_path, sample_path):
        check_retired(name, blank_japanese_quotes(texts[name]), RETIRED_FORMS)
    check_retired(guide_path, guide, RETIRED_ENGLISH_FORMS)
    check_code_texts(literals, code)
    check_log_words(readme_path, readme, words, corners)
    check_log_words(guide_path, guide, words, doubles)
    check_correction_boxes(readme_path, japanese_quotes(readme), boxes)
    check_correction_boxes(guide_path, english_quotes(guide), boxes)
    engine = popfile_engine(repo)
    if engine:
        check_popfile_labels(engine)

    for problem in problems:
        print(problem)
    if problems:
        print("%d mismatch(es) between the documents and the code" % len(problems))
        return 1
    print("documents agree with the code (%d keys, %d texts of the plug-in); POPFile's labels %s"
          % (len(defaults), len(code.exact),
             "looked up in " + engine if engine else "not looked up: no POPFile engine folder"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
