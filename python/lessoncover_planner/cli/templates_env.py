"""The Jinja2 environment of each package's templates: autoescaped, strict, made once."""

from __future__ import annotations

TYPE_CHECKING = False  # as typing.TYPE_CHECKING, without importing typing at run time
if TYPE_CHECKING:
    import jinja2

__all__ = ["environment"]

_environments: dict[str, jinja2.Environment] = {}


def environment(package: str) -> jinja2.Environment:
    """The environment over ``package``'s ``templates`` folder; jinja2 is imported on first use,
    so the formats without a page never pay for it."""
    made = _environments.get(package)
    if made is None:
        import jinja2

        made = _environments[package] = jinja2.Environment(
            loader=jinja2.PackageLoader(package, "templates"),
            autoescape=True,
            undefined=jinja2.StrictUndefined,
            trim_blocks=True,
            lstrip_blocks=True,
            keep_trailing_newline=True,
        )
    return made
