"""The core's build tree for the tests that share it, and the order the suite runs in."""
import pytest

from tests.core_build import build_core_tree


@pytest.fixture(scope="session")
def core_tree():
    """build/core-tests, built once a session (once a worker under xdist, where the tests
    that use it share one worker through their xdist_group)."""
    return build_core_tree()


def long_running(item) -> bool:
    """Marked slow, or sharing a build with other tests through an xdist_group."""
    return any(item.get_closest_marker(name) is not None for name in ("slow", "xdist_group"))


def pytest_collection_modifyitems(items):
    # The builds first: with the suite spread over workers (-n), a build started last would
    # leave the other workers idle while it finishes; started first, it runs beside the quick tests.
    items.sort(key=lambda item: not long_running(item))
