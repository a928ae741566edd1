#!/usr/bin/python3
"""Writes pandas_phones.ods and pandas_phones.fods with odfpy, cell by cell
the way pandas' ODS writer does: no styles, a float column (phone numbers
that became floats through a missing value) stored with the text str(value),
so the paragraph says "2125550147.0" while the value is 2125550147, an int
column, a boolean, a date and an empty cell for the missing value.

    /usr/bin/python3 tests/data/ods/make_pandas_fixture.py   (needs python3-odf)
"""
import datetime
import os

from odf.opendocument import OpenDocumentSpreadsheet
from odf.table import Table, TableCell, TableRow
from odf.text import P

HERE = os.path.dirname(os.path.abspath(__file__))

ROWS = [
    ["name", "phone", "ext", "active", "since"],
    ["Ann", 2125550147.0, 101, True, datetime.date(2021, 3, 5)],
    ["Bob", 2125550148.0, 102, False, datetime.date(2022, 11, 30)],
    ["Cy", None, 103, True, datetime.date(2023, 1, 2)],
    ["Di", 4479111234567.0, 104, True, datetime.date(2020, 7, 14)],
    ["Ed", 2125550150.0, 105, False, datetime.date(2019, 12, 31)],
]


def cell(value):
    if value is None:
        return TableCell()
    if isinstance(value, bool):
        c = TableCell(valuetype="boolean", booleanvalue=str(value).lower())
        c.addElement(P(text=str(value).upper()))
    elif isinstance(value, datetime.date):
        c = TableCell(valuetype="date", datevalue=value.strftime("%Y-%m-%d"))
        c.addElement(P(text=value.strftime("%x")))
    elif isinstance(value, (int, float)):
        c = TableCell(valuetype="float", value=str(value))
        c.addElement(P(text=str(value)))
    else:
        c = TableCell(valuetype="string", stringvalue=value)
        c.addElement(P(text=value))
    return c


def main():
    doc = OpenDocumentSpreadsheet()
    table = Table(name="Sheet1")
    for values in ROWS:
        row = TableRow()
        for value in values:
            row.addElement(cell(value))
        table.addElement(row)
    doc.spreadsheet.addElement(table)
    doc.save(os.path.join(HERE, "pandas_phones.ods"))
    with open(os.path.join(HERE, "pandas_phones.fods"), "wb") as out:
        out.write(doc.xml())


if __name__ == "__main__":
    main()
