"""The web app under Starlette's test client, and reading its pages: forms, tokens, messages."""
import datetime
import html
import re
from html.parser import HTMLParser

from starlette.testclient import TestClient

from lessoncover_planner.web import create_app


def client_for(school, today, host="127.0.0.1", password=None, base_url="http://127.0.0.1:8765", clock=None):
    """A test client of a new app over the school folder, as a browser on this machine."""
    extra = {"clock": clock} if clock is not None else {}
    app = create_app(school, password=password, host=host, today=lambda: today, **extra)
    return TestClient(app, base_url=base_url, follow_redirects=False)


class _Forms(HTMLParser):
    def __init__(self):
        super().__init__()
        self.forms = []
        self._current = None

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "form":
            self._current = (attrs.get("action", ""), attrs.get("method", "get").lower(), {})
            self.forms.append(self._current)
        elif tag == "input" and self._current is not None and attrs.get("name") and attrs.get("type") != "checkbox":
            self._current[2][attrs["name"]] = attrs.get("value", "")

    def handle_endtag(self, tag):
        if tag == "form":
            self._current = None


def form_fields(page, action_suffix):
    """The fields of every posted form whose action ends with action_suffix, in page order."""
    parser = _Forms()
    parser.feed(page)
    return [fields for action, method, fields in parser.forms if method == "post" and action.endswith(action_suffix)]


def csrf_of(page):
    return re.search(r'name="csrf" value="([^"]+)"', page)[1]


def version_of(page):
    return re.search(r'name="version" value="(\d+)"', page)[1]


def flashes(page):
    """The page's messages as (kind, text)."""
    found = re.findall(r'<div class="flash (\w+)"[^>]*>\s*<bdi>(.*?)</bdi>', page, re.S)
    return [(kind, html.unescape(text)) for kind, text in found]


__all__ = ["client_for", "form_fields", "csrf_of", "version_of", "flashes", "datetime"]
