#!/usr/bin/env python3
"""Word recall of the built-in Word and Excel against LibreOffice's text.

A developer tool; CI never runs it and the project never depends on
LibreOffice. It answers two questions over a set of files:

  opens   which files `varnel-find -x FILE` reads (exit 0 and nothing on
          stderr), each run under a time limit and an address-space limit
          (ulimit -v), so that a later change can show that no file that
          opened before fails afterwards;
  recall  for each file that both we and LibreOffice open, the share of
          LibreOffice's words that our text also holds.

Words: the text is put in Unicode NFC, format characters (soft hyphen,
zero-width marks, byte order mark) are removed, it is case-folded, and a
word is a run of letters (with their combining marks) or a run of digits;
each CJK ideograph or kana is a word of its own, since those scripts put no
spaces between words and line breaks would otherwise split runs
differently. A run of digits loses its leading zeros ("08" and "8" are one
word), so that 08/01/1998 and 8/1/1998 compare equal. Both texts become
multisets of words; recall is sum(min(ours[w], oracle[w])) / sum(oracle[w]).
Beside it, "text" recall counts only the oracle's words that hold a letter,
so that a file's number formatting and the oracle's recalculated numbers
can be told from words we drop.

The oracle is LibreOffice 7.4 or later (apt-get install
libreoffice-writer-nogui libreoffice-calc-nogui):
  documents  soffice --convert-to "txt:Text (encoded):UTF8"
  workbooks  soffice --convert-to csv with the CSV filter's twelfth token
             set to -1, which writes every sheet to a file of its own; a
             workbook that Calc does not take (a web page named .xls) falls
             back to the text export. Each workbook is converted twice: with
             cell values as stored ("values": numbers unformatted, as in the
             formula bar, which is what our Excel reads and finds) and with
             cell contents as shown ("shown": each cell's number format
             applied, 8,253,465 and Aug-1998). The Excel recall is taken
             against "values"; the "shown" recall is printed beside it and
             is lower wherever a number format adds words (thousands
             separators, month names, fixed decimals).
What the oracle cannot judge: LibreOffice's document text holds the main
story only (no headers, footers, notes, comments or text boxes), so words we
drop there go unseen; and its text has words that no reader of ours can
find and that are no miss: list numbers, note reference marks glued to the
word before them ("text1"), field results it computes anew (FILENAME gives
the oracle's temporary name "in.doc", DATE gives today), text of tracked
deletions, formulas it recalculates (Err:502, #NAME?, TODAY()), pivot
tables it rebuilds with its own labels ("Total Result"), its own number
formats (percent cells as 8.03%, 24-hour times, 14 significant digits).
`missed` shows which it is for one file. When LibreOffice cannot take a
damaged compound file or zip package it may import the raw bytes as plain
text; such an output counts as "LibreOffice does not open it".

Documents are converted a second time, to HTML (soffice --convert-to
"html:HTML (StarWriter)"), whose text also holds headers, footers,
footnotes and endnotes (not comments or text boxes); note reference marks
are left out of it. The recall against it is printed as "stories".

LibreOffice's text also holds words that Word's Find never sees or that it
computes itself: list labels, note marks, fields computed at conversion time,
tracked deletions, formulas it recalculates, its own error codes, numbers
and dates spelled its own way. adjust.py defines, from the structure of two
further exports (documents: Flat ODF, "fodt"; workbooks: CSV of the values
and of the formulas of every cell, "cells"), which of those words to leave
out of the oracle or to compare by value; it never looks at our text to
decide what to leave out. Each figure is printed raw and adjusted (--adjust
all, the default; --adjust none gives the raw figure only). Before a run,
the workbooks that lack the "cells" exports are converted in groups, one
LibreOffice start for many files, since starting it costs more than
converting a small workbook.

Its output is cached outside the repository, keyed by the file's SHA-256,
so a second run converts nothing. Each worker uses a LibreOffice profile of
its own: two soffice processes on one profile hand their work to each other.

Usage (from the repository root):
  bench/recall/recall.py run [--build] [--build-dir build | --find PATH]
        [--oracle /work/oracle/cache] [--out /work/oracle/baseline]
        [--timeout 60] [--mem-mb 4096] [--out-mb 256] [--jobs 1] [--no-oracle]
        [--threshold 95] [--skip-ext py,sh,md,cmake] [--adjust all|none|LIST]
        [--recalc never|always] FILE_OR_FOLDER...
      Writes OUT-opens.tsv (one line a file: open|fail, path, reason),
      OUT-recall.tsv (the table) and OUT-summary.txt, and prints the
      summary. Folders are searched recursively. Files inside this
      repository are listed by their path from its root.
  bench/recall/recall.py compare BEFORE-opens.tsv AFTER-opens.tsv
      Lists the files that opened before and fail now (exit status 1 if
      any) and the files that open now and did not before.
  bench/recall/recall.py missed [--find PATH] [--oracle DIR] [--words 40]
        [--lines 12] [--shown] [--stories] [--raw] [--adjust LIST] FILE...
      For one file at a time: the oracle's words that our text lacks, with
      both counts, and the oracle's lines that hold the first of them
      (after the adjustments unless --raw, --shown or --stories).

Categories in the summary follow the reader that -x uses: names ending in
.xls*/.xlt* go to the built-in Excel ("excel"); everything else to the
built-in Word, split into "word" (Word and RTF documents), "text" and "web".
"""

import argparse
import collections
import concurrent.futures
import csv
import hashlib
import html.parser
import io
import json
import os
import re
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import unicodedata
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import adjust  # noqa: E402

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DEFAULT_ORACLE = "/work/oracle/cache"

# --------------------------------------------------------------------------
# Words

def _chars_of(categories):
    return [chr(c) for c in range(sys.maxunicode + 1)
            if unicodedata.category(chr(c)) in categories]

_FORMAT_TABLE = None
_WORD_RE = None
_CJK_RE = re.compile(
    "([\u3040-\u30ff\u3400-\u4dbf\u4e00-\u9fff\uf900-\ufaff\U00020000-\U0003134f])")


def _init_words():
    global _FORMAT_TABLE, _WORD_RE
    if _WORD_RE is not None:
        return
    _FORMAT_TABLE = {ord(c): None for c in _chars_of({"Cf"})}
    marks = "".join(re.escape(c) for c in _chars_of({"Mn", "Mc", "Me"}))
    # [^\W\d_] is a letter (or a non-decimal numeral such as a superscript);
    # marks join the letter run they follow.
    _WORD_RE = re.compile(r"(?:[^\W\d_]|[" + marks + r"])+|\d+")


