"""The test command's judge: a test program counts by its own result file, and one that died
half-way (even with exit status 0, as under 64-bit Wine) counts as failed."""
import os
import pathlib
import subprocess
import sys

import pytest

from clientlib import BUILD, ROOT

RUN_GTEST = ROOT / "scripts" / "run-gtest.sh"
COUNT = ROOT / "scripts" / "count_results.py"
PROGRAM = BUILD / "bin" / "crash_halfway.exe"


def count(folder):
    proc = subprocess.run([sys.executable, str(COUNT), str(folder)], capture_output=True, text=True, timeout=60)
    return proc.returncode, proc.stdout.strip().splitlines()


@pytest.mark.parametrize("crash, runner_rc, total", [
    (False, 0, "tests: 3 passed, 0 failed"),
    (True, 1, "tests: 0 passed, 3 failed"),
])
def test_a_program_that_dies_half_way_fails(tmp_path, crash, runner_rc, total):
    env = dict(os.environ)
    env.pop("VGL_CRASH_HALFWAY", None)
    if crash:
        env["VGL_CRASH_HALFWAY"] = "1"
    result = tmp_path / "crash_halfway_tests.xml"
    proc = subprocess.run(["bash", str(RUN_GTEST), str(BUILD / "wine-run"), str(PROGRAM), str(result)],
                          env=env, stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=300)
    assert proc.returncode == runner_rc, proc.stdout + proc.stderr
    rc, lines = count(tmp_path)
    assert lines and lines[-1] == total
    assert rc == (1 if crash else 0)


def test_short_missing_and_unlisted_results_count_as_failures(tmp_path):
    case = '<testcase name="t%d" classname="s"/>'
    (tmp_path / "short.expected").write_text("3\n")
    (tmp_path / "short.xml").write_text("<testsuites><testsuite>" + case % 1 + "</testsuite></testsuites>")
    (tmp_path / "missing.expected").write_text("5\n")
    (tmp_path / "unlisted.expected").write_text("-1\n")
    (tmp_path / "empty.expected").write_text("2\n")
    (tmp_path / "empty.xml").write_text("")
    (tmp_path / "e2e.xml").write_text("<testsuites><testsuite>" + case % 1 + case % 2 + "</testsuite></testsuites>")
    rc, lines = count(tmp_path)
    assert rc == 1
    # short: 1 passed, 2 unreported; missing: 5; unlisted: 1; empty: 2; e2e: 2 passed.
    assert lines[-1] == "tests: 3 passed, 10 failed"
    assert any(line.startswith("short: reported 1 of its 3 tests") for line in lines)
