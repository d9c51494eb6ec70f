"""The web app over a school folder, driven by Starlette's test client, and reading its pages."""
import datetime
import html
import re
import warnings

from lessoncover_planner.web.app import create_app

with warnings.catch_warnings():
    warnings.simplefilter("ignore")  # the client's deprecation notice about its HTTP library
    from starlette.testclient import TestClient

TODAY = datetime.date(2026, 12, 9)  # a Wednesday


def web_client(folder, today=TODAY):
    """A client of the app over the school folder, on the loopback address, with ``today`` fixed."""
    return TestClient(create_app(folder, today=lambda: today), base_url="http://127.0.0.1")


def hidden(page, name):
    """The value of the first hidden input ``name`` of the page."""
    return html.unescape(re.search(rf'name="{name}" value="([^"]*)"', page)[1])


def flashes(page):
    """The messages shown at the top of the page, as (kind, text)."""
    return [(kind, html.unescape(re.sub(r"\s+", " ", text)).strip())
            for kind, text in re.findall(r'<div class="flash (\w+)"[^>]*>\s*<bdi>(.*?)</bdi>', page, re.S)]
