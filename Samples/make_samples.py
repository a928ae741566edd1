#!/usr/bin/python3
"""Writes the sample workbooks of this folder.

contacts.xlsx and orders (written first as .xlsx) come from openpyxl;
LibreOffice, run headless, turns contacts.xlsx into contacts.xls and
contacts.ods (same cells, so the program must find the same numbers in all
three) and orders into orders.xlsm. suppliers.csv is plain text.

Every phone number is one that the numbering plans keep for fiction
(North American 555-01xx, UK 020 7946 0xxx and 07700 900xxx).

Run it from anywhere: python3 Samples/make_samples.py
Needs python3-openpyxl and LibreOffice (soffice).
"""

import csv
import datetime
import os
import shutil
import subprocess
import sys
import tempfile

from openpyxl import Workbook
from openpyxl.styles import Alignment, Font

HERE = os.path.dirname(os.path.abspath(__file__))
FIXED_TIME = datetime.datetime(2024, 1, 15, 9, 30, 0)


def new_workbook():
    wb = Workbook()
    wb.properties.creator = "Dialsift samples"
    wb.properties.created = FIXED_TIME
    wb.properties.modified = FIXED_TIME
    return wb


def header(ws, names, widths):
    ws.append(names)
    for cell in ws[1]:
        cell.font = Font(bold=True)
    for i, w in enumerate(widths):
        ws.column_dimensions[chr(ord("A") + i)].width = w


def contacts_xlsx(path):
    wb = new_workbook()

    # Sheet 1: numbers typed as text, in the ways people type them.
    ws = wb.active
    ws.title = "Customers"
    header(ws, ["Name", "Company", "Phone", "Mobile", "Address", "City", "ZIP",
                "Customer since", "Balance"],
           [16, 18, 18, 20, 26, 14, 11, 15, 13])
    rows = [
        ("Ada Whitfield", "Whitfield Tiles", "212-555-0147", "(212) 555-0199",
         "41 Harbour Street", "New York, NY", "10001", datetime.date(2012, 3, 14), 1234.5),
        ("Bram Okafor", "Okafor & Sons", "212.555.0168", "+1-646-555-0112",
         "7 Elm Row, Suite 300", "Brooklyn, NY", "11201-4512", datetime.date(2015, 2, 19), -980.25),
        ("Carmen Ruiz", "Ruiz Bakery", "(718)555-0134", "1 718 555 0175",
         "1200 Grand Concourse", "Bronx, NY", "10456", datetime.date(2018, 11, 2), 15000),
        ("Dmitri Volkov", "Volkov Freight", "+1 (917) 555-0190", "917-555-0123 ext. 4",
         "PO Box 9921", "Queens, NY", "11368", datetime.date(2020, 7, 31), 0),
        ("Eleanor Price", "Price & Price LLP", "12125550161", "+12125550106",
         "350 Fifth Avenue, Floor 21", "New York, NY", "10118", datetime.date(2021, 1, 4), 72.1),
        ("Farid Haddad", "Haddad Imports", "020 7946 0321", "07700 900461",
         "14 Mill Lane", "London", "SW1A 1AA", datetime.date(2019, 5, 23), 310),
        ("Grace Lin", "Lin Design", "020-7946-0958", "07700900123",
         "3 Kings Road", "Manchester", "M1 1AE", datetime.date(2023, 9, 9), 5.75),
    ]
    for r in rows:
        ws.append(list(r))
    for row in ws.iter_rows(min_row=2):
        row[6].number_format = "@"
        row[7].number_format = "m/d/yyyy"
        row[8].number_format = '"$"#,##0.00;("$"#,##0.00)'
    ws["H3"].number_format = "yyyy-mm-dd"

    # Sheet 2: numbers stored as numbers; the cell's format decides the text.
    ws = wb.create_sheet("Stored as numbers")
    header(ws, ["How it is shown", "Value"], [44, 20])
    # The labels hold no digits, so that only the values can be found.
    numbers = [
        ("General", 2125550183, "General"),
        ("General, with the country code", 12125550184, "General"),
        ("Area code in brackets", 2125550185, "(000) 000-0000"),
        ("Seven or ten digits, given ten", 2125550186, "[<=9999999]###-####;(###) ###-####"),
        ("Seven or ten digits, given seven", 5550187, "[<=9999999]###-####;(###) ###-####"),
        ("Hyphens", 2125550188, "000-000-0000"),
        ("Country code and hyphens", 12125550189, "0-000-000-0000"),
        ("Dots", 6465550190, '000"."000"."0000'),
        ("Plus sign, brackets and blanks", 12125550191, '"+"0 (000) 000-0000'),
        ("Leading zero kept", 2079460123, "00000000000"),
        ("Plain number, a UK mobile without its zero", 7700900555, "0"),
        ("An amount", 1234567.891, "#,##0.00"),
        ("Ten digits grouped in thousands", 2125550147, "#,##0"),
        ("A date written out", datetime.date(2015, 2, 19), "dddd, mmmm d, yyyy"),
        ("A share", 0.1234, "0.00%"),
    ]
    for label, value, fmt in numbers:
        ws.append([label, value])
        ws.cell(row=ws.max_row, column=2).number_format = fmt

    # Sheet 3: numbers inside sentences.
    ws = wb.create_sheet("Notes")
    header(ws, ["Note"], [70])
    notes = [
        "Call Ada on 212-555-0147 before noon; fax (212)555-0148.",
        "Reception: +1.212.555.0177, switchboard 212 555 0178.",
        "Two lines in one cell:\n212-555-0131\n212-555-0132",
        "Invoice 2015-0219 paid 19/02/2015, ref 4000123456.",
        "Warehouse hours 8:00-17:30, Mon-Fri.",
    ]
    for n in notes:
        ws.append([n])
    ws["A4"].alignment = Alignment(wrap_text=True)
    wb.save(path)


