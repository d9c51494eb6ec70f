"""``lessoncover serve``: the cover office in a browser, over the same school folder and ledger.

The pages call the office layer (:class:`~lessoncover_planner.office.office.Office`)
and add no rule of their own.  Needs the ``[web]`` extra: Starlette, uvicorn,
python-multipart and itsdangerous.
"""

from .app import create_app

__all__ = ["create_app"]
