"""The file-based database: the libraries under Wine, the vgldb tool, two clients on two
"PCs" (two Wine prefixes) sharing one master folder, and clients killed in the middle of
their writes. The files are read back with Python's own SQLite module as well: any standard
tool reads them."""
import os
import pathlib
import re
import signal
import sqlite3
import subprocess
import time

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
BUILD = pathlib.Path(os.environ.get("VGL_BUILD", ROOT / "build"))
SECOND = BUILD / "second"


def win(path):
    return "Z:" + str(path).replace("/", "\\")


def env_for(prefix):
    env = dict(os.environ)
    if prefix is not None:
        env["VGL_WINEPREFIX"] = str(prefix)
    return env


def vgldb(tmp_path, *args, prefix=None):
    """Runs the tool to the end; output through files so no pipe keeps us waiting."""
    out, err = tmp_path / "stdout", tmp_path / "stderr"
    with open(out, "wb") as fo, open(err, "wb") as fe:
        rc = subprocess.run([str(BUILD / "wine-run"), str(BUILD / "bin" / "vgldb.exe"), *args],
                            stdin=subprocess.DEVNULL, stdout=fo, stderr=fe, timeout=300,
                            env=env_for(prefix)).returncode
    return rc, out.read_text(errors="replace"), err.read_text(errors="replace")


def start_vgldb(out, *args, prefix=None):
    fo = open(out, "wb")
    process = subprocess.Popen([str(BUILD / "wine-run"), str(BUILD / "bin" / "vgldb.exe"), *args],
                               stdin=subprocess.DEVNULL, stdout=fo, stderr=subprocess.STDOUT,
                               env=env_for(prefix), start_new_session=True)
    process.out_file = fo
    return process


@pytest.fixture(scope="module")
def second_prefix():
    """A second "PC": a Wine prefix of its own, with a wineserver of its own."""
    subprocess.run(["bash", str(ROOT / "scripts" / "setup.sh"), str(SECOND)], check=True,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, timeout=600)
    prefix = SECOND / "wineprefix"
    server = subprocess.Popen(["wineserver", "-p", "-f"], env={**os.environ, "WINEPREFIX": str(prefix)},
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, start_new_session=True)
    yield prefix
    subprocess.run(["wineserver", "-k"], env={**os.environ, "WINEPREFIX": str(prefix)}, timeout=60)
    try:
        server.wait(10)
    except subprocess.TimeoutExpired:
        server.kill()


@pytest.fixture
def master(tmp_path):
    folder = tmp_path / "master"
    rc, _, err = vgldb(tmp_path, "init", win(folder))
    assert rc == 0, err
    return folder


def rows(master, folder, table, where=""):
    db = sqlite3.connect(str(master / "FILEDB" / folder / f"{table}.db"))
    db.row_factory = sqlite3.Row
    try:
        return [dict(r) for r in db.execute(f"SELECT * FROM {table} {where}")]
    finally:
        db.close()


def test_the_tool_sets_lists_and_removes_records_as_the_server_would(tmp_path, master):
    guid = "6B29FC40-CA47-1067-B31D-00DD010662DA"
    rc, _, err = vgldb(tmp_path, "set", win(master), "MS", guid, "VirusFoundAction=2",
                       "ExtList=.EXE,.COM", "MoveDir=C:\\Quarantine")
    assert rc == 0, err
    rc, _, err = vgldb(tmp_path, "set", win(master), "ManualScanCfg", guid.lower(), "ScanMemory=1")
    assert rc == 0, err
    rc, out, _ = vgldb(tmp_path, "list", win(master), "ms")
    assert rc == 0
    assert out.count("\n") == 1
    assert "VIRUSFOUNDACTION=2\t" in out and "EXTLIST=.EXE,.COM\t" in out and "SCANMEMORY=1\t" in out
    # Python's SQLite module reads the same record.
    [record] = rows(master, "Config", "ManualScanCfg")
    assert (record["GUID"], record["VIRUSFOUNDACTION"], record["MOVEDIR"]) == (guid, 2, "C:\\Quarantine")

    rc, _, err = vgldb(tmp_path, "add", win(master), "SNL", guid, "Virus=EICAR", "FirstAction=5")
    assert rc == 0, err
    rc, out, _ = vgldb(tmp_path, "list", win(master), "ScanNowLog", guid)
    assert out.startswith("ID=1\tGUID=" + guid) and "VIRUS=EICAR" in out

    # Wrong use is refused with a plain message and nothing written.
    assert vgldb(tmp_path, "set", win(master), "MS", guid, "NoSuchField=1")[0] == 2
    assert vgldb(tmp_path, "set", win(master), "SNL", guid, "Virus=X")[0] == 2
    assert vgldb(tmp_path, "set", win(master), "MS", guid, "ExtList=" + "x" * 300)[0] == 2
    assert vgldb(tmp_path, "list", win(master), "nosuchtable")[0] == 2
    rc, _, err = vgldb(tmp_path, "list", win(tmp_path / "nowhere"), "MS")
    assert rc == 1 and "error -2" in err

    assert vgldb(tmp_path, "remove", win(master), "MS", guid)[0] == 0
    assert vgldb(tmp_path, "remove", win(master), "SNL", guid)[0] == 0
    assert rows(master, "Config", "ManualScanCfg") == [] and rows(master, "Log", "ScanNowLog") == []
    rc, _, err = vgldb(tmp_path, "remove", win(master), "MS", guid)
    assert rc == 1 and "error -8" in err