def words(text):
    """The multiset of words of `text` (see the module comment)."""
    _init_words()
    text = unicodedata.normalize("NFC", text).translate(_FORMAT_TABLE)
    text = unicodedata.normalize("NFC", text.casefold())
    text = _CJK_RE.sub(r" \1 ", text)
    return collections.Counter(t.lstrip("0") or "0" if t[0].isdigit() else t
                               for t in _WORD_RE.findall(text))


def recall_of(oracle_words, our_words):
    total = sum(oracle_words.values())
    if total == 0:
        return None, 0, 0
    matched = sum(min(n, our_words.get(w, 0)) for w, n in oracle_words.items())
    return matched / total, matched, total


def letter_words(counter):
    """The words that hold a letter: what is left when numbers, whose
    spelling depends on number formats, are set aside."""
    return collections.Counter({w: n for w, n in counter.items() if not w.isdigit()})


def missed_words(oracle_words, our_words):
    """(word, oracle count, our count) for every word we have fewer of."""
    out = [(w, n, our_words.get(w, 0)) for w, n in oracle_words.items()
           if our_words.get(w, 0) < n]
    out.sort(key=lambda t: (-(t[1] - t[2]), t[0]))
    return out

# --------------------------------------------------------------------------
# Files

def category_of(path):
    name = os.path.basename(path).lower()
    ext = name.rsplit(".", 1)[1] if "." in name else ""
    if ext.startswith("xls") or ext.startswith("xlt"):
        return "excel"
    if ext in ("txt", "csv", "text", "asc", "log"):
        return "text"
    if ext in ("htm", "html", "xhtml", "mht", "mhtml"):
        return "web"
    return "word"


def shown_path(path):
    """A file of the repository (the fixtures) is named from its root, so
    that lists made in two work trees compare; others keep their full path."""
    if path.startswith(REPO + os.sep):
        return os.path.relpath(path, REPO)
    return path


def collect(paths, skip_exts=()):
    """Files named on the command line are always taken; in folders, files
    whose extension is in `skip_exts` (the fixture-making scripts beside the
    fixtures) are left out."""
    files = []
    for p in paths:
        if os.path.isdir(p):
            for root, dirs, names in os.walk(p):
                dirs.sort()
                for n in sorted(names):
                    full = os.path.join(root, n)
                    ext = os.path.splitext(n)[1].lower().lstrip(".")
                    if ext in skip_exts:
                        continue
                    if os.path.isfile(full) and not os.path.islink(full):
                        files.append(os.path.abspath(full))
        elif os.path.isfile(p):
            files.append(os.path.abspath(p))
        else:
            sys.exit(f"recall: no such file or folder: {p}")
    seen = set()
    return [f for f in files if not (f in seen or seen.add(f))]

# --------------------------------------------------------------------------
# Our reader

def find_program(args):
    if args.find:
        return os.path.abspath(args.find)
    build = os.path.abspath(args.build_dir)
    if getattr(args, "build", False):
        if not os.path.exists(os.path.join(build, "CMakeCache.txt")):
            subprocess.run(["cmake", "-S", REPO, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                            "-DVARNEL_WERROR=ON", "-DVARNEL_BUILD_GUI=OFF"], check=True)
        subprocess.run(["cmake", "--build", build, "-j2", "--target", "varnel-find"], check=True)
    prog = os.path.join(build, "bin", "varnel-find")
    if not os.access(prog, os.X_OK):
        sys.exit(f"recall: {prog} not found (build it, or pass --build or --find)")
    return prog


def _run_limited(cmd, timeout, mem_mb, out_mb, env=None, cwd=None):
    """Runs `cmd` in a process group of its own under an address-space limit
    and a file-size limit; its output goes to files, never to this process's
    memory. Returns (exit code, or None on time-out; stdout bytes, or None
    when it reached `out_mb` MiB; stderr bytes)."""
    out_limit = out_mb * 1024 * 1024

    def limits():
        if mem_mb:
            limit = mem_mb * 1024 * 1024
            resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
        # A write past the limit fails with SIGXFSZ: a file whose text
        # explodes ends there instead of filling the disk.
        resource.setrlimit(resource.RLIMIT_FSIZE, (out_limit, out_limit))

    with tempfile.TemporaryFile() as out_file, tempfile.TemporaryFile() as err_file:
        proc = subprocess.Popen(cmd, stdout=out_file, stderr=err_file,
                                stdin=subprocess.DEVNULL, env=env, cwd=cwd,
                                preexec_fn=limits, start_new_session=True)
        try:
            rc = proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
            rc = None
        size = out_file.seek(0, os.SEEK_END)
        out = None
        if size < out_limit:
            out_file.seek(0)
            out = out_file.read()
        err_file.seek(0)
        err = err_file.read(64 * 1024)
    return rc, out, err


def run_ours(prog, path, timeout, mem_mb, out_mb, config_home):
    """(opened, text, reason)."""
    env = dict(os.environ, XDG_CONFIG_HOME=config_home)
    rc, out, err = _run_limited([prog, "-x", path], timeout, mem_mb, out_mb, env=env)
    err_text = err.decode("utf-8", "replace").strip()
    first_err = err_text.splitlines()[0] if err_text else ""
    if first_err.startswith(path + ": "):
        first_err = first_err[len(path) + 2:]
    if out is None:
        return False, "", (f"text over {out_mb} MiB" +
                           (f" within {timeout:g} s" if rc is not None else
                            f", still writing after {timeout:g} s"))
    if rc is None:
        return False, "", f"timed out after {timeout:g} s"
    if rc != 0:
        if rc < 0:
            return False, "", f"killed by signal {-rc}" + (f": {first_err}" if first_err else "")
        return False, "", f"exit {rc}: {first_err}"
    if err_text:
        return False, "", f"error line: {first_err}"
    return True, out.decode("utf-8", "replace"), ""

# --------------------------------------------------------------------------
# The oracle

_thread_slot = threading.local()
_oracle_out_mb = 256  # set from --out-mb: the largest oracle text taken
_oracle_mem_mb = 6144  # set from --lo-mem-mb
_recalc = "never"  # set from --recalc
_slot_lock = threading.Lock()
_slot_next = [0]

# LibreOffice's settings for recalculation on load (Tools > Options > Calc >
# Formula): 0 always, 1 never, 2 ask. There are two, for Office Open XML and
# for ODF workbooks; LibreOffice 7.4 has none for Excel 97-2003 files, which
# it always recalculates.
_RECALC_KEYS = ("OOXMLRecalcMode", "ODFRecalcMode")
_RECALC_VALUES = {"never": "1", "always": "0"}
_XCU_HEAD = ('<?xml version="1.0" encoding="UTF-8"?>\n'
             '<oor:items xmlns:oor="http://openoffice.org/2001/registry" '
             'xmlns:xs="http://www.w3.org/2001/XMLSchema" '
             'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">\n</oor:items>\n')


