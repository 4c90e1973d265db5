#!/usr/bin/env python3
"""Typesets a plain-text help page into a small PDF (Helvetica, A4).

Usage: make-help-pdf.py SOURCE.txt TARGET.pdf
The first line is the title, a line that starts a paragraph after an empty
line and has no final full stop is a heading; lines are kept as written.
"""
import sys


def escape(text):
    return text.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)")


def pages_of(lines, per_page=52):
    return [lines[i:i + per_page] for i in range(0, len(lines), per_page)] or [[]]


def page_stream(lines, title):
    out = ["BT", "/F1 10 Tf", "12 TL", "56 790 Td"]
    for i, line in enumerate(lines):
        heading = (line == title) or (line and not line.startswith(" ") and
                                       not line.endswith((".", ":", ",")) and
                                       (i == 0 or not lines[i - 1]))
        font = "/F2 14 Tf" if line == title else ("/F2 11 Tf" if heading else "/F1 10 Tf")
        out.append(font)
        out.append("(%s) '" % escape(line))
    out.append("ET")
    return "\n".join(out).encode("latin-1")


def main(source, target):
    lines = open(source, encoding="utf-8").read().splitlines()
    title = lines[0] if lines else ""
    objects = []  # bodies; object n is objects[n-1]
    pages = pages_of(lines)
    page_ids = [5 + 2 * i for i in range(len(pages))]
    objects.append(b"<< /Type /Catalog /Pages 2 0 R >>")
    kids = " ".join("%d 0 R" % p for p in page_ids)
    objects.append(("<< /Type /Pages /Kids [%s] /Count %d >>" % (kids, len(pages))).encode())
    objects.append(b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>")
    objects.append(b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold /Encoding /WinAnsiEncoding >>")
    for i, page in enumerate(pages):
        content = page_stream(page, title)
        objects.append(("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] "
                        "/Resources << /Font << /F1 3 0 R /F2 4 0 R >> >> /Contents %d 0 R >>"
                        % (page_ids[i] + 1)).encode())
        objects.append(b"<< /Length %d >>\nstream\n" % len(content) + content + b"\nendstream")
    data = bytearray(b"%PDF-1.4\n")
    offsets = []
    for n, body in enumerate(objects, 1):
        offsets.append(len(data))
        data += b"%d 0 obj\n" % n + body + b"\nendobj\n"
    xref = len(data)
    data += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    for off in offsets:
        data += b"%010d 00000 n \n" % off
    data += (b"trailer\n<< /Size %d /Root 1 0 R /Info << /Title (%s) >> >>\nstartxref\n%d\n%%%%EOF\n"
             % (len(objects) + 1, escape(title).encode("latin-1"), xref))
    open(target, "wb").write(bytes(data))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
