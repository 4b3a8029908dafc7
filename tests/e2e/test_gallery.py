"""The gallery of controls and dialogs under Wine, page by page.

Each page of tools/gallery runs on the virtual display until the test closes it. The test
checks the window tree the page shows (wintest tree: classes, ids, texts, visible and enabled
states, positions, the rows of list boxes); the screenshot is kept under $VGL_BUILD/artifacts/
for a person to look at.
"""
import os
import subprocess
import time

import pytest

from clientlib import WM_CLOSE, parse_tree, screenshot, wintest

BUILD = os.environ.get("VGL_BUILD", "")
DISPLAY = os.environ.get("DISPLAY", "")
WINE_RUN = os.path.join(BUILD, "wine-run")
GALLERY = os.path.join(BUILD, "bin", "gallery.exe")
ARTIFACTS = os.path.join(BUILD, "artifacts")

pytestmark = pytest.mark.skipif(not (BUILD and DISPLAY and os.path.exists(GALLERY)),
                                reason="needs VGL_BUILD, DISPLAY and the built gallery")


def find(tree, cls=None, id=None, text=None, parent=None):
    """The first window of a tree with this class (any case), id, text and parent; None."""
    for w in tree:
        if ((cls is None or w["class"].lower() == cls.lower()) and (id is None or w["id"] == id)
                and (text is None or w["text"] == text) and (parent is None or w["parent"] == parent)):
            return w
    return None


def shown(tree, cls, id, text=None, enabled=True):
    """The window of this class and id, checked to be visible (and enabled or not)."""
    w = find(tree, cls=cls, id=id, text=text)
    assert w is not None, f"no {cls} #{id} {text or ''}"
    assert w["visible"] and w["enabled"] == enabled, w
    return w


def wait_shown(caption, timeout=30):
    """The handle of the visible top-level window of that caption."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        found = wintest("wait", "-", caption, int((deadline - time.time()) * 1000) + 1, timeout=timeout + 30)
        shown_now = [line.split()[0] for line in found if line.endswith(" 1")]
        if shown_now:
            return shown_now[0]
        time.sleep(0.2)
    raise AssertionError(f"no visible window {caption!r}")


def left(w):
    return w["rect"][0]


def top(w):
    return w["rect"][1]


def width(w):
    return w["rect"][2] - w["rect"][0]


def height(w):
    return w["rect"][3] - w["rect"][1]


def check_controls(trees):
    tree = trees[0]
    pictures = [shown(tree, "Static", i) for i in (1000, 1001, 1002)]
    assert len({top(p) for p in pictures}) == 1 and left(pictures[0]) < left(pictures[1]) < left(pictures[2])
    shown(tree, "Button", 1005)
    shown(tree, "Static", 1006, "Scanning C:\\")
    bar, bar_v = shown(tree, "msctls_progress32", 1007), shown(tree, "msctls_progress32", 1008)
    assert width(bar) > height(bar) and height(bar_v) > width(bar_v)
    assert top(bar) > top(pictures[0])
    listview = shown(tree, "SysListView32", 1009)
    assert find(tree, cls="SysHeader32", parent=listview["hwnd"])["visible"]
    shown(tree, "SysTabControl32", 1010)
    shown(tree, "Static", 32767, "Excluded files and folders")
    entries = shown(tree, "ListBox", 1011)
    assert entries["rows"] == ["C:\\WINDOWS\\TEMP\\", "*.TMP", "D:\\ARCHIVE\\", ""]
    assert left(shown(tree, "SysTreeView32", 1012)) >= entries["rect"][2]


def check_dialogs(trees):
    host, progress, extensions, add = trees
    assert not host[0]["enabled"]            # the progress dialog disables its owner
    shown(progress, "Static", 1227, "Downloading the mail-scan utility...")
    shown(progress, "msctls_progress32", 1245)
    shown(progress, "Static", 1228, "37%")
    shown(progress, "Button", 2, "Cancel")
    shown(extensions, "SysListView32", 1166)
    shown(extensions, "Button", 1167, "&Add...")
    shown(extensions, "Button", 1168, "&Remove", enabled=False)   # no row selected
    shown(extensions, "Button", 1169, "&Default")
    shown(add, "Edit", 1168)
    shown(add, "Button", 1, "OK")


def check_sheet(trees):
    tree = trees[0]
    page = find(tree, cls="#32770", text="Manual Scan", parent=tree[0]["hwnd"])
    assert page and page["visible"]
    shown(tree, "Button", 10, "Scan compressed files")
    shown(tree, "Button", 11, "Scan all files")
    shown(tree, "Button", 1, "OK")
    shown(tree, "Button", 12321, "&Apply", enabled=False)
    shown(tree, "SysTabControl32", 12320)


def check_folder(trees):
    tree = trees[0]
    ok, cancel = shown(tree, "Button", 1, "Select"), shown(tree, "Button", 2, "Cancel")
    assert top(ok) == top(cancel) and ok["rect"][2] == left(cancel) - 4
    for hidden in (1152, 1090, 1136, 1089):
        assert not find(tree, id=hidden, parent=tree[0]["hwnd"])["visible"], hidden
    assert find(tree, cls="SysListView32")["visible"]


# page, the captions of its windows (the first ends the page when closed), their check
PAGES = [
    ("controls", ["Gallery: controls"], check_controls),
    ("dialogs", ["Gallery: dialogs", "Progress", "File Extensions", "Add Extension"], check_dialogs),
    ("sheet", ["Gallery: options"], check_sheet),
    ("folder", ["Select Folder"], check_folder),
]


@pytest.mark.parametrize("page,captions,check", PAGES, ids=[p[0] for p in PAGES])
def test_gallery_page_shows_its_windows(page, captions, check):
    os.makedirs(ARTIFACTS, exist_ok=True)
    env = dict(os.environ, VGL_TIMEOUT="90")
    with open(os.path.join(ARTIFACTS, "gallery-%s.log" % page), "w") as log:
        proc = subprocess.Popen([WINE_RUN, GALLERY, page, "60"], stdout=log, stderr=subprocess.STDOUT,
                                stdin=subprocess.DEVNULL, env=env, start_new_session=True)
        try:
            windows = [wait_shown(caption) for caption in captions]
            trees = [parse_tree(wintest("tree", hwnd)) for hwnd in windows]
            for caption, tree in zip(captions, trees):
                assert tree[0]["text"] == caption and tree[0]["visible"], caption
            check(trees)
            screenshot("gallery-" + page)
            # Closing the page's first window ends the gallery.
            wintest("post", windows[0], WM_CLOSE, 0, 0)
            assert proc.wait(timeout=40) == 0
        finally:
            if proc.poll() is None:
                os.killpg(proc.pid, 9)
                proc.wait()
