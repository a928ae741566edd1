#!/usr/bin/env python3
"""Hostile and odd inputs for dialsift-cli, made at test time.

Each case writes a few small files (kilobytes to a few megabytes, however
much they claim to hold) into a temporary folder, runs the command-line
extractor on them in a child process limited to 1 GB of address space, and
checks that every run ends within its wall limit, without a signal, with the
numbers it must find or the error it must name.

    hostile.py --cli PATH CASE      run one case (exit 0 when it holds)
    hostile.py --list               the case names
    hostile.py --keep DIR CASE      write the case's files into DIR only

Only the standard library is used.
"""

import argparse
import os
import resource
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import time
import zipfile
import zlib

MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG = "http://schemas.openxmlformats.org/package/2006/relationships"
CT = "http://schemas.openxmlformats.org/package/2006/content-types"
XLSX_MAIN_TYPE = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"
XLSB_MAIN_TYPE = "application/vnd.ms-excel.sheet.binary.macroEnabled.main"

PHONE = "555-0100"           # found with -l 7
PHONE_DIGITS = "5550100"

# ----------------------------------------------------------------- zip parts


def write_zip(path, entries):
    """entries: (name, bytes or str or a generator of bytes chunks)."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as z:
        for name, data in entries:
            if isinstance(data, str):
                data = data.encode("utf-8")
            if isinstance(data, (bytes, bytearray)):
                z.writestr(name, data)
            else:
                with z.open(name, "w", force_zip64=True) as out:
                    for chunk in data:
                        out.write(chunk)


def content_types(main_type=XLSX_MAIN_TYPE, part="/xl/workbook.xml"):
    return ('<?xml version="1.0"?><Types xmlns="%s"><Override PartName="%s" ContentType="%s"/>'
            '</Types>' % (CT, part, main_type))


def root_rels(target="xl/workbook.xml"):
    return ('<?xml version="1.0"?><Relationships xmlns="%s"><Relationship Id="rId1" '
            'Type="%s/officeDocument" Target="%s"/></Relationships>' % (PKG, REL, target))


def xlsx(path, sheets, shared=None, styles=None, sheet_rels=None, extra=()):
    """sheets: list of (name, part name below xl/ or None). sheet_rels: the
    workbook relationships' extra XML."""
    wb = ['<?xml version="1.0"?><workbook xmlns="%s" xmlns:r="%s"><sheets>' % (MAIN, REL)]
    rels = ['<?xml version="1.0"?><Relationships xmlns="%s">' % PKG]
    for i, (name, target) in enumerate(sheets, start=1):
        wb.append('<sheet name="%s" sheetId="%d" r:id="rId%d"/>' % (name, i, i))
        rels.append('<Relationship Id="rId%d" Type="%s/worksheet" Target="%s"/>'
                    % (i, REL, target))
    wb.append("</sheets></workbook>")
    if shared is not None:
        rels.append('<Relationship Id="rIdS" Type="%s/sharedStrings" Target="strings.xml"/>' % REL)
    if styles is not None:
        rels.append('<Relationship Id="rIdY" Type="%s/styles" Target="styles.xml"/>' % REL)
    rels.append((sheet_rels or "") + "</Relationships>")
    entries = [("[Content_Types].xml", content_types()), ("_rels/.rels", root_rels()),
               ("xl/workbook.xml", "".join(wb)), ("xl/_rels/workbook.xml.rels", "".join(rels))]
    if shared is not None:
        entries.append(("xl/strings.xml", shared))
    if styles is not None:
        entries.append(("xl/styles.xml", styles))
    entries.extend(extra)
    write_zip(path, entries)


def sheet_xml(rows):
    return '<?xml version="1.0"?><worksheet xmlns="%s"><sheetData>%s</sheetData></worksheet>' % (
        MAIN, rows)


def phone_sheet():
    return sheet_xml('<row r="1"><c r="A1" t="inlineStr"><is><t>%s</t></is></c></row>' % PHONE)


