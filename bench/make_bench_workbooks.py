#!/usr/bin/python3
"""Writes the benchmark workbooks into the folder given (default bench-data/):

  big.xlsx         one sheet, 200,000 rows x 5 columns: names, addresses, phone
                   numbers (written forms, and numbers shown through phone
                   formats), dates and amounts
  small/NNN.xlsx   300 workbooks of 50 rows x 6 columns of the same mix

Needs python3-openpyxl. Deterministic: the same files every time.
"""
import datetime
import os
import random
import sys

from openpyxl import Workbook
from openpyxl.cell import WriteOnlyCell

FIRST = ["Ann", "Bo", "Carla", "Dmitri", "Eve", "Farid", "Grace", "Hiro", "Ines", "Jon"]
LAST = ["Smith", "Okafor", "Nguyen", "Garcia", "Muller", "Rossi", "Kowalski", "Tanaka"]
STREETS = ["Main St", "Oak Ave", "Elm Rd", "Harbour Way", "Station Rd", "5th Ave"]
PHONE_FORMATS = ["(000) 000-0000", "000-000-0000", '[<=9999999]###-####;(###) ###-####']


def written_phone(rng):
    a, b, c = rng.randint(200, 989), rng.randint(200, 999), rng.randint(0, 9999)
    style = rng.randrange(6)
    if style == 0:
        return f"({a}) {b}-{c:04d}"
    if style == 1:
        return f"{a}-{b}-{c:04d}"
    if style == 2:
        return f"+1 {a}.{b}.{c:04d}"
    if style == 3:
        return f"Tel: {a}{b}{c:04d}"
    if style == 4:
        return f"{a}.{b}.{c:04d} x{rng.randint(10, 999)}"
    return f"+44 20 {rng.randint(1000, 9999)} {rng.randint(1000, 9999)}"


def rows(rng, count, ws, columns):
    base = datetime.date(1990, 1, 1)
    for i in range(count):
        name = f"{rng.choice(FIRST)} {rng.choice(LAST)}"
        addr = f"{rng.randint(1, 9999)} {rng.choice(STREETS)}, Springfield"
        if i % 2:
            phone = WriteOnlyCell(ws, value=rng.randint(2002000000, 9899999999))
            phone.number_format = rng.choice(PHONE_FORMATS)
        else:
            phone = written_phone(rng)
        date = WriteOnlyCell(ws, value=base + datetime.timedelta(days=rng.randint(0, 12000)))
        date.number_format = "yyyy-mm-dd"
        amount = WriteOnlyCell(ws, value=round(rng.uniform(-5000, 50000), 2))
        amount.number_format = "#,##0.00"
        row = [name, addr, phone, date, amount]
        if columns == 6:
            row.append(f"{rng.randint(200, 989)}-{rng.randint(200, 999)}-{rng.randint(0, 9999):04d}")
        yield row


def write(path, count, columns, seed):
    rng = random.Random(seed)
    wb = Workbook(write_only=True)
    ws = wb.create_sheet("Contacts")
    for row in rows(rng, count, ws, columns):
        ws.append(row)
    wb.save(path)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "bench-data"
    os.makedirs(os.path.join(out, "small"), exist_ok=True)
    big = os.path.join(out, "big.xlsx")
    if not os.path.exists(big):
        write(big, 200_000, 5, 1)
    for i in range(300):
        p = os.path.join(out, "small", f"{i:03d}.xlsx")
        if not os.path.exists(p):
            write(p, 50, 6, 1000 + i)


if __name__ == "__main__":
    main()
