#!/usr/bin/env python3
"""Prints the one line a test tier ends with: "<tier>: N passed, M failed" (", K skipped" when some
were), counted from the JUnit-style XML that GoogleTest (--gtest_output=xml) and pytest
(--junitxml) write, then one line per failed case with the start of its message, so the end
of a long log still names what failed. Exits non-zero when the tier failed.

    tier_counts.py TIER STATUS RESULT.xml...

STATUS is the exit status of the tier's command. A run that ended badly without a failing test
in its results (a crash, a missing result file) counts as one failure, so a tier never reads
green when its program did not finish.
"""
import pathlib
import sys
import xml.etree.ElementTree as tree


def count(paths):
    counts = {"passed": 0, "failed": 0, "skipped": 0}
    missing, failures = [], []
    for path in paths:
        if not pathlib.Path(path).is_file():
            missing.append(path)
            continue
        for case in tree.parse(path).getroot().iter("testcase"):
            fault = case.find("failure")
            fault = fault if fault is not None else case.find("error")
            if fault is not None:
                counts["failed"] += 1
                text = (fault.get("message") or fault.text or "").strip().splitlines()
                name = ".".join(filter(None, (case.get("classname"), case.get("name"))))
                failures.append(f"  failed: {name}" + (": " + " / ".join(text[:3])[:240] if text else ""))
            elif case.find("skipped") is not None or case.get("result") == "skipped":
                counts["skipped"] += 1
            else:
                counts["passed"] += 1
    return counts, missing, failures


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    tier, status, paths = argv[1], int(argv[2]), argv[3:]
    counts, missing, failures = count(paths)
    notes = [f"no results in {path}" for path in missing]
    if (status != 0 or missing) and counts["failed"] == 0:
        counts["failed"] = 1
        notes.append(f"the run ended with status {status}")
    line = f"{tier}: {counts['passed']} passed, {counts['failed']} failed"
    if counts["skipped"]:
        line += f", {counts['skipped']} skipped"
    if notes:
        line += " (" + "; ".join(notes) + ")"
    print("\n".join([line] + failures))
    return 1 if counts["failed"] else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
