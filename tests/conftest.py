"""The core's build tree for the tests that share it, and the order the suite runs in."""
import pytest

from tests.core_build import build_core_tree


@pytest.fixture(scope="session")
def core_tree():
    """build/core-tests, built once a session (under xdist, once a worker that needs it; the
    second finds it built)."""
    return build_core_tree()


def long_running(item) -> bool:
    """Marked slow, or using the core's build tree."""
    return item.get_closest_marker("slow") is not None or "core_tree" in getattr(item, "fixturenames", ())


def pytest_collection_modifyitems(items):
    # The builds first: with the suite spread over workers (-n), a build started last would
    # leave the other workers idle while it finishes; started first, it runs beside the quick tests.
    items.sort(key=lambda item: not long_running(item))
