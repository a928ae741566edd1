#!/usr/bin/python3
"""Writes the .xlsx test fixtures of the SpreadsheetML reader.

Run from anywhere: /usr/bin/python3 tests/data/xlsx/make_fixtures.py
Needs python3-openpyxl and LibreOffice (soffice) from Debian. The generated
files are committed, so builds and tests never need this script.

  openpyxl_*.xlsx   written by openpyxl
  libreoffice_*.xlsx  flat ODS documents converted by LibreOffice
  crafted_*.xlsx    packages put together here part by part: Strict
                    namespaces, prefixed elements, escapes, phonetic runs,
                    and the damaged and hostile files
"""

import datetime
import os
import shutil
import subprocess
import tempfile
import zipfile

import openpyxl
from openpyxl.styles import Font
from openpyxl.utils.datetime import CALENDAR_MAC_1904

HERE = os.path.dirname(os.path.abspath(__file__))
FIXED_TIME = (2024, 1, 1, 0, 0, 0)


def out(name):
    return os.path.join(HERE, name)


def fix_zip_times(path):
    """Rewrites a zip with fixed timestamps so that regenerating is stable."""
    with zipfile.ZipFile(path) as z:
        entries = [(i.filename, z.read(i.filename)) for i in z.infolist()]
    write_zip(path, entries)


def write_zip(path, entries, compression=zipfile.ZIP_DEFLATED):
    with zipfile.ZipFile(path, "w", compression) as z:
        for name, data in entries:
            info = zipfile.ZipInfo(name, FIXED_TIME)
            info.compress_type = compression
            z.writestr(info, data)


# ---------------------------------------------------------------- openpyxl


def save(wb, name):
    wb.properties.created = datetime.datetime(2024, 1, 1)
    wb.properties.modified = datetime.datetime(2024, 1, 1)
    wb.save(out(name))
    fix_zip_times(out(name))


def openpyxl_fixtures():
    wb = openpyxl.Workbook()
    ws = wb.active
    ws["A1"] = "855-2880 (TTY)"
    ws["B1"] = " 355-650-5551 (Voice) "
    save(wb, "openpyxl_tty_voice.xlsx")

    wb = openpyxl.Workbook()
    wb.active["C3"] = "855-2880"
    save(wb, "openpyxl_only_c3.xlsx")

    wb = openpyxl.Workbook()
    wb.active.title = "First"
    wb.active["A1"] = "855-2880"
    wb.create_sheet("Second")["A1"] = "355-650-5551"
    save(wb, "openpyxl_two_sheets.xlsx")

    # Every kind of value, and sheets of every visibility around a chart sheet.
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Values"
    ws["A1"] = 447911123456
    ws["A2"] = 1234.5
    ws["A2"].number_format = "#,##0.00"
    ws["A3"] = 0.25
    ws["A3"].number_format = "0%"
    ws["A4"] = True
    ws["A5"] = False
    ws["A6"] = "#N/A"  # openpyxl stores error codes as error cells
    ws["A7"] = "=1+1"  # a formula without a cached result
    ws["A8"] = "00123"
    ws["A8"].number_format = "@"
    ws["A9"] = 3.5
    ws["B2"].font = Font(bold=True)  # a styled blank cell
    wb.create_chartsheet("Chart")
    hidden = wb.create_sheet("Hidden")
    hidden["A1"] = "hidden text"
    hidden.sheet_state = "hidden"
    very = wb.create_sheet("VeryHidden")
    very["A1"] = "very hidden text"
    very.sheet_state = "veryHidden"
    save(wb, "openpyxl_values.xlsx")

    # Dates written as ISO 8601 text (t="d"), in both date systems; General
    # shows their serial numbers.
    for name, epoch in (("openpyxl_iso_dates_1900.xlsx", None),
                        ("openpyxl_iso_dates_1904.xlsx", CALENDAR_MAC_1904)):
        wb = openpyxl.Workbook(iso_dates=True)
        if epoch:
            wb.epoch = epoch
        ws = wb.active
        ws["A1"] = datetime.datetime(2024, 1, 1)
        ws["A1"].number_format = "General"
        ws["A2"] = datetime.datetime(1900, 3, 1)
        ws["A2"].number_format = "General"
        save(wb, name)

    # A sheet whose only cells are A1 and XFD1048576.
    wb = openpyxl.Workbook()
    ws = wb.active
    ws["A1"] = "555-0100"
    ws["XFD1048576"] = "555-0199"
    save(wb, "openpyxl_far_corners.xlsx")


