#!/usr/bin/env python3
"""Reads the document katek_xml_test wrote with an XML parser of its own and checks that
every hostile text comes back as the writer promised (escaped, not lost or changed)."""
import sys
import xml.etree.ElementTree as ElementTree

KAC = "{urn:trelm:kac}"

# The same cases as HostileCases() in katek_xml_test.cpp, as a parser must give them back:
# characters XML cannot carry come back as U+FFFD, everything else unchanged.
EXPECTED = [
    ("markup", "a<b>&c</b>"),
    ("quotes", "\"double\" 'single'"),
    ("cdata end", "]]>"),
    ("line ends", "tab\there\r\nnext\rlast\n"),
    ("controls", "\ufffdx\ufffd\x7f\ufffd"),
    ("nul", "nul\ufffdend"),
    ("non-ascii", "\u00e9\u00df \u6f22\u5b57 \U0001F600"),
    ("lone surrogates", "\ufffdx\ufffd\ufffd"),
    ("non-characters", "\ufffd\ufffd\ufffd"),
    ("entity lookalike", "&amp; &#60; &lt;"),
    ("blanks", "  "),
    ("empty", ""),
]


def check(path):
    failures = []
    root = ElementTree.parse(path).getroot()
    if root.tag != KAC + "cases":
        failures.append(f"root element is {root.tag!r}")
    cases = root.findall(KAC + "case")
    if len(cases) != len(EXPECTED):
        failures.append(f"{len(cases)} case elements, expected {len(EXPECTED)}")
    for element, (label, expected) in zip(cases, EXPECTED):
        if (element.text or "") != expected:
            failures.append(f"{label}: parsed {element.text!r}, expected {expected!r}")
    inner = root.find("{urn:trelm:p}outer/{urn:trelm:q}inner")
    if inner is None or inner.text != "\u00e9":
        failures.append("the nested p:outer/q:inner element is missing or wrong")
    return failures


def main():
    failures = check(sys.argv[1])
    for failure in failures:
        print("katek_xml_check:", failure)
    if not failures:
        print(f"katek_xml_check: {len(EXPECTED)} hostile texts parsed back unchanged")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
