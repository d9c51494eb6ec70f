"""Screenshots of the office's web pages for the README, at desktop and phone width.

Builds a school folder from a real timetable (ZA-WD-09 by default: 40 teachers, 7 periods),
records a morning through the office layer (one of the day's absences, a teacher who phoned in
for the first two periods, one who leaves for the last two, a plan, one cover changed by hand),
serves it with ``lessoncover serve`` and saves full-page PNGs of every page there is: the day,
changing a cover, the printable page and slips, and the week, staff and timetable pages when the
app has them; with --print, each also as its print styles lay it out (``-print``). A page wider
than its window (something cut off, or scrolling sideways) is reported.

    python tools/web_screenshots.py [--out docs/web] [--timetable DIR] [--absent N] [--print]

Needs Debian's chromium and chromium-driver and the test extra (selenium) installed.
"""
from __future__ import annotations

import argparse
import base64
import csv
import datetime
import itertools
import shutil
import sys
import tempfile
import urllib.error
import urllib.parse
import urllib.request
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT))

from tests import browser_support  # noqa: E402

DATE = datetime.date(2026, 12, 9)  # a Wednesday
WIDTHS = {"desktop": 1280, "phone": 390}
SCHOOL_TOML = """\
# Built by tools/web_screenshots.py from a real timetable: the same lessons every weekday.
days = ["Mon", "Tue", "Wed", "Thu", "Fri"]
terms = [2026-09-02, 2027-01-05]

[periods]
"""
FIRST_BELL, LESSON, BREAK_AFTER, BREAK = 8 * 60 + 30, 50, 3, 20
PHONED_IN = "Phoned in: migraine, in after break"
LEAVING = "Dentist appointment"


def build_school(timetable: Path, folder: Path) -> None:
    folder.mkdir(parents=True)
    shutil.copy(timetable / "teachers.csv", folder / "teachers.csv")
    shutil.copy(timetable / "lessons.csv", folder / "lessons.csv")
    with open(timetable / "lessons.csv", encoding="utf-8", newline="") as table:
        periods = max(int(row["period"]) for row in csv.DictReader(table))
    times = []
    for period in range(1, periods + 1):  # 50-minute lessons from 08:30, a break after the third
        start = FIRST_BELL + (period - 1) * LESSON + (BREAK if period > BREAK_AFTER else 0)
        times.append(f'{period} = "{clock(start)}-{clock(start + LESSON)}"\n')
    (folder / "school.toml").write_text(SCHOOL_TOML + "".join(times), encoding="utf-8")


def clock(minutes: int) -> str:
    return f"{minutes // 60:02d}:{minutes % 60:02d}"


def record_morning(timetable: Path, folder: Path, absent: int) -> tuple[str, int, str]:
    """The first ``absent`` of the day's absences, one teacher who phoned in for the first two periods
    and one who leaves for the last two, a plan and one cover set by hand; returns that lesson."""
    from lessoncover_planner.office.office import Office

    with open(timetable / "absences.csv", encoding="utf-8", newline="") as table:
        absences = [(row["name"], row["reason"]) for row in csv.DictReader(table)][:absent]
    with Office(folder, create=True) as office:
        for name, reason in absences:
            office.record_absences(DATE, [name], reason, "")
        away = {name for name, _ in absences}
        last = max(row.period for row in office.school.lessons)
        for reason, periods in ((PHONED_IN, (1, 2)), (LEAVING, (last - 1, last))):
            busy = {row.teacher for row in office.school.lessons if row.period in periods}
            name = next(name for name, _ in office.school.teachers if name in busy and name not in away)
            office.record_absences(DATE, [name], reason, f"{periods[0]}-{periods[1]}")
            away.add(name)
        planned = office.plan(DATE)
        for cover in planned.covers:  # the first cover with a second choice goes to that second choice
            ranked = office.candidates(DATE, cover.absent, cover.period, cover.class_name).ranked
            other = next((c.name for c in ranked if c.name != cover.substitute), None)
            if other is not None:
                office.assign(DATE, cover.class_name, cover.period, other, absent=cover.absent)
                return cover.absent, cover.period, cover.class_name
    raise SystemExit("no cover had a second candidate to choose by hand")


