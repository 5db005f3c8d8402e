#!/usr/bin/env python3
"""xml_check.py DOCUMENT: parses the document of hostile texts that katek_test wrote with
Python's own XML parser: each case must come back as the UTF-16 units listed after it, with
U+FFFD where XML cannot carry a character (a lone surrogate, a control other than tab, CR and
LF, U+FFFE, U+FFFF), and each prefix be declared where it is used."""
import sys
import xml.etree.ElementTree as ElementTree


def expected(hex_units):
    units = [int(unit, 16) for unit in hex_units.split()]
    text, at = "", 0
    while at < len(units):
        unit = units[at]
        pair = at + 1 < len(units) and 0xD800 <= unit < 0xDC00 and 0xDC00 <= units[at + 1] < 0xE000
        code = 0x10000 + ((unit - 0xD800) << 10) + units[at + 1] - 0xDC00 if pair else unit
        at += 2 if pair else 1
        xml_char = code in (9, 10, 13) or 0x20 <= code < 0xD800 or 0xE000 <= code <= 0xFFFD or code >= 0x10000
        text += chr(code) if xml_char else "\ufffd"
    return text


root = ElementTree.parse(sys.argv[1]).getroot()
cases = root.findall("{urn:trelm:kac}case")
units = root.findall("{urn:trelm:kac}units")
failures = [f"parsed {case.text!r}, expected {expected(unit.text or '')!r}"
            for case, unit in zip(cases, units) if (case.text or "") != expected(unit.text or "")]
if root.tag != "{urn:trelm:kac}cases" or len(cases) != len(units) or len(cases) < 100:
    failures.append(f"root {root.tag!r} with {len(cases)} cases and {len(units)} unit lists")
if root.find("{urn:trelm:p}outer/{urn:trelm:q}inner") is None:
    failures.append("p:outer/q:inner is missing")
print("\n".join(failures) or f"{len(cases)} generated texts parsed back unchanged")
sys.exit(1 if failures else 0)
