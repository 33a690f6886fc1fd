#!/usr/bin/env python3
"""Judges a full test run from its tiers: each tier's exit status and JUnit XML report (CTest's
or pytest's). Prints one line per tier saying what ran there, the names of every test that
failed or was skipped, and then the closing line alone: N passed, N failed.

usage: summarize.py TIERS_FILE [--host TEXT --runs-32bit 0|1]
TIERS_FILE has one line per tier, fields separated by tabs: name, exit status, description (how
the tier runs), then its reports: NAME.xml, or NAME.LABEL.xml for the tests of one label (what
they cover: portable, windows, fuzz; "unlabelled" for none).

In a full run nothing may be skipped: a skipped test counts as failed (a program or tool that
is no longer built must not turn into a quiet pass). A tier that exited non-zero without a
failing test in its report, a missing or unreadable report, and a tier that ran no test each
count as one failure more.

The closing line counts each test once. The portable tests run natively, under ASan+UBSan and
under Wine, and the Windows-side tests under Wine 32- and 64-bit: the tier lines say how often
each ran; a test counts as passed only when it passed in every tier that ran it. CTest names a
test "<preset>.Suite.Case": a labelled test is the same test in every tier where its label and
the name after the preset match. Exit status 1 on any failure.

With --host, one line says which builds the Wine tiers ran and why: where the host runs no
32-bit code, the 64-bit builds alone, with the number of static checks of the 32-bit images
(tier images32)."""
import os
import sys
import xml.etree.ElementTree as ET
from collections import OrderedDict

PASSED, FAILED, SKIPPED = "passed", "failed", "skipped"

# What a label stands for in the tier lines.
LABEL_TEXT = {"portable": "portable core", "windows": "Windows side", "fuzz": "fuzz targets"}


def case_outcome(case):
    status = case.get("status", "")
    if case.find("failure") is not None or case.find("error") is not None or status == "fail":
        return FAILED
    if case.find("skipped") is not None or status in ("notrun", "disabled"):
        return SKIPPED
    return PASSED


def report_label(tier, path):
    """"portable" for <tier>.portable.xml; "" for <tier>.xml and <tier>.unlabelled.xml."""
    stem = os.path.basename(path)[:-len(".xml")] if path.endswith(".xml") else os.path.basename(path)
    label = stem[len(tier) + 1:] if stem.startswith(tier + ".") else ""
    return "" if label == "unlabelled" else label


def read_report(path, label):
    """Answers [(key, shown name, label, outcome)] of one JUnit report."""
    cases = []
    for case in ET.parse(path).getroot().iter("testcase"):
        name = case.get("name", "")
        classname = case.get("classname", "")
        if label:
            # CTest: "<preset>.Suite.Case"; the same test in another preset has the same rest.
            key = label + ":" + name.split(".", 1)[-1]
            shown = name
        else:
            shown = f"{classname}.{name}" if classname and classname != name else name
            key = shown
        cases.append((key, shown, label, case_outcome(case)))
    return cases


def parse_tiers(path):
    tiers = []
    with open(path, encoding="utf-8") as lines:
        for line in lines:
            line = line.rstrip("\n")
            if not line:
                continue
            name, status, description, *reports = line.split("\t")
            tiers.append((name, int(status or 1), description, reports))
    return tiers


def counts_text(outcomes):
    passed = outcomes.count(PASSED)
    failed = outcomes.count(FAILED)
    skipped = outcomes.count(SKIPPED)
    text = f"{passed} passed"
    if failed:
        text += f", {failed} failed"
    if skipped:
        text += f", {skipped} skipped"
    return text


def builds_line(host, runs_32bit, static_checks):
    if runs_32bit:
        return (f"{host}: both builds ran (win32 and win64, e2e-32 and e2e-64); "
                f"32-bit images also checked statically ({static_checks} checks)")
    return (f"{host}: their tests ran against the 64-bit builds; "
            f"32-bit images checked statically ({static_checks} checks)")


def main(argv):
    host = None
    runs_32bit = False
    if len(argv) == 5 and argv[1] == "--host" and argv[3] == "--runs-32bit" and argv[4] in ("0", "1"):
        host, runs_32bit = argv[2], argv[4] == "1"
    elif len(argv) != 1:
        print("usage: summarize.py TIERS_FILE [--host TEXT --runs-32bit 0|1]", file=sys.stderr)
        return 2
    results = OrderedDict()  # key -> worst outcome over every tier
    extra_failures = []
    static_checks = 0
    for name, status, description, reports in parse_tiers(argv[0]):
        cases, details, unread = [], [], 0
        for report in reports or ["(none)"]:
            try:
                cases += read_report(report, report_label(name, report))
            except (OSError, ET.ParseError) as error:
                details.append(f"  FAILED {name}: no report ({error})")
                unread += 1
        extra_failures += [name] * unread
        by_label = OrderedDict()
        for key, shown, label, outcome in cases:
            by_label.setdefault(label, []).append(outcome)
            if outcome != PASSED:
                details.append(f"  {outcome.upper()} {name}: {shown}")
            if results.get(key) in (None, PASSED):
                results[key] = outcome
        if name == "images32":
            static_checks = sum(1 for *_, outcome in cases if outcome == PASSED)
        if len(by_label) == 1 and "" in by_label:
            ran = counts_text(by_label[""])
        else:
            ran = "; ".join(f"{LABEL_TEXT.get(label, label or 'unlabelled')} {counts_text(outcomes)}"
                            for label, outcomes in by_label.items())
        print(f"{name} ({description}): {ran if cases else 'no test ran'}"
              + (f"; exit status {status}" if status else ""))
        for line in details:
            print(line)
        if not cases and not unread:
            print(f"  FAILED {name}: no test ran")
            extra_failures.append(name)
        elif status and not unread and not any(outcome == FAILED for *_, outcome in cases):
            # The tier failed in a way its reports do not show (a crash between tests, a test
            # program that did not start): one failure, so that the run cannot pass.
            print(f"  FAILED {name}: exit status {status} with no failing test in its reports")
            extra_failures.append(name)
    if host is not None:
        print(builds_line(host, runs_32bit, static_checks))
    outcomes = list(results.values())
    passed = outcomes.count(PASSED)
    failed = len(outcomes) - passed + len(extra_failures)
    if outcomes.count(SKIPPED):
        print(f"{outcomes.count(SKIPPED)} skipped: a full run counts them as failed")
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
