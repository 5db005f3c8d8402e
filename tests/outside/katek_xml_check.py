#!/usr/bin/env python3
"""Parses what katek_text_test wrote with Python's own XML parser: each hostile text must come
back as the writer promised, and each prefix be declared where it is used."""
import sys
import xml.etree.ElementTree as ElementTree

# kHostile of katek_text_test.cpp as a parser must give it back (U+FFFD for what XML cannot hold).
EXPECTED = [
    "a<b>&c</b>", "\"double\" 'single'", "]]>", "tab\there\r\nnext\rlast\n.",
    "\ufffdx\ufffd\x7f\ufffd", "nul\ufffdend", "\u00e9\u00df \u6f22\u5b57 \U0001F600",
    "\ufffdx\ufffd\ufffd", "\ufffd\ufffd\ufffd", "  ", "",
]

root = ElementTree.parse(sys.argv[1]).getroot()
texts = [case.text or "" for case in root.findall("{urn:trelm:kac}case")]
failures = [f"parsed {got!r}, expected {want!r}" for got, want in zip(texts, EXPECTED) if got != want]
if root.tag != "{urn:trelm:kac}cases" or len(texts) != len(EXPECTED):
    failures.append(f"root {root.tag!r} with {len(texts)} cases, expected {len(EXPECTED)}")
inner = root.find("{urn:trelm:p}outer/{urn:trelm:q}inner")
if inner is None or inner.text != "\u00e9" or root.find("{urn:trelm:p}again") is None:
    failures.append("p:again or p:outer/q:inner is missing or wrong")
print("\n".join(failures) or f"{len(EXPECTED)} hostile texts parsed back unchanged")
sys.exit(1 if failures else 0)
