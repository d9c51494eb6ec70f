"""``lessoncover serve``: check the address and the password, then run uvicorn until interrupted."""

from __future__ import annotations

import os
import sys
from pathlib import Path

from ..cli.errors import EXIT_OK, UsageError
from ..office.office import Office

__all__ = ["run_serve", "read_password"]

PASSWORD_VARIABLE = "LESSONCOVER_PASSWORD"


def read_password(password_file: Path | None) -> str | None:
    """The password from the file's first line, else from the environment; None when neither gives one."""
    if password_file is not None:
        try:
            text = password_file.read_text(encoding="utf-8")
        except (OSError, UnicodeDecodeError) as error:
            raise UsageError(f"{password_file}: cannot read the password: {error}") from None
        password = text.splitlines()[0] if text else ""
        if not password:
            raise UsageError(f"{password_file}: the first line is empty; write the password there")
        return password
    return os.environ.get(PASSWORD_VARIABLE) or None


def run_serve(school: Path, host: str, port: int, password_file: Path | None) -> int:
    try:
        import uvicorn
    except ImportError:
        raise UsageError("serve needs the web extra: python3 -m pip install 'lessoncover[web]'") from None
    from .app import create_app
    from .security import is_loopback

    password = read_password(password_file)
    if password is None and not is_loopback(host):
        raise UsageError(f"{host} can be reached from other machines: give a password with --password-file "
                         f"or {PASSWORD_VARIABLE}")
    if not 0 < port < 65536:
        raise UsageError(f"--port {port}: give a port from 1 to 65535")
    Office(school).close()  # a broken folder or ledger is refused here, not on the first page
    app = create_app(school, password=password, host=host)
    shown = f"[{host}]" if ":" in host else host
    print(f"lessoncover: serving {school} at http://{shown}:{port}/ (Ctrl-C stops)", file=sys.stderr, flush=True)
    uvicorn.run(app, host=host, port=port, log_level="warning", access_log=False)
    return EXIT_OK
