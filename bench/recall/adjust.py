"""Adjustments that make LibreOffice's text a fairer oracle for recall.py.

Each adjustment leaves out of the oracle (or, for "values", pairs) a class
of text that is defined by the oracle's own structure, never by what our
text holds: a word is never dropped because we lack it. Our text is never
changed. recall.py prints the raw figure beside the adjusted one.

Word (documents, from LibreOffice's Flat ODF export "fodt", which holds its
document model as structure rather than as plain text):
  odf        read the document's text from the ODF export instead of the
             text export. ODF stores a list as structure (text:list,
             text:list-item) and never writes a label's number or bullet as
             text, so list labels, which Word's Find never sees, are absent.
             The text covers what the text export covers: the main story
             with its tables and fields; not headers, footers, note texts,
             comments, frames, text boxes or shapes, except in one case
             the text export also makes: when the main story is a single
             paragraph with no text of its own and a frame is anchored in
             it, it writes that frame's text instead. Over the corpus the
             two texts then differ by list labels only. The other Word
             adjustments act on this text only.
  notes      leave out note reference marks (text:note-citation), which
             the text export glues to the word before them ("text1").
  fields     leave out the results of fields that LibreOffice computes
             anew at conversion time and that depend on the moment, the
             place or the page layout of the conversion, not on the file:
             FILENAME (text:file-name: the converted copy is called "in"),
             DATE and TIME unless fixed (today; in a template, which it
             opens as a new document, fixed ones too, since it sets them to
             the moment the document is made), page numbers and counts,
             page references, document statistics (LibreOffice's own
             counts), and author or sender fields that are not fixed (taken
             from LibreOffice's user profile). Fields whose results come
             from the file (references, sequences, document properties,
             fixed dates) stay.
  deletions  leave out the text of tracked deletions, which the text
             export writes inline, and of the sources of tracked moves
             (LibreOffice's "__RefMoveFrom__" bookmarks); our Word, like
             Word showing the final text, does not see that text.

Excel (workbooks, from a second pair of CSV exports of every sheet, one of
cell values and one of cell formulas, aligned cell by cell):
  formulas   leave out results that LibreOffice computes itself instead of
             taking the result cached in the file: every formula of a
             binary workbook (.xls: LibreOffice 7.4 recalculates them on
             load and has no setting against it; checked by patching a
             cached result), and in other workbooks formulas that call a
             volatile function (NOW, TODAY, RAND, RANDBETWEEN, OFFSET,
             INDIRECT, CELL, INFO), which it recalculates whatever the
             setting.
  errors     leave out cells showing LibreOffice's own error codes
             ("Err:502"); Excel has no such value, so they always come from
             LibreOffice's evaluation of a formula.
  values     compare numbers, dates and times by value where the oracle's
             cell and a cell of ours spell the same value differently.
             After the cells whose text is equal on both sides are paired,
             each remaining oracle cell that is wholly a number (optionally
             a percentage, scaled by 1/100), a date, a time or a date and
             time is paired with a remaining cell of ours that is wholly a
             value of the same kind and equal to it: numbers within a
             relative difference of 1e-14 (the 15th significant digit, so
             14 or 15 digits and last-digit rounding agree; 0.18 against
             18% is equal, 0.18 against 18.2% is not), dates and times
             within one second, each side read in its own program's day
             numbering (LibreOffice counts days from 12/30/1899; Excel
             shows day 0 as 1/0/1900 and has a 2/29/1900, so the two differ
             by one day before March 1900). A cell of ours pairs at most
             once. The words of a paired oracle cell count as found, and
             the paired cell's words are taken out of our words so they
             cannot match a second time. Numbers never pair with dates.
"""

import bisect
import collections
import json
import math
import re
import xml.etree.ElementTree as ET

WORD_ADJUSTMENTS = ("odf", "notes", "fields", "deletions")
EXCEL_ADJUSTMENTS = ("formulas", "errors", "values")
ALL_ADJUSTMENTS = WORD_ADJUSTMENTS + EXCEL_ADJUSTMENTS