def _recalc_items(mode):
    return "".join(
        '<item oor:path="/org.openoffice.Office.Calc/Formula/Load"><prop oor:name="'
        f'{key}" oor:op="fuse"><value>{_RECALC_VALUES[mode]}</value></prop></item>\n'
        for key in _RECALC_KEYS)


def _set_profile_recalc(profile, mode):
    """Writes the recalculation settings into the profile's user layer
    (registrymodifications.xcu), creating it for a new profile; LibreOffice
    keeps them when it rewrites the file. Run before each start, since
    nothing else may run on this profile at the time."""
    user = os.path.join(profile, "user")
    os.makedirs(user, exist_ok=True)
    xcu = os.path.join(user, "registrymodifications.xcu")
    text = open(xcu, encoding="utf-8").read() if os.path.exists(xcu) else _XCU_HEAD
    text = re.sub(r'<item oor:path="/org\.openoffice\.Office\.Calc/Formula/Load">'
                  r'<prop oor:name="(?:OOXML|ODF)RecalcMode".*?</item>\n?', "", text)
    if "</oor:items>" not in text:
        text = _XCU_HEAD
    text = text.replace("</oor:items>", _recalc_items(mode) + "</oor:items>", 1)
    tmp = xcu + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(tmp, xcu)


def _profile_dir(oracle_dir):
    if not hasattr(_thread_slot, "index"):
        with _slot_lock:
            _thread_slot.index = _slot_next[0]
            _slot_next[0] += 1
    # The profiles of the default mode keep their old names, so that the
    # profiles made before the setting was written are reused.
    suffix = "" if _recalc == "never" else "-" + _recalc
    d = os.path.join(os.path.dirname(os.path.abspath(oracle_dir)), "lo-profiles",
                     f"p{_thread_slot.index}{suffix}")
    os.makedirs(d, exist_ok=True)
    _set_profile_recalc(d, _recalc)
    return d


def _soffice(oracle_dir, target, infile, outdir, timeout):
    cmd = ["soffice", "-env:UserInstallation=file://" + _profile_dir(oracle_dir),
           "--headless", "--norestore", "--nolockcheck",
           "--convert-to", target, "--outdir", outdir, infile]
    rc, out, err = _run_limited(cmd, timeout, _oracle_mem_mb, _oracle_out_mb)
    return rc, (out or b"").decode("utf-8", "replace") + err.decode("utf-8", "replace")


def _csv_text(data):
    rows = csv.reader(io.StringIO(data.decode("utf-8", "replace"), newline=""))
    return "\n".join("\t".join(row) for row in rows) + "\n"


class _HtmlText(html.parser.HTMLParser):
    """The text of LibreOffice's HTML export: a line break at each block,
    nothing from the head, scripts or styles, and no note reference marks
    (the anchors of class sdfootnoteanc, sdendnoteanc, ...sym)."""
    BLOCKS = {"p", "div", "br", "td", "th", "tr", "li", "dd", "dt", "h1", "h2", "h3", "h4",
              "h5", "h6", "table", "ul", "ol", "pre", "blockquote", "hr", "center"}
    SKIP = {"head", "script", "style", "title"}
    MARKS = {"sdfootnoteanc", "sdendnoteanc", "sdfootnotesym", "sdendnotesym"}

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.parts = []
        self.skip = 0
        self.anchors = []  # for each open <a>: whether it is a note mark

    def handle_starttag(self, tag, attrs):
        if tag in self.SKIP:
            self.skip += 1
        elif tag == "a":
            self.anchors.append(dict(attrs).get("class") in self.MARKS)
        if tag in self.BLOCKS:
            self.parts.append("\n")

    def handle_endtag(self, tag):
        if tag in self.SKIP and self.skip:
            self.skip -= 1
        elif tag == "a" and self.anchors:
            self.anchors.pop()
        if tag in self.BLOCKS:
            self.parts.append("\n")

    def handle_data(self, data):
        if not self.skip and not any(self.anchors):
            self.parts.append(data)


def _html_text(data):
    parser = _HtmlText()
    parser.feed(data.decode("utf-8", "replace"))
    parser.close()
    return "".join(parser.parts)


def _csv_export(oracle_dir, infile, outdir, shown, formulas, timeout):
    """Every sheet of a workbook as CSV. Returns (None, reason) or
    ([(sheet name, CSV bytes)], "") in the workbook's order; an empty list
    when Calc wrote nothing (it did not take the file as a workbook)."""
    # Tokens: comma, double quote, UTF-8, line 1, no column formats,
    # language 0, quoted fields not as text, special numbers, contents as
    # shown (or not), formulas (or their results), no trimming, all sheets.
    rc, log = _soffice(oracle_dir, "csv:Text - txt - csv (StarCalc):"
                       f"44,34,76,1,,0,false,true,{'true' if shown else 'false'},"
                       f"{'true' if formulas else 'false'},false,-1",
                       infile, outdir, timeout)
    if rc is None:
        return None, f"LibreOffice timed out after {timeout} s"
    # "Writing sheet NAME -> FILE" gives the sheets in order.
    order = re.findall(r"Writing sheet (.*) -> (.*\.csv)$", log, re.M)
    names = os.listdir(outdir) if os.path.isdir(outdir) else []
    size = sum(os.path.getsize(os.path.join(outdir, n)) for n in names)
    if size >= _oracle_out_mb * 1024 * 1024:
        return None, f"LibreOffice text over {_oracle_out_mb} MiB"
    sheet_of = {os.path.basename(f): sheet for sheet, f in order}
    files = [os.path.basename(f) for _, f in order if os.path.basename(f) in names]
    files += sorted(n for n in names if n not in files)
    return [(sheet_of.get(n, n), open(os.path.join(outdir, n), "rb").read())
            for n in files], ""


def _csv_rows(data):
    return list(csv.reader(io.StringIO(data.decode("utf-8", "replace"), newline="")))


