"""The web app: :func:`create_app` makes it for one school folder.

Middleware, outermost first: the ``Host`` allowlist, the content policy and its nonce,
the signed session cookie.  With a password every page but the login and the
stylesheet asks for it; a client that keeps failing waits longer each time.
"""

from __future__ import annotations

import contextlib
import datetime
import gc
import secrets
import time
from collections.abc import AsyncIterator, Callable
from pathlib import Path

import anyio.to_thread
from starlette.applications import Starlette
from starlette.exceptions import HTTPException
from starlette.middleware import Middleware
from starlette.middleware.sessions import SessionMiddleware
from starlette.middleware.trustedhost import TrustedHostMiddleware
from starlette.requests import Request
from starlette.responses import RedirectResponse, Response
from starlette.routing import Mount, Route
from starlette.staticfiles import StaticFiles
from starlette.types import ASGIApp, Receive, Scope, Send

from ..cli.errors import CommandError
from . import day_pages, school_pages
from .plumbing import SchoolSource, checked_form, form_text, page
from .security import ContentPolicy, LoginThrottle, allowed_hosts, password_ok

__all__ = ["create_app"]

OPEN_PATHS = ("/login", "/static/")
"""What a visitor who has not given the password may see."""


class RequireLogin:
    """ASGI middleware, inside the session: with a password, a visitor not signed in is sent to
    the login page (a GET) or refused (anything else)."""

    def __init__(self, app: ASGIApp, password: str | None) -> None:
        self.app = app
        self.password = password

    async def __call__(self, scope: Scope, receive: Receive, send: Send) -> None:
        if self.password is None or scope["type"] != "http" or scope["path"].startswith(OPEN_PATHS):
            await self.app(scope, receive, send)
            return
        if scope.get("session", {}).get("user") is True:
            await self.app(scope, receive, send)
            return
        response: Response
        if scope["method"] in ("GET", "HEAD"):
            response = RedirectResponse("/login", status_code=303)
        else:
            response = Response("Sign in first.", status_code=403, media_type="text/plain")
        await response(scope, receive, send)


async def login_page(request: Request) -> Response:
    return page(request, "login.html.j2", wait=0)


def _client(request: Request) -> str:
    return request.client.host if request.client is not None else "?"


async def login(request: Request) -> Response:
    form = await checked_form(request)
    throttle: LoginThrottle = request.app.state.throttle
    client = _client(request)
    wait = throttle.wait(client)
    if wait > 0:
        return page(request, "login.html.j2", 429, wait=int(wait + 0.999),
                    error="Too many wrong passwords from here.")
    if not password_ok(request.app.state.password, form_text(form, "password")):
        throttle.failed(client)
        return page(request, "login.html.j2", 403, wait=int(throttle.wait(client) + 0.999),
                    error="That is not the password.")
    throttle.succeeded(client)
    request.session.clear()  # a new session, and a new CSRF token, for the signed-in visitor
    request.session["user"] = True
    return RedirectResponse("/", status_code=303)


async def logout(request: Request) -> Response:
    await checked_form(request)
    request.session.clear()
    return RedirectResponse("/login" if request.app.state.password is not None else "/", status_code=303)


async def http_error(request: Request, error: Exception) -> Response:
    assert isinstance(error, HTTPException)
    title = {400: "Bad request", 403: "Refused", 404: "Not found", 405: "Not allowed"}.get(error.status_code, "Error")
    return page(request, "message.html.j2", error.status_code, title=title, text=error.detail, back="/")


async def command_error(request: Request, error: Exception) -> Response:
    return page(request, "message.html.j2", 400, title="Cannot show this", text=str(error), back="/")


WORKER_THREADS = 2
"""Threads that run the office's work at once.  It holds the GIL nearly all the time, so more
threads only take turns more often, and the event loop waits behind each of them."""


@contextlib.asynccontextmanager
async def lifespan(app: Starlette) -> AsyncIterator[None]:
    anyio.to_thread.current_default_thread_limiter().total_tokens = WORKER_THREADS
    # What is made by now (modules, templates) lives as long as the server: leaving it out of
    # the collector's full passes keeps those passes short under load.
    gc.collect()
    gc.freeze()
    yield


def create_app(school: Path, password: str | None = None, host: str = "127.0.0.1", secret: str | None = None,
               today: Callable[[], datetime.date] = datetime.date.today,
               clock: Callable[[], float] = time.monotonic) -> Starlette:
    """The office's web app over the school folder.

    ``password``: asked for before any page (required by ``serve`` on an address other than
    loopback). ``host``: the address served, allowed in ``Host`` headers beside the loopback
    names. ``secret``: signs the session cookies and undo tokens (a new random one by default,
    so a restart signs everybody out). ``today`` and ``clock`` are for tests."""
    secret = secret or secrets.token_urlsafe(32)
    app = Starlette(
        routes=[
            *day_pages.routes,
            *school_pages.routes,
            Route("/login", login_page),
            Route("/login", login, methods=["POST"]),
            Route("/logout", logout, methods=["POST"]),
            Mount("/static", StaticFiles(packages=[("lessoncover_planner.web", "static")]), name="static"),
        ],
        middleware=[
            Middleware(TrustedHostMiddleware, allowed_hosts=allowed_hosts(host), www_redirect=False),
            Middleware(ContentPolicy),
            Middleware(SessionMiddleware, secret_key=secret, session_cookie="lessoncover", same_site="lax",
                       https_only=False, max_age=12 * 60 * 60),
            Middleware(RequireLogin, password=password),
        ],
        exception_handlers={HTTPException: http_error, CommandError: command_error},
        lifespan=lifespan,
    )
    app.state.source = SchoolSource(Path(school))
    app.state.password = password
    app.state.secret = secret
    app.state.today = today
    app.state.throttle = LoginThrottle(clock)
    return app
