"""Screenshots of the gallery of controls and dialogs under Wine.

Each page of tools/gallery runs for a few seconds on the virtual display; the
screenshot is kept under $VGL_BUILD/artifacts/ for a person to look at and is
checked to show the page rather than an empty desktop.
"""
import os
import subprocess
import time

import pytest

BUILD = os.environ.get("VGL_BUILD", "")
DISPLAY = os.environ.get("DISPLAY", "")
WINE_RUN = os.path.join(BUILD, "wine-run")
GALLERY = os.path.join(BUILD, "bin", "gallery.exe")
ARTIFACTS = os.path.join(BUILD, "artifacts")

pytestmark = pytest.mark.skipif(not (BUILD and DISPLAY and os.path.exists(GALLERY)),
                                reason="needs VGL_BUILD, DISPLAY and the built gallery")


def screenshot(path):
    xwd = subprocess.run(["xwd", "-root", "-display", DISPLAY], capture_output=True, timeout=30, check=True)
    subprocess.run(["convert", "xwd:-", path], input=xwd.stdout, timeout=30, check=True)


def colours(path):
    out = subprocess.run(["convert", path, "-format", "%k", "info:"], capture_output=True, text=True,
                         timeout=30, check=True)
    return int(out.stdout.strip())


def differs(a, b):
    out = subprocess.run(["compare", "-metric", "AE", a, b, "null:"], capture_output=True, text=True, timeout=30)
    return float(out.stderr.split()[0]) > 0


# page, least number of colours on screen while it shows
PAGES = [("controls", 60), ("dialogs", 8), ("sheet", 8), ("folder", 8)]


@pytest.mark.parametrize("page,min_colours", PAGES)
def test_gallery_page_is_drawn(page, min_colours):
    os.makedirs(ARTIFACTS, exist_ok=True)
    baseline = os.path.join(ARTIFACTS, "gallery-%s-before.png" % page)
    shot = os.path.join(ARTIFACTS, "gallery-%s.png" % page)
    screenshot(baseline)
    env = dict(os.environ, VGL_TIMEOUT="60")
    with open(os.path.join(ARTIFACTS, "gallery-%s.log" % page), "w") as log:
        proc = subprocess.Popen([WINE_RUN, GALLERY, page, "6"], stdout=log, stderr=subprocess.STDOUT,
                                stdin=subprocess.DEVNULL, env=env, start_new_session=True)
        try:
            # Wait until the page has been drawn, then let it settle.
            deadline = time.time() + 20
            while time.time() < deadline:
                time.sleep(0.5)
                screenshot(shot)
                if differs(shot, baseline) and colours(shot) >= min_colours:
                    break
            time.sleep(1.0)
            screenshot(shot)
            assert differs(shot, baseline), "nothing appeared on the screen"
            assert colours(shot) >= min_colours, "the screenshot looks blank"
            # The gallery ends by itself.
            assert proc.wait(timeout=40) == 0
        finally:
            if proc.poll() is None:
                os.killpg(proc.pid, 9)
                proc.wait()
    os.remove(baseline)