def check_whole(master, guid):
    """Every record of the writer is whole: each field carries its round's number. Returns
    the rounds of its log records, the client-information and the event round."""
    logs = rows(master, "Log", "RealtimeScanLog", f"WHERE GUID = '{guid}' ORDER BY ID")
    rounds = []
    for r in logs:
        n = r["FIRSTACTION"]
        assert (r["LOGIN"], r["DATE"], r["TIME"], r["VIRUS"], r["FILE"], r["COMPRESSEDFILE"],
                r["DIRECTORY"], r["FIRSTRESULT"], r["SECONDACTION"], r["SECONDRESULT"]) == \
            (str(n), "%08d" % n, "%06d" % n, f"Load.{n}", f"file{n}.exe", f"file{n}.exe",
             f"C:\\round\\{n}\\", n, n, n), r
        rounds.append(n)
    info = rows(master, "Data", "ClientInfo", f"WHERE GUID = '{guid}'")
    event = rows(master, "Data", "ClientEvent", f"WHERE GUID = '{guid}'")
    info_round = event_round = 0
    if info:
        n = info[0]["PATTERNVERSION"]
        assert (info[0]["COMPUTERNAME"], info[0]["PLATFORM"], info[0]["PROGRAMVERSION"],
                info[0]["ALLOWUNLOAD"]) == (f"PC-{n}", str(n), float(n), n)
        info_round = n
    if event:
        n = event[0]["ONLINE"]
        assert all(event[0][f"DATE{s}"] == "%08d" % n and event[0][f"TIME{s}"] == "%06d" % n
                   for s in range(11))
        event_round = n
    return rounds, info_round, event_round


def test_two_pcs_sharing_the_folder_lose_nothing(tmp_path, master, second_prefix):
    count = 300
    guids = ["AAAAAAAA-0000-0000-0000-000000000001", "BBBBBBBB-0000-0000-0000-000000000002"]
    # Both Wine prefixes up, so the two writers start together.
    for prefix in (None, second_prefix):
        assert vgldb(tmp_path, "tables", prefix=prefix)[0] == 0
    writers = [start_vgldb(tmp_path / f"writer{i}.out", "load", win(master), guid, str(count),
                           prefix=prefix)
               for i, (guid, prefix) in enumerate(zip(guids, (None, second_prefix)))]
    for writer in writers:
        assert writer.wait(300) == 0, (tmp_path / "writer0.out").read_text()[-500:]
        writer.out_file.close()

    for guid in guids:
        rounds, info_round, event_round = check_whole(master, guid)
        assert rounds == list(range(1, count + 1))
        assert info_round == event_round == count
    # The two wrote at the same time: their log records interleave.
    ids = {g: [r["ID"] for r in rows(master, "Log", "RealtimeScanLog", f"WHERE GUID = '{g}'")] for g in guids}
    assert min(ids[guids[0]]) < max(ids[guids[1]]) and min(ids[guids[1]]) < max(ids[guids[0]])
    rc, out, _ = vgldb(tmp_path, "check", win(master))
    assert rc == 0, out
    # Figures for the report: each writer's own time.
    for i in range(2):
        print((tmp_path / f"writer{i}.out").read_text().splitlines()[-1])


def test_a_client_killed_while_writing_leaves_whole_records(tmp_path, master, second_prefix):
    guid = "CCCCCCCC-0000-0000-0000-000000000003"
    done = 0
    for attempt, kill_after in enumerate((20, 45, 70)):
        out = tmp_path / f"killed{attempt}.out"
        writer = start_vgldb(out, "load", win(master), guid, "100000", prefix=second_prefix)
        deadline = time.time() + 120
        while time.time() < deadline:
            rounds = re.findall(r"round (\d+)", out.read_text(errors="replace"))
            if rounds and int(rounds[-1]) >= kill_after:
                break
            time.sleep(0.01)
        os.killpg(writer.pid, signal.SIGKILL)
        writer.wait(30)
        writer.out_file.close()

        # The libraries find the files sound (rolling back a half-done write), and every
        # record is whole: nothing half written, nothing of a finished round lost.
        rc, report, _ = vgldb(tmp_path, "check", win(master))
        assert rc == 0, report
        rounds, info_round, event_round = check_whole(master, guid)
        done_before = done
        # Each run starts again at round 1.
        rounds_this_run = rounds[done_before:]
        assert rounds_this_run == list(range(1, len(rounds_this_run) + 1))
        assert len(rounds_this_run) >= kill_after
        assert info_round >= event_round >= len(rounds_this_run) >= info_round - 1
        done = len(rounds)

    # The database takes new writes after the kills.
    rc, _, err = vgldb(tmp_path, "set", win(master), "CI", guid, "AllowUninstall=1")
    assert rc == 0, err
    assert rows(master, "Data", "ClientInfo", f"WHERE GUID = '{guid}'")[0]["ALLOWUNINSTALL"] == 1
