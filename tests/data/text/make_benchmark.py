#!/usr/bin/python3
"""Writes the big benchmark workbook (200,000 rows x 5 columns: name, address,
phone number, date, amount) as .csv, .ods and .xlsb into a folder, for
measuring the readers. The files are not committed: they are large.

    /usr/bin/python3 tests/data/text/make_benchmark.py /tmp/bench [rows]

The .ods is written as LibreOffice writes one (typed cells with their shown
text in a paragraph, padding rows to the sheet's end); the .xlsb with the
record layout of binary workbooks (shared strings, RK and real numbers, a
date format).
"""
import csv
import io
import os
import random
import struct
import sys
import zipfile
from xml.sax.saxutils import escape

FIRST = ["Ada", "Grace", "Alan", "Edsger", "Barbara", "Donald", "Ken", "Frances", "John", "Radia"]
LAST = ["Lovelace", "Hopper", "Turing", "Dijkstra", "Liskov", "Knuth", "Thompson", "Allen"]
STREETS = ["Main St", "Oak Ave", "Elm Rd", "Pine Ln", "Cedar Ct", "Maple Dr", "Birch Way"]


def rows(n):
    rnd = random.Random(42)
    for i in range(n):
        name = f"{rnd.choice(FIRST)} {rnd.choice(LAST)}"
        address = f"{rnd.randint(1, 9999)} {rnd.choice(STREETS)}, Springfield"
        phone = f"({rnd.randint(200, 999)}) 555-{rnd.randint(0, 9999):04d}"
        serial = 40000 + rnd.randint(0, 5000)  # a date serial
        amount = round(rnd.uniform(-5000, 50000), 2)
        yield name, address, phone, serial, amount


def serial_to_mdy(serial):
    import datetime
    d = datetime.date(1899, 12, 30) + datetime.timedelta(days=serial)
    return f"{d.month}/{d.day}/{d.year}", d.isoformat()


def write_csv(path, n):
    with open(path, "w", newline="", encoding="utf-8") as f:
        w = csv.writer(f)
        w.writerow(["Name", "Address", "Phone", "Date", "Amount"])
        for name, address, phone, serial, amount in rows(n):
            w.writerow([name, address, phone, serial_to_mdy(serial)[0], f"{amount:.2f}"])


def write_ods(path, n):
    out = io.StringIO()
    out.write('<?xml version="1.0" encoding="UTF-8"?>'
              '<office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"'
              ' xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"'
              ' xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"'
              ' office:version="1.3"><office:body><office:spreadsheet>'
              '<table:table table:name="Contacts"><table:table-column table:number-columns-repeated="5"/>')

    def s(v):
        return ('<table:table-cell office:value-type="string"><text:p>' + escape(v) +
                '</text:p></table:table-cell>')

    out.write('<table:table-row>' + "".join(s(h) for h in
                                            ["Name", "Address", "Phone", "Date", "Amount"]))
    out.write('<table:table-cell table:number-columns-repeated="16379"/></table:table-row>')
    for name, address, phone, serial, amount in rows(n):
        shown, iso = serial_to_mdy(serial)
        out.write('<table:table-row>' + s(name) + s(address) + s(phone) +
                  f'<table:table-cell table:style-name="ce1" office:value-type="date" '
                  f'office:date-value="{iso}"><text:p>{shown}</text:p></table:table-cell>'
                  f'<table:table-cell office:value-type="float" office:value="{amount}">'
                  f'<text:p>{amount:.2f}</text:p></table:table-cell>'
                  '<table:table-cell table:number-columns-repeated="16379"/></table:table-row>')
    out.write(f'<table:table-row table:number-rows-repeated="{1048576 - n - 1}">'
              '<table:table-cell table:number-columns-repeated="16384"/></table:table-row>')
    out.write('</table:table></office:spreadsheet></office:body></office:document-content>')
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(zipfile.ZipInfo("mimetype"), "application/vnd.oasis.opendocument.spreadsheet")
        z.writestr("content.xml", out.getvalue())
        z.writestr("META-INF/manifest.xml",
                   '<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0">'
                   '<manifest:file-entry manifest:full-path="/" manifest:media-type='
                   '"application/vnd.oasis.opendocument.spreadsheet"/></manifest:manifest>')


