"""The virus-log windows under Wine: the console's virus-log page (shown on its own by the
gallery tool, "Log" beside it holding the daily log files), the log viewer of a date range
with its sort by column, the keeping-days dialog with its bounds, and the days past the kept
number going from the log. Checked through the window trees; screenshots in build/artifacts."""
import datetime
import os
import subprocess
import time

import pytest

from clientlib import *  # noqa: F401,F403
from test_realtime import read_records, record_bytes

GALLERY = BIN / "gallery.exe"
LOG = BIN / "Log"
KEEPING = "Log Remaining Days"
EN_KILLFOCUS = 0x200
PAGE_CAPTION, VIEWER_CAPTION, DAYS_CAPTION = "Gallery: virus log", "Vigilon - Virus Log", "Vigilon - Keep the Virus Log"

pytestmark = pytest.mark.skipif(not (DISPLAY and GALLERY.exists()), reason="needs DISPLAY and the built gallery")


def day_file(day):
    return LOG / day.strftime("%Y_%m_%d.log")


def record(kind, when, path, virus, first=1, status=1):
    return (kind, first, 1, status, 1, int(time.mktime(when.timetuple())), path, virus, "PC\\USER", "")


def plant(day, *records):
    LOG.mkdir(exist_ok=True)
    day_file(day).write_bytes(record_bytes(list(records)))


class Gallery:
    def __init__(self, tmp_path):
        self.log = open(tmp_path / "gallery.out", "wb")
        self.proc = subprocess.Popen([str(BUILD / "wine-run"), str(GALLERY), "viruslog", "120"],
                                     stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT,
                                     env=dict(os.environ, VGL_TIMEOUT="200"), start_new_session=True)
        self.host = self.wait(PAGE_CAPTION)
        self.pid = self.tree(self.host)[0]["pid"]
        self.page = next(w["hwnd"] for w in self.tree(self.host) if w["class"] == "#32770" and w["parent"] == self.host)

    def wait(self, caption, timeout=30):
        deadline = time.time() + timeout
        while time.time() < deadline:
            shown = [line.split()[0] for line in wintest("find", "#32770", caption, *([self.pid] if
                     hasattr(self, "pid") else [])) if line.endswith(" 1")]
            if shown:
                return int(shown[0], 16)
            time.sleep(0.1)
        raise AssertionError("no window %r" % caption)

    def tree(self, hwnd):
        return parse_tree(wintest("tree", hwnd))

    def control(self, hwnd, id):
        return next(w for w in self.tree(hwnd) if w["id"] == id)

    def text(self, hwnd, id):
        return self.control(hwnd, id)["text"]

    def set_date(self, ids, day):
        for id, value in zip(ids, (day.month, day.day, day.year)):
            wintest("settext", self.control(self.page, id)["hwnd"], str(value))

    def shown(self, caption):
        return [line for line in wintest("find", "#32770", caption, self.pid) if line.endswith(" 1")]

    def wait_gone(self, caption, timeout=10):
        deadline = time.time() + timeout
        while self.shown(caption):
            assert time.time() < deadline, "%r is still shown" % caption
            time.sleep(0.1)

    def message(self):
        """The text of the message box shown now; the box is closed."""
        box = self.wait("Vigilon")
        texts = [w["text"] for w in self.tree(box) if w["class"] == "Static" and w["text"]]
        screenshot("viruslog-message")
        wintest("click", box, 1)
        self.wait_gone("Vigilon")
        return texts[-1]

    def close(self):
        wintest("post", self.host, WM_CLOSE, 0, 0)
        assert self.proc.wait(60) == 0
        self.log.close()

    def kill(self):
        if self.proc.poll() is None:
            os.killpg(self.proc.pid, 9)
            self.proc.wait()
        self.log.close()


FROM, TO = (1118, 1120, 1122), (1124, 1126, 1128)


def viewer_rows(g):
    viewer = g.wait(VIEWER_CAPTION)
    tree = g.tree(viewer)
    rows = next(w for w in tree if w["class"] == "SysListView32")["rows"]
    return viewer, tree, [row.split(" | ") for row in rows]


