"""Adds up the JUnit-style XML files of one test run and prints the total.

   count_results.py RESULTS-FOLDER

A test program run by scripts/run-gtest.sh leaves NAME.expected beside its NAME.xml: the number
of tests it listed. Its result file must exist and hold that many tests; every test it does not
report counts as failed (a program that could not even list its tests counts once)."""
import glob
import os
import sys
import xml.etree.ElementTree as ET


def count_file(path):
    """(passed, failed, skipped, cases) of one result file; None when it cannot be read."""
    try:
        root = ET.parse(path).getroot()
    except (ET.ParseError, OSError):
        return None
    passed = failed = skipped = 0
    for case in root.iter("testcase"):
        if case.find("failure") is not None or case.find("error") is not None:
            failed += 1
        elif case.find("skipped") is not None or case.get("result") == "skipped":
            skipped += 1
        else:
            passed += 1
    return passed, failed, skipped, passed + failed + skipped


def main(folder):
    passed = failed = skipped = 0
    problems = []
    judged = set()
    for expected_path in sorted(glob.glob(os.path.join(folder, "*.expected"))):
        name = os.path.basename(expected_path)[: -len(".expected")]
        xml_path = os.path.join(folder, name + ".xml")
        judged.add(xml_path)
        try:
            listed = int(open(expected_path).read().strip() or "-1")
        except ValueError:
            listed = -1
        counts = count_file(xml_path) if os.path.exists(xml_path) else None
        if counts is None:
            missing = listed if listed > 0 else 1
            problems.append(f"{name}: no readable result file ({missing} tests unreported)")
            failed += missing
            continue
        p, f, s, cases = counts
        passed, failed, skipped = passed + p, failed + f, skipped + s
        if listed <= 0:
            problems.append(f"{name}: listed no tests")
            failed += 1
        elif cases < listed:
            problems.append(f"{name}: reported {cases} of its {listed} tests (died half-way)")
            failed += listed - cases
    for path in sorted(glob.glob(os.path.join(folder, "*.xml"))):
        if path in judged:
            continue
        counts = count_file(path)
        if counts is None:
            problems.append(f"unreadable result file: {path}")
            failed += 1
            continue
        passed, failed, skipped = passed + counts[0], failed + counts[1], skipped + counts[2]
    for problem in problems:
        print(problem)
    line = f"tests: {passed} passed, {failed} failed"
    if skipped:
        line += f", {skipped} skipped"
    print(line)
    return 1 if failed or passed == 0 else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
