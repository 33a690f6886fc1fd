#!/usr/bin/env python3
"""Adds up JUnit XML reports (CTest's and pytest's) into one closing line: N passed, N failed.

usage: summarize.py REPORT.xml ...   Exit status 1 when anything failed or a report is missing."""
import sys
import xml.etree.ElementTree as ET


def count(path):
    passed = failed = skipped = 0
    failures = []
    root = ET.parse(path).getroot()
    for case in root.iter("testcase"):
        name = case.get("classname", "") + "." + case.get("name", "")
        status = case.get("status", "")
        if case.find("failure") is not None or case.find("error") is not None or status == "fail":
            failed += 1
            failures.append(name)
        elif case.find("skipped") is not None or status in ("notrun", "disabled"):
            skipped += 1
        else:
            passed += 1
    return passed, failed, skipped, failures


def main(paths):
    total_passed = total_failed = total_skipped = 0
    missing = []
    for path in paths:
        try:
            passed, failed, skipped, failures = count(path)
        except (OSError, ET.ParseError) as error:
            missing.append(f"{path}: {error}")
            continue
        print(f"{path}: {passed} passed, {failed} failed, {skipped} skipped")
        for name in failures:
            print(f"  FAILED {name}")
        total_passed += passed
        total_failed += failed
        total_skipped += skipped
    for line in missing:
        print(f"missing report {line}")
    if missing:
        total_failed += len(missing)
    line = f"{total_passed} passed, {total_failed} failed"
    if total_skipped:
        line += f", {total_skipped} skipped"
    print(line)
    return 1 if total_failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