def conditional_format_fixtures():
    """Number formats of conditional formats (dxf) share their ids with the
    cell formats: openpyxl's own conditional-format example numbers both 164."""
    from openpyxl.formatting.rule import Rule
    from openpyxl.styles.differential import DifferentialStyle
    from openpyxl.styles.numbers import NumberFormat

    wb = openpyxl.Workbook()
    ws = wb.active
    ws["A1"] = 2125550147
    ws["A1"].number_format = "000-000-0000"
    ws["A2"] = 2125550148
    ws["A2"].number_format = "000-000-0000"
    dxf = DifferentialStyle(numFmt=NumberFormat(numFmtId=164, formatCode="0.00"))
    ws.conditional_formatting.add("A1:A2", Rule(type="expression", dxf=dxf, formula=["TRUE"]))
    save(wb, "openpyxl_conditional_format.xlsx")

    # The same in the dxfs of the extension list, as newer writers put them.
    styles = ('<?xml version="1.0"?><styleSheet xmlns="%s" '
              'xmlns:x14="http://schemas.microsoft.com/office/spreadsheetml/2009/9/main">'
              '<numFmts count="1"><numFmt numFmtId="164" formatCode="000-000-0000"/></numFmts>'
              '<cellXfs count="2"><xf numFmtId="0"/><xf numFmtId="164"/></cellXfs>'
              '<extLst><ext uri="{46F421CA-312F-682f-3DD2-61675219B42D}"><x14:dxfs count="1">'
              '<dxf><numFmt numFmtId="164" formatCode="0.00"/></dxf>'
              '</x14:dxfs></ext></extLst></styleSheet>' % MAIN)
    write_zip(out("crafted_x14_dxfs.xlsx"),
              package([("S", sheet('<row r="1"><c r="A1" s="1"><v>2125550147</v></c></row>'))],
                      styles=styles))


# ------------------------------------------------------------- LibreOffice

FODS_HEAD = """<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:automatic-styles>
 <number:number-style style:name="N4"><number:number number:decimal-places="2"
   number:min-decimal-places="2" number:min-integer-digits="1" number:grouping="true"/>
 </number:number-style>
 <style:style style:name="grouped" style:family="table-cell" style:data-style-name="N4"/>
</office:automatic-styles>
<office:body><office:spreadsheet>
"""
FODS_TAIL = "</office:spreadsheet></office:body></office:document>\n"


def fods_text(s):
    s = s.replace("&", "&amp;").replace("<", "&lt;")
    # Runs of spaces need text:s in ODF.
    return "<text:p>" + s.replace(" ", "<text:s/>") + "</text:p>"


def fods_sheet(name, rows):
    """rows: list of lists of cells; a cell is None, a str or (value, style)."""
    x = '<table:table table:name="%s">' % name
    for row in rows:
        x += "<table:table-row>"
        for cell in row:
            if cell is None:
                x += "<table:table-cell/>"
            elif isinstance(cell, str):
                x += ('<table:table-cell office:value-type="string">%s</table:table-cell>'
                      % fods_text(cell))
            elif isinstance(cell, bool):
                x += ('<table:table-cell office:value-type="boolean" office:boolean-value="%s">'
                      "</table:table-cell>" % ("true" if cell else "false"))
            else:
                value, style = cell
                attr = ' table:style-name="%s"' % style if style else ""
                x += ('<table:table-cell%s office:value-type="float" office:value="%s"/>'
                      % (attr, value))
        x += "</table:table-row>"
    return x + "</table:table>"


