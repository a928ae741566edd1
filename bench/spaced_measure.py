#!/usr/bin/python3
"""Measures numbers written with spaces: the word rule against --spaced.

usage: bench/spaced_measure.py BUILD_BIN_DIR [OUT_DIR]

Takes libphonenumber's example numbers (fixed line and mobile, NATIONAL and
INTERNATIONAL, from BUILD_BIN_DIR/spaced_examples) for the regions below and
writes OUT_DIR/spaced_measure.xlsx (default: BUILD_BIN_DIR/../spaced-measure):
the sheet "Numbers" holds each number alone, after a label, with an
extension, two to a cell, inside a sentence and with no-break spaces; the
sheet "Negatives" texts that hold digits but no phone number. Then runs
dialsift-cli -l 7-15 over it with and without --spaced and prints, per
region, the numbers found whole of those present, the numbers cut short
(a part of a number returned as one) and other wrong numbers, and the
numbers found on the negatives. Needs python3-openpyxl.
"""
import csv
import io
import os
import subprocess
import sys

from openpyxl import Workbook

REGIONS = ["US", "CA", "MX", "BR", "AR", "GB", "IE", "FR", "DE", "AT", "CH", "BE", "NL", "LU",
           "IT", "ES", "PT", "SE", "NO", "DK", "FI", "PL", "CZ", "HU", "RU", "TR", "IN", "CN",
           "JP", "KR", "AU", "NZ", "ZA", "SG", "AE", "SA", "EG", "NG"]

NBSP = "\u00a0"
LABELS = ["Tel: {}", "Tel {}", "Phone: {}", "T {}", "Fax {}", "mobile {}", "Tel.: {}", "M {}"]
EXTENSIONS = ["{} ext. 12", "{} x204", "{} #3", "{} ext 1234"]
PAIRS = ["{}, {}", "{}; {}", "{} / {}", "{}\n{}", "T {} F {}", "{} or {}"]
SENTENCES = ["Please call {} before noon.", "You can reach us on {}.", "Call {} or write to us.",
             "Our number is {} (office hours only)"]

NEGATIVES = [
    # amounts
    "1 234 567,89", "12 345 678", "1.234.567", "1.234.567,89", "\u20ac 1 234 567",
    "1 234 567 \u20ac", "EUR 12 345 678", "USD 1,234,567.89", "12 345 678,00 z\u0142",
    "1 234 567 K\u010d", "-1 234 567", "1 234 567.50", "Total: 12 345 678", "CHF 1'234'567.00",
    "12\u202f345\u202f678", "1\u00a0234\u00a0567,89 \u20ac", "Population 1 234 567",
    "Revenue 2 345 678 kr", "123 456 789 012",
    # dates and times
    "19.02.2015", "2015-02-19", "19/02/2015", "2015/02/19", "19 02 2015", "02/19/2015 10:30 AM",
    "19.02.2015 10.30", "Mon 19 Feb 2015 14:30", "10.30 - 12.15", "09:00 - 17:30",
    "2015-02-19T14:30:00", "19.02.2015 - 21.02.2015", "1 January 2015 to 31 December 2016",
    # postcodes and addresses
    "Hauptstra\u00dfe 12 10115 Berlin", "Via Roma 15 00184 Roma", "Calle Mayor 5 28013 Madrid",
    "Kerkstraat 123 1017 AB Amsterdam", "12 rue de la Paix, 75002 Paris",
    "PO Box 1234, Springfield IL 62704", "SW1A 1AA London", "Bahnhofstrasse 123 8001 Z\u00fcrich",
    "Storgatan 1 123 45 Stockholm",
    # IBANs, ISBNs, cards
    "DE89 3704 0044 0532 0130 00", "GB29 NWBK 6016 1331 9268 19",
    "FR76 3000 6000 0112 3456 7890 189", "NL91 ABNA 0417 1643 00",
    "IBAN: ES91 2100 0418 4502 0005 1332", "ISBN 978-3-16-148410-0", "ISBN 978 3 16 148410 0",
    "ISBN 0 306 40615 2", "ISBN-13: 978-0-306-40615-7", "4111 1111 1111 1111",
    # versions and addresses of machines
    "Version 3.11.4 2023", "v1.2.3 build 4567", "10.0.19041 1234", "192.168.1.1 10.0.0.1",
    "Release 2.4.1 (2019)",
    # years and small numbers
    "2019 2020 2021 2022", "1990 - 2000 2010", "1998 1999 2000 2001 2002", "2001\u20132005",
    "1 2 3 4 5 6 7 8", "Sizes 36 38 40 42 44", "10 20 30 40 50 60", "Rooms 101 102 103",
    "Qty 5 10 20 50 100", "48.8566 2.3522", "120 x 80 cm",
]


def examples(bindir):
    out = subprocess.run([os.path.join(bindir, "spaced_examples")] + REGIONS, check=True,
                         capture_output=True, text=True).stdout
    numbers = {}
    for line in out.splitlines():
        region, kind, fmt, text = line.split("\t")
        numbers.setdefault(region, []).append((kind, fmt, text))
    return numbers