def parse_adjustments(choice):
    """The set named by --adjust: "all", "none" or a comma-separated list."""
    choice = choice.strip().lower()
    if choice in ("all", ""):
        return set(ALL_ADJUSTMENTS)
    if choice == "none":
        return set()
    names = {s.strip() for s in choice.split(",") if s.strip()}
    unknown = names - set(ALL_ADJUSTMENTS)
    if unknown:
        raise ValueError("unknown adjustment(s): " + ", ".join(sorted(unknown)) +
                         " (known: " + ", ".join(ALL_ADJUSTMENTS) + ")")
    return names

# --------------------------------------------------------------------------
# Word: the text of LibreOffice's Flat ODF export

_NS = {
    "office": "urn:oasis:names:tc:opendocument:xmlns:office:1.0",
    "text": "urn:oasis:names:tc:opendocument:xmlns:text:1.0",
    "table": "urn:oasis:names:tc:opendocument:xmlns:table:1.0",
    "draw": "urn:oasis:names:tc:opendocument:xmlns:drawing:1.0",
    "dr3d": "urn:oasis:names:tc:opendocument:xmlns:dr3d:1.0",
    "form": "urn:oasis:names:tc:opendocument:xmlns:form:1.0",
    "svg": "urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0",
}


def _q(prefix, local):
    return "{" + _NS[prefix] + "}" + local


_T = lambda local: _q("text", local)  # noqa: E731

# Subtrees outside the text export's scope: note texts, comments,
# declarations, the tracked-change log, forms, and everything drawn (frames,
# text boxes, shapes, their captions and descriptions).
_OUT_OF_SCOPE = {
    _T("note-body"), _q("office", "annotation"), _q("office", "annotation-end"),
    _T("tracked-changes"), _T("sequence-decls"), _T("variable-decls"),
    _T("user-field-decls"), _T("dde-connection-decls"), _q("office", "forms"),
    _T("table-of-content-source"), _T("illustration-index-source"),
    _T("table-index-source"), _T("object-index-source"), _T("user-index-source"),
    _T("alphabetical-index-source"), _T("bibliography-source"), _T("ruby-text"),
}
_DRAWN = {_NS["draw"], _NS["dr3d"], _NS["svg"], _NS["form"]}

# Fields computed at conversion time from the moment, the place or the
# layout of the conversion.
_MOMENT_FIELDS = {_T("date"), _T("time"), _T("author-name"), _T("author-initials")}
_ALWAYS_FIELDS = {
    _T("file-name"), _T("page-number"), _T("page-count"), _T("page-continuation"),
    _T("page-variable-get"), _T("word-count"), _T("character-count"),
    _T("paragraph-count"), _T("table-count"), _T("image-count"), _T("object-count"),
}
_REFERENCES = {_T("bookmark-ref"), _T("reference-ref"), _T("sequence-ref"), _T("note-ref")}


def _is_recomputed_field(el, template):
    tag = el.tag
    if tag in _ALWAYS_FIELDS:
        return True
    if template and tag in (_T("date"), _T("time")):
        return True
    if tag in _MOMENT_FIELDS or tag.startswith(_T("sender-")):
        return el.get(_T("fixed")) != "true"
    if tag in _REFERENCES:
        return el.get(_T("reference-format")) == "page"
    return False


# LibreOffice marks the source of a tracked move (Word's moveFrom range) with
# a bookmark of this name; the text there was moved away and is no more in
# the final text, even where the importer kept it as an insertion.
_MOVE_FROM = "__RefMoveFrom__"


def _deletion_ids(body):
    ids = set()
    for region in body.iter(_T("changed-region")):
        if region.find(_T("deletion")) is not None:
            for key in (_T("id"), "{http://www.w3.org/XML/1998/namespace}id"):
                if region.get(key):
                    ids.add(region.get(key))
    return ids


def _own_text(el):
    """The text of `el` outside its drawn subtrees."""
    parts = [el.text or ""]
    for child in el:
        ns = child.tag[1:].split("}", 1)[0] if child.tag.startswith("{") else ""
        if ns not in _DRAWN:
            parts.append(_own_text(child))
        parts.append(child.tail or "")
    return "".join(parts)