def libreoffice_fixtures():
    docs = {
        "libreoffice_tty_voice": [fods_sheet("Sheet1", [["855-2880 (TTY)",
                                                         " 355-650-5551 (Voice) "]])],
        "libreoffice_only_c3": [fods_sheet("Sheet1", [[], [], [None, None, "855-2880"]])],
        "libreoffice_two_sheets": [fods_sheet("First", [["855-2880"]]),
                                   fods_sheet("Second", [["355-650-5551"]])],
        "libreoffice_values": [fods_sheet("Values", [
            [("447911123456", None)],
            [("1234.5", "grouped")],
            [("3.5", None)],
            ["line one\nline two"],
        ])],
    }
    tmp = tempfile.mkdtemp()
    try:
        for name, sheets in docs.items():
            src = os.path.join(tmp, name + ".fods")
            with open(src, "w", encoding="utf-8") as f:
                f.write(FODS_HEAD + "".join(sheets) + FODS_TAIL)
            subprocess.run(["soffice", "--headless", "-env:UserInstallation=file://" + tmp + "/profile",
                            "--convert-to", "xlsx", "--outdir", tmp, src],
                           check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            shutil.copy(os.path.join(tmp, name + ".xlsx"), out(name + ".xlsx"))
            fix_zip_times(out(name + ".xlsx"))
    finally:
        shutil.rmtree(tmp)


# ----------------------------------------------------------------- crafted

MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG = "http://schemas.openxmlformats.org/package/2006/relationships"
STRICT_MAIN = "http://purl.oclc.org/ooxml/spreadsheetml/main"
STRICT_REL = "http://purl.oclc.org/ooxml/officeDocument/relationships"

CONTENT_TYPES = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">
<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>
<Default Extension="xml" ContentType="application/xml"/>
<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>
</Types>"""


def package(sheets, shared=None, styles=None, workbook_extra="", rel_ns=REL, main_ns=MAIN,
            workbook_name="xl/workbook.xml", extra_rels="", extra_parts=()):
    """A minimal package. sheets: list of (name, sheet xml body or None for a
    missing part). Returns the list of zip entries."""
    rel_base = rel_ns + "/"
    folder = os.path.dirname(workbook_name)
    entries = [("[Content_Types].xml", CONTENT_TYPES),
               ("_rels/.rels",
                '<?xml version="1.0"?><Relationships xmlns="%s"><Relationship Id="rId1" '
                'Type="%sofficeDocument" Target="%s"/></Relationships>'
                % (PKG, rel_base, workbook_name))]
    wb = '<?xml version="1.0"?><workbook xmlns="%s" xmlns:r="%s">%s<sheets>' % (
        main_ns, rel_ns, workbook_extra)
    rels = '<?xml version="1.0"?><Relationships xmlns="%s">' % PKG
    for i, (name, body) in enumerate(sheets, start=1):
        wb += '<sheet name="%s" sheetId="%d" r:id="rId%d"/>' % (name, i, i)
        rels += ('<Relationship Id="rId%d" Type="%sworksheet" Target="worksheets/s%d.xml"/>'
                 % (i, rel_base, i))
        if body is not None:
            entries.append(("%s/worksheets/s%d.xml" % (folder, i), body))
    wb += "</sheets></workbook>"
    if shared is not None:
        rels += ('<Relationship Id="rIdS" Type="%ssharedStrings" Target="strings.xml"/>'
                 % rel_base)
        entries.append((folder + "/strings.xml", shared))
    if styles is not None:
        rels += '<Relationship Id="rIdY" Type="%sstyles" Target="styles.xml"/>' % rel_base
        entries.append((folder + "/styles.xml", styles))
    rels += extra_rels + "</Relationships>"
    entries.append((workbook_name, wb))
    entries.append((folder + "/_rels/" + os.path.basename(workbook_name) + ".rels", rels))
    entries.extend(extra_parts)
    return entries


def sheet(rows_xml, ns=MAIN):
    return '<?xml version="1.0"?><worksheet xmlns="%s"><sheetData>%s</sheetData></worksheet>' % (
        ns, rows_xml)


def sst(*items, count=None):
    n = count if count is not None else len(items)
    return '<?xml version="1.0"?><sst xmlns="%s" count="%s" uniqueCount="%s">%s</sst>' % (
        MAIN, n, n, "".join("<si>%s</si>" % i for i in items))


def crafted_fixtures():
    # Rich text, phonetic runs, escapes; cells and rows without references;
    # a sheet part with an unusual name found through the relationships.
    strings = sst("<t>plain</t>",
                  '<r><t>555</t></r><r><rPr><b/></rPr><t xml:space="preserve">-0100 </t></r>'
                  "<r><t>ext</t></r>",
                  "<t>\u6771\u4eac</t><rPh sb=\"0\" eb=\"2\"><t>\u30c8\u30a6\u30ad\u30e7\u30a6"
                  "</t></rPh><phoneticPr fontId=\"1\"/>",
                  "<t>a_x000D_b_x000A_c</t>",
                  "<t>_x005F_x000D_ and _xD83D__xDE00_ and _x41_</t>")
    body = sheet('<row r="2"><c r="B2" t="s"><v>0</v></c><c t="s"><v>1</v></c></row>'
                 '<row><c t="s"><v>2</v></c><c t="s"><v>3</v></c><c t="s"><v>4</v></c></row>'
                 '<row r="5"><c r="C5" t="inlineStr"><is><r><t>in</t></r><r><t>line_x0009_'
                 '</t></r></is></c><c t="str"><f>A1</f><v>cached</v></c>'
                 '<c t="e"><f>1/0</f><v>#DIV/0!</v></c><c t="b"><v>1</v></c>'
                 '<c s="1"/><c t="n"><f>A1</f></c></row>')
    write_zip(out("crafted_text_kinds.xlsx"), package([("Kinds", body)], shared=strings))

    # The same workbook in the Strict namespaces, with prefixed elements.
    strict_sheet = ('<?xml version="1.0"?><x:worksheet xmlns:x="%s"><x:sheetData>'
                    '<x:row r="1"><x:c r="A1" t="s"><x:v>0</x:v></x:c>'
                    '<x:c r="B1"><x:v>447911123456</x:v></x:c></x:row>'
                    "</x:sheetData></x:worksheet>" % STRICT_MAIN)
    strict_sst = ('<?xml version="1.0"?><x:sst xmlns:x="%s"><x:si><x:t>855-2880</x:t></x:si>'
                  "</x:sst>" % STRICT_MAIN)
    write_zip(out("crafted_strict.xlsx"),
              package([("Strict", strict_sheet)], shared=strict_sst, rel_ns=STRICT_REL,
                      main_ns=STRICT_MAIN))

    # A workbook part in an odd place, found through the package relationships.
    write_zip(out("crafted_odd_part_names.xlsx"),
              package([("Odd", sheet('<row r="1"><c r="A1" t="inlineStr"><is><t>found</t></is>'
                                     "</c></row>"))],
                      workbook_name="book/main.xml"))

    # Folder separators written as backslashes, as some Windows tools do, and
    # a styles relationship whose part is missing.
    entries = package([("Back", sheet('<row r="1"><c r="A1" s="1"><v>7</v></c></row>'))],
                      styles="<styleSheet/>")
    entries = [(n.replace("/", "\\"), d) for n, d in entries if n != "xl/styles.xml"]
    write_zip(out("crafted_backslash_names.xlsx"), entries)

    # Styles: a built-in date format, a custom format with a text section,
    # the text format, and a style index beyond the table; in both date
    # systems (43830 in 1904 is 45292 in 1900: 1 January 2024).
    styles = ('<?xml version="1.0"?><styleSheet xmlns="%s"><numFmts count="1">'
              '<numFmt numFmtId="164" formatCode="0.00;-0.00;&quot;zero&quot;;&quot;&lt;&quot;@&quot;&gt;&quot;"/>'
              '</numFmts><cellStyleXfs count="1"><xf numFmtId="14"/></cellStyleXfs>'
              '<cellXfs count="4"><xf numFmtId="0"/><xf numFmtId="14"/><xf numFmtId="164"/>'
              '<xf numFmtId="49"/></cellXfs></styleSheet>' % MAIN)
    for name, serial, extra in (("crafted_styles_1900.xlsx", 45292, ""),
                                ("crafted_styles_1904.xlsx", 43830, '<workbookPr date1904="1"/>')):
        body = sheet('<row r="1"><c r="A1" s="1"><v>%d</v></c><c r="B1" s="2" t="inlineStr">'
                     '<is><t>abc</t></is></c><c r="C1" s="2"><v>0</v></c><c r="D1" s="2"><v>1.5</v>'
                     '</c><c r="E1" s="3"><v>447911123456</v></c><c r="F1" s="99"><v>2.5</v></c>'
                     '</row>' % serial)
        write_zip(out(name), package([("Styled", body)], styles=styles, workbook_extra=extra))

    # Hostile and damaged files.
    doctype_sheet = ('<?xml version="1.0"?><!DOCTYPE w [<!ENTITY a "aaaaaaaaaa">'
                     '<!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">]>'
                     '<worksheet xmlns="%s"><sheetData><row r="1"><c r="A1" t="inlineStr">'
                     "<is><t>&b;</t></is></c></row></sheetData></worksheet>" % MAIN)
    write_zip(out("crafted_doctype.xlsx"), package([("S", doctype_sheet)]))
    write_zip(out("crafted_beyond_last_column.xlsx"),
              package([("S", sheet('<row r="1"><c r="A1"><v>1</v></c><c r="XFE1"><v>2</v></c>'
                                   "</row>"))]))
    write_zip(out("crafted_beyond_last_row.xlsx"),
              package([("S", sheet('<row r="1048577"><c><v>1</v></c></row>'))]))
    write_zip(out("crafted_shared_index_out_of_range.xlsx"),
              package([("S", sheet('<row r="1"><c r="A1" t="s"><v>0</v></c>'
                                   '<c r="B1" t="s"><v>7</v></c></row>'))],
                      shared=sst("<t>only</t>")))
    write_zip(out("crafted_huge_declared_count.xlsx"),
              package([("S", sheet('<row r="1"><c r="A1" t="s"><v>0</v></c></row>'))],
                      shared=sst("<t>555-0100</t>", count=4000000000)))
    entries = [e for e in package([("S", sheet(""))]) if e[0] != "xl/workbook.xml"]
    write_zip(out("crafted_missing_workbook.xlsx"), entries)
    write_zip(out("crafted_no_sheets.xlsx"), package([]))
    write_zip(out("crafted_missing_sheet_part.xlsx"),
              package([("Gone", None), ("Here", sheet('<row r="1"><c r="A1"><v>5</v></c></row>'))]))
    write_zip(out("crafted_truncated_sheet.xlsx"),
              package([("S", sheet('<row r="1"><c r="A1"><v>1</v></c></row>')[:-30])]))
    deep = "<extLst>" * 20000 + "</extLst>" * 20000
    write_zip(out("crafted_deep_nesting.xlsx"),
              package([("S", '<?xml version="1.0"?><worksheet xmlns="%s">%s<sheetData><row r="1">'
                             '<c r="A1"><v>42</v></c></row></sheetData></worksheet>' % (MAIN, deep))]))
    write_zip(out("crafted_huge_cell.xlsx"),
              package([("S", sheet('<row r="1"><c r="A1" t="inlineStr"><is><t>%s</t></is></c>'
                                   "</row>" % ("x" * (17 << 20))))]))
    write_zip(out("crafted_bad_reference.xlsx"),
              package([("S", sheet('<row r="1"><c r="1A"><v>1</v></c></row>'))]))


if __name__ == "__main__":
    openpyxl_fixtures()
    conditional_format_fixtures()
    libreoffice_fixtures()
    crafted_fixtures()