def write_workbook(path, numbers):
    """The workbook, and the numbers each cell holds: {(sheet, ref): (region, [numbers])}."""
    wb = Workbook()
    ws = wb.active
    ws.title = "Numbers"
    expected = {}
    row = 0

    def put(region, form, text, present):
        nonlocal row
        row += 1
        ws.cell(row=row, column=1, value=form)
        ws.cell(row=row, column=2, value=text)
        expected[("Numbers", f"B{row}")] = (region, present)

    k = 0
    for region in REGIONS:
        entries = numbers.get(region, [])
        for i, (kind, fmt, text) in enumerate(entries):
            k += 1
            put(region, "alone", text, [text])
            put(region, "label", LABELS[k % len(LABELS)].format(text), [text])
            put(region, "extension", EXTENSIONS[k % len(EXTENSIONS)].format(text), [text])
            put(region, "sentence", SENTENCES[k % len(SENTENCES)].format(text), [text])
            spaced = text.replace(" ", NBSP)
            put(region, "no-break spaces", spaced, [spaced])
            # the other number of the region in the same format
            others = [t for (kd, f, t) in entries if f == fmt and t != text]
            if others:
                put(region, "two to a cell", PAIRS[k % len(PAIRS)].format(text, others[0]),
                    [text, others[0]])
    neg = wb.create_sheet("Negatives")
    for i, text in enumerate(NEGATIVES, start=1):
        neg.cell(row=i, column=1, value=text)
    wb.save(path)
    return expected


def run(cli, path, spaced):
    cmd = [cli, "-q", "-l", "7-15", "--format", "csv"] + (["--spaced"] if spaced else []) + [path]
    out = subprocess.run(cmd, check=True, capture_output=True).stdout.decode("utf-8")
    found = {}
    for rec in csv.DictReader(io.StringIO(out, newline="")):
        found.setdefault((rec["sheet"], rec["cell"]), []).append(rec["number"])
    return found


def digits(s):
    return "".join(c for c in s if c.isdigit())


def score(expected, found):
    """Per region: [present, whole, cut short, other wrong]; and the negatives found."""
    table = {}
    for key, (region, present) in expected.items():
        got = list(found.get(key, []))
        t = table.setdefault(region, [0, 0, 0, 0])
        t[0] += len(present)
        for number in present:
            if number in got:
                t[1] += 1
                got.remove(number)
        for g in got:
            if any(digits(g) in digits(p) and len(digits(g)) < len(digits(p)) for p in present):
                t[2] += 1
            else:
                t[3] += 1
    negatives = [(k, v) for k, v in found.items() if k[0] == "Negatives"]
    return table, negatives


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    bindir = sys.argv[1]
    out = sys.argv[2] if len(sys.argv) > 2 else os.path.join(bindir, "..", "spaced-measure")
    os.makedirs(out, exist_ok=True)
    path = os.path.join(out, "spaced_measure.xlsx")
    expected = write_workbook(path, examples(bindir))
    cli = os.path.join(bindir, "dialsift-cli")
    words, words_neg = score(expected, run(cli, path, False))
    spaced, spaced_neg = score(expected, run(cli, path, True))
    print("lengths 7-15; per region: whole/present, cut short, other wrong")
    print(f"{'region':8}{'word rule':>24}{'--spaced':>24}")
    totals = [[0] * 4, [0] * 4]
    for region in REGIONS:
        if region not in words:
            continue
        cells = ""
        for t, total in ((words[region], totals[0]), (spaced[region], totals[1])):
            cells += f"{t[1]:>8}/{t[0]:<4}{t[2]:>5}{t[3]:>5}  "
            for i in range(4):
                total[i] += t[i]
        print(f"{region:8}{cells}")
    cells = ""
    for total in totals:
        cells += f"{total[1]:>8}/{total[0]:<4}{total[2]:>5}{total[3]:>5}  "
    print(f"{'all':8}{cells}")
    for name, total in (("word rule", totals[0]), ("--spaced", totals[1])):
        print(f"{name}: {100.0 * total[1] / total[0]:.1f}% whole, {total[2]} cut short")
    count = lambda neg: sum(len(v) for _, v in neg)
    print(f"negatives ({len(NEGATIVES)} cells): word rule {count(words_neg)} numbers, "
          f"--spaced {count(spaced_neg)} numbers")
    for name, neg in (("word rule", words_neg), ("--spaced", spaced_neg)):
        for (_, ref), numbers in sorted(neg, key=lambda kv: int(kv[0][1][1:])):
            print(f"  {name}: {NEGATIVES[int(ref[1:]) - 1]!r} gives {numbers}")
    if "-v" in sys.argv:
        found = run(cli, path, True)
        for key, (region, present) in expected.items():
            got = found.get(key, [])
            if sorted(got) != sorted(present):
                print(f"  {region} {key[1]}: present {present}, --spaced gives {got}")


if __name__ == "__main__":
    main()