def _convert(oracle_dir, path, kind, timeout):
    """(ok, text, sheet names, reason) from LibreOffice."""
    if shutil.which("soffice") is None:
        sys.exit("recall: soffice not found (apt-get install libreoffice-writer-nogui "
                 "libreoffice-calc-nogui)")
    with tempfile.TemporaryDirectory(prefix="recall-lo-") as tmp:
        ext = os.path.splitext(path)[1]
        infile = os.path.join(tmp, "in" + ext)
        shutil.copyfile(path, infile)
        log = ""
        if kind in ("xls", "xlsv"):
            sheets, reason = _csv_export(oracle_dir, infile, os.path.join(tmp, "csv"),
                                         kind == "xls", False, timeout)
            if sheets is None:
                return False, "", [], reason
            if sheets:
                text = "".join(_csv_text(data) for _, data in sheets)
                return True, text, [name for name, _ in sheets], ""
        if kind == "cells":
            # Values and formulas of every cell, as JSON: a list of sheets,
            # each {"name", "values": rows, "formulas": rows}.
            values, reason = _csv_export(oracle_dir, infile, os.path.join(tmp, "v"),
                                         False, False, timeout)
            if values is None:
                return False, "", [], reason
            if not values:
                return False, "", [], "LibreOffice wrote no sheets (not taken as a workbook)"
            formulas, reason = _csv_export(oracle_dir, infile, os.path.join(tmp, "f"),
                                           False, True, timeout)
            if formulas is None:
                return False, "", [], reason
            fmap = dict(formulas)
            sheets = [{"name": name, "values": _csv_rows(data),
                       "formulas": _csv_rows(fmap.get(name, b""))} for name, data in values]
            return True, json.dumps(sheets, ensure_ascii=False), [n for n, _ in values], ""
        if kind == "fodt":
            outdir = os.path.join(tmp, "fodt")
            rc, log = _soffice(oracle_dir, "fodt:OpenDocument Text Flat XML", infile, outdir,
                               timeout)
            if rc is None:
                return False, "", [], f"LibreOffice timed out after {timeout} s"
            out = os.path.join(outdir, "in.fodt")
            if os.path.exists(out) and os.path.getsize(out) >= _oracle_out_mb * 1024 * 1024:
                return False, "", [], f"LibreOffice text over {_oracle_out_mb} MiB"
            if os.path.exists(out):
                xml = open(out, "rb").read().decode("utf-8", "replace")
                return True, adjust.strip_binary(xml), [], ""
            lines = [l for l in log.splitlines() if "javaldx" not in l and l.strip()]
            return False, "", [], "LibreOffice: " + (lines[-1] if lines else f"no output (exit {rc})")
        if kind == "html":
            outdir = os.path.join(tmp, "html")
            rc, log = _soffice(oracle_dir, "html:HTML (StarWriter)", infile, outdir, timeout)
            if rc is None:
                return False, "", [], f"LibreOffice timed out after {timeout} s"
            out = os.path.join(outdir, "in.html")
            if os.path.exists(out) and os.path.getsize(out) >= _oracle_out_mb * 1024 * 1024:
                return False, "", [], f"LibreOffice text over {_oracle_out_mb} MiB"
            if os.path.exists(out):
                return True, _html_text(open(out, "rb").read()), [], ""
            lines = [l for l in log.splitlines() if "javaldx" not in l and l.strip()]
            return False, "", [], "LibreOffice: " + (lines[-1] if lines else f"no output (exit {rc})")
        outdir = os.path.join(tmp, "txt")
        rc, log2 = _soffice(oracle_dir, "txt:Text (encoded):UTF8", infile, outdir, timeout)
        log += log2
        if rc is None:
            return False, "", [], f"LibreOffice timed out after {timeout} s"
        out = os.path.join(outdir, "in.txt")
        if os.path.exists(out) and os.path.getsize(out) >= _oracle_out_mb * 1024 * 1024:
            return False, "", [], f"LibreOffice text over {_oracle_out_mb} MiB"
        if os.path.exists(out):
            return True, open(out, "rb").read().decode("utf-8", "replace"), [], ""
        lines = [l for l in log.splitlines() if "javaldx" not in l and l.strip()]
        return False, "", [], "LibreOffice: " + (lines[-1] if lines else f"no output (exit {rc})")


_RAW_STARTS = ("\u00d0\u00cf\u0011\u00e0\u00a1\u00b1\u001a\u00e1", "PK\u0003\u0004")


def _read_as_bytes(text):
    """True when LibreOffice, failing to take a damaged compound file or zip
    package as what it is, fell back to its plain-text import and returned
    the file's bytes: that text is no oracle."""
    head = text.lstrip("\ufeff")[:8]
    return any(head.startswith(m) for m in _RAW_STARTS)


def oracle_text(oracle_dir, path, kind, timeout):
    """Cached (ok, text, sheet names, reason) of `path`; `kind` is "txt"
    (document text), "html" (document text from its HTML export, all
    stories), "fodt" (the document's Flat ODF export, pictures left out),
    "xls" (workbook, cells as shown), "xlsv" (workbook, cell values) or
    "cells" (workbook, values and formulas of each cell as JSON). Workbook
    conversions made with --recalc always are cached apart."""
    entry = _cache_entry(oracle_dir, path, kind)
    raw_check = kind not in ("fodt", "cells")
    status_file = os.path.join(entry, "status")
    if os.path.exists(status_file):
        status = open(status_file, encoding="utf-8").read().rstrip("\n")
        sheets_file = os.path.join(entry, "sheets")
        sheets = (open(sheets_file, encoding="utf-8").read().split("\n")
                  if os.path.exists(sheets_file) else [])
        if status == "ok":
            text = open(os.path.join(entry, "text"), encoding="utf-8").read()
            if raw_check and _read_as_bytes(text):
                return False, "", [], "LibreOffice read the file's bytes as plain text"
            return True, text, [s for s in sheets if s], ""
        return False, "", [], status
    ok, text, sheets, reason = _convert(oracle_dir, path, kind, timeout)
    _store(entry, path, ok, text, sheets, reason)
    if ok and raw_check and _read_as_bytes(text):
        return False, "", [], "LibreOffice read the file's bytes as plain text"
    return ok, text, sheets, reason


def _cache_entry(oracle_dir, path, kind):
    digest = hashlib.sha256(open(path, "rb").read()).hexdigest()
    key = kind + (f"-{_recalc}" if _recalc != "never" and kind in ("xls", "xlsv", "cells")
                  else "")
    return os.path.join(oracle_dir, digest[:2], f"{digest}-{key}")


