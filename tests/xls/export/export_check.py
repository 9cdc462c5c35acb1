#!/usr/bin/python3
"""Reads the library's exports back with independent programs and reports every difference.

usage: export_check.py csv|libreoffice|chromium|rtf EXPECTED.json WORKDIR ARTEFACTS
Prints one line per problem; no output means the files read back as expected."""
import csv
import html.parser
import json
import os
import shutil
import subprocess
import sys
import urllib.parse
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
from lo_headless import soffice  # noqa: E402

CHROMIUM = ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
            "--disable-background-networking", "--disable-component-update", "--disable-sync"]


def run(command, timeout=180):
    p = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
    return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")


def read_csv(path, encoding, delimiter):
    with open(path, newline="", encoding=encoding) as f:
        return [row for row in csv.reader(f, delimiter=delimiter)]


def same_value(kind, want, got):
    if kind == "n":
        try:
            return abs(float(got) - float(want)) <= 1e-9 * max(1.0, abs(float(want)))
        except ValueError:
            return False
    if kind == "b":
        return got.upper() == want.upper()
    return got == want


def check_csv(expected, workdir, artefacts, problems):
    for f in expected["files"]:
        rows = read_csv(os.path.join(workdir, f["file"]), f["encoding"], f["delimiter"])
        if rows != f["rows"]:
            problems.append("%s: python csv read %r, expected %r" % (f["file"], rows, f["rows"]))


def check_libreoffice(expected, workdir, artefacts, problems):
    out = os.path.join(workdir, "lo_out")
    for f in expected["files"]:
        sep = 9 if f["delimiter"] == "\t" else 44
        charset = "65535" if f["encoding"] == "utf-16" else "1"
        code, _, err = soffice(workdir, ["--infilter=Text - txt - csv (StarCalc):%d,34,%s,1" % (sep, charset),
                                          "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76,1",
                                          "--outdir", out, os.path.join(workdir, f["file"])], timeout=180)
        target = os.path.join(out, os.path.splitext(f["file"])[0] + ".csv")
        if code != 0 or not os.path.exists(target):
            problems.append("soffice %s: exit %d %s" % (f["file"], code, err))
            continue
        rows = read_csv(target, "utf-8", ",")
        os.remove(target)
        want = f["rows"]
        if len(rows) != len(want):
            problems.append("%s: LibreOffice read %d rows, expected %d: %r" % (f["file"], len(rows), len(want), rows))
            continue
        for r, (got_row, want_row) in enumerate(zip(rows, want)):
            got_row = got_row + [""] * (len(want_row) - len(got_row))
            for c, (g, w) in enumerate(zip(got_row, want_row)):
                if not same_value(f["kinds"][r][c], w, g):
                    problems.append("%s: LibreOffice cell %d,%d is %r, expected %r" % (f["file"], r + 1, c + 1, g, w))


class Cells(html.parser.HTMLParser):
    """The td elements of a DOM dump with their attributes and text, and its frames by name."""

    def __init__(self):
        super().__init__()
        self.cells, self.fonts, self.current, self.tags, self.frames = [], [], None, set(), {}

    def handle_starttag(self, tag, attrs):
        self.tags.add(tag)
        if tag == "frame":
            self.frames[dict(attrs).get("name")] = dict(attrs)
        if tag == "td":
            self.current = {"attrs": dict(attrs), "text": ""}
            self.cells.append(self.current)

    def handle_endtag(self, tag):
        if tag == "td":
            self.current = None

    def handle_data(self, data):
        if self.current is not None:
            self.current["text"] += data


PROBE = """<script>
for (const td of document.querySelectorAll('td')) {
  const s = getComputedStyle(td);
  td.setAttribute('data-cs', JSON.stringify({fontWeight: s.fontWeight, color: s.color,
    textAlign: s.textAlign, backgroundColor: s.backgroundColor, borderTopStyle: s.borderTopStyle,
    borderBottomStyle: s.borderBottomStyle, whiteSpace: s.whiteSpace, fontStyle: s.fontStyle}));
}
</script>"""


