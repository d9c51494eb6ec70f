"""The web app over a school folder, driven by Starlette's test client, and reading its pages:
forms, tokens and messages."""
import datetime
import html
import re
from html.parser import HTMLParser

from starlette.testclient import TestClient

from lessoncover_planner.web.app import create_app

TODAY = datetime.date(2026, 12, 9)  # a Wednesday


def client_for(school, today=TODAY, host="127.0.0.1", password=None, base_url="http://127.0.0.1:8765", clock=None,
               follow_redirects=False):
    """A test client of a new app over the school folder, as a browser on this machine, with
    ``today`` fixed."""
    extra = {"clock": clock} if clock is not None else {}
    app = create_app(school, password=password, host=host, today=lambda: today, **extra)
    return TestClient(app, base_url=base_url, follow_redirects=follow_redirects)


def web_client(folder, today=TODAY):
    """A client that follows redirects, as a browser does after a form."""
    return client_for(folder, today, follow_redirects=True)


class _Forms(HTMLParser):
    def __init__(self):
        super().__init__()
        self.forms = []  # (action, method, fields, buttons)
        self._current = None

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "form":
            self._current = (attrs.get("action", ""), attrs.get("method", "get").lower(), {}, [])
            self.forms.append(self._current)
        elif self._current is None or not attrs.get("name"):
            return
        elif tag == "input" and attrs.get("type") != "checkbox":
            self._current[2][attrs["name"]] = attrs.get("value", "")
        elif tag == "button" and "disabled" not in attrs:
            self._current[3].append({attrs["name"]: attrs.get("value", "")})

    def handle_endtag(self, tag):
        if tag == "form":
            self._current = None


def form_fields(page, action_suffix):
    """What each way of sending a posted form whose action ends with action_suffix sends, in page
    order: its fields with each enabled named button's value, or its fields alone when it has none."""
    parser = _Forms()
    parser.feed(page)
    return [{**fields, **button} for action, method, fields, buttons in parser.forms
            if method == "post" and action.endswith(action_suffix) for button in (buttons or [{}])]


def hidden(page, name):
    """The value of the first hidden input ``name`` of the page."""
    return html.unescape(re.search(rf'name="{name}" value="([^"]*)"', page)[1])


def csrf_of(page):
    return hidden(page, "csrf")


def version_of(page):
    return hidden(page, "version")


def flashes(page):
    """The messages shown at the top of the page, as (kind, text)."""
    return [(kind, html.unescape(re.sub(r"\s+", " ", text)).strip())
            for kind, text in re.findall(r'<div class="flash (\w+)"[^>]*>\s*<bdi>(.*?)</bdi>', page, re.S)]
