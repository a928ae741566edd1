#!/usr/bin/python3
"""Makes the .xls test workbooks of this folder.

Two writers, because they store cells differently:
- xlwt writes BIFF8 directly: shared strings (LABELSST), RK numbers, its own
  CONTINUE splitting of the shared string table, a 1904 date system on demand.
- LibreOffice converts workbooks made here with openpyxl to BIFF8 ("MS Excel
  97"), the way a user's office suite does; it writes MULRK/MULBLANK runs,
  FORMULA records with cached results (and STRING records), hidden sheets.
  The same workbook saved as .xlsx by LibreOffice lies beside the .xls, so
  tests can compare the two readers. (LibreOffice no longer writes BIFF5;
  the BIFF5 tests build their streams in code.)
- from_xlsx/: the .xlsx test workbooks of tests/data/xlsx and the samples
  of Samples/, saved as .xls by LibreOffice, named <folder>__<file>.xls.

Run from this folder: ./make_fixtures.py (needs python3-xlwt, python3-openpyxl
and soffice).
"""
import os
import shutil
import subprocess
import tempfile

import openpyxl
import xlwt

HERE = os.path.dirname(os.path.abspath(__file__))


def out(name):
    return os.path.join(HERE, name)


# --- xlwt -----------------------------------------------------------------

def xlwt_text_examples():
    # The three workbook-text examples, one workbook each.
    wb = xlwt.Workbook()
    ws = wb.add_sheet("Sheet1")
    ws.write(0, 0, "855-2880 (TTY)")
    ws.write(0, 1, " 355-650-5551 (Voice) ")
    wb.save(out("text_a1_b1.xls"))

    wb = xlwt.Workbook()
    ws = wb.add_sheet("Sheet1")
    ws.write(2, 2, "855-2880")
    wb.save(out("text_only_c3.xls"))

    wb = xlwt.Workbook()
    wb.add_sheet("First").write(0, 0, "855-2880")
    wb.add_sheet("Second").write(0, 0, "355-650-5551")
    wb.save(out("text_two_sheets.xls"))


def long_string(i, n, alphabet):
    return "".join(alphabet[(i + k) % len(alphabet)] for k in range(n))


def xlwt_sst_continue():
    # Enough shared-string bytes for several CONTINUE records, with strings
    # of 8-bit and 16-bit characters so that boundaries fall inside both
    # kinds and the encoding switches at a boundary.
    wb = xlwt.Workbook()
    ws = wb.add_sheet("Strings")
    latin = "abcdefghijklmnopqrstuvwxyz0123456789"
    greek = "\u03b1\u03b2\u03b3\u03b4\u03b5\u03b6\u03b7\u03b8"
    for i in range(60):
        if i % 3 == 0:
            s = "%d-" % i + long_string(i, 700 + i, latin)
        elif i % 3 == 1:
            s = "%d-" % i + long_string(i, 500 + i, greek)
        else:
            s = "%d-" % i + long_string(i, 300, latin) + long_string(i, 300, greek)
        ws.write(i, 0, s)
    wb.save(out("sst_continue.xls"))


def xlwt_numbers_and_formats():
    # RK candidates (integers, two-decimal values, 30-bit limits), a full
    # double, phone formats on numbers, and 1904 dates.
    wb = xlwt.Workbook()
    ws = wb.add_sheet("Numbers")
    values = [0, 1, -1, 42, 536870911, -536870912, 536870912, 12.34, -0.05,
              3.141592653589793, 4155550123, 14155550123, 1e20, 0.1]
    for r, v in enumerate(values):
        ws.write(r, 0, v)
    phone = xlwt.easyxf(num_format_str="[<=9999999]###-####;(###) ###-####")
    ws.write(0, 2, 8552880, phone)
    ws.write(1, 2, 3556505551, phone)
    zip4 = xlwt.easyxf(num_format_str="00000-0000")
    ws.write(2, 2, 123456789, zip4)
    wb.save(out("numbers_rk.xls"))

    wb = xlwt.Workbook()
    wb.dates_1904 = True
    ws = wb.add_sheet("Dates")
    date = xlwt.easyxf(num_format_str="yyyy-mm-dd")
    # 2020-03-15 is serial 43905 in the 1900 system, 42443 in the 1904 one.
    ws.write(0, 0, 42443, date)
    ws.write(0, 1, 42443)
    ws.write(1, 0, 0, date)
    wb.save(out("dates_1904.xls"))