def click_header(tree, column, fractions=(3, 5, 5, 4, 3)):
    """A mouse click on a column's header (the columns share the width as the viewer sets them)."""
    header = next(w for w in tree if w["class"] == "SysHeader32")
    left, top, right, bottom = header["rect"]
    width = right - left
    x = left + sum(fractions[:column]) * width // 20 + 8
    subprocess.run(["xdotool", "mousemove", str(x), str((top + bottom) // 2), "click", "1"],
                   env=dict(os.environ, DISPLAY=DISPLAY), check=True, timeout=30)


@pytest.fixture
def log_folder():
    for f in LOG.glob("*.log") if LOG.exists() else []:
        f.unlink()
    reg_set(PRODUCT_KEY, KEEPING, 15)
    yield
    for f in LOG.glob("*.log") if LOG.exists() else []:
        f.unlink()
    wintest("regdel", PRODUCT_KEY, KEEPING)


def test_virus_log_viewer_loads_a_range_sorts_and_keeps_days(tmp_path, log_folder):
    today = datetime.date.today()
    ago = lambda n: today - datetime.timedelta(days=n)
    at = lambda d, h, m: datetime.datetime.combine(d, datetime.time(h, m))
    plant(ago(20), record(1, at(ago(20), 10, 0), "C:\\old\\gone.com", "Old"))
    plant(ago(3), record(1, at(ago(3), 9, 0), "C:\\b\\beta.com", "Beta"),
          record(2, at(ago(3), 23, 59), "C:\\c\\gamma.com", "Alpha", first=2, status=0))
    plant(ago(1), record(3, at(ago(1), 0, 0), "C:\\a\\alpha.com", "Gamma", first=5))
    plant(today, record(2, at(today, 0, 1), "C:\\d\\today.com", "Delta"))

    g = Gallery(tmp_path)
    try:
        # 15 days kept: the fields show the date 14 days ago and today; the load purged the
        # day beyond the kept days.
        assert g.text(g.page, 1195) == "15"
        assert [g.text(g.page, i) for i in FROM + TO] == [str(v) for v in (
            ago(14).month, ago(14).day, ago(14).year, today.month, today.day, today.year)]
        deadline = time.time() + 15
        while day_file(ago(20)).exists():
            assert time.time() < deadline, "the load did not purge the day beyond the kept days"
            time.sleep(0.1)
        screenshot("viruslog-page")

        # Three days ago to yesterday, each day whole.
        g.set_date(FROM, ago(3))
        g.set_date(TO, ago(1))
        wintest("click", g.page, 1131)
        viewer, tree, rows = viewer_rows(g)
        assert [r[2] for r in rows] == ["C:\\b\\beta.com", "C:\\c\\gamma.com", "C:\\a\\alpha.com"]
        assert rows[1][0] == "Real-time scan" and rows[1][4] == "Unable to Delete the file"
        assert next(w for w in tree if w["id"] == 1180)["text"] == "Records: 3"
        screenshot("viruslog-viewer")
        # The date column: descending at the first click, ascending at the next.
        click_header(tree, 1)
        deadline = time.time() + 10
        while [r[2] for r in viewer_rows(g)[2]] != ["C:\\a\\alpha.com", "C:\\c\\gamma.com", "C:\\b\\beta.com"]:
            assert time.time() < deadline, viewer_rows(g)[2]
            time.sleep(0.2)
        screenshot("viruslog-viewer-sorted")
        click_header(tree, 3)
        deadline = time.time() + 10
        while [r[3] for r in viewer_rows(g)[2]] != ["Alpha", "Beta", "Gamma"]:
            assert time.time() < deadline, viewer_rows(g)[2]
            time.sleep(0.2)
        wintest("click", viewer, 1)
        g.wait_gone(VIEWER_CAPTION)

        # A to-date before the from-date opens no viewer.
        g.set_date(FROM, today)
        g.set_date(TO, ago(1))
        wintest("click", g.page, 1131)
        assert g.message().startswith("The date range is not valid")
        assert not g.shown(VIEWER_CAPTION)
        # A field out of its range is named with its bounds as it loses the focus.
        edit = g.control(g.page, 1118)["hwnd"]
        wintest("settext", edit, "13")
        wintest("post", g.page, 0x111, (EN_KILLFOCUS << 16) | 1118, edit)
        assert g.message() == "Please enter a number from 1 to 12."
        wintest("settext", edit, "1")

        # Keeping days: 16 is refused with the bounds and the old value comes back; 2 is kept.
        wintest("click", g.page, 1130)
        days = g.wait(DAYS_CAPTION)
        wintest("settext", g.control(days, 1174)["hwnd"], "16")
        wintest("click", days, 1)
        assert g.message() == "Please enter a number from 1 to 15."
        assert g.text(days, 1174) == "15"
        wintest("settext", g.control(days, 1174)["hwnd"], "2")
        screenshot("viruslog-keeping-days")
        wintest("click", days, 1)
        deadline = time.time() + 10
        while g.text(g.page, 1195) != "2":
            assert time.time() < deadline, "the page does not show the new number of days"
            time.sleep(0.1)
        assert reg_get(PRODUCT_KEY, KEEPING) == "dword:2"
        g.close()
    finally:
        g.kill()

    # The next load deletes the days before the kept ones; the kept days keep their records.
    assert day_file(ago(3)).exists()
    g = Gallery(tmp_path)
    try:
        deadline = time.time() + 15
        while day_file(ago(3)).exists():
            assert time.time() < deadline, "the day beyond the kept days was not deleted"
            time.sleep(0.1)
        assert [r[6] for r in read_records(day_file(ago(1)).read_bytes())] == ["C:\\a\\alpha.com"]
        assert [r[6] for r in read_records(day_file(today).read_bytes())] == ["C:\\d\\today.com"]
        g.close()
    finally:
        g.kill()