def repeated(head, unit, count, tail, chunk_units=4096):
    """A generator of head + unit * count + tail, in chunks."""
    yield head
    block = unit * chunk_units
    full, rest = divmod(count, chunk_units)
    for _ in range(full):
        yield block
    yield unit * rest
    yield tail


# -------------------------------------------------------------- ods parts


def ods(path, content):
    manifest = ('<?xml version="1.0"?><manifest:manifest xmlns:manifest="urn:oasis:names:tc:'
                'opendocument:xmlns:manifest:1.0"><manifest:file-entry manifest:full-path="/" '
                'manifest:media-type="application/vnd.oasis.opendocument.spreadsheet"/>'
                '</manifest:manifest>')
    with zipfile.ZipFile(path, "w") as z:
        z.writestr(zipfile.ZipInfo("mimetype"), "application/vnd.oasis.opendocument.spreadsheet")
    with zipfile.ZipFile(path, "a", zipfile.ZIP_DEFLATED, compresslevel=1) as z:
        z.writestr("META-INF/manifest.xml", manifest)
        if isinstance(content, (str, bytes)):
            z.writestr("content.xml", content)
        else:
            with z.open("content.xml", "w", force_zip64=True) as out:
                for chunk in content:
                    out.write(chunk)


ODS_HEAD = ('<?xml version="1.0"?><office:document-content '
            'xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
            'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
            'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2">'
            '<office:body><office:spreadsheet>')
ODS_TAIL = "</office:spreadsheet></office:body></office:document-content>"


def ods_table(name, rows):
    return '<table:table table:name="%s">%s</table:table>' % (name, rows)


def ods_cell(text, repeat=1):
    rep = ' table:number-columns-repeated="%d"' % repeat if repeat > 1 else ""
    return ('<table:table-cell office:value-type="string"%s><text:p>%s</text:p>'
            '</table:table-cell>' % (rep, text))

# ------------------------------------------------------------ BIFF records


def rec(kind, data=b""):
    return struct.pack("<HH", kind, len(data)) + data


def bof(version, dt):
    if version == 8:
        return rec(0x0809, struct.pack("<HHHHII", 0x0600, dt, 0x0DBB, 0x07CC, 0, 0x06))
    return rec(0x0809, struct.pack("<HHHH", 0x0500, dt, 0x0DBB, 0x07CC))


def eof():
    return rec(0x000A)


def biff_workbook(version, sheets_cells, sst_records=b""):
    """sheets_cells: one list of records per sheet. BIFF8 or BIFF5."""
    glob = bof(version, 0x0005) + rec(0x0042, struct.pack("<H", 1252))
    boundsheets = []
    for i in range(len(sheets_cells)):
        name = ("Sheet%d" % (i + 1)).encode("latin-1")
        if version == 8:
            boundsheets.append((struct.pack("<BB", len(name), 0) + name))
        else:
            boundsheets.append((struct.pack("<B", len(name)) + name))
    # BOUNDSHEET records hold the offset of each sheet's BOF: computed below.
    fixed = len(glob) + len(sst_records) + sum(4 + 6 + len(b) for b in boundsheets) + 4
    offsets, pos = [], fixed
    bodies = []
    for cells in sheets_cells:
        body = bof(version, 0x0010) + b"".join(cells) + eof()
        offsets.append(pos)
        bodies.append(body)
        pos += len(body)
    out = glob
    for off, b in zip(offsets, boundsheets):
        out += rec(0x0085, struct.pack("<IH", off, 0) + b)
    out += sst_records + eof()
    assert len(out) == fixed
    return out + b"".join(bodies)


def label_sst(row, col, index):
    return rec(0x00FD, struct.pack("<HHHI", row, col, 15, index))


def biff5_label(row, col, text):
    t = text.encode("latin-1")
    return rec(0x0204, struct.pack("<HHHH", row, col, 15, len(t)) + t)


def biff8_label(row, col, text):
    t = text.encode("latin-1")
    return rec(0x0204, struct.pack("<HHHHB", row, col, 15, len(t), 0) + t)

# ------------------------------------------------------------ OLE2 container


