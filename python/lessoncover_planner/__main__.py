"""``python -m lessoncover_planner``: the ``lessoncover`` command (see :mod:`lessoncover_planner.cli`)."""

import sys

from .cli import main

if __name__ == "__main__":
    sys.exit(main(prog="lessoncover"))
