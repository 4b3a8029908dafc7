"""Each area of a program keeps its resources in a fragment of its own (lang/<program>/*.rc with
ids in lang/ids/*.h); the resource compiler keeps one of two strings or dialogs that share an
id without a word. No two fragments of one program may use one id."""
import pathlib
import re

import pytest

LANG = pathlib.Path(__file__).resolve().parents[2] / "lang"


def numeric_ids():
    ids = {}
    for header in sorted(LANG.glob("**/*.h")):
        for name, value in re.findall(r"^#define\s+(\w+)\s+(\d+)", header.read_text(errors="replace"), re.M):
            ids.setdefault(name, int(value))
    return ids


def resources(program):
    """(kind, id) -> [(fragment, name)] of a program's main .rc and its fragments."""
    ids, found = numeric_ids(), {}
    for path in [LANG / (program + ".rc")] + sorted((LANG / program).glob("*.rc")):
        text = path.read_text(errors="replace")
        entries = [("DIALOG", name) for name in re.findall(r"^(\w+)\s+DIALOG(?:EX)?\b", text, re.M)]
        for table in re.findall(r"STRINGTABLE.*?BEGIN(.*?)\nEND", text, re.S):
            entries += [("STRING", name) for name in re.findall(r'^\s*(\w+)\s*,?\s*"', table, re.M)]
        for kind, name in entries:
            number = int(name) if name.isdigit() else ids.get(name)
            if number is not None:
                found.setdefault((kind, number), []).append((path.name, name))
    return found


@pytest.mark.parametrize("program", sorted(p.stem for p in LANG.glob("*.rc") if (LANG / p.stem).is_dir()))
def test_no_two_resources_share_an_id(program):
    shared = {key: where for key, where in resources(program).items() if len(where) > 1}
    assert not shared
