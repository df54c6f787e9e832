#!/usr/bin/env python3
"""Reads the report of the Windows test program and passes when each
named test suite ran at least one test and none of them failed.

    check_report.py REPORT.xml Suite[,Suite...]

Prints every test of those suites with its outcome, and the messages of
the failures, so that ctest's view of a group names the failing test. A
missing or unreadable report fails every group: the program crashed or
hung before it could write it.
"""
import sys
import xml.etree.ElementTree as ElementTree


def main(report, suites):
    try:
        # Failure messages quote Shift_JIS bytes, which are no UTF-8.
        with open(report, "rb") as file:
            text = file.read().decode("utf-8", errors="replace")
        root = ElementTree.fromstring(text.encode("utf-8"))
    except (OSError, ElementTree.ParseError) as error:
        print(f"no report from the Windows test program ({error}): it did not finish")
        return 1
    by_name = {suite.get("name"): suite for suite in root.iter("testsuite")}
    status = 0
    for name in suites:
        suite = by_name.get(name)
        if suite is None or not suite.findall("testcase"):
            print(f"FAILED {name}: no test of this suite ran")
            status = 1
            continue
        for case in suite.findall("testcase"):
            failures = case.findall("failure") + case.findall("error")
            skipped = case.find("skipped") is not None or case.get("result") == "skipped"
            outcome = "FAILED" if failures else "skipped" if skipped else "passed"
            print(f"{outcome:7} {name}.{case.get('name')} ({case.get('time')} s)")
            for failure in failures:
                print("    " + (failure.get("message") or failure.text or "").replace("\n", "\n    "))
            if failures:
                status = 1
    return status


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2].split(",")))