def answers(address: str, path: str) -> bool:
    direct = urllib.request.build_opener(urllib.request.ProxyHandler({}))
    try:
        with direct.open(address + path, timeout=30) as response:
            return response.status == 200
    except urllib.error.HTTPError:
        return False


def capture(driver, url: str, width: int, out: Path, prepare: str = "", media: str = "screen") -> str:
    """A full-page PNG of the page at the width in the CSS media ``media`` (screen or print), after
    the script ``prepare``; a note when the page is wider than that (a phone then widens its window
    to the page, so the window says nothing)."""
    mobile = width < 600
    metrics = {"width": width, "height": 900, "deviceScaleFactor": 1, "mobile": mobile}
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", metrics)
    driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"media": media})
    driver.get(url)
    if prepare:
        driver.execute_script(prepare)
    scroll, height = driver.execute_script(
        "const page = document.documentElement;"
        "return [page.scrollWidth, Math.ceil(page.getBoundingClientRect().height)];")
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {**metrics, "height": max(height, 300)})
    shot = driver.execute_cdp_cmd("Page.captureScreenshot", {"format": "png", "captureBeyondViewport": True})
    out.write_bytes(base64.b64decode(shot["data"]))
    # Printed, a page takes the paper's width, not the window's: only the screen can be too narrow.
    wide = f"  WIDER THAN THE SCREEN: {scroll} px in {width} px" if media == "screen" and scroll > width else ""
    return f"{out.relative_to(ROOT) if out.is_relative_to(ROOT) else out}: {out.stat().st_size // 1024} KB{wide}"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--out", type=Path, default=ROOT / "docs" / "web")
    parser.add_argument("--timetable", type=Path, default=Path("/work/shared/data/timetables/ZA-WD-09"))
    parser.add_argument("--absent", type=int, default=1,
                        help="how many of the timetable's absences to record (more make longer pages)")
    parser.add_argument("--print", action="store_true", help="also each page in its print styles")
    args = parser.parse_args()
    media_shown = ("screen", "print") if args.print else ("screen",)
    if browser_support.CHROMIUM is None or browser_support.CHROMEDRIVER is None:
        raise SystemExit("needs Debian's chromium and chromium-driver on PATH")
    args.out.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory(prefix="lessoncover-shots-") as scratch:
        work = Path(scratch)
        school = work / "school"
        build_school(args.timetable, school)
        absent, period, class_name = record_morning(args.timetable, school, args.absent)
        query = urllib.parse.urlencode({"absent": absent, "period": period, "class": class_name})
        day = f"/day/{DATE.isoformat()}"
        pages = {"day": day, "change": f"{day}/change?{query}", "print": f"{day}/print",
                 "week": f"/week/{DATE.isoformat()}", "staff": "/staff", "timetable": "/timetable"}
        # The timetable's lessons fold away: open, the school's 200 rows make a picture too long to look at.
        prepare = {"timetable": "for (const day of document.querySelectorAll('details')) day.open = false;"}
        driver = browser_support.chrome(work / "profile", browser=browser_support.CHROMIUM,
                                        driver=browser_support.CHROMEDRIVER)
        try:
            with browser_support.serving(school, work / "serve.log") as address:
                for name, path in pages.items():
                    if not answers(address, path):
                        print(f"{path}: not served (yet); no screenshot")
                        continue
                    for (kind, width), media in itertools.product(WIDTHS.items(), media_shown):
                        shot = args.out / f"{name}-{kind}{'' if media == 'screen' else '-' + media}.png"
                        print(capture(driver, address + path, width, shot, prepare.get(name, ""), media))
        finally:
            driver.quit()
    return 0


if __name__ == "__main__":
    sys.exit(main())