def _lone_frame_text(body):
    """The text box of the first frame of a main story that is one paragraph
    without text of its own, else None. LibreOffice's text export writes
    that frame's text in place of the empty story (a document made of one
    frame)."""
    content = [el for el in body if el.tag not in _OUT_OF_SCOPE]
    if len(content) != 1 or content[0].tag not in (_T("p"), _T("h")):
        return None
    if _own_text(content[0]).strip():
        return None
    # Only a text frame has a story of its own; a drawing (a group, a shape
    # with text) in first place does not, and then the export writes nothing.
    drawn = [el for el in content[0] if el.tag.startswith("{" + _NS["draw"] + "}")]
    if not drawn or drawn[0].tag != _q("draw", "frame"):
        return None
    return drawn[0].find(_q("draw", "text-box"))


class OdfText:
    """The text of an ODF text document's body, with what each adjustment
    left out counted in words (`removed`)."""

    def __init__(self, xml_text, adjust, words, template=False):
        self.adjust = adjust
        self.template = template
        self.words = words
        self.removed = collections.Counter()
        self.parts = []
        root = ET.fromstring(xml_text)
        body = root.find(_q("office", "body"))
        text = body.find(_q("office", "text")) if body is not None else None
        if text is None:
            raise ValueError("no office:text in the ODF export")
        self.deleted = _deletion_ids(text)
        self.open_deletions = set()
        box = _lone_frame_text(text)
        for top in ([text] if box is None else list(box)):
            self._walk(top)
        self.text = "".join(self.parts)

    def _emit(self, s, kind=None):
        if kind is None and self.open_deletions:
            kind = "deletions"
        if kind is None:
            self.parts.append(s)
        elif kind in self.adjust:
            self.removed[kind] += sum(self.words(s).values())
            # What is left out still separates the words around it.
            self.parts.append(" ")
        else:
            self.parts.append(s)

    def _walk(self, top):
        # Iterative, so that deep nesting cannot exhaust Python's stack.
        # Each entry is (element, kind forced on its subtree, phase).
        stack = [(top, None, 0)]
        while stack:
            el, kind, phase = stack.pop()
            if phase == 1:
                # Closing: the tail belongs to the parent's context.
                if el.tag in (_T("p"), _T("h")):
                    self.parts.append("\n")
                continue
            if isinstance(el, str):
                self._emit(el, kind)
                continue
            tag = el.tag
            ns = tag[1:].split("}", 1)[0] if tag.startswith("{") else ""
            if tag in _OUT_OF_SCOPE or ns in _DRAWN:
                self._push_tail(stack, el, kind)
                continue
            if tag == _T("change-start"):
                if el.get(_T("change-id")) in self.deleted:
                    self.open_deletions.add(el.get(_T("change-id")))
                self._push_tail(stack, el, kind)
                continue
            if tag == _T("change-end"):
                self.open_deletions.discard(el.get(_T("change-id")))
                self._push_tail(stack, el, kind)
                continue
            name = el.get(_T("name")) or ""
            if tag == _T("bookmark-start") and name.startswith(_MOVE_FROM):
                self.open_deletions.add(name)
            elif tag == _T("bookmark-end") and name.startswith(_MOVE_FROM):
                self.open_deletions.discard(name)
            sub_kind = kind
            if tag == _T("note-citation"):
                sub_kind = "notes"
            elif _is_recomputed_field(el, self.template):
                sub_kind = "fields"
            # Tail after the element's own content, in the parent's kind.
            self._push_tail(stack, el, kind)
            stack.append((el, None, 1))
            if tag == _T("s"):
                n = el.get(_T("c"))
                stack.append((" " * (int(n) if n and n.isdigit() and int(n) < 10000 else 1),
                              sub_kind, 0))
            elif tag == _T("tab"):
                stack.append(("\t", sub_kind, 0))
            elif tag == _T("line-break"):
                stack.append(("\n", sub_kind, 0))
            elif tag == _q("table", "table-cell"):
                stack.append(("\t", sub_kind, 0))
            for child in reversed(list(el)):
                stack.append((child, sub_kind, 0))
            if el.text:
                stack.append((el.text, sub_kind, 0))

    @staticmethod
    def _push_tail(stack, el, kind):
        if el.tail:
            stack.append((el.tail, kind, 0))