# For a frameset page: what each frame loaded (its text, or "no document") and the addresses of
# its links as Chromium resolves them (pages from files see into each other only with
# --allow-file-access-from-files).
FRAMES_PROBE = """<script>
addEventListener('load', () => { for (const f of document.querySelectorAll('frame')) {
  const d = f.contentDocument;
  f.setAttribute('data-text', d && d.body ? d.body.innerText : 'no document');
  f.setAttribute('data-links', JSON.stringify(d ? [...d.querySelectorAll('a')].map(a => a.href) : []));
} });
</script>"""


def dump_dom(page, workdir, options=()):
    profile = os.path.join(workdir, "chromium_profile_%d" % len(os.listdir(workdir)))
    os.makedirs(profile)
    code, out, err = run(CHROMIUM + list(options) + ["--user-data-dir=" + profile, "--dump-dom", "file://" + page],
                         timeout=120)
    return code, out, err


def check_frames(p, page, workdir, problems):
    """The frames of the page show the texts expected, and every link in them leads to a file."""
    probe = page + ".frames.htm"
    with open(page, "rb") as src, open(probe, "wb") as dst:
        dst.write(src.read().replace(b"</head>", FRAMES_PROBE.encode() + b"</head>", 1))
    code, dom, err = dump_dom(probe, workdir, ["--allow-file-access-from-files"])
    parser = Cells()
    parser.feed(dom)
    for name, want in p["frames"].items():
        frame = parser.frames.get(name, {})
        if want not in frame.get("data-text", ""):
            problems.append("%s: frame %r shows %r, not %r (exit %d) %s" % (p["file"], name, frame.get("data-text"),
                                                                            want, code, err[-400:]))
        for link in json.loads(frame.get("data-links", "[]")):
            if not os.path.isfile(urllib.request.url2pathname(urllib.parse.urlparse(link).path)):
                problems.append("%s: frame %r links to %s, which is not there" % (p["file"], name, link))


def check_chromium(expected, workdir, artefacts, problems):
    for p in expected["pages"]:
        page = os.path.join(workdir, p["file"])
        if "frames" in p:
            check_frames(p, page, workdir, problems)
        probe = page + ".probe.htm"
        with open(page, "rb") as src, open(probe, "wb") as dst:
            dst.write(src.read() + PROBE.encode())
        code, dom, err = dump_dom(probe, workdir)
        if code != 0 or "<td" not in dom and p.get("cells"):
            problems.append("chromium %s: exit %d %s" % (p["file"], code, err[-400:]))
            continue
        parser = Cells()
        parser.feed(dom)
        for tag in p.get("absent_tags", []):
            if tag in parser.tags:
                problems.append("%s: the page gained a <%s> element" % (p["file"], tag))
        for text in p.get("texts", []):
            if not any(c["text"] == text for c in parser.cells) and text not in dom:
                problems.append("%s: no text %r in the DOM" % (p["file"], text))
        if "cells" in p:
            got = [[c["text"], c["attrs"].get("colspan", "1"), c["attrs"].get("rowspan", "1")] for c in parser.cells]
            if got != p["cells"]:
                problems.append("%s: cells %r, expected %r" % (p["file"], got, p["cells"]))
        for text, styles in p.get("styles", {}).items():
            cell = next((c for c in parser.cells if c["text"] == text), None)
            if cell is None:
                problems.append("%s: no cell %r for its style" % (p["file"], text))
                continue
            computed = json.loads(cell["attrs"].get("data-cs", "{}"))
            for name, value in styles.items():
                got = computed.get(name)
                # Chromium reports the align attribute's alignment as -webkit-left/-webkit-right.
                if isinstance(got, str) and got.startswith("-webkit-"):
                    got = got[len("-webkit-"):]
                if got != value:
                    problems.append("%s: cell %r %s is %r, expected %r" % (p["file"], text, name, computed.get(name), value))
        if p.get("screenshot"):
            shot = os.path.join(artefacts, p["screenshot"])
            profile = os.path.join(workdir, "chromium_shot_%s" % p["screenshot"])
            os.makedirs(profile, exist_ok=True)
            code, _, err = run(CHROMIUM + ["--user-data-dir=" + profile, "--screenshot=" + shot,
                                           "--window-size=900,500", "file://" + page], timeout=120)
            if code != 0 or not os.path.exists(shot):
                problems.append("chromium screenshot of %s: exit %d %s" % (p["file"], code, err[-400:]))