def orders_xlsx(path):
    wb = new_workbook()
    ws = wb.active
    ws.title = "Orders"
    header(ws, ["Order", "Date", "Customer", "Contact", "Amount", "Qty"],
           [12, 12, 18, 30, 12, 6])
    orders = [
        ("SO-10023", datetime.date(2024, 1, 8), "Whitfield Tiles", "212-555-0147", 1520, 12),
        ("SO-10024", datetime.date(2024, 1, 9), "Okafor & Sons", "+1 646 555 0112", 89.99, 1),
        ("SO-10025", datetime.date(2024, 1, 11), "Ruiz Bakery",
         "718-555-0134 / 718-555-0135", 12500.5, 250),
        ("SO-10026", datetime.date(2024, 1, 12), "Price & Price LLP", "(212)555-0161 x210", 640, 8),
    ]
    for o in orders:
        ws.append(list(o))
    for row in ws.iter_rows(min_row=2):
        row[1].number_format = "d-mmm-yy"
        row[4].number_format = "#,##0.00"

    ws = wb.create_sheet("Shipping")
    header(ws, ["Carrier", "Tracking", "Phone", "Depot"], [22, 22, 18, 30])
    shipping = [
        ("Northwind Couriers", "1Z999AA10123456784", "1-800-555-0199", "Unit 4, Dock Road"),
        ("Harbour Freight Lines", "TRK 5550 1234 9876", "800.555.0142", "Pier 17"),
        ("City Vans", "CV-2015-0042", "(800) 555-0143", "22 Canal Street"),
    ]
    for s in shipping:
        ws.append(list(s))
    ws.append([])
    ws.append(["Depot manager (stored as a number)", None, 8005550144])
    ws.cell(row=ws.max_row, column=3).number_format = "000-000-0000"
    wb.save(path)


def suppliers_csv(path):
    rows = [
        ["Supplier", "Contact", "Phone", "Fax", "Notes"],
        ["Acme Paper Co.", "Jo Park", "1-312-555-0102", "312-555-0103",
         "Net 30, min order $250.00"],
        ["Blue River Inks", "Sam Ode", "(312)555-0114", "", "Ask for ext. 22"],
        ["Coastal Packaging, Ltd.", "Lee Marsh", "312 555 0125", "312.555.0126",
         "Closed Dec 24 to Dec 26"],
        ["Delta Print", "Ana Silva", "020 7946 0011", "020-7946-0012", "UK office"],
        ["Eagle Labels", "Tom Reyes", "1.312.555.0137", "", "Customer since April 2009"],
    ]
    with open(path, "w", newline="", encoding="ascii") as f:
        csv.writer(f, lineterminator="\r\n").writerows(rows)


def convert(source, target_dir, target_format):
    """Converts with a headless LibreOffice that uses a profile of its own, so
    that it neither disturbs nor waits for a LibreOffice already running."""
    with tempfile.TemporaryDirectory() as profile:
        subprocess.run(
            ["soffice", "-env:UserInstallation=file://" + profile, "--headless",
             "--convert-to", target_format, "--outdir", target_dir, source],
            check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)


def main():
    with tempfile.TemporaryDirectory() as work:
        contacts = os.path.join(work, "contacts.xlsx")
        contacts_xlsx(contacts)
        convert(contacts, work, 'xls:MS Excel 97')
        convert(contacts, work, 'ods:calc8')
        orders = os.path.join(work, "orders.xlsx")
        orders_xlsx(orders)
        convert(orders, os.path.join(work, "xlsm"), 'xlsm:Calc MS Excel 2007 VBA XML')
        suppliers_csv(os.path.join(work, "suppliers.csv"))

        made = {
            "contacts.xlsx": contacts,
            "contacts.xls": os.path.join(work, "contacts.xls"),
            "contacts.ods": os.path.join(work, "contacts.ods"),
            "orders.xlsm": os.path.join(work, "xlsm", "orders.xlsm"),
            "suppliers.csv": os.path.join(work, "suppliers.csv"),
        }
        for name, source in made.items():
            if not os.path.isfile(source):
                sys.exit("make_samples: " + name + " was not written")
            shutil.copyfile(source, os.path.join(HERE, name))
            print("wrote", name)


if __name__ == "__main__":
    main()
