#!/usr/bin/env python3
"""Makes a seed folder for every libFuzzer target in fuzz/.

    fuzz/make_seeds.py OUT [CORPUS...]

OUT/<target>/ gets the bundled samples and the test data, the workbooks of
any CORPUS folders given (files up to 256 KB), the parts inside them in the
layouts the targets take, and shapes that are hard to reach by mutation:
tokens far longer than one read (a start tag of blanks, a long attribute,
element name, comment, text and field), flat documents behind long
prefixes and in UTF-16, numbers written with spaces, and several workbooks
in one run (run_jobs_fuzz).
"""

import io
import os
import struct
import sys
import zipfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
MAX_FILE = 256 * 1024
LONG = 300 * 1024  # longer than four reads of the zip stream and the tokenizer
RUN_SEPARATOR = b"\0DSF"

WORKBOOK_ENDINGS = {".xlsx", ".xlsm", ".xls", ".xlsb", ".ods", ".fods", ".csv", ".tsv", ".txt"}


def workbooks(folders):
    for folder in folders:
        for path in sorted(Path(folder).rglob("*")):
            if path.suffix.lower() in WORKBOOK_ENDINGS and path.is_file():
                if path.stat().st_size <= MAX_FILE:
                    yield path


def zip_parts(path, names):
    try:
        with zipfile.ZipFile(path) as z:
            for info in z.infolist():
                if any(info.filename.endswith(n) or n in info.filename for n in names):
                    if info.file_size <= MAX_FILE:
                        yield info.filename, z.read(info)
    except (zipfile.BadZipFile, OSError, NotImplementedError, RuntimeError, EOFError):
        return


def xlsx_book(sheet_xml, strings_xml=None):
    """A small .xlsx around one worksheet part, deflated."""
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml",
                   '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
                   '<Override PartName="/xl/workbook.xml" ContentType="application/'
                   'vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/></Types>')
        z.writestr("_rels/.rels",
                   '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/'
                   'relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats'
                   '.org/officeDocument/2006/relationships/officeDocument" '
                   'Target="xl/workbook.xml"/></Relationships>')
        z.writestr("xl/workbook.xml",
                   '<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
                   'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">'
                   '<sheets><sheet name="S" sheetId="1" r:id="rId1"/></sheets></workbook>')
        z.writestr("xl/_rels/workbook.xml.rels",
                   '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/'
                   'relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats'
                   '.org/officeDocument/2006/relationships/worksheet" Target="worksheets/'
                   'sheet1.xml"/><Relationship Id="rId2" Type="http://schemas.openxmlformats'
                   '.org/officeDocument/2006/relationships/sharedStrings" '
                   'Target="sharedStrings.xml"/></Relationships>')
        z.writestr("xl/worksheets/sheet1.xml", sheet_xml)
        if strings_xml is not None:
            z.writestr("xl/sharedStrings.xml", strings_xml)
    return out.getvalue()


NS = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'