def strip_binary(xml_text):
    """The ODF export without its embedded pictures (base64), which hold no
    text and would make the cache large."""
    return re.sub(r"(<office:binary-data>)[^<]*(</office:binary-data>)", r"\1\2", xml_text)

# --------------------------------------------------------------------------
# Excel: cells of the values and formulas exports

_VOLATILE = re.compile(r"\b(NOW|TODAY|RAND|RANDBETWEEN|OFFSET|INDIRECT|CELL|INFO)\s*\(",
                       re.IGNORECASE)
_LO_ERROR = re.compile(r"^Err:\d{3}$")


def is_binary_workbook(path):
    """A compound file: LibreOffice reads it with its .xls filter, which
    recalculates every formula on load."""
    with open(path, "rb") as f:
        return f.read(8) == b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1"


def oracle_cells(sheets_json, binary, adjust, words):
    """(kept cell texts, removed word counts by adjustment, notes) from the
    cached pair of exports. Cells are taken row by row, sheet by sheet."""
    removed = collections.Counter()
    kept = []
    mismatched = 0
    for sheet in json.loads(sheets_json):
        values, formulas = sheet["values"], sheet["formulas"]
        for r, row in enumerate(values):
            frow = formulas[r] if r < len(formulas) else []
            for c, v in enumerate(row):
                if not v:
                    continue
                f = frow[c] if c < len(frow) else None
                if f is None:
                    mismatched += 1
                # An array formula is written in braces: {=SIN(B1:B9)}.
                is_formula = f is not None and f.startswith(("=", "{=")) and f != v
                kind = None
                if is_formula and "formulas" in adjust and (binary or _VOLATILE.search(f)):
                    kind = "formulas"
                elif "errors" in adjust and _LO_ERROR.match(v.strip()):
                    kind = "errors"
                if kind:
                    removed[kind] += sum(words(v).values())
                else:
                    kept.append(v)
    notes = [f"{mismatched} cells without a formula-export counterpart"] if mismatched else []
    return kept, removed, notes


def our_cells(text):
    """Our -x text as cells: a tab separates cells, a line break rows."""
    return [c for line in text.split("\n") for c in line.split("\t") if c.strip()]

# --------------------------------------------------------------------------
# values: numbers, dates and times compared by value

_NUMBER = re.compile(r"^\s*([-+]?(?:\d+(?:\.\d*)?|\.\d+)(?:[eE][-+]?\d+)?)\s*(%?)\s*$")
_DATE_MDY = r"(?P<m>\d{1,2})/(?P<d>\d{1,2})/(?P<y>\d{4})"
_DATE_ISO = r"(?P<iy>\d{4})-(?P<im>\d{1,2})-(?P<id>\d{1,2})"
_TIME = r"(?P<h>\d{1,5}):(?P<mi>\d{2})(?::(?P<s>\d{2})(?:[.,](?P<f>\d+))?)?(?:\s*(?P<ap>[AaPp][Mm]))?"
_DATETIME = re.compile(r"^\s*(?:(?:" + _DATE_MDY + "|" + _DATE_ISO + r")(?:[ T]+" + _TIME +
                       r")?|" + _TIME.replace("?P<", "?P<t") + r")\s*$")


def _days_from_civil(y, m, d):
    # Days since 1970-01-01 of a proleptic Gregorian date (no datetime: it
    # rejects day 0 and years before 1).
    y -= m <= 2
    era = (y if y >= 0 else y - 399) // 400
    yoe = y - era * 400
    doy = (153 * (m + (-3 if m > 2 else 9)) + 2) // 5 + d - 1
    doe = yoe * 365 + yoe // 4 - yoe // 100 + doy
    return era * 146097 + doe - 719468