# --- openpyxl + LibreOffice --------------------------------------------------

def openpyxl_sources(folder):
    made = []

    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Contacts"
    ws["A1"] = "Name"
    ws["B1"] = "Phone"
    ws["C1"] = "Office"
    ws["A2"] = "Zo\u00eb M\u00fcller-\u00c9clair"
    ws["B2"] = "855-2880 (TTY)"
    ws["C2"] = 3556505551
    ws["C2"].number_format = "[<=9999999]###-####;(###) ###-####"
    ws["A3"] = "Caf\u00e9 \u20ac"
    ws["C3"] = 8552880
    ws["C3"].number_format = "[<=9999999]###-####;(###) ###-####"
    for c in range(1, 8):
        ws.cell(row=4, column=c, value=c * 11)  # a run of RK numbers
    ws["A5"] = True
    ws["B5"] = False
    ws["C5"] = "=1/0"
    ws["D5"] = '=CONCATENATE("355-","650-5551")'
    ws["E5"] = "=C4*2"
    ws["F5"] = "=A5"
    ws["A6"] = 44000.5
    ws["A6"].number_format = "yyyy-mm-dd hh:mm"
    ws["B6"] = 0.25
    ws["B6"].number_format = "0.00%"
    ws["C6"] = 1234567.891
    ws["C6"].number_format = "#,##0.00"
    ws["G8"].number_format = "0.00"  # styled, no value
    hidden = wb.create_sheet("Hidden")
    hidden["A1"] = "415-555-0100"
    hidden.sheet_state = "hidden"
    third = wb.create_sheet("Third")
    third["B2"] = " 355-650-5551 (Voice) "
    p = os.path.join(folder, "contacts.xlsx")
    wb.save(p)
    made.append(p)
    return made


def soffice_convert(src, filter_name, outdir, profile):
    subprocess.run(
        ["soffice", "-env:UserInstallation=file://" + profile, "--headless",
         "--convert-to", filter_name, "--outdir", outdir, src],
        check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)


def libreoffice_fixtures():
    with tempfile.TemporaryDirectory() as tmp:
        profile = os.path.join(tmp, "profile")
        for src in openpyxl_sources(tmp):
            base = os.path.splitext(os.path.basename(src))[0]
            conv = os.path.join(tmp, "converted")
            os.makedirs(conv, exist_ok=True)
            # Both saved by LibreOffice, so both hold the computed formula results.
            soffice_convert(src, "xls:MS Excel 97", conv, profile)
            soffice_convert(src, "xlsx:Calc MS Excel 2007 XML", conv, profile)
            shutil.move(os.path.join(conv, base + ".xls"), out(base + ".xls"))
            shutil.move(os.path.join(conv, base + ".xlsx"), out(base + ".xlsx"))


def converted_twins():
    # Every well-formed .xlsx test workbook and sample, saved as .xls by
    # LibreOffice: the two readers must give the same workbook text.
    root = os.path.normpath(os.path.join(HERE, "..", "..", ".."))
    sources = [os.path.join(root, "tests", "data", "xlsx", n)
               for n in sorted(os.listdir(os.path.join(root, "tests", "data", "xlsx")))
               if n.endswith(".xlsx") and not n.startswith("crafted_")
               and n != "openpyxl_far_corners.xlsx"]  # beyond the 65536 rows of .xls
    sources += [os.path.join(root, "Samples", n)
                for n in sorted(os.listdir(os.path.join(root, "Samples")))
                if n.endswith(".xlsx") or n.endswith(".xlsm")]
    target = out("from_xlsx")
    os.makedirs(target, exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        profile = os.path.join(tmp, "profile")
        for src in sources:
            soffice_convert(src, "xls:MS Excel 97", tmp, profile)
            base = os.path.splitext(os.path.basename(src))[0]
            origin = os.path.basename(os.path.dirname(src))  # "xlsx" or "Samples"
            shutil.move(os.path.join(tmp, base + ".xls"),
                        os.path.join(target, origin + "__" + os.path.basename(src) + ".xls"))


if __name__ == "__main__":
    xlwt_text_examples()
    xlwt_sst_continue()
    xlwt_numbers_and_formats()
    libreoffice_fixtures()
    converted_twins()