def check_rtf(expected, workdir, artefacts, problems):
    out = os.path.join(workdir, "rtf_out")
    rtf = os.path.join(workdir, expected["file"])
    stem = os.path.splitext(expected["file"])[0]
    for target in ("txt:Text (encoded):UTF8", "pdf"):
        code, _, err = soffice(workdir, ["--convert-to", target, "--outdir", out, rtf], timeout=180)
        if code != 0:
            problems.append("soffice %s: exit %d %s" % (target, code, err))
            return
    with open(os.path.join(out, stem + ".txt"), encoding="utf-8-sig") as f:
        text = f.read()
    code, pdf_text, err = run(["pdftotext", "-layout", os.path.join(out, stem + ".pdf"), "-"])
    # The text export holds every cell whole; the PDF's layout text may break a cell's text
    # within its column, so only texts that fit their columns are looked for there.
    for name, got, wanted in (("text", text, expected["in_order"]), ("pdf", pdf_text, expected["pdf_in_order"])):
        at = 0
        for want in wanted:
            found = got.find(want, at)
            if found < 0:
                problems.append("RTF as %s: %r missing or out of order in %r" % (name, want, got))
                break
            at = found + len(want)
        for want, count in expected.get("counts", {}).items():
            if got.count(want) != count:
                problems.append("RTF as %s: %r appears %d times, expected %d" % (name, want, got.count(want), count))
    if expected.get("pages"):
        code, info, _ = run(["pdfinfo", os.path.join(out, stem + ".pdf")])
        pages = [l.split()[-1] for l in info.splitlines() if l.startswith("Pages:")]
        if pages != [str(expected["pages"])]:
            problems.append("RTF as pdf: pages %r, expected %d" % (pages, expected["pages"]))
    if expected.get("render"):
        run(["pdftoppm", "-png", "-r", "70", "-f", "1", "-l", "1", os.path.join(out, stem + ".pdf"),
             os.path.join(artefacts, expected["render"])])
    # Pictures are visible: enough pixels of each of their colours on the first page.
    if expected.get("colours"):
        ppm = os.path.join(out, "page")
        code, _, err = run(["pdftoppm", "-r", "70", "-f", "1", "-l", "1", "-singlefile",
                            os.path.join(out, stem + ".pdf"), ppm])
        if code != 0 or not os.path.exists(ppm + ".ppm"):
            problems.append("pdftoppm: exit %d %s %r" % (code, err, os.listdir(out)))
            return
        with open(ppm + ".ppm", "rb") as f:
            data = f.read()
        fields = data.split(maxsplit=4)  # P6, width, height, maximum, pixels
        pixels = fields[4]
        for colour, least in expected["colours"]:
            n = sum(1 for i in range(0, len(pixels) - 2, 3)
                    if all(abs(pixels[i + k] - colour[k]) <= 40 for k in range(3)))
            if n < least:
                problems.append("RTF as pdf: %d pixels of colour %r, expected at least %d" % (n, colour, least))


def main():
    mode, expected_path, workdir, artefacts = sys.argv[1:5]
    with open(expected_path, encoding="utf-8") as f:
        expected = json.load(f)
    os.makedirs(artefacts, exist_ok=True)
    problems = []
    {"csv": check_csv, "libreoffice": check_libreoffice, "chromium": check_chromium, "rtf": check_rtf}[mode](
        expected, workdir, artefacts, problems)
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