def long_token_sheets():
    blanks = b" " * LONG
    cell = b'<c r="A2" t="inlineStr"><is><t>212-555-0147</t></is></c>'
    return [
        # blanks inside a start tag, an attribute value, an element name, text
        b"<worksheet " + NS.encode() + b"><sheetData><row r=\"1\"" + blanks + b">" + cell +
        b"</row></sheetData></worksheet>",
        b"<worksheet " + NS.encode() + b"><sheetData><row r=\"1\" x=\"" + b"a" * LONG + b"\">" +
        cell + b"</row></sheetData></worksheet>",
        b"<worksheet " + NS.encode() + b"><sheetData><" + b"q" * LONG + b"/><row r=\"1\">" +
        cell + b"</row></sheetData></worksheet>",
        b"<worksheet " + NS.encode() + b"><sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\">"
        b"<is><t>" + b"9 " * (LONG // 2) + b"</t></is></c>" + cell + b"</row></sheetData>"
        b"</worksheet>",
        b"<worksheet " + NS.encode() + b"><!--" + b"-" * 3 + b"x" * LONG + b"--><sheetData>"
        b"<row r=\"1\">" + cell + b"</row></sheetData></worksheet>",
    ]


def long_token_strings():
    return [
        b"<sst " + NS.encode() + b"><si" + b" " * LONG + b"><t>212-555-0147</t></si></sst>",
        b"<sst " + NS.encode() + b"><si><t>" + b"(212) 555-0147 " * (LONG // 15) + b"</t></si>"
        b"</sst>",
    ]


ODS_NS = ('xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
          'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
          'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"')


def ods_content(body_cells, prefix=b"", attrs=b""):
    return (prefix + b"<office:document-content " + ODS_NS.encode() + attrs +
            b"><office:body><office:spreadsheet><table:table table:name=\"S\"><table:table-row>" +
            body_cells + b"</table:table-row></table:table></office:spreadsheet></office:body>"
            b"</office:document-content>")


def ods_seeds():
    cell = (b'<table:table-cell office:value-type="string"><text:p>+44 20 7946 0958</text:p>'
            b"</table:table-cell>")
    return [
        ods_content(cell),
        ods_content(cell, attrs=b" " * LONG),
        ods_content(b'<table:table-cell table:number-columns-repeated="' + b"9" * LONG + b'"/>' +
                    cell),
        ods_content(b"<table:table-cell><text:p>" + b"0 " * (LONG // 2) + b"</text:p>"
                    b"</table:table-cell>" + cell),
    ]


def flat_ods_seeds():
    body = ods_content(
        b'<table:table-cell office:value-type="float" office:value="2125550147">'
        b"<text:p>2125550147</text:p></table:table-cell>").replace(
            b"office:document-content", b"office:document")
    declaration = b'<?xml version="1.0" encoding="UTF-8"?>\n'
    return [
        declaration + body,
        declaration + b"<!--" + b"c" * LONG + b"-->" + body,
        declaration + b"<?pi " + b"p" * 1000 + b"?><!DOCTYPE x>\n" + body,
        b"\xff\xfe" + (declaration + body).decode().replace("UTF-8", "UTF-16").encode("utf-16-le"),
        (declaration + body).decode().replace("UTF-8", "UTF-16").encode("utf-16-be"),
    ]


def csv_seeds():
    return [
        b"name,phone\nAnn,212-555-0147\nBob,(212) 555-0148\n",
        b'"' + b"x" * LONG + b'",212-555-0147\n',
        b"," * 20000 + b"212-555-0147\n",
        b"\xff\xfe" + "a;b\n+44 20 7946 0958;x\n".encode("utf-16-le"),
        b"Tel 020 7946 0958 / Fax 020 7946 0959\t01 23 45 67 89\n",
    ]


def xlsb_record(kind, payload=b""):
    def varint(n, limit):
        out = bytearray()
        while True:
            byte = n & 0x7F
            n >>= 7
            out.append(byte | (0x80 if n else 0))
            if not n or len(out) == limit:
                return bytes(out)
    return varint(kind, 2) + varint(len(payload), 4) + payload


def wide(text):
    return struct.pack("<I", len(text)) + text.encode("utf-16-le")


def xlsb_seeds():
    """Record streams of the binary parts, as xlsb_fuzz takes them."""
    row = lambda r: xlsb_record(0, struct.pack("<IIHHBBB", r, 0, 300, 0, 0, 0, 0) + b"\0" * 4)
    cell = lambda col, style=0: struct.pack("<I", col) + struct.pack("<I", style)[:3] + b"\0"
    sheet = b"".join([
        xlsb_record(129), xlsb_record(145),  # sheet and sheet data begin
        row(0), xlsb_record(7, cell(0) + struct.pack("<I", 1)),
        xlsb_record(5, cell(1, 1) + struct.pack("<d", 2125550147.0)),
        xlsb_record(2, cell(2) + struct.pack("<I", (2125550 << 2) | 0)),
        xlsb_record(6, cell(3) + wide("+44 20 7946 0958")),
        row(1), xlsb_record(8, cell(0) + wide("(212) 555-0147") + b"\0\0"),
        row(1048575), xlsb_record(4, cell(16383) + b"\1"),
        xlsb_record(146), xlsb_record(130)])
    strings = b"".join([xlsb_record(159, struct.pack("<II", 2, 2)),
                        xlsb_record(19, b"\0" + wide("Tel 212-555-0100")),
                        xlsb_record(19, b"\0" + wide("x" * 5000)), xlsb_record(160)])
    styles = b"".join([xlsb_record(615, struct.pack("<I", 1)),
                       xlsb_record(44, struct.pack("<H", 164) + wide("000-000-0000")),
                       xlsb_record(616), xlsb_record(617, struct.pack("<I", 2)),
                       xlsb_record(47, struct.pack("<HHHHHHHH", 0xFFFF, 0, 0, 0, 0, 0, 0, 0)),
                       xlsb_record(47, struct.pack("<HHHHHHHH", 0xFFFF, 164, 0, 0, 0, 0, 0, 0)),
                       xlsb_record(618)])
    book = b"".join([xlsb_record(131), xlsb_record(143),
                     xlsb_record(156, struct.pack("<II", 0, 1) + wide("rId1") + wide("Sheet 1")),
                     xlsb_record(144), xlsb_record(132)])
    return [b"\0" + sheet, b"\1" + strings, b"\2" + styles, b"\3" + book,
            b"\0" + sheet[:len(sheet) // 2] + xlsb_record(0x3FFF, b"\xff" * 300)]


SPACED_TEXT = [
    "(212) 555-0147", "+44 20 7946 0958", "+49 (0)30 1234 5678", "01\u00a023\u00a045\u00a067\u00a089",
    "T 01 23 45 67 89 F 01 23 45 67 90", "089 / 123 456 78", "+1 212\u2013555\u20110147 x204",
    "1 234 567,89 EUR", "12.03.2024 10:30", "DE89 3704 0044 0532 0130 00", "1 2 3 4 5 6 7 8",
    "Tel.: 0921-12 34 65 ext. 12", "2019 2020 2021 2022", "ISBN 978-3-16-148410-0",
]


def write(folder, name, data):
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    out = Path(sys.argv[1])
    sources = [ROOT / "Samples", ROOT / "tests" / "data"] + sys.argv[2:]
    files = list(workbooks(sources))

    for i, path in enumerate(files):
        data = path.read_bytes()
        ending = path.suffix.lower()
        tag = f"{i:04d}"
        write(out / "open_workbook_fuzz", tag, bytes([i % 4 if ending != ".csv" else 1]) + data)
        if data[:4] == b"\xd0\xcf\x11\xe0":
            write(out / "xls_fuzz", tag, data)
        if ending in (".csv", ".tsv", ".txt"):
            write(out / "csv_fuzz", tag, data)
        if ending == ".fods":
            write(out / "open_workbook_fuzz", tag + "f", b"\x03" + data)
        if data[:2] == b"PK":
            write(out / "xlsx_fuzz", tag, b"\x00" + data)
            for j, (name, part) in enumerate(zip_parts(path, ["worksheets/sheet", "sharedStrings",
                                                              "styles.xml", "content.xml",
                                                              ".bin"])):
                if name.endswith(".xml") and "worksheets/" in name:
                    write(out / "xlsx_fuzz", f"{tag}-{j}", b"\x01" + part)
                elif name.endswith("sharedStrings.xml"):
                    write(out / "xlsx_fuzz", f"{tag}-{j}", b"\x02" + part)
                elif name.endswith("styles.xml") and name.startswith("xl/"):
                    write(out / "xlsx_fuzz", f"{tag}-{j}", b"\x03" + part)
                elif name == "content.xml":
                    write(out / "ods_fuzz", f"{tag}-{j}", part)
                elif name.endswith(".bin"):
                    mode = (1 if "sharedStrings" in name else 2 if "styles" in name
                            else 3 if name.endswith("workbook.bin") else 0)
                    write(out / "xlsb_fuzz", f"{tag}-{j}", bytes([mode]) + part)

    # Tokens longer than a read, as parts and as whole deflated workbooks.
    for i, sheet in enumerate(long_token_sheets()):
        write(out / "xlsx_fuzz", f"long-sheet-{i}", b"\x01" + sheet)
        write(out / "xlsx_fuzz", f"long-book-{i}", b"\x00" + xlsx_book(sheet))
        write(out / "open_workbook_fuzz", f"long-book-{i}", b"\x00" + xlsx_book(sheet))
    for i, strings in enumerate(long_token_strings()):
        write(out / "xlsx_fuzz", f"long-strings-{i}", b"\x02" + strings)
    for i, content in enumerate(ods_seeds()):
        write(out / "ods_fuzz", f"shape-{i}", content)
    for i, flat in enumerate(flat_ods_seeds()):
        write(out / "open_workbook_fuzz", f"flat-{i}", b"\x03" + flat)
    for i, records in enumerate(xlsb_seeds()):
        write(out / "xlsb_fuzz", f"records-{i}", records)
    for i, text in enumerate(csv_seeds()):
        write(out / "csv_fuzz", f"shape-{i}", text)
        write(out / "open_workbook_fuzz", f"csv-{i}", b"\x01" + text)

    # The scanner: lengths 7 to 15 ticked, then text.
    mask = sum(1 << (n - 5) for n in range(7, 16))
    for i, text in enumerate(SPACED_TEXT):
        write(out / "scanner_fuzz", f"spaced-{i}", struct.pack("<H", mask) + text.encode())
    write(out / "scanner_fuzz", "long", struct.pack("<H", mask) + " ".join(SPACED_TEXT).encode() * 50)

    # Number formats: value, flags, code.
    for i, (value, code) in enumerate([(2125550147, "000-000-0000"), (2125550147, "[<=9999999]###-####;(###) ###-####"),
                                       (45000.5, "yyyy-mm-dd hh:mm"), (0.25, "0.0%"),
                                       (1234567.891, "#,##0.00 [$EUR]"), (-1, '"x"@;"y"'),
                                       (12345, "0" * 300)]):
        write(out / "number_format_fuzz", f"code-{i}", struct.pack("<d", value) + b"\x00" + code.encode())

    # Folder walks: folder, file, hidden file, link up, back, file.
    write(out / "folder_walk_fuzz", "tree", bytes([0, 65, 2, 66, 3, 67, 6, 68, 1, 0, 2, 69]))

    # Whole runs: several workbooks of different formats, one of them twice.
    small = [p for p in files if p.stat().st_size <= 32 * 1024]
    by_kind = {}
    for p in small:
        by_kind.setdefault(p.suffix.lower(), []).append(p)
    picks = [kinds[0] for kinds in by_kind.values() if kinds]
    endings = [".xlsx", ".xls", ".xlsb", ".ods", ".csv", ".txt", ""]
    for flags in (0, 1, 2, 5, 6):
        parts = []
        for p in picks:
            ending = p.suffix.lower()
            pick = endings.index(ending) if ending in endings else 6
            parts.append(bytes([pick]) + p.read_bytes())
        parts.insert(1, b"\xff")
        write(out / "run_jobs_fuzz", f"mixed-{flags}", bytes([flags]) + RUN_SEPARATOR.join(parts))
    sheet = long_token_sheets()[0]
    write(out / "run_jobs_fuzz", "long-twice",
          b"\x05" + RUN_SEPARATOR.join([b"\x00" + xlsx_book(sheet), b"\xff",
                                        b"\x04" + csv_seeds()[4]]))

    for target in sorted(os.listdir(out)):
        print(f"{target}: {len(os.listdir(out / target))} seeds")


if __name__ == "__main__":
    main()
