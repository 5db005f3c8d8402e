#!/usr/bin/env python3
"""Parses each JSON document that kacutil wrote in kacutil_test with Python's own parser:
one object, no key twice, holding the values the test expected (which it also found in
kacutil's human output), a boolean as a boolean and a number as a number."""
import json
import sys


def unique_keys(pairs):
    keys = [key for key, _ in pairs]
    if len(keys) != len(set(keys)):
        raise ValueError(f"a key twice among {keys}")
    return dict(pairs)


def holds(document, expected):
    if isinstance(expected, dict):
        return isinstance(document, dict) and all(
            key in document and holds(document[key], value) for key, value in expected.items())
    return type(document) is type(expected) and document == expected


failures, count = [], 0
for path in sys.argv[1:]:
    with open(path, encoding="utf-8") as records:
        for line in records:
            record = json.loads(line)
            count += 1
            try:
                document = json.loads(record["document"], object_pairs_hook=unique_keys)
            except ValueError as error:
                failures.append(f"{path}: {record['document']!r}: {error}")
                continue
            if not isinstance(document, dict) or not holds(document, record["expected"]):
                failures.append(f"{path}: {document!r} does not hold {record['expected']!r}")
if count < 15:
    failures.append(f"only {count} documents in {sys.argv[1:]}")
print("\n".join(failures) or f"{count} kacutil JSON documents parsed back with the values expected")
sys.exit(1 if failures else 0)