def ole2(stream, name="Workbook", claimed_size=None, broken_fat_entry=None):
    """A compound file (version 4, 4096-byte sectors) holding one stream,
    padded to 4096 bytes so that it lives in regular sectors, not the mini
    stream. claimed_size lies about the stream's size; broken_fat_entry
    (index, value) spoils one FAT entry."""
    if len(stream) < 4096:
        stream = stream + b"\0" * (4096 - len(stream))
    sec = 4096
    per_fat = sec // 4
    data_sectors = (len(stream) + sec - 1) // sec
    fat_sectors = 1
    while data_sectors + 1 + fat_sectors > fat_sectors * per_fat:
        fat_sectors += 1
    assert fat_sectors <= 109
    dir_sector = data_sectors
    first_fat = data_sectors + 1
    fat = [i + 1 for i in range(data_sectors)]
    fat[-1] = 0xFFFFFFFE
    fat.append(0xFFFFFFFE)  # directory
    fat += [0xFFFFFFFD] * fat_sectors
    fat += [0xFFFFFFFF] * (fat_sectors * per_fat - len(fat))
    if broken_fat_entry:
        fat[broken_fat_entry[0]] = broken_fat_entry[1]
    header = bytearray(512)
    header[0:8] = b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"
    struct.pack_into("<HHHHH", header, 24, 0x3E, 4, 0xFFFE, 12, 6)
    struct.pack_into("<IIIIIIII", header, 40, 0, fat_sectors, dir_sector, 0, 4096, 0xFFFFFFFE,
                     0, 0xFFFFFFFE)
    struct.pack_into("<I", header, 72, 0)
    for i in range(109):
        struct.pack_into("<I", header, 76 + 4 * i, first_fat + i if i < fat_sectors else 0xFFFFFFFF)

    def entry(ename, kind, child, start, size):
        e = bytearray(128)
        u = ename.encode("utf-16-le")
        e[0:len(u)] = u
        struct.pack_into("<HBB", e, 64, len(u) + 2, kind, 1)
        struct.pack_into("<III", e, 68, 0xFFFFFFFF, 0xFFFFFFFF, child)
        struct.pack_into("<IQ", e, 116, start, size)
        return bytes(e)

    size = len(stream) if claimed_size is None else claimed_size
    directory = (entry("Root Entry", 5, 1, 0xFFFFFFFE, 0) + entry(name, 2, 0xFFFFFFFF, 0, size))
    directory += b"\0" * (sec - len(directory))
    body = stream + b"\0" * (data_sectors * sec - len(stream))
    return (bytes(header) + b"\0" * (sec - 512) + body + directory +
            struct.pack("<%dI" % len(fat), *fat))

# ------------------------------------------------------------ BIFF12 records


def varint(n):
    out = bytearray()
    while True:
        b = n & 0x7F
        n >>= 7
        out.append(b | (0x80 if n else 0))
        if not n:
            return bytes(out)


def brt(kind, data=b""):
    if kind < 0x80:
        t = bytes([kind])
    else:
        t = bytes([(kind & 0x7F) | 0x80, kind >> 7])
    return t + varint(len(data)) + data


