#!/usr/bin/python3
"""Writes the OpenDocument fixtures of the reader tests.

Each workbook is written with openpyxl as .xlsx, then LibreOffice converts it
to .ods, .fods and .csv (the first sheet, as LibreOffice shows it). The .xlsx
files are kept beside them for the cross-format tests.

    /usr/bin/python3 tests/data/ods/make_fixtures.py
"""
import os
import shutil
import subprocess
import tempfile

import openpyxl

HERE = os.path.dirname(os.path.abspath(__file__))


def contact_examples(wb):
    ws = wb.active
    ws.title = "Sheet1"
    ws["A1"] = "855-2880 (TTY)"
    ws["B1"] = " 355-650-5551 (Voice) "


def c3_only(wb):
    wb.active["C3"] = "855-2880"


def two_sheets(wb):
    wb.active.title = "First"
    wb.active["A1"] = "855-2880"
    wb.create_sheet("Second")["A1"] = "355-650-5551"


def features(wb):
    ws = wb.active
    ws.title = "Features"
    ws["A1"] = "212-555-0131\n212-555-0132"  # two paragraphs
    ws["B1"] = "wide   gap"  # a run of spaces
    ws["C1"] = "tab\there"
    ws["D1"] = ws["E1"] = ws["F1"] = "same"  # one cell repeated
    ws["A2"] = 4479111234567  # a phone number stored as a number
    ws["B2"] = 2125550185
    ws["B2"].number_format = "(000) 000-0000"
    ws["C2"] = 1234.5
    ws["C2"].number_format = "#,##0.00"
    ws["D2"] = True
    ws["E2"] = "=1/0"
    for row in range(3, 7):  # identical rows
        ws.cell(row=row, column=1, value="row")
        ws.cell(row=row, column=2, value="212-555-0147")
    ws["H9"] = "  leading and trailing  "
    wb.create_sheet("Hidden").sheet_state = "hidden"
    wb["Hidden"]["A1"] = "hidden 212-555-0199"


FIXTURES = {
    "contact_examples": contact_examples,
    "c3_only": c3_only,
    "two_sheets": two_sheets,
    "features": features,
}


def convert(src, fmt, outdir):
    subprocess.run(["soffice", "--headless", "--convert-to", fmt, "--outdir", outdir, src],
                   check=True, stdout=subprocess.DEVNULL)


def main():
    with tempfile.TemporaryDirectory() as tmp:
        for name, fill in FIXTURES.items():
            wb = openpyxl.Workbook()
            fill(wb)
            xlsx = os.path.join(HERE, name + ".xlsx")
            wb.save(xlsx)
            for fmt in ("ods", "fods", "csv:Text - txt - csv (StarCalc):44,34,76,1"):
                convert(xlsx, fmt, tmp)
        for f in os.listdir(tmp):
            shutil.copy(os.path.join(tmp, f), os.path.join(HERE, f))


if __name__ == "__main__":
    main()