def rec(rt, payload=b""):
    head = bytearray()
    head.append((rt & 0x7F) | (0x80 if rt > 0x7F else 0))
    if rt > 0x7F:
        head.append(rt >> 7)
    size = len(payload)
    while True:
        b = size & 0x7F
        size >>= 7
        head.append(b | (0x80 if size else 0))
        if not size:
            break
    return bytes(head) + payload


def wide(s):
    u = s.encode("utf-16-le")
    return struct.pack("<I", len(u) // 2) + u


def write_xlsb(path, n):
    strings, index = [], {}

    def sst(v):
        if v not in index:
            index[v] = len(strings)
            strings.append(v)
        return index[v]

    sheet = bytearray(rec(129) + rec(145))
    header = ["Name", "Address", "Phone", "Date", "Amount"]
    sheet += rec(0, struct.pack("<IIH", 0, 0, 300) + b"\0" * 4)
    for c, h in enumerate(header):
        sheet += rec(7, struct.pack("<III", c, 0, sst(h)))
    for r, (name, address, phone, serial, amount) in enumerate(rows(n), start=1):
        sheet += rec(0, struct.pack("<IIH", r, 0, 300) + b"\0" * 4)
        sheet += rec(7, struct.pack("<III", 0, 0, sst(name)))
        sheet += rec(6, struct.pack("<II", 1, 0) + wide(address))
        sheet += rec(7, struct.pack("<III", 2, 0, sst(phone)))
        sheet += rec(2, struct.pack("<III", 3, 1, (serial << 2) | 2))
        sheet += rec(5, struct.pack("<IId", 4, 2, amount))
    sheet += rec(146) + rec(130)
    sst_part = rec(159, struct.pack("<II", len(strings), len(strings)))
    sst_part += b"".join(rec(19, b"\0" + wide(s)) for s in strings) + rec(160)
    styles = rec(278) + rec(617)
    for fmt in (0, 14, 2):
        styles += rec(47, struct.pack("<HH", 0, fmt) + b"\0" * 12)
    styles += rec(618) + rec(279)
    book = rec(131) + rec(153, struct.pack("<II", 0, 0) + wide("")) + rec(143)
    book += rec(156, struct.pack("<II", 0, 1) + wide("rId1") + wide("Contacts")) + rec(144)
    book += rec(132)
    rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml",
                   '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
                   '<Default Extension="bin" ContentType="application/vnd.ms-excel.sheet.binary.macroEnabled.main"/>'
                   '</Types>')
        z.writestr("_rels/.rels",
                   '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                   f'<Relationship Id="rId1" Type="{rel}officeDocument" Target="xl/workbook.bin"/>'
                   '</Relationships>')
        z.writestr("xl/_rels/workbook.bin.rels",
                   '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                   f'<Relationship Id="rId1" Type="{rel}worksheet" Target="worksheets/sheet1.bin"/>'
                   f'<Relationship Id="rId2" Type="{rel}styles" Target="styles.bin"/>'
                   f'<Relationship Id="rId3" Type="{rel}sharedStrings" Target="sharedStrings.bin"/>'
                   '</Relationships>')
        z.writestr("xl/workbook.bin", book)
        z.writestr("xl/worksheets/sheet1.bin", bytes(sheet))
        z.writestr("xl/sharedStrings.bin", sst_part)
        z.writestr("xl/styles.bin", styles)


def main():
    folder = sys.argv[1]
    n = int(sys.argv[2]) if len(sys.argv) > 2 else 200000
    os.makedirs(folder, exist_ok=True)
    write_csv(os.path.join(folder, "bench.csv"), n)
    write_ods(os.path.join(folder, "bench.ods"), n)
    write_xlsb(os.path.join(folder, "bench.xlsb"), n)


if __name__ == "__main__":
    main()