def wide(text):
    u = text.encode("utf-16-le")
    return struct.pack("<I", len(u) // 2) + u


def xlsb(path, sheet_entries, sheet_parts):
    """sheet_entries: (name, rel id) in workbook.bin; sheet_parts: rel id ->
    (target, bytes or None for a target named but not present)."""
    book = brt(0x83) + brt(0x8F)
    for name, rid in sheet_entries:
        book += brt(0x9C, struct.pack("<II", 0, 1) + wide(rid) + wide(name))
    book += brt(0x90) + brt(0x84)
    rels = ['<?xml version="1.0"?><Relationships xmlns="%s">' % PKG]
    entries = []
    for rid, (target, data) in sheet_parts.items():
        rels.append('<Relationship Id="%s" Type="%s/worksheet" Target="%s"/>' % (rid, REL, target))
        if data is not None:
            entries.append(("xl/" + target, data))
    rels.append("</Relationships>")
    write_zip(path, [("[Content_Types].xml", content_types(XLSB_MAIN_TYPE, "/xl/workbook.bin")),
                     ("_rels/.rels", root_rels("xl/workbook.bin")), ("xl/workbook.bin", book),
                     ("xl/_rels/workbook.bin.rels", "".join(rels))] + entries)


def xlsb_sheet(rows):
    """rows: (row index, [(column, text)])."""
    out = brt(0x81) + brt(0x91)
    for r, cells in rows:
        out += brt(0x00, struct.pack("<IIHBBI", r, 0, 300, 0, 0, 0))
        for c, text in cells:
            out += brt(0x06, struct.pack("<II", c, 0) + wide(text))
    return out + brt(0x92) + brt(0x82)

# ------------------------------------------------------------------- cases


class Run:
    """One run of the extractor over `paths` and what it must show."""

    def __init__(self, paths, out=(), err=(), no_err=(), exit_codes=(0, 1), seconds=20,
                 as_user=None):
        self.paths, self.out, self.err, self.no_err = paths, out, err, no_err
        self.exit_codes, self.seconds, self.as_user = exit_codes, seconds, as_user


def case_format_code_of_many_at(d):
    # Codes of 1,000,000 and 255 '@' shown on cells of the longest text.
    long_text = PHONE + " " + "x" * 32758
    styles = ('<?xml version="1.0"?><styleSheet xmlns="%s"><numFmts>'
              '<numFmt numFmtId="164" formatCode="%s"/><numFmt numFmtId="165" formatCode="%s"/>'
              '</numFmts><cellXfs><xf numFmtId="0"/><xf numFmtId="164"/><xf numFmtId="165"/>'
              '</cellXfs></styleSheet>' % (MAIN, "@" * 1000000, "@" * 255))
    rows = "".join('<row r="%d"><c r="A%d" s="%d" t="s"><v>0</v></c></row>'
                   % (r, r, 1 + r % 2) for r in range(1, 201))
    shared = '<sst xmlns="%s"><si><t>%s</t></si></sst>' % (MAIN, long_text)
    path = os.path.join(d, "many_at.xlsx")
    xlsx(path, [("S", "worksheets/s.xml")], shared=shared, styles=styles,
         extra=[("xl/worksheets/s.xml", sheet_xml(rows))])
    return [Run([path], out=[PHONE], exit_codes=(0,), seconds=10)]


def case_text_with_nuls(d):
    path = os.path.join(d, "nul.csv")
    with open(path, "wb") as f:
        f.write(b"name,phone\r\nAnn,555-0100\0\0\r\n" + b"\0" * 10000)
    return [Run([path], out=[PHONE], exit_codes=(0,))]


def case_file_system(d):
    tree = os.path.join(d, "tree")
    os.makedirs(os.path.join(tree, "locked"))
    os.makedirs(os.path.join(tree, "open"))
    csv = b"phone\r\n555-0100\r\n"
    for rel in ("open/a.xlsx", "locked/b.xlsx"):
        with open(os.path.join(tree, rel), "wb") as f:
            f.write(csv)
    os.mkfifo(os.path.join(tree, "x.xlsx"))
    os.mkfifo(os.path.join(d, "fifo.xlsx"))
    denied = os.path.join(d, "denied.xlsx")
    with open(denied, "wb") as f:
        f.write(csv)
    os.chmod(denied, 0)
    os.chmod(os.path.join(tree, "locked"), 0)
    for p in (d, tree, os.path.join(tree, "open"), os.path.join(tree, "open", "a.xlsx")):
        os.chmod(p, os.stat(p).st_mode | stat.S_IROTH | stat.S_IXOTH)
    user = 65534 if os.geteuid() == 0 else None
    return [
        # The FIFO in the folder is passed over, the locked folder named.
        Run([tree], out=[PHONE], err=["locked: cannot read the folder (Permission denied)"],
            no_err=["x.xlsx"], exit_codes=(1,), as_user=user),
        # Named on the command line, each gets its own reason.
        Run([os.path.join(d, "fifo.xlsx"), denied, os.path.join(tree, "open", "a.xlsx")],
            out=[PHONE], err=["fifo.xlsx: not a workbook (a pipe", "denied.xlsx: cannot read",
                              "Permission denied"],
            no_err=["denied.xlsx: file not found"], exit_codes=(1,), as_user=user),
    ]


def case_path_too_long(d):
    fd = os.open(d, os.O_RDONLY)
    level = "d" * 200
    for _ in range(22):
        os.mkdir(level, dir_fd=fd)
        nxt = os.open(level, os.O_RDONLY, dir_fd=fd)
        os.close(fd)
        fd = nxt
    os.close(os.open("lost.xlsx", os.O_CREAT | os.O_WRONLY, 0o600, dir_fd=fd))
    os.close(fd)
    return [Run([d], err=["File name too long"], exit_codes=(1,))]


def case_many_sheets_on_one_part(d):
    # 100,000 sheets, each through its own relationship, all on one part.
    n = 100000
    path = os.path.join(d, "sheets.xlsx")
    xlsx(path, [("S%d" % i, "worksheets/s.xml") for i in range(n)],
         extra=[("xl/worksheets/s.xml", phone_sheet())])
    # The same in a binary workbook, and a BIFF8 substream listed 20,000 times.
    bin_path = os.path.join(d, "sheets.xlsb")
    part = xlsb_sheet([(0, [(0, PHONE)])])
    xlsb(bin_path, [("S%d" % i, "rId1") for i in range(n)], {"rId1": ("worksheets/s.bin", part)})
    xls_path = os.path.join(d, "sheets.xls")
    cells = [biff8_label(r, 0, PHONE if r == 0 else "x") for r in range(2000)]
    stream = biff_workbook(8, [cells])
    # Every further BOUNDSHEET points at the one substream.
    first = stream.index(struct.pack("<H", 0x0085))
    one = stream[first:first + 4 + struct.unpack_from("<H", stream, first + 2)[0]]
    extra = one * 19999
    offset = struct.unpack_from("<I", one, 4)[0] + len(extra)
    fixed = bytearray(one)
    struct.pack_into("<I", fixed, 4, offset)
    head = stream[:first]
    rest = stream[first + len(one):]
    with open(xls_path, "wb") as f:
        f.write(ole2(head + bytes(fixed) * 20000 + rest))
    return [Run([path], out=[PHONE], err=["too large"], seconds=20),
            Run([bin_path], out=[PHONE], err=["too large"], seconds=20),
            Run([xls_path], out=[PHONE], err=["too large"], seconds=20)]


def case_namespace_floods(d):
    # 400,000 namespace bindings on one element, then as many prefixed
    # attributes; and 200,000 nested elements each binding a prefix.
    n = 400000
    binds = "".join(' xmlns:p%d="u%d"' % (i, i) for i in range(n))
    attrs = "".join(' p%d:a="1"' % i for i in range(n))
    wide = ('<?xml version="1.0"?><worksheet xmlns="%s"%s><sheetData><row r="1"><c r="A1" '
            't="inlineStr"%s><is><t>%s</t></is></c></row></sheetData></worksheet>'
            % (MAIN, binds, attrs, PHONE))
    deep_n = 200000
    deep = ('<?xml version="1.0"?><worksheet xmlns="%s"><sheetData><row r="1"><c r="A1" '
            't="inlineStr"><is><t>%s</t></is></c></row></sheetData>%s%s</worksheet>'
            % (MAIN, PHONE, "".join('<q%d:x xmlns:q%d="v">' % (i, i) for i in range(deep_n)),
               "".join("</q%d:x>" % i for i in reversed(range(deep_n)))))
    runs = []
    for name, body in (("wide", wide), ("deep", deep)):
        path = os.path.join(d, name + ".xlsx")
        xlsx(path, [("S", "worksheets/s.xml")], extra=[("xl/worksheets/s.xml", body)])
        runs.append(Run([path], err=["too large"], seconds=20))
    return runs


def case_ods_repeats(d):
    # 20 million repeated phone cells in a few hundred bytes, and 200 such
    # sheets; then a first sheet over the budget followed by 200,000 empty ones.
    # (The repeated cell holds no number, so that what is measured is the
    # reading, not the numbers found.)
    row = ('<table:table-row>%s</table:table-row>'
           '<table:table-row table:number-rows-repeated="20000">%s</table:table-row>'
           % (ods_cell(PHONE), ods_cell("x", 1000)))
    one = os.path.join(d, "repeat.ods")
    ods(one, ODS_HEAD + ods_table("S", row) + ODS_TAIL)
    many = os.path.join(d, "repeat200.ods")
    ods(many, ODS_HEAD + "".join(ods_table("S%d" % i, row) for i in range(200)) + ODS_TAIL)
    # 5 million cells: more than is kept in memory at opening, less than
    # the budget; the empty sheets after it must not cost a parse each.
    big = ('<table:table-row>%s</table:table-row>'
           '<table:table-row table:number-rows-repeated="5000">%s</table:table-row>'
           % (ods_cell(PHONE), ods_cell("x", 1000)))
    empty = os.path.join(d, "empty_sheets.ods")
    ods(empty, (x.encode() for x in repeated(ODS_HEAD + ods_table("S", big),
                                              '<table:table table:name="E"/>', 9000, ODS_TAIL)))
    # And 200,000 of them: more sheets than a workbook may list.
    flood = os.path.join(d, "many_sheets.ods")
    ods(flood, (x.encode() for x in repeated(ODS_HEAD + ods_table("S", big),
                                              '<table:table table:name="E"/>', 200000, ODS_TAIL)))
    return [Run([one], out=[PHONE], err=["too large"], seconds=20),
            Run([many], out=[PHONE], err=["too large"], seconds=20),
            Run([empty], out=[PHONE], exit_codes=(0,), seconds=20),
            Run([flood], out=[PHONE], err=["more than 10000 worksheets"], seconds=20)]


def case_counts(d):
    runs = []
    # 20 million empty shared strings.
    path = os.path.join(d, "strings.xlsx")
    xlsx(path, [("S", "worksheets/s.xml")],
         shared=(x.encode() for x in repeated('<sst xmlns="%s">' % MAIN, "<si/>", 20000000,
                                               "</sst>")),
         extra=[("xl/worksheets/s.xml", phone_sheet())])
    runs.append(Run([path], err=["too large"], seconds=20))
    # 2 million cell styles.
    path = os.path.join(d, "styles.xlsx")
    xlsx(path, [("S", "worksheets/s.xml")],
         styles=(x.encode() for x in repeated('<styleSheet xmlns="%s"><cellXfs>' % MAIN,
                                               '<xf numFmtId="0"/>', 2000000,
                                               "</cellXfs></styleSheet>")),
         extra=[("xl/worksheets/s.xml", phone_sheet())])
    runs.append(Run([path], err=["too large"], seconds=20))
    # Ten million nested elements.
    path = os.path.join(d, "depth.xlsx")
    xlsx(path, [("S", "worksheets/s.xml")],
         extra=[("xl/worksheets/s.xml",
                 (x.encode() for x in [sheet_xml("")[:-len("</worksheet>")]] +
                  list(repeated("", "<x>", 10000000, "")) + list(repeated("", "</x>", 10000000,
                                                                          "</worksheet>"))))])
    runs.append(Run([path], err=["too large"], seconds=20))
    # An SST of 20 million empty strings spread over CONTINUE records.
    strings = 20000000
    body = struct.pack("<II", strings, strings)
    sst = rec(0x00FC, body + b"\0\0\0" * 2000)
    piece = rec(0x003C, b"\0\0\0" * 2740)
    count = (strings - 2000) // 2740 + 1
    xls = os.path.join(d, "sst.xls")
    with open(xls, "wb") as f:
        f.write(biff_workbook(8, [[label_sst(0, 0, 0)]], sst + piece * count))
    runs.append(Run([xls], err=["too large"], seconds=20))
    return runs


def case_wrong_results(d):
    runs = []
    # The officeDocument relationship points back at the package's own
    # relationships: an error, not a workbook of no sheets.
    path = os.path.join(d, "loop.xlsx")
    write_zip(path, [("[Content_Types].xml", content_types()), ("_rels/.rels", root_rels("_rels/.rels"))])
    runs.append(Run([path], err=["loop.xlsx: "], exit_codes=(1,)))
    # A sharedStrings relationship to a missing part is tolerated like a
    # missing styles part.
    path = os.path.join(d, "dangling.xlsx")
    xlsx(path, [("S", "worksheets/s.xml")], shared="", extra=[("xl/worksheets/s.xml", phone_sheet())])
    with zipfile.ZipFile(path) as z:
        kept = [(i.filename, z.read(i)) for i in z.infolist() if i.filename != "xl/strings.xml"]
    write_zip(path, kept)
    runs.append(Run([path], out=[PHONE], exit_codes=(0,)))
    # BIFF8 and BIFF5 workbook streams stored bare, outside a compound file.
    for version, label in ((8, biff8_label), (5, biff5_label)):
        path = os.path.join(d, "bare%d.xls" % version)
        with open(path, "wb") as f:
            f.write(biff_workbook(version, [[label(0, 0, PHONE)]]))
        runs.append(Run([path], out=[PHONE], exit_codes=(0,)))
    # An SST whose CONTINUE record is empty.
    # A string split over it, and one right after it.
    sst = rec(0x00FC, struct.pack("<II", 3, 3) + struct.pack("<HB", 3, 0) + b"abc" +
              struct.pack("<HB", 8, 0) + PHONE[:4].encode())
    sst += rec(0x003C, b"") + rec(0x003C, b"\0" + PHONE[4:].encode())
    sst += rec(0x003C, b"") + rec(0x003C, struct.pack("<HB", 8, 0) + b"555-0199")
    path = os.path.join(d, "empty_continue.xls")
    with open(path, "wb") as f:
        f.write(ole2(biff_workbook(8, [[label_sst(r, 0, r) for r in range(3)]], sst)))
    runs.append(Run([path], out=[PHONE, "555-0199"], exit_codes=(0,)))
    # A row of 2^32-1 in a binary workbook: named as it is.
    path = os.path.join(d, "row.xlsb")
    xlsb(path, [("S", "rId1")],
         {"rId1": ("worksheets/s.bin", xlsb_sheet([(0, [(0, PHONE)]), (0xFFFFFFFF, [(0, "x")])]))})
    runs.append(Run([path], out=[PHONE], err=["row 4294967296 is beyond the last row, 1048576)"],
                    no_err=["row 0 ", " in row "], exit_codes=(1,)))
    # A compound file whose one stream claims a gigabyte.
    path = os.path.join(d, "claims.xls")
    with open(path, "wb") as f:
        f.write(ole2(biff_workbook(8, [[biff8_label(0, 0, PHONE)]]), claimed_size=1 << 30))
    runs.append(Run([path], err=["claims.xls: "], no_err=["without a workbook stream"],
                    exit_codes=(1,)))
    # A compound file whose header overstates its FAT sectors, and one whose
    # directory chain runs off the end of the file after the workbook's
    # entry: damaged outside their workbook streams, which are intact.
    stream = biff_workbook(8, [[biff8_label(0, 0, PHONE)]])
    path = os.path.join(d, "fat_count.xls")
    data = bytearray(ole2(stream))
    struct.pack_into("<I", data, 44, 8388610)
    with open(path, "wb") as f:
        f.write(data)
    runs.append(Run([path], out=[PHONE], exit_codes=(0,)))
    path = os.path.join(d, "directory_end.xls")
    with open(path, "wb") as f:
        f.write(ole2(stream, broken_fat_entry=(1, 0x7FFFFFF)))
    runs.append(Run([path], out=[PHONE], exit_codes=(0,)))
    # An attribute of 100 MB.
    path = os.path.join(d, "attribute.xlsx")
    xlsx(path, [("S", "worksheets/s.xml")],
         extra=[("xl/worksheets/s.xml",
                 (x.encode() for x in repeated('<worksheet xmlns="%s" a="' % MAIN, "x" * 1024,
                                               100 * 1024, '"><sheetData/></worksheet>')))])
    runs.append(Run([path], err=["longer than 64 MB"], exit_codes=(1,)))
    return runs


CASES = {
    "format_code_of_many_at": case_format_code_of_many_at,
    "text_with_nuls": case_text_with_nuls,
    "file_system": case_file_system,
    "path_too_long": case_path_too_long,
    "many_sheets_on_one_part": case_many_sheets_on_one_part,
    "namespace_floods": case_namespace_floods,
    "ods_repeats": case_ods_repeats,
    "counts": case_counts,
    "wrong_results": case_wrong_results,
}

# ------------------------------------------------------------------ runner

ADDRESS_SPACE = 1 << 30


def limit_child(as_user, limit_memory):
    def apply():
        if limit_memory:
            resource.setrlimit(resource.RLIMIT_AS, (ADDRESS_SPACE, ADDRESS_SPACE))
        if as_user is not None:
            os.setgid(as_user)
            os.setuid(as_user)
    return apply


def run_case(cli, name, sanitized):
    failures = []
    with tempfile.TemporaryDirectory(prefix="dialsift-hostile-") as d:
        os.chmod(d, 0o755)
        runs = CASES[name](d)
        for i, run in enumerate(runs):
            seconds = run.seconds * (10 if sanitized else 1)
            cmd = [cli, "-q", "-j", "1", "-l", "7-15"] + run.paths
            env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(d, ".config"))
            start = time.monotonic()
            try:
                p = subprocess.run(cmd, capture_output=True, timeout=seconds, env=env,
                                   preexec_fn=limit_child(run.as_user, not sanitized))
            except subprocess.TimeoutExpired:
                failures.append("run %d: still going after %d s" % (i, seconds))
                continue
            took = time.monotonic() - start
            out = p.stdout.decode("utf-8", "replace")
            err = p.stderr.decode("utf-8", "replace")
            print("run %d: exit %d in %.2f s; %d bytes out; stderr: %s"
                  % (i, p.returncode, took, len(out), err.strip()[:2000]))
            if p.returncode < 0:
                failures.append("run %d: killed by signal %d" % (i, -p.returncode))
            elif p.returncode not in run.exit_codes:
                failures.append("run %d: exit %d, expected %s" % (i, p.returncode, run.exit_codes))
            for s in run.out:
                if s not in out:
                    failures.append("run %d: %r not in the output" % (i, s))
            for s in run.err:
                if s not in err:
                    failures.append("run %d: %r not in the errors" % (i, s))
            for s in run.no_err:
                if s in err:
                    failures.append("run %d: %r in the errors" % (i, s))
        # Folders the test made unreadable must go again.
        for root, dirs, files in os.walk(d):
            for n in dirs + files:
                try:
                    os.chmod(os.path.join(root, n), 0o700, follow_symlinks=False)
                except OSError:
                    pass
        level = os.path.join(d, "d" * 200)
        if os.path.isdir(level):
            subprocess.run(["rm", "-rf", "d" * 200], cwd=d, check=False)
    for f in failures:
        print("FAILED " + f)
    return not failures


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli")
    ap.add_argument("--list", action="store_true")
    ap.add_argument("--keep")
    ap.add_argument("--sanitized", action="store_true",
                    help="no address-space limit (the sanitizers reserve terabytes), longer walls")
    ap.add_argument("case", nargs="?")
    a = ap.parse_args()
    if a.list:
        print("\n".join(CASES))
        return 0
    if a.case not in CASES:
        ap.error("unknown case %r" % a.case)
    if a.keep:
        os.makedirs(a.keep, exist_ok=True)
        CASES[a.case](a.keep)
        return 0
    return 0 if run_case(a.cli, a.case, a.sanitized) else 1


if __name__ == "__main__":
    sys.exit(main())