def _store(entry, path, ok, text, sheets, reason):
    tmp_entry = entry + f".tmp{os.getpid()}.{threading.get_ident()}"
    os.makedirs(tmp_entry, exist_ok=True)
    with open(os.path.join(tmp_entry, "text"), "w", encoding="utf-8") as f:
        f.write(text)
    with open(os.path.join(tmp_entry, "sheets"), "w", encoding="utf-8") as f:
        f.write("\n".join(sheets))
    with open(os.path.join(tmp_entry, "source"), "w", encoding="utf-8") as f:
        f.write(path + "\n")
    with open(os.path.join(tmp_entry, "status"), "w", encoding="utf-8") as f:
        f.write(("ok" if ok else reason.replace("\n", " ")) + "\n")
    if os.path.exists(entry):
        shutil.rmtree(tmp_entry)
    else:
        os.rename(tmp_entry, entry)


def _batch_csv(oracle_dir, names, indir, outdir, formulas, timeout):
    """One LibreOffice run that writes every sheet of the workbooks `names`
    (files in `indir`) as CSV. Returns ({name: [(sheet, CSV bytes)]} for
    the workbooks it wrote sheets of, {names whose text reached the size
    limit}), or None when the run did not end well (a file after a crash
    would be missing, a killed run may leave a sheet half written)."""
    target = ("csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,"
              f"{'true' if formulas else 'false'},false,-1")
    cmd = ["soffice", "-env:UserInstallation=file://" + _profile_dir(oracle_dir),
           "--headless", "--norestore", "--nolockcheck", "--convert-to", target,
           "--outdir", outdir] + [os.path.join(indir, n) for n in names]
    rc, out, err = _run_limited(cmd, timeout, _oracle_mem_mb, _oracle_out_mb)
    if rc != 0:
        return None
    log = (out or b"").decode("utf-8", "replace") + err.decode("utf-8", "replace")
    result, oversize = {}, set()
    # Each output is named after its input: "w12.xls" writes "w12-SHEET.csv".
    for sheet, f in re.findall(r"Writing sheet (.*) -> (.*\.csv)$", log, re.M):
        base = os.path.basename(f)
        stem = base.split("-", 1)[0]
        match = [n for n in names if os.path.splitext(n)[0] == stem]
        full = os.path.join(outdir, base)
        if not match or not os.path.exists(full):
            return None
        if os.path.getsize(full) >= _oracle_out_mb * 1024 * 1024:
            oversize.add(match[0])
            continue
        result.setdefault(match[0], []).append((sheet, open(full, "rb").read()))
    return result, oversize


def prefetch_cells(oracle_dir, paths, timeout, batch=20):
    """Fills the cache of "cells" for the workbooks among `paths` that lack
    it, converting `batch` workbooks in each LibreOffice run: starting
    LibreOffice costs more than converting a small workbook, and every
    workbook needs two exports. Only what a run that ended well wrote is
    cached, with the reasons a run of the file alone gives for a workbook
    it wrote no sheets of or too large a text of; the workbooks of a run that failed are left to
    oracle_text, which converts each file alone and records the reason."""
    todo = []
    for path in paths:
        entry = _cache_entry(oracle_dir, path, "cells")
        if not os.path.exists(os.path.join(entry, "status")):
            todo.append((path, entry))
    for start in range(0, len(todo), batch):
        group = todo[start:start + batch]
        with tempfile.TemporaryDirectory(prefix="recall-batch-") as tmp:
            indir = os.path.join(tmp, "in")
            os.makedirs(indir)
            names = []
            for i, (path, _) in enumerate(group):
                name = f"w{i}" + os.path.splitext(path)[1].lower()
                shutil.copyfile(path, os.path.join(indir, name))
                names.append(name)
            # A group that takes longer than one file may take is left to
            # the runs of single files, which give the slow one its reason.
            values = _batch_csv(oracle_dir, names, indir, os.path.join(tmp, "v"), False,
                                timeout)
            formulas = (_batch_csv(oracle_dir, names, indir, os.path.join(tmp, "f"), True,
                                   timeout) if values is not None else None)
            if values is None or formulas is None:
                continue
            (values, big), (formulas, big_f) = values, formulas
            for name, (path, entry) in zip(names, group):
                if name in big or name in big_f:
                    _store(entry, path, False, "", [],
                           f"LibreOffice text over {_oracle_out_mb} MiB")
                    continue
                if name not in values and name not in formulas:
                    # As the run of this file alone would have said.
                    _store(entry, path, False, "", [],
                           "LibreOffice wrote no sheets (not taken as a workbook)")
                    continue
                if name not in values or name not in formulas:
                    continue
                fmap = dict(formulas[name])
                sheets = [{"name": n, "values": _csv_rows(d),
                           "formulas": _csv_rows(fmap.get(n, b""))} for n, d in values[name]]
                _store(entry, path, True, json.dumps(sheets, ensure_ascii=False),
                       [n for n, _ in values[name]], "")
        print(f"[cells {min(start + batch, len(todo))}/{len(todo)}]", file=sys.stderr,
              flush=True)


def strip_sheet_headers(text, sheets):
    """Our -x output names each sheet on a line "[name]"; LibreOffice's CSV
    has no sheet names, so those lines would credit us with words the oracle
    cannot have. Only lines naming one of the oracle's sheets are dropped."""
    if not sheets:
        return text
    heads = {f"[{s}]" for s in sheets}
    return "\n".join(l for l in text.split("\n") if l not in heads)

# --------------------------------------------------------------------------
# run

def adjusted_comparison(args, path, cat, ours, raw_text, adj):
    """The oracle's and our words after the adjustments in `adj` (see
    adjust.py), as a dict: "ow" (oracle words compared word by word), "uw"
    (our words they are compared with), "paired" (oracle words found by
    value), "removed" (words left out, by adjustment), "text" (the adjusted
    oracle text, for `missed`), "notes". `ours` is our text with the sheet
    headers already taken out. Without an adjustment that applies, the
    result is the raw comparison."""
    out = {"ow": words(raw_text), "uw": words(ours), "paired": 0,
           "removed": collections.Counter(), "text": raw_text, "notes": []}
    if cat == "word" and "odf" in adj:
        ok, xml, _, reason = oracle_text(args.oracle, path, "fodt", args.lo_timeout)
        if not ok:
            out["notes"].append("no ODF export (" + reason + "), raw text used")
            return out
        try:
            template = os.path.splitext(path)[1].lower() in (".dot", ".dotx", ".dotm", ".ott")
            odf = adjust.OdfText(xml, adj, words, template)
        except (ET.ParseError, ValueError) as e:
            out["notes"].append(f"ODF export not read ({e}), raw text used")
            return out
        if _read_as_bytes(odf.text.lstrip()):
            out["notes"].append("ODF export holds the file's bytes, raw text used")
            return out
        out["ow"], out["text"], out["removed"] = words(odf.text), odf.text, odf.removed
        return out
    if cat != "excel" or not adj & set(adjust.EXCEL_ADJUSTMENTS):
        return out
    ok, cells_json, _, reason = oracle_text(args.oracle, path, "cells", args.lo_timeout)
    if not ok:
        out["notes"].append("no cell exports (" + reason + "), raw text used")
        return out
    everything, _, _ = adjust.oracle_cells(cells_json, False, set(), words)
    diff = sum((words("\n".join(everything)) - out["ow"]).values()) + \
        sum((out["ow"] - words("\n".join(everything))).values())
    if diff:
        out["notes"].append(f"cell export and text export differ by {diff} words")
    kept, removed, notes = adjust.oracle_cells(cells_json, adjust.is_binary_workbook(path), adj,
                                               words)
    out["notes"] += notes
    out["removed"] = removed
    if "values" in adj:
        unpaired, paired_o, paired_u = adjust.pair_by_value(kept, adjust.our_cells(ours))
        out["paired"] = sum(sum(words(c).values()) for c in paired_o)
        out["uw"] = out["uw"] - words("\n".join(paired_u))
        out["text"] = "\n".join(unpaired)
    else:
        out["text"] = "\n".join(kept)
    out["ow"] = words(out["text"])
    return out


