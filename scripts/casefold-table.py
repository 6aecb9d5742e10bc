#!/usr/bin/env python3
"""Writes catalogue/CaseFolding.inc: Unicode simple case folding, one
{code point, folded code point} pair per line, for every code point above
U+007F that folds to another one. Run from the project root:

    python3 scripts/casefold-table.py > catalogue/CaseFolding.inc

Simple folding maps one code point to one code point. Python's casefold() is
the full folding; where that gives one code point it is also the simple one,
and where it gives more (U+1E9E, the Greek letters with a subscript iota),
the simple folding is the lower-case letter when that is one code point,
else none.
"""
import sys
import unicodedata


def simple_fold(c):
    full = c.casefold()
    if len(full) == 1:
        return full
    lower = c.lower()
    return lower if len(lower) == 1 else c


pairs = []
for cp in range(0x80, sys.maxunicode + 1):
    c = chr(cp)
    if 0xD800 <= cp <= 0xDFFF:
        continue
    f = simple_fold(c)
    if f != c:
        pairs.append((cp, ord(f)))

print("// Unicode %s simple case folding above U+007F, made by scripts/casefold-table.py." % unicodedata.unidata_version)
print("// {code point, folded code point}, sorted by code point.")
for a, b in pairs:
    print("{0x%04X, 0x%04X}," % (a, b))
