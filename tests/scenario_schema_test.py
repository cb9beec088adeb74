#!/usr/bin/env python3
"""scenario_schema_test.py SCHEMA DEMO SCENARIO...: the scenario schema against the loader.

Every scenario the loader accepts (velmora-demo --check exits 0) must pass the schema: the schema
may be looser than the loader, never stricter. Every shipped scenario passes both and names the
schema as its $schema. The samples below are the forms a file may take; for those the loader
refuses, the table says whether the schema catches them too, so a schema that grows looser or
stricter than intended fails here.
"""
import json
import os
import subprocess
import sys
import tempfile

import jsonschema

USER = '"users": [{"id": 1, "gamertag": "A"}]'
ITEM = '{"id": "c1", "productId": "p1", "mediaItemType": %s}'

# (what, JSON text, the loader accepts it, the schema accepts it)
SAMPLES = [
    ("the usual forms", '{%s, "catalog": [%s]}' % (USER, ITEM % '"GameContent"'), True, True),
    ("an enumeration by number", '{"catalog": [%s]}' % (ITEM % "5"), True, True),
    ("a date as ticks", '{"catalog": [{"id": "c", "productId": "p", "mediaItemType": 1, "releaseDate": -5}]}', True, True),
    ("an HRESULT as an integer", '{"faults": [{"call": "IInventoryItem.get_ProductId", "hresult": -2147024891}]}', True, True),
    ("flags as one name", '{%s, "privileges": [{"userId": 1, "privilegeId": 7, "result": "Banned"}]}' % USER, True, True),
    ("flags as a number", '{%s, "privileges": [{"userId": 1, "privilegeId": 7, "result": 9}]}' % USER, True, True),
    ("offer data as an object",
     '{"catalog": [{"id": "c", "productId": "p", "mediaItemType": 1, "availabilities": [{"offerDisplayDataJson": {"a": [1]}}]}]}',
     True, True),
    ("a fractional delay", '{"defaultDelayMs": 2.5}', True, True),
    ("a package of files", '{"packages": [{"packageFullName": "P", "files": {"a/b.txt": "x"}}]}', True, True),
    ("a $schema of its own", '{"$schema": "https://example.com/other.json"}', True, True),
    ("a fixed clock and a saved ledger",
     '{"clock": "2025-06-01T09:00:00Z", "ledger": {"dropped": 2, "entries": [%s, %s]}}'
     % ('{"id": 3, "time": "2025-06-01T09:00:00Z", "userId": 1, "productId": "p", "quantity": 1, "source": "Purchase", '
        '"outcome": "Granted", "transactionId": "00000000-0000-0000-0000-000000000003"}',
        '{"id": 4, "time": 133931916000000000, "userId": 1, "source": 5, "outcome": "Refunded", "refundOf": 3}'),
     True, True),
    ("a redeemed code", '{"catalog": [%s], "redeemCodes": [{"code": "C", "productId": "p1", "redeemed": true}]}'
     % (ITEM % "1"), True, True),
    ("a walkthrough's refund and clock",
     '{%s, "catalog": [%s], "walkthrough": {"userId": 1, "refund": {"productId": "p1"}, '
     '"clock": {"advanceDays": 1.5, "productId": "p1", "expectedState": "Expired"}}}' % (USER, ITEM % "6"), True, True),
    ("a ledger entry of no known source",
     '{"ledger": {"entries": [{"id": 1, "time": 0, "userId": 1, "source": "Gift", "outcome": "Granted"}]}}',
     False, False),
    ("a clock advance of -1 days", '{%s, "walkthrough": {"userId": 1, "clock": {"advanceDays": -1}}}' % USER,
     False, False),
    ("an unknown key", '{"user": []}', False, False),
    ("a required key missing", '{"users": [{"gamertag": "A"}]}', False, False),
    ("a string for an integer", '{"users": [{"id": "1", "gamertag": "A"}]}', False, False),
    ("an integer out of range", '{"users": [{"id": 4294967296, "gamertag": "A"}]}', False, False),
    ("an unknown enumeration name", '{"catalog": [%s]}' % (ITEM % '"GameConsumeable"'), False, False),
    ("a bad HRESULT", '{"faults": [{"call": "IInventoryItem.get_ProductId", "hresult": "0x8007000G"}]}', False, False),
    ("a fault of S_OK", '{"faults": [{"call": "IInventoryItem.get_ProductId", "hresult": "0x0"}]}', False, False),
    ("a fault count of 0", '{"faults": [{"call": "IInventoryItem.get_ProductId", "hresult": "0x80004005", "times": 0}]}', False, False),
    ("a date without Z", '{"catalog": [{"id": "c", "productId": "p", "mediaItemType": 1, "releaseDate": "2024-05-01T00:00:00"}]}',
     False, False),
    ("a bad GUID", '{"packages": [{"packageFullName": "P", "files": {}, "contentGuid": "1234"}]}', False, False),
    ("a relative URL", '{"catalog": [{"id": "c", "productId": "p", "mediaItemType": 1, "images": [{"resizeUrl": "x.png"}]}]}',
     False, False),
    ("both folder and files", '{"packages": [{"packageFullName": "P", "folder": ".", "files": {}}]}', False, False),
    ("a negative delay", '{"defaultDelayMs": -1}', False, False),
    ("an item in state All", '{%s, "inventories": [{"userId": 1, "items": [{"productId": "p", "mediaItemType": 1, "state": "All"}]}]}'
     % USER, False, False),
    # What only the loader sees: duplicates, references between sections, the file system, depth.
    ("a call the emulator never makes", '{"faults": [{"call": "IInventoryItem.get_ProductI", "hresult": "0x80004005"}]}',
     False, True),
    ("an outcome for a call that starts no operation",
     '{"outcomes": [{"call": "IInventoryItem.get_ProductId", "kind": "Cancel"}]}', False, True),
    ("a duplicate user id", '{"users": [{"id": 1, "gamertag": "A"}, {"id": 1, "gamertag": "B"}]}', False, True),
    ("a user not in users", '{"inventories": [{"userId": 9, "items": []}]}', False, True),
    ("a folder that does not exist", '{"packages": [{"packageFullName": "P", "folder": "no-such-folder"}]}', False, True),
    ("a date in month 13", '{"catalog": [{"id": "c", "productId": "p", "mediaItemType": 1, "releaseDate": "2024-13-01T00:00:00Z"}]}',
     False, True),
    ("an enumeration number without a name", '{"catalog": [%s]}' % (ITEM % "99"), False, True),
    ("ledger ids that do not rise", '{"ledger": {"entries": [%s, %s]}}'
     % ('{"id": 2, "time": 0, "userId": 1, "source": "Raised", "outcome": "Notified"}',
        '{"id": 2, "time": 0, "userId": 1, "source": "Raised", "outcome": "Notified"}'), False, True),
    ("a refund that names no entry", '{"ledger": {"entries": [{"id": 1, "time": 0, "userId": 1, '
     '"source": "Refund", "outcome": "Refunded"}]}}', False, True),
    ("a clock before 1601 as ticks", '{"clock": -1}', False, True),
    ("65 nested arrays", '{"catalog": [{"id": "c", "productId": "p", "mediaItemType": 1, "availabilities": '
     '[{"offerDisplayDataJson": %s}]}]}' % ("[" * 60 + "]" * 60), False, True),
]


