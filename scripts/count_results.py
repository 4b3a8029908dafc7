"""Adds up the JUnit-style XML files of one test run and prints the total."""
import glob
import os
import sys
import xml.etree.ElementTree as ET

folder = sys.argv[1]
passed = failed = skipped = 0
for path in sorted(glob.glob(os.path.join(folder, "*.xml"))):
    try:
        root = ET.parse(path).getroot()
    except ET.ParseError:
        print(f"unreadable result file: {path}")
        failed += 1
        continue
    for case in root.iter("testcase"):
        if case.find("failure") is not None or case.find("error") is not None:
            failed += 1
        elif case.find("skipped") is not None or case.get("result") == "skipped":
            skipped += 1
        else:
            passed += 1
# A test program that died before writing its results counts as one failure.
failed_log = os.path.join(folder, "..", "Testing", "Temporary", "LastTestsFailed.log")
if os.path.exists(failed_log):
    for entry in open(failed_log).read().split():
        name = entry.split(":", 1)[-1]
        if not os.path.exists(os.path.join(folder, name + ".xml")):
            print(f"{name}: died without results")
            failed += 1
line = f"tests: {passed} passed, {failed} failed"
if skipped:
    line += f", {skipped} skipped"
print(line)
sys.exit(1 if failed or passed == 0 else 0)
