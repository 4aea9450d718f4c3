#!/usr/bin/python3
"""queue-pages.py JOB.ps REFERENCE.pdf PATH [COPIES]

Checks the PostScript a printer queue received against the PDF vantrel-dump --pdf made of
the same file: as many pages (each COPIES times, one after the other), on every page the
same words in the same order (line by line, left to right) at the same places within TOLERANCE points, and PATH (the
file's Windows path) in every page header. Prints what it found; exits 1 when a check fails.

The lines of a page are 3 mm apart in whole device pixels: 141 of the PDF's 1200 dpi (8.46
points), 35 of a 300 dpi printer's (8.40 points). The places down the page are compared
after scaling the PDF's by the ratio of the two pitches, less one shift for the page.

Wine's PostScript driver names the glyphs of the IPA fonts by their own glyph names
(aj247 for "0"), which no reader maps to characters: the fonts' character maps give the
names their characters back (uniXXXX) before Ghostscript makes a PDF of the job.
"""

import glob
import re
import subprocess
import sys

from fontTools.ttLib import TTFont

# A printer's device pixel at 300 dpi is 0.24 point: two of them either way.
TOLERANCE = 0.5
PDF_DPI = 1200


def pitch(dpi):
    return int(3 * dpi / 25.4) / dpi * 72


def glyph_characters():
    names = {}
    for path in glob.glob("/usr/share/fonts/opentype/ipafont-*/*.ttf"):
        for code, name in TTFont(path, lazy=True).getBestCmap().items():
            if code <= 0xFFFF and (name not in names or code < names[name]):
                names[name] = code
    return names


def job_pdf(job):
    """The job as a PDF whose words read back, and the printer's resolution."""
    names = glyph_characters()

    def named(match):
        code = names.get(match.group(1).decode())
        return b"/uni%04X" % code if code is not None else match.group(0)

    with open(job, "rb") as f:
        text = f.read()
    dpi = re.search(rb"72 (\d+) div 72 \d+ div scale", text)
    if dpi is None:
        sys.exit(f"{job}: no device resolution in the page set-up")
    named_job = job + ".named.ps"
    with open(named_job, "wb") as f:
        f.write(re.sub(rb"/(aj\d+(?:\.\w+)?)\b", named, text))
    pdf = job + ".pdf"
    subprocess.run(["ps2pdf", named_job, pdf], check=True)
    return pdf, int(dpi.group(1))


def pages(pdf):
    html = subprocess.run(["pdftotext", "-bbox", pdf, "-"], check=True, capture_output=True).stdout.decode()
    result = []
    for page in re.findall(r"<page [^>]*>(.*?)</page>", html, re.S):
        words = re.findall(r'<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="[\d.]+">([^<]*)</word>', page)
        # In reading order, line by line: pdftotext's own order of blocks depends on how
        # the text was put on the page, a string at a time or a glyph at a time.
        words = [(float(x0), float(y0), float(x1), w) for x0, y0, x1, w in words]
        result.append(sorted(words, key=lambda w: (round(w[1], 1), w[0])))
    return result


def unescape(word):
    return word.replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", '"').replace("&amp;", "&")


def main():
    job, reference, path = sys.argv[1:4]
    copies = int(sys.argv[4]) if len(sys.argv) > 4 else 1
    pdf, dpi = job_pdf(job)
    printed = pages(pdf)
    wanted = pages(reference)
    if len(printed) != len(wanted) * copies:
        sys.exit(f"{job}: {len(printed)} pages, {len(wanted)} x {copies} wanted")
    scale = pitch(dpi) / pitch(PDF_DPI)
    gap = 0.0
    for i, words in enumerate(printed):
        expected = wanted[i // copies]
        texts = [unescape(w[3]) for w in words]
        if texts != [unescape(w[3]) for w in expected]:
            sys.exit(f"{job}: page {i + 1} reads otherwise than page {i // copies + 1} of {reference}:\n"
                     + " ".join(texts[:40]))
        if path not in texts:
            sys.exit(f"{job}: page {i + 1} has no header naming {path}")
        shifts = sorted(a[1] - scale * b[1] for a, b in zip(words, expected))
        shift = shifts[len(shifts) // 2]
        for a, b in zip(words, expected):
            gap = max(gap, abs(a[0] - b[0]), abs(a[2] - b[2]), abs(a[1] - scale * b[1] - shift))
        if gap > TOLERANCE:
            sys.exit(f"{job}: page {i + 1}: a word lies {gap:.2f} points from its place in {reference}")
    print(f"{len(printed)} pages ({len(wanted)} x {copies}) at {dpi} dpi, the same words at most {gap:.2f} "
          f"points from their places (tolerance {TOLERANCE})")


main()