def loads(demo, path):
    result = subprocess.run([demo, "--check", "--scenario", path], capture_output=True, text=True)
    if result.returncode not in (0, 2):
        sys.exit(f"velmora-demo --check {path} exited {result.returncode}: {result.stderr}")
    return result.returncode == 0


def main():
    schema_path, demo, scenarios = sys.argv[1], sys.argv[2], sys.argv[3:]
    with open(schema_path) as f:
        schema = json.load(f)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    failures = []

    def schema_accepts(text):
        try:
            return validator.is_valid(json.loads(text))
        except ValueError:
            return False

    for path in scenarios:
        with open(path, encoding="utf-8") as f:
            text = f.read()
        name = os.path.relpath(path, os.path.dirname(os.path.dirname(path)))
        loaded = loads(demo, path)
        if loaded and not schema_accepts(text):
            failures.append(f"{name}: the loader accepts it, the schema does not")
        if name.startswith("scenarios/") and not (loaded and json.loads(text).get("$schema") == "./scenario.schema.json"):
            failures.append(f'{name}: a shipped scenario loads and names "./scenario.schema.json" as its $schema')

    with tempfile.TemporaryDirectory() as directory:
        for what, text, loader, schema_verdict in SAMPLES:
            path = os.path.join(directory, "sample.json")
            with open(path, "w") as f:
                f.write(text)
            got = (loads(demo, path), schema_accepts(text))
            if got != (loader, schema_verdict):
                failures.append(f"{what}: loader {'accepts' if got[0] else 'refuses'}, "
                                f"schema {'accepts' if got[1] else 'refuses'}; expected "
                                f"{'accepts' if loader else 'refuses'} and {'accepts' if schema_verdict else 'refuses'}")

    for failure in failures:
        print(failure)
    print(f"{len(scenarios)} scenario files and {len(SAMPLES)} samples checked, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
