#!/usr/bin/env python3
"""Reads the document xml_tags_test wrote and checks, case by case, the elements the tag
writers put into it. Every element of theirs must carry the prefix "kac"; the case
wrappers carry none."""
import sys
import xml.dom.minidom

MARKUP = "a < b && c > \"d\" 'e' </kac:Name> ]]> &amp;"

# case -> the elements the writers produced inside it: (local name, own text, children).
# Empty values and half catalogs write nothing at all.
EXPECTED = {
    "StringEmpty": [],
    "StringNull": [],
    "StringBlank": [("Name", " ", [])],
    "StringMarkup": [("Name", MARKUP, [])],
    "BoolTrue": [("Flag", "true", [])],
    "BoolFalse": [("Flag", "false", [])],
    "IntZero": [("Count", "0", [])],
    "IntNegative": [("Count", "-42", [])],
    "CatalogBoth": [("Message", "", [("CatalogID", "KaCtrl", []), ("MsgNumber", "2", [])])],
    "CatalogNoId": [],
    "CatalogNoNumber": [],
}


def elements(node):
    return [child for child in node.childNodes if child.nodeType == child.ELEMENT_NODE]


def own_text(node):
    return "".join(child.data for child in node.childNodes
                   if child.nodeType in (child.TEXT_NODE, child.CDATA_SECTION_NODE))


def written(node, problems, where):
    """The writer-made tree below node, noting every element without the prefix."""
    tree = []
    for element in elements(node):
        if element.prefix != "kac":
            problems.append(f"{where}: <{element.tagName}> is not under the prefix kac")
        tree.append((element.localName, own_text(element),
                     written(element, problems, f"{where}/{element.localName}")))
    return tree


def main(path):
    document = xml.dom.minidom.parse(path)
    root = document.documentElement
    problems = []
    seen = []
    for case in elements(root):
        name = case.tagName
        seen.append(name)
        if name not in EXPECTED:
            problems.append(f"{name}: a case the table does not know")
            continue
        if own_text(case):
            problems.append(f"{name}: text outside any element: {own_text(case)!r}")
        actual = written(case, problems, name)
        if actual != EXPECTED[name]:
            problems.append(f"{name}: wrote {actual!r}, expected {EXPECTED[name]!r}")
    missing = [name for name in EXPECTED if name not in seen]
    if missing:
        problems.append(f"cases missing from the document: {missing}")
    for problem in problems:
        print(problem)
    print(f"{len(seen)} cases read, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
