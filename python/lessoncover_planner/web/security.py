"""What keeps the office's pages safe to serve: allowed hosts, the content policy, the forms'
CSRF token, the password and a login that slows down after failures.

Every page is served with a ``Content-Security-Policy`` that allows no inline script or
style, except a ``<style>`` carrying the response's nonce (the printable page keeps its
stylesheet inline, so that it prints as ``--format html`` does).  Every form carries the
session's CSRF token; a POST without it is refused before the route runs.
"""

from __future__ import annotations

import hmac
import ipaddress
import secrets
import time
from collections.abc import Callable
from dataclasses import dataclass, field

from starlette.datastructures import MutableHeaders
from starlette.types import ASGIApp, Message, Receive, Scope, Send

__all__ = ["LOOPBACK_HOSTS", "ContentPolicy", "LoginThrottle", "allowed_hosts", "csrf_token", "csrf_ok",
           "is_loopback", "password_ok"]

LOOPBACK_HOSTS = ("127.0.0.1", "localhost", "::1")
CSRF_FIELD = "csrf"
FREE_FAILURES = 5
"""Failed logins from one client before each further attempt must wait."""
FIRST_WAIT = 1.0
LONGEST_WAIT = 30.0


def is_loopback(host: str) -> bool:
    """Whether the address listens on this machine only: 127.0.0.0/8, ::1 or ``localhost``."""
    if host == "localhost":
        return True
    try:
        return ipaddress.ip_address(host.strip("[]")).is_loopback
    except ValueError:
        return False


def allowed_hosts(host: str) -> list[str]:
    """The ``Host`` header values the server answers: the loopback names and the address it listens on."""
    names = [*LOOPBACK_HOSTS, "[::1]", host]
    if ":" in host:  # an IPv6 address comes in brackets in a Host header
        names.append(f"[{host}]")
    return list(dict.fromkeys(names))


def csrf_token(session: dict[str, object]) -> str:
    """The session's CSRF token, made on first use."""
    token = session.get(CSRF_FIELD)
    if not isinstance(token, str):
        token = session[CSRF_FIELD] = secrets.token_urlsafe(32)
    return token


def csrf_ok(session: dict[str, object], given: object) -> bool:
    token = session.get(CSRF_FIELD)
    return isinstance(token, str) and isinstance(given, str) and hmac.compare_digest(token, given)


def password_ok(expected: str, given: str) -> bool:
    return hmac.compare_digest(expected.encode("utf-8"), given.encode("utf-8"))


@dataclass
class LoginThrottle:
    """Failed logins per client: after :data:`FREE_FAILURES`, each attempt waits 1 s, then 2 s,
    doubling up to 30 s, counted from the last failure.  A success forgets the client."""

    clock: Callable[[], float] = time.monotonic
    _failures: dict[str, tuple[int, float]] = field(default_factory=dict)

    def wait(self, client: str) -> float:
        """Seconds before the client may try again; 0 when it may now."""
        count, last = self._failures.get(client, (0, 0.0))
        if count < FREE_FAILURES:
            return 0.0
        delay = min(LONGEST_WAIT, FIRST_WAIT * 2.0 ** min(count - FREE_FAILURES, 16))  # no float overflow
        return max(0.0, last + delay - self.clock())

    def failed(self, client: str) -> None:
        count, _ = self._failures.get(client, (0, 0.0))
        self._failures[client] = (count + 1, self.clock())
        if len(self._failures) > 10_000:  # a flood of clients cannot grow this without bound
            oldest = min(self._failures, key=lambda name: self._failures[name][1])
            del self._failures[oldest]

    def succeeded(self, client: str) -> None:
        self._failures.pop(client, None)


class ContentPolicy:
    """ASGI middleware: a nonce per response (``scope["state"]["nonce"]``) and the headers that
    go with every page: the content policy, no framing, no sniffing, no referrer."""

    def __init__(self, app: ASGIApp) -> None:
        self.app = app

    async def __call__(self, scope: Scope, receive: Receive, send: Send) -> None:
        if scope["type"] != "http":
            await self.app(scope, receive, send)
            return
        nonce = secrets.token_urlsafe(16)
        scope.setdefault("state", {})["nonce"] = nonce
        policy = ("default-src 'none'; script-src 'self'; img-src 'self'; connect-src 'self'; "
                  f"style-src 'self' 'nonce-{nonce}'; form-action 'self'; frame-ancestors 'none'; "
                  "base-uri 'none'")

        async def send_with_headers(message: Message) -> None:
            if message["type"] == "http.response.start":
                headers = MutableHeaders(scope=message)
                headers["Content-Security-Policy"] = policy
                headers["X-Content-Type-Options"] = "nosniff"
                headers["X-Frame-Options"] = "DENY"
                headers["Referrer-Policy"] = "no-referrer"
            await send(message)

        await self.app(scope, receive, send_with_headers)
