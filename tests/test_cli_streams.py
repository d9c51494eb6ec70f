"""main(argv, stdout=..., stderr=...) writes on the caller's streams, bytes or text."""
import io

import pytest

from cli_support import SAMPLE
from lessoncover_planner.cli import main


def board_bytes():
    out = io.BytesIO()
    assert main(["plan", "--data", str(SAMPLE)], stdout=out, stderr=io.BytesIO()) == 0
    return out.getvalue()


@pytest.mark.parametrize("make, read", [
    (io.StringIO, lambda stream: stream.getvalue().encode("utf-8")),
    (lambda: io.TextIOWrapper(io.BytesIO(), encoding="utf-8"), lambda stream: (stream.flush(), stream.buffer.getvalue())[1]),
], ids=["StringIO", "text-over-bytes"])
@pytest.mark.parametrize("error_stream", [io.StringIO, io.BytesIO])
def test_text_streams_take_the_output(make, read, error_stream):
    out, err = make(), error_stream()
    assert main(["plan", "--data", str(SAMPLE)], stdout=out, stderr=err) == 0
    assert read(out) == board_bytes() and not err.getvalue()