def measure(path, args, prog, config_home):
    cat = category_of(path)
    opened, ours, reason = run_ours(prog, path, args.timeout, args.mem_mb, args.out_mb,
                                    config_home)
    row = {"path": path, "category": cat, "open": opened, "reason": reason,
           "oracle": "", "recall": None, "matched": 0, "total": 0, "ours": 0, "missed": [],
           "shown": None, "text": None, "stories": None,
           "adj": None, "adj_matched": 0, "adj_total": 0, "adj_missed": [], "paired": 0,
           "removed": collections.Counter(), "notes": []}
    if args.no_oracle:
        return row
    kind = "xlsv" if cat == "excel" else "txt"
    ok, text, sheets, oreason = oracle_text(args.oracle, path, kind, args.lo_timeout)
    row["oracle"] = "ok" if ok else oreason
    if ok and not opened:
        row["oracle_words"] = sum(words(text).values())
    if not (opened and ok):
        return row
    if cat == "excel":
        ours = strip_sheet_headers(ours, sheets)
    ow, uw = words(text), words(ours)
    row["recall"], row["matched"], row["total"] = recall_of(ow, uw)
    row["ours"] = sum(uw.values())
    row["missed"] = missed_words(ow, uw)[:8]
    row["text"] = recall_of(letter_words(ow), uw)[0]
    a = adjusted_comparison(args, path, cat, ours, text, args.adjust)
    _, m, t = recall_of(a["ow"], a["uw"])
    row["adj_matched"], row["adj_total"] = m + a["paired"], t + a["paired"]
    row["adj"] = row["adj_matched"] / row["adj_total"] if row["adj_total"] else None
    row["adj_missed"] = missed_words(a["ow"], a["uw"])[:8]
    row["paired"], row["removed"], row["notes"] = a["paired"], a["removed"], a["notes"]
    if cat == "excel":
        sok, stext, _, _ = oracle_text(args.oracle, path, "xls", args.lo_timeout)
        if sok:
            row["shown"] = recall_of(words(stext), uw)[0]
    if cat == "word":
        hok, htext, _, _ = oracle_text(args.oracle, path, "html", args.lo_timeout)
        if hok:
            row["stories"] = recall_of(words(htext), uw)[0]
    return row


def fmt_pct(x):
    return "-" if x is None else f"{100 * x:.2f}"


def _removed_text(r):
    parts = [f"{k} {n}" for k, n in sorted(r["removed"].items()) if n]
    if r["paired"]:
        parts.append(f"paired by value {r['paired']}")
    return ", ".join(parts)


def summarise(rows, threshold, adj):
    lines = []
    cats = ["word", "text", "web", "excel"]
    lines.append(f"{'category':<10}{'files':>7}{'open':>7}{'fail':>7}{'both':>7}"
                 f"{'raw %':>8}{'adj %':>8}{'rawW %':>8}{'adjW %':>8}{f'<{threshold:g}%':>7}"
                 f"{'shown %':>9}{'text %':>8}{'stories %':>11}")
    for cat in cats + ["all Word", "all"]:
        if cat == "all Word":
            sel = [r for r in rows if r["category"] != "excel"]
        elif cat == "all":
            sel = rows
        else:
            sel = [r for r in rows if r["category"] == cat]
        if not sel:
            continue
        opened = sum(r["open"] for r in sel)
        both = [r for r in sel if r["recall"] is not None]
        mean = sum(r["recall"] for r in both) / len(both) if both else None
        tot = sum(r["total"] for r in both)
        micro = sum(r["matched"] for r in both) / tot if tot else None
        adjs = [r for r in both if r["adj"] is not None]
        amean = sum(r["adj"] for r in adjs) / len(adjs) if adjs else None
        atot = sum(r["adj_total"] for r in adjs)
        amicro = sum(r["adj_matched"] for r in adjs) / atot if atot else None
        low = sum(1 for r in adjs if 100 * r["adj"] < threshold)
        shown = [r["shown"] for r in both if r["shown"] is not None]
        smean = sum(shown) / len(shown) if shown else None
        text = [r["text"] for r in both if r["text"] is not None]
        tmean = sum(text) / len(text) if text else None
        stories = [r["stories"] for r in both if r["stories"] is not None]
        hmean = sum(stories) / len(stories) if stories else None
        lines.append(f"{cat:<10}{len(sel):>7}{opened:>7}{len(sel) - opened:>7}{len(both):>7}"
                     f"{fmt_pct(mean):>8}{fmt_pct(amean):>8}{fmt_pct(micro):>8}"
                     f"{fmt_pct(amicro):>8}{low:>7}{fmt_pct(smean):>9}"
                     f"{fmt_pct(tmean):>8}{fmt_pct(hmean):>11}")
    lines.append("")
    lines.append("raw %: mean of the per-file recalls against LibreOffice's text as it is; "
                 "adj %: the same after the adjustments (" +
                 (", ".join(a for a in adjust.ALL_ADJUSTMENTS if a in adj) or "none") +
                 "; see the module comment of adjust.py); rawW %, adjW %: all matched words "
                 "over all oracle words, raw and adjusted; both: files that we and "
                 "LibreOffice open, with at least one oracle word; <N%: files whose adjusted "
                 "recall is below N%; shown %: mean raw recall of workbooks against cells as "
                 "shown (number formats applied); text %: mean raw recall over the oracle's "
                 "words that hold a letter (numbers set aside), over the files that have such "
                 "words; stories %: mean raw recall of Word and RTF documents against "
                 "LibreOffice's HTML export (headers, footers and notes too, note marks left "
                 "out).")
    removed = collections.Counter()
    paired = 0
    for r in rows:
        removed.update(r["removed"])
        paired += r["paired"]
    lines.append("oracle words left out by the adjustments: " +
                 (", ".join(f"{k} {n}" for k, n in sorted(removed.items()) if n) or "none") +
                 f"; oracle words found by value: {paired}")
    exts = collections.defaultdict(lambda: [0, 0])
    for r in rows:
        e = os.path.splitext(r["path"])[1].lower() or "(none)"
        exts[e][0] += 1
        exts[e][1] += r["open"]
    lines.append("opened by extension: " + ", ".join(
        f"{e} {o}/{n}" for e, (n, o) in sorted(exts.items())))
    lines.append("")
    low = sorted((r for r in rows if r["adj"] is not None and 100 * r["adj"] < threshold),
                 key=lambda r: r["adj"])
    lines.append(f"files below {threshold:g}% after the adjustments ({len(low)}; adjusted %, "
                 "raw %, adjusted oracle words):")
    for r in low:
        miss = " ".join(f"{w}({n}/{o})" for w, n, o in r["adj_missed"][:6])
        extra = _removed_text(r)
        lines.append(f"  {fmt_pct(r['adj']):>6}  raw {fmt_pct(r['recall']):>6}  "
                     f"{r['adj_total']:>7}  {r['path']}  missed: {miss}" +
                     (f"  [left out: {extra}]" if extra else "") +
                     (f"  [{'; '.join(r['notes'])}]" if r["notes"] else ""))
    noted = [r for r in rows if r["notes"] and not (r["adj"] is not None and
                                                    100 * r["adj"] < threshold)]
    if noted:
        lines.append("")
        lines.append(f"notes on other files ({len(noted)}):")
        for r in noted:
            lines.append(f"  {r['path']}: {'; '.join(r['notes'])}")
    fails = [r for r in rows if not r["open"]]
    lines.append("")
    lines.append(f"files that do not open ({len(fails)}):")
    for r in fails:
        lines.append(f"  {r['path']}: {r['reason']}")
    theirs = [r for r in rows if not r["open"] and r["oracle"] == "ok"]
    lines.append("")
    lines.append(f"files LibreOffice opens and we do not ({len(theirs)}; its word count):")
    for r in theirs:
        lines.append(f"  {r['path']}: {r['oracle_words']} words; ours: {r['reason']}")
    ofails = [r for r in rows if r["open"] and r["oracle"] not in ("ok", "")]
    lines.append("")
    lines.append(f"files we open and LibreOffice does not ({len(ofails)}):")
    for r in ofails:
        lines.append(f"  {r['path']}: {r['oracle']}")
    return "\n".join(lines) + "\n"


