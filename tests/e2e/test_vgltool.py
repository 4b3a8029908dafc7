"""vgltool.exe run whole under Wine: what a script or the demo server sees."""
import os
import pathlib
import subprocess

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
BUILD = pathlib.Path(os.environ.get("VGL_BUILD", ROOT / "build"))
DATA = ROOT / "supportlib" / "tests" / "data"


def win(path):
    return "Z:" + str(path)


def vgltool(tmp_path, *args):
    """Runs the tool; output goes through files so no pipe can keep us waiting."""
    out, err = tmp_path / "stdout", tmp_path / "stderr"
    with open(out, "wb") as fo, open(err, "wb") as fe:
        rc = subprocess.run([str(BUILD / "wine-run"), str(BUILD / "bin" / "vgltool.exe"), *args],
                            stdin=subprocess.DEVNULL, stdout=fo, stderr=fe, timeout=120).returncode
    return rc, out.read_bytes(), err.read_bytes()


@pytest.mark.parametrize("args, rc, stdout", [
    (["md5", "abc"], 0, b"900150983cd24fb0d6963f7d28e17f72\n"),
    (["md5", ""], 0, b"d41d8cd98f00b204e9800998ecf8427e\n"),
    (["b64enc", "foobar"], 0, b"Zm9vYmFy\n"),
    (["b64dec", "Zm9vYg=="], 0, b"foob\n"),
    (["b64dec", "Zm9v!"], 1, b""),
    (["uncrypt", "no marker"], 1, b""),
    (["unkeyhex", "0G"], 1, b""),
    (["md5"], 2, b""),
    (["nosuchcommand", "x"], 2, b""),
    ([], 2, b""),
])
def test_text_commands(tmp_path, args, rc, stdout):
    got_rc, out, err = vgltool(tmp_path, *args)
    assert (got_rc, out) == (rc, stdout)
    if rc == 2:
        assert b"usage: vgltool" in err


def test_file_input_and_scrambling_round_trips(tmp_path):
    body = bytes(range(256)) * 5
    (tmp_path / "body.bin").write_bytes(body)
    rc, out, _ = vgltool(tmp_path, "b64enc", "-f", win(tmp_path / "body.bin"))
    assert rc == 0
    (tmp_path / "coded.txt").write_bytes(out)
    assert vgltool(tmp_path, "b64dec", "-f", win(tmp_path / "coded.txt"),
                   "-o", win(tmp_path / "back.bin"))[0] == 0
    assert (tmp_path / "back.bin").read_bytes() == body

    for forward, backward in (("crypt", "uncrypt"), ("keyhex", "unkeyhex")):
        rc, coded, _ = vgltool(tmp_path, forward, "Pass word 1!")
        assert rc == 0 and coded.strip()
        assert vgltool(tmp_path, backward, coded.decode().strip()) == (0, b"Pass word 1!\n", b"")
    assert vgltool(tmp_path, "crypt", "x")[1].startswith(b"!CRYPT!")


def test_sign_and_verify(tmp_path):
    # Signatures are deterministic: signing the fixture's body again gives the fixture.
    signed = (DATA / "signed.bin").read_bytes()
    (tmp_path / "body.bin").write_bytes(signed[:2345])
    rc, _, err = vgltool(tmp_path, "sign", win(DATA / "testkey.pem"),
                         win(tmp_path / "body.bin"), win(tmp_path / "out.bin"))
    assert rc == 0 and b"does not accept" in err
    assert (tmp_path / "out.bin").read_bytes() == signed
    # The program trusts the build's key only, not the tests' key.
    assert vgltool(tmp_path, "verify", win(tmp_path / "out.bin"))[:2] == (1, b"0\n")
    build_key = (BUILD / "signing-key.txt").read_text().strip()
    rc, _, err = vgltool(tmp_path, "sign", win(build_key), win(tmp_path / "body.bin"),
                         win(tmp_path / "mine.bin"))
    assert (rc, err) == (0, b"")
    assert vgltool(tmp_path, "verify", win(tmp_path / "mine.bin"))[:2] == (0, b"1\n")

    assert vgltool(tmp_path, "verify", win(DATA / "block-type2.bin"))[:2] == (1, b"0\n")
    assert vgltool(tmp_path, "verify", win(tmp_path / "missing.bin"))[:2] == (1, b"-1\n")
    rc, _, err = vgltool(tmp_path, "sign", win(tmp_path / "body.bin"),
                         win(tmp_path / "body.bin"), win(tmp_path / "x.bin"))
    assert rc == 1 and b"no PEM private key" in err
