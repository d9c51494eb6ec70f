"""The browser for the tests that drive one, and the office's server for them to drive.

Debian's ``chromium`` (and, for Selenium, its ``chromium-driver``) are found on PATH. Locally a
missing piece skips the test and names the package that brings it; with ``CI=true`` it fails,
so that CI can never pass by skipping.  Selenium is always handed the browser and the driver,
and runs offline: Selenium Manager never downloads one.
"""
from __future__ import annotations

import contextlib
import os
import shutil
import socket
import subprocess
import sys
import time
import urllib.error
import urllib.request
from pathlib import Path
from typing import Iterator

import pytest

CHROMIUM = next(filter(None, map(shutil.which, ("chromium", "chromium-browser", "google-chrome"))), None)
CHROMEDRIVER = shutil.which("chromedriver")
# The sanitizer run preloads ASan into every process; Chromium must start without it.
BROWSER_ENV = {key: value for key, value in os.environ.items()
               if key not in ("LD_PRELOAD", "ASAN_OPTIONS", "UBSAN_OPTIONS", "PYTHONMALLOC")}


def missing(what: str, remedy: str) -> None:
    """Skip the test for want of ``what``; fail it when CI=true, where .ci/run should have given it."""
    if os.environ.get("CI") == "true":
        pytest.fail(f"CI=true but {what}: {remedy}")
    pytest.skip(f"{what} ({remedy}); the browser tests need it")


def chromium() -> str:
    if CHROMIUM is None:
        missing("no chromium on PATH", "the Debian package chromium; .ci/run installs it")
    return CHROMIUM


def chromedriver() -> str:
    if CHROMEDRIVER is None:
        missing("no chromedriver on PATH", "the Debian package chromium-driver; .ci/run installs it")
    return CHROMEDRIVER


def need_selenium() -> None:
    try:
        import selenium  # noqa: F401
    except ImportError:
        missing("no selenium", "python3 -m pip install '.[test]'")


def chrome(profile: Path, width: int = 1280, height: int = 900, browser: str | None = None,
           driver: str | None = None):
    """A headless Chromium under Selenium, with a fresh profile and its console log kept."""
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    os.environ["SE_OFFLINE"] = "1"
    options = webdriver.ChromeOptions()
    options.binary_location = browser or chromium()
    for argument in ("--headless=new", "--disable-gpu", "--no-first-run", "--no-default-browser-check",
                     "--disable-component-update", "--disable-extensions", f"--user-data-dir={profile}",
                     f"--window-size={width},{height}"):
        options.add_argument(argument)
    if os.geteuid() == 0:  # Chromium refuses to run as root inside its sandbox
        options.add_argument("--no-sandbox")
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    service = Service(executable_path=driver or chromedriver(), env=BROWSER_ENV)
    return webdriver.Chrome(service=service, options=options)


def free_port() -> int:
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


@contextlib.contextmanager
def serving(school: Path, log: Path, wait: float = 60.0) -> Iterator[str]:
    """``lessoncover serve`` on the school at a free loopback port; yields its address and stops it
    on the way out, whatever happened."""
    port = free_port()
    with open(log, "wb") as output:
        server = subprocess.Popen([sys.executable, "-m", "lessoncover_planner", "serve", "--school", str(school),
                                   "--host", "127.0.0.1", "--port", str(port)],
                                  stdout=output, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
    address = f"http://127.0.0.1:{port}"
    direct = urllib.request.build_opener(urllib.request.ProxyHandler({}))  # never via a proxy
    try:
        deadline = time.monotonic() + wait
        while True:
            if server.poll() is not None:
                raise RuntimeError(f"serve stopped with {server.returncode}: {log.read_text(errors='replace')}")
            try:
                with direct.open(address + "/static/office.css", timeout=2):
                    break
            except (urllib.error.URLError, OSError):
                if time.monotonic() > deadline:
                    raise RuntimeError(f"serve did not answer in {wait} s: {log.read_text(errors='replace')}")
                time.sleep(0.1)
        yield address
    finally:
        server.terminate()
        try:
            server.wait(timeout=15)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait()