def cmd_run(args):
    prog = find_program(args)
    files = collect(args.paths, set(args.skip_ext.split(",")))
    if not files:
        sys.exit("recall: no files")
    if not args.no_oracle:
        os.makedirs(args.oracle, exist_ok=True)
    if not args.no_oracle and args.adjust & set(adjust.EXCEL_ADJUSTMENTS):
        prefetch_cells(args.oracle, [f for f in files if category_of(f) == "excel"],
                       args.lo_timeout)
    config_home = tempfile.mkdtemp(prefix="recall-config-")
    rows = [None] * len(files)
    done = [0]
    lock = threading.Lock()

    def work(i):
        rows[i] = measure(files[i], args, prog, config_home)
        rows[i]["path"] = shown_path(files[i])
        with lock:
            done[0] += 1
            if not args.quiet:
                r = rows[i]
                state = "open" if r["open"] else "FAIL"
                print(f"[{done[0]}/{len(files)}] {state} {fmt_pct(r['recall']):>6} {r['path']}",
                      file=sys.stderr, flush=True)

    try:
        with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
            list(pool.map(work, range(len(files))))
    finally:
        shutil.rmtree(config_home, ignore_errors=True)

    rows = sorted(rows, key=lambda r: r["path"])
    summary = summarise(rows, args.threshold, args.adjust)
    if args.out:
        os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
        with open(args.out + "-opens.tsv", "w", encoding="utf-8") as f:
            for r in rows:
                f.write(("open" if r["open"] else "fail") + "\t" + r["path"] +
                        ("\t" + r["reason"] if r["reason"] else "") + "\n")
        with open(args.out + "-recall.tsv", "w", encoding="utf-8") as f:
            f.write("category\topen\toracle\trecall%\tadjusted%\tshown%\ttext%\tstories%\t"
                    "matched\toracle_words\tadj_matched\tadj_oracle_words\tour_words\tpath\t"
                    "left out\tnotes\tmissed (word(oracle/ours))\t"
                    "missed after adjustments\n")
            for r in rows:
                miss = " ".join(f"{w}({n}/{o})" for w, n, o in r["missed"])
                amiss = " ".join(f"{w}({n}/{o})" for w, n, o in r["adj_missed"])
                f.write(f"{r['category']}\t{'open' if r['open'] else 'fail'}\t"
                        f"{r['oracle'] or '-'}\t{fmt_pct(r['recall'])}\t{fmt_pct(r['adj'])}\t"
                        f"{fmt_pct(r['shown'])}\t{fmt_pct(r['text'])}\t"
                        f"{fmt_pct(r['stories'])}\t{r['matched']}\t{r['total']}\t"
                        f"{r['adj_matched']}\t{r['adj_total']}\t{r['ours']}\t{r['path']}\t"
                        f"{_removed_text(r)}\t{'; '.join(r['notes'])}\t{miss}\t{amiss}\n")
        with open(args.out + "-summary.txt", "w", encoding="utf-8") as f:
            f.write(summary)
    print(summary, end="")

# --------------------------------------------------------------------------
# compare

def read_opens(path):
    out = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            parts = line.rstrip("\n").split("\t")
            if len(parts) >= 2:
                out[parts[1]] = (parts[0] == "open", parts[2] if len(parts) > 2 else "")
    return out


