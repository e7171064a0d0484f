#!/usr/bin/python3
# Writes the three tables of an agricultural-register backup with an outside dBase
# writer (python3-dbf), as the other program would: usage rg3fixture.py SPEC.json.
# SPEC: {"folder": dir, "numeric": bool, "omit": {"Cap1.dbf": ["DECEDAT"]},
#        "skip": ["Volume.dbf"], "Identificare.dbf": [rows], "Volume.dbf": [...], "Cap1.dbf": [...]}
# Rows are objects keyed by field name; a missing key is a blank field. With "numeric"
# the identifiers, years, row numbers and register types are N fields, else C fields.
import json
import os
import sys

import dbf

spec = json.load(open(sys.argv[1], encoding='utf-8'))
numeric = spec.get('numeric', True)
ident = 'N(10,0)' if numeric else 'C(10)'
small = 'N(4,0)' if numeric else 'C(4)'

tables = {
    'Identificare.dbf': [('IDID', ident), ('IDVOL', ident), ('ROL', 'C(9)'), ('STRADA1', 'C(40)'),
                         ('NR1', 'C(8)'), ('BLOC1', 'C(6)'), ('SCARA1', 'C(4)'), ('APART1', 'C(5)'),
                         ('ANULAT', 'C(2)'), ('OBSERV', 'C(30)')],
    'Volume.dbf': [('IDVOL', ident), ('LOCALIT', 'C(40)'), ('TIPRA', small), ('NRVOL', 'N(5,0)')],
    'Cap1.dbf': [('IDID', ident), ('ANUL', small), ('RAND', small), ('NUME', 'C(40)'), ('INIT', 'C(3)'),
                 ('PRENUME', 'C(40)'), ('CNP', 'C(13)'), ('DECEDAT', 'C(2)'), ('RUDENIE', 'C(20)')],
}

for name, fields in tables.items():
    if name in spec.get('skip', []):
        continue
    omitted = set(spec.get('omit', {}).get(name, []))
    fields = [(f, t) for f, t in fields if f not in omitted]
    table = dbf.Table(os.path.join(spec['folder'], name), '; '.join(f + ' ' + t for f, t in fields),
                      dbf_type='db3', codepage='cp1250')
    table.open(dbf.READ_WRITE)
    names = {f for f, _ in fields}
    for row in spec.get(name, []):
        record = {}
        for key, value in row.items():
            if key not in names or value is None:
                continue
            kind = dict(fields)[key]
            record[key.lower()] = (int(value) if kind.startswith('N') else str(value))
        table.append(record)
    table.close()