_LO_EPOCH = _days_from_civil(1899, 12, 30)
_MARCH_1900 = _days_from_civil(1900, 3, 1)


def _serial_date(y, m, d, excel):
    """The day number of a calendar date as the program that wrote it counts:
    LibreOffice from 12/30/1899; Excel shows day 0 as 1/0/1900, and its days
    before March 1900 are one lower because it counts a 2/29/1900."""
    if not (1 <= m <= 12) or d > 31:
        return None
    if excel and y == 1900 and (m, d) <= (2, 29):
        return (m - 1) * 31 + d if m == 1 else 31 + d
    if d < 1:
        return None
    return _days_from_civil(y, m, d) - _LO_EPOCH


def parse_value(cell, excel):
    """("number", value) or ("time", days) for a cell that is wholly a value,
    else None. `excel` reads dates as Excel shows them (ours), otherwise as
    LibreOffice writes them (the oracle's)."""
    m = _NUMBER.match(cell)
    if m:
        try:
            v = float(m.group(1))
        except ValueError:
            return None
        if not math.isfinite(v):
            return None
        return ("number", v / 100 if m.group(2) else v)
    m = _DATETIME.match(cell)
    if not m:
        return None
    g = m.groupdict()
    days = 0.0
    if g["y"] or g["iy"]:
        y, mo, d = ((int(g["y"]), int(g["m"]), int(g["d"])) if g["y"] else
                    (int(g["iy"]), int(g["im"]), int(g["id"])))
        serial = _serial_date(y, mo, d, excel)
        if serial is None:
            return None
        days = float(serial)
        prefix = ""
    else:
        prefix = "t"
    h = g.get(prefix + "h")
    if h is not None:
        h, mi = int(h), int(g[prefix + "mi"])
        s = int(g[prefix + "s"] or 0)
        frac = float("0." + g[prefix + "f"]) if g[prefix + "f"] else 0.0
        ap = g[prefix + "ap"]
        if mi > 59 or s > 59:
            return None
        if ap:
            if not 1 <= h <= 12:
                return None
            h = h % 12 + (12 if ap.lower() == "pm" else 0)
        days += (h * 3600 + mi * 60 + s + frac) / 86400
    return ("time", days)


def _equal(kind, a, b):
    if kind == "number":
        return a == b or abs(a - b) <= 1e-14 * max(abs(a), abs(b))
    return abs(a - b) <= 1.0 / 86400 + 1e-9


def pair_by_value(oracle, ours):
    """Pairs cells that spell one value differently (see the module comment).
    Returns (the oracle cells not paired by value, including those whose
    text one of ours equals; the oracle cells paired by value; the cells of
    ours they paired with)."""
    counts = collections.Counter(ours)
    unpaired, candidates = [], []
    for cell in oracle:
        if counts[cell] > 0:
            counts[cell] -= 1
            unpaired.append(cell)
        else:
            candidates.append(cell)
    ours_left = list(counts.elements())
    # Our remaining value cells, sorted by value per kind, each usable once.
    pools = {"number": [], "time": []}
    for i, cell in enumerate(ours_left):
        pv = parse_value(cell, excel=True)
        if pv:
            pools[pv[0]].append((pv[1], i))
    for k in pools:
        pools[k].sort()
    keys = {k: [v for v, _ in pools[k]] for k in pools}
    used = set()
    paired_o, paired_u = [], []
    for cell in candidates:
        pv = parse_value(cell, excel=False)
        hit = None
        if pv:
            kind, v = pv
            slack = abs(v) * 1e-14 if kind == "number" else 2.0 / 86400
            j = bisect.bisect_left(keys[kind], v - slack)
            while j < len(keys[kind]) and keys[kind][j] <= v + slack:
                ui = pools[kind][j][1]
                if ui not in used and _equal(kind, v, keys[kind][j]):
                    hit = ui
                    break
                j += 1
        if hit is None:
            unpaired.append(cell)
        else:
            used.add(hit)
            paired_o.append(cell)
            paired_u.append(ours_left[hit])
    return unpaired, paired_o, paired_u