def cmd_compare(args):
    before, after = read_opens(args.before), read_opens(args.after)
    lost = sorted(p for p, (o, _) in before.items() if o and p in after and not after[p][0])
    gained = sorted(p for p, (o, _) in after.items() if o and p in before and not before[p][0])
    gone = sorted(p for p in before if p not in after)
    new = sorted(p for p in after if p not in before)
    nb = sum(o for o, _ in before.values())
    na = sum(o for o, _ in after.values())
    print(f"opened before: {nb}/{len(before)}, after: {na}/{len(after)}")
    print(f"opened before and fail now ({len(lost)}):")
    for p in lost:
        print(f"  {p}: {after[p][1]}")
    print(f"open now and failed before ({len(gained)}):")
    for p in gained:
        print(f"  {p} (was: {before[p][1]})")
    if gone:
        print(f"in the first list only ({len(gone)}): " + ", ".join(gone[:20]))
    if new:
        print(f"in the second list only ({len(new)}): " + ", ".join(new[:20]))
    return 1 if lost else 0

# --------------------------------------------------------------------------
# missed

def cmd_missed(args):
    prog = find_program(args)
    config_home = tempfile.mkdtemp(prefix="recall-config-")
    # --shown and --stories compare with another export as it is.
    adj = set() if (args.raw or args.shown or args.stories) else args.adjust
    try:
        for path in collect(args.paths):
            cat = category_of(path)
            opened, ours, reason = run_ours(prog, path, args.timeout, args.mem_mb, args.out_mb,
                                            config_home)
            if cat == "excel":
                kind = "xls" if args.shown else "xlsv"
            else:
                kind = "html" if args.stories and cat == "word" else "txt"
            ok, text, sheets, oreason = oracle_text(args.oracle, path, kind, args.lo_timeout)
            print(f"== {path}")
            if not opened or not ok:
                print(f"   ours: {'open' if opened else reason}; oracle: {'ok' if ok else oreason}")
                continue
            if cat == "excel":
                ours = strip_sheet_headers(ours, sheets)
            raw, _, _ = recall_of(words(text), words(ours))
            a = adjusted_comparison(args, path, cat, ours, text, adj)
            ow, uw = a["ow"], a["uw"]
            _, matched, total = recall_of(ow, uw)
            matched, total = matched + a["paired"], total + a["paired"]
            rec = matched / total if total else None
            label = "recall" if not adj else "adjusted recall"
            print(f"   {label} {fmt_pct(rec)}% ({matched}/{total}), raw {fmt_pct(raw)}%, "
                  f"our words {sum(words(ours).values())}")
            left = [f"{k} {n}" for k, n in sorted(a["removed"].items()) if n]
            if a["paired"]:
                left.append(f"paired by value {a['paired']}")
            if left:
                print("   oracle words left out: " + ", ".join(left))
            for note in a["notes"]:
                print("   note: " + note)
            miss = missed_words(ow, uw)
            print("   missed (oracle/ours): " + " ".join(
                f"{w}({n}/{o})" for w, n, o in miss[:args.words]))
            shown = 0
            lost = {w for w, n, o in miss[:args.words] if o == 0}
            for line in a["text"].splitlines():
                if shown >= args.lines:
                    break
                if lost & set(words(line)):
                    print("   | " + line[:200])
                    shown += 1
    finally:
        shutil.rmtree(config_home, ignore_errors=True)

# --------------------------------------------------------------------------

def main():
    ap = argparse.ArgumentParser(description="Word recall of varnel-find -x against LibreOffice.")
    sub = ap.add_subparsers(dest="command", required=True)

    def common(p):
        p.add_argument("--find", help="path of varnel-find (else BUILD_DIR/bin/varnel-find)")
        p.add_argument("--build-dir", default=os.path.join(REPO, "build"))
        p.add_argument("--oracle", default=DEFAULT_ORACLE, help="LibreOffice output cache")
        p.add_argument("--timeout", type=float, default=60, help="seconds per file for -x")
        p.add_argument("--lo-timeout", type=float, default=180,
                       help="seconds per file for LibreOffice")
        p.add_argument("--mem-mb", type=int, default=4096,
                       help="address-space limit (ulimit -v) for -x, in MiB; 0: none")
        p.add_argument("--lo-mem-mb", type=int, default=6144,
                       help="address-space limit for LibreOffice, in MiB; 0: none")
        p.add_argument("--out-mb", type=int, default=256,
                       help="largest text taken from -x or LibreOffice, in MiB (ulimit -f); "
                            "a file whose text is larger fails with that reason")
        p.add_argument("--adjust", default="all",
                       help="oracle adjustments: all (default), none, or a comma-separated "
                            "list of " + ", ".join(adjust.ALL_ADJUSTMENTS) + " (see adjust.py)")
        p.add_argument("--recalc", choices=sorted(_RECALC_VALUES), default="never",
                       help="LibreOffice's recalculation of formulas on loading Office Open "
                            "XML and ODF workbooks (default never: it shows the results "
                            "cached in the file)")
        p.add_argument("paths", nargs="+")

    run = sub.add_parser("run", help="opens and recall over files and folders")
    common(run)
    run.add_argument("--build", action="store_true", help="configure and build varnel-find first")
    run.add_argument("--out", help="prefix of the -opens.tsv, -recall.tsv and -summary.txt files")
    run.add_argument("--jobs", type=int, default=1)
    run.add_argument("--no-oracle", action="store_true", help="record opens only")
    run.add_argument("--threshold", type=float, default=95)
    run.add_argument("--quiet", action="store_true")
    run.add_argument("--skip-ext", default="py,sh,md,cmake",
                     help="extensions left out when a folder is searched (comma-separated)")

    cmp_ = sub.add_parser("compare", help="compare two -opens.tsv lists")
    cmp_.add_argument("before")
    cmp_.add_argument("after")

    mis = sub.add_parser("missed", help="show the oracle words a file's text lacks")
    common(mis)
    mis.add_argument("--words", type=int, default=40)
    mis.add_argument("--lines", type=int, default=12)
    mis.add_argument("--shown", action="store_true",
                     help="compare a workbook with its cells as shown, not their values")
    mis.add_argument("--stories", action="store_true",
                     help="compare a document with LibreOffice's HTML export (all stories)")
    mis.add_argument("--raw", action="store_true",
                     help="compare with LibreOffice's text as it is (no adjustments)")

    args = ap.parse_args()
    global _oracle_out_mb, _oracle_mem_mb, _recalc
    _oracle_out_mb = getattr(args, "out_mb", _oracle_out_mb)
    _oracle_mem_mb = getattr(args, "lo_mem_mb", _oracle_mem_mb)
    _recalc = getattr(args, "recalc", _recalc)
    if hasattr(args, "adjust"):
        try:
            args.adjust = adjust.parse_adjustments(args.adjust)
        except ValueError as e:
            ap.error(str(e))
    if args.command == "run":
        cmd_run(args)
    elif args.command == "compare":
        sys.exit(cmd_compare(args))
    else:
        cmd_missed(args)


if __name__ == "__main__":
    main()
