"""Coverage-guided fuzzing of the office command, ``lessoncover plan``, in process.

Each input is a folder of days as text: a first line of options, then the files, each
after a line ``%%``: teachers.csv, lessons.csv, absences.csv, the history file, and a
second day's three files (a missing one is not written, so the readers meet missing
files too). The options line takes any of these words, others are passed over:

    report csv json html      the format (report by default)
    week                      two days in a folder of days, else one day
    keep combined co          --keep-doubles, --combined-lessons, --co-taught-no-cover
    max=N away=CLASS          --max-covers N, --away CLASS
    history update            --history FILE, with --update-history
    cap=N                     --max-file-size N

The files are written into a fresh temporary folder and ``main(["plan", "--data", ...,
"--out", ...])`` runs on them. Then it checks what the command promises:

- it succeeds (status 0), or refuses with a designed error: status 2 and one line,
  ``lessoncover: error: <file>, line N: ...`` (or ``<file>: ...``) naming one of the
  input files where a file is at fault, or a UsageError; nothing else escapes;
- standard error holds no raw control or bidi character;
- nothing in the temporary folder changed but the outputs (and the history file with
  ``update``), no temporary file is left, and a refusal wrote nothing;
- the Python memory it took (tracemalloc's peak) stays under 50 MiB plus 200 times the
  input's size, whatever numbers the files hold.

Beside the command, the period syntax (``parse_period_list`` / ``periods_within``) and
``lessoncover_planner.Policy`` with options taken from the input are called directly: they
may refuse with ValueError or TypeError only.

fuzz/corpus/command holds small seed days. tools/fuzz_tests.sh runs this harness against
the build with libFuzzer coverage, ASan and UBSan that fuzz_api.py uses; it prints its
own rate (executions per second) every ten seconds and at the end of a replay.

Run:  python3 fuzz/fuzz_command.py DIR -max_total_time=60   (DIR: a copy of fuzz/corpus/command)
      python3 fuzz/fuzz_command.py --replay FILE...           (no atheris needed)
"""
import contextlib
import io
import os
import re
import shutil
import sys
import tempfile
import time
import tracemalloc
from pathlib import Path

FUZZING = __name__ == "__main__" and sys.argv[1:2] != ["--replay"]
if FUZZING:
    import atheris
# The command's Python branches guide the fuzzer beside the modules' C++ edges.
with atheris.instrument_imports() if FUZZING else contextlib.nullcontext():
    import lessoncover_planner
    from lessoncover_planner import cli
    from lessoncover_planner.cli.errors import InputError, UsageError, one_line
    from lessoncover_planner.cli.formats import OUTPUT_NAMES
    from lessoncover_planner.cli.reading import DAY_FILES, parse_period_list, periods_within

# tools/fuzz_tests.sh names the folder of the instrumented build: fuzzing anything else
# would pass while testing nothing.
if os.environ.get("LESSONCOVER_FUZZ_SITE"):
    assert lessoncover_planner._planner.__file__.startswith(os.environ["LESSONCOVER_FUZZ_SITE"])

SEPARATOR = re.compile(rb"\r?\n%%\r?\n")
MEMORY_BASE, MEMORY_PER_BYTE = 50 << 20, 200
UNSAFE = re.compile("[\x00-\x09\x0b-\x1f\x7f-\x9f\u200b-\u200f\u2028-\u202e\u2060-\u2069\ufeff]")
SCRATCH = Path("/dev/shm") if os.path.isdir("/dev/shm") else None


def options(line):
    """The command's arguments and the harness's switches from the options line."""
    words = line.decode("ascii", "replace").split()
    arguments, week, history, update = ["--format", "report"], False, False, False
    for word in words:
        key, _, value = word.partition("=")
        if word in OUTPUT_NAMES:
            arguments[1] = word
        elif word == "week":
            week = True
        elif word in ("keep", "combined", "co"):
            arguments.append({"keep": "--keep-doubles", "combined": "--combined-lessons",
                              "co": "--co-taught-no-cover"}[word])
        elif key == "max" and value.isdigit() and len(value) < 6:
            arguments += ["--max-covers", value]
        elif key == "away" and value:
            arguments += ["--away", value]
        elif key == "cap" and value.isdigit() and len(value) < 10:
            arguments += ["--max-file-size", value]
        elif word == "history":
            history = True
        elif word == "update":
            history = update = True
    return arguments, week, history, update


def snapshot(folder):
    """Every entry under folder: kind, mode and content."""
    found = {}
    for path in sorted(folder.rglob("*")):
        info = path.lstat()
        found[path] = (info.st_mode, path.read_bytes() if path.is_file() and not path.is_symlink() else None)
    return found


class Outcome:
    """What run_plan raised, seen through main's handling of it."""

    error = None


def run_plan_recording(arguments, prog, _run=cli.run_plan):
    try:
        return _run(arguments, prog)
    except BaseException as error:
        Outcome.error = error
        raise


cli.run_plan = run_plan_recording


def run_command(argv):
    """main(argv) with standard output and error caught; status, stderr text, stdout bytes."""
    stdout = io.TextIOWrapper(io.BytesIO(), encoding="utf-8")
    stderr = io.StringIO()
    Outcome.error = None
    with contextlib.redirect_stdout(stdout), contextlib.redirect_stderr(stderr):
        try:
            status = cli.main(argv)
        except SystemExit as stop:  # argparse refusing an option
            status = stop.code
    stdout.flush()
    return status, stderr.getvalue(), stdout.buffer.getvalue()


def check_refusal(status, stderr, inputs):
    lines = [line for line in stderr.splitlines() if not line.startswith("lessoncover: warning: ")]
    error = Outcome.error
    if error is None:  # argparse: its usage, wrapped to the terminal's width, then one error line
        assert status == 2 and len(lines) >= 2 and lines[0].startswith("usage: lessoncover plan "), stderr
        assert all(line.startswith(" ") for line in lines[1:-1]), stderr
        assert lines[-1].startswith("lessoncover plan: error: "), stderr
        return
    assert status == 2, (status, stderr, error)
    assert isinstance(error, (InputError, UsageError)), repr(error)
    assert lines == [f"lessoncover: error: {one_line(str(error))}"], (stderr, error)
    if isinstance(error, InputError):
        assert error.path in inputs, (error.path, inputs)
        assert error.line is None or error.line >= 1, error.line
        where = f"{error.path}" if error.line is None else f"{error.path}, line {error.line}"
        assert lines[0].startswith(f"lessoncover: error: {one_line(where)}: "), lines[0]


def check_policy(names, periods):
    """Policy with options from the input: built, or refused with ValueError/TypeError."""
    try:
        policy = lessoncover_planner.Policy(
            max_covers=len(periods) % 4 or None,
            prior_covers={name: len(name) for name in names[:4]},
            unavailable={name: periods for name in names[:2]},
            away_classes=tuple(names[2:3]))
        policy.is_default()
        hash(policy)
    except (ValueError, TypeError):
        pass


def check_periods(text):
    try:
        ranges = parse_period_list(Path("f"), 1, "periods", text)
    except InputError:
        return ()
    assert list(ranges) == sorted(ranges) and all(first <= last for first, last in ranges), ranges
    assert all(ranges[i][1] + 1 < ranges[i + 1][0] for i in range(len(ranges) - 1)), ranges
    used = sorted({first for first, _ in ranges} | {-1, 0, 1, 2})
    periods = periods_within(ranges, used)
    assert len(periods) <= len(used) + 2 * len(ranges), (ranges, periods)
    return periods


def test_one_input(data):
    head, *files = SEPARATOR.split(data, maxsplit=7)
    arguments, week, with_history, update = options(head.split(b"\n", 1)[0])
    texts = [text.decode("utf-8", "replace") for text in files]
    names = [line.split(",", 1)[0] for line in (texts[0].splitlines()[1:] if texts else [])][:8]
    periods = ()
    for text in texts[:3]:
        for line in text.splitlines()[1:4]:
            periods += check_periods(line.rsplit(",", 1)[-1])
    check_policy(names, periods[:64])

    root = Path(tempfile.mkdtemp(prefix="fuzz-command-", dir=SCRATCH))
    try:
        days = [root / "data" / "mon", root / "data" / "tue"] if week else [root / "data"]
        groups = [files[0:3], files[4:7]] if week else [files[0:3]]
        inputs = set()
        for folder, group in zip(days, groups):
            folder.mkdir(parents=True)
            for name, content in zip(DAY_FILES, group):
                (folder / name).write_bytes(content)
                inputs.add(folder / name)
            inputs |= {folder / name for name in DAY_FILES}
        history = root / "history.csv"
        out = root / "out"
        out.mkdir()
        argv = ["plan", "--data", str(root / "data"), "--out", str(out), *arguments]
        if with_history:
            if len(files) > 3:
                history.write_bytes(files[3])
            argv += ["--history", str(history)] + (["--update-history"] if update else [])
            inputs.add(history)
        inputs.add(root / "data")
        # A folder of days none of which holds a day's file is read as one day, so a
        # refusal may name the missing files of the folder itself.
        inputs |= {root / "data" / name for name in DAY_FILES}
        size = len(data)

        before = snapshot(root)
        tracemalloc.start()
        try:
            status, stderr, _ = run_command(argv)
            peak = tracemalloc.get_traced_memory()[1]
        finally:
            tracemalloc.stop()
        after = snapshot(root)

        assert UNSAFE.search(stderr) is None, stderr
        assert peak <= MEMORY_BASE + MEMORY_PER_BYTE * size, (peak, size)
        output_name = OUTPUT_NAMES[arguments[1]]
        if status == 0:
            assert not stderr or all(line.startswith("lessoncover: warning: ") for line in stderr.splitlines())
            planned = [folder for folder in days if any((folder / name).exists() for name in DAY_FILES)]
            if week:
                written = {out / folder.name / output_name for folder in planned}
                written |= {out / folder.name for folder in planned}
            else:
                written = {out / output_name}
            if update:
                written.add(history)
            changed = {path for path in set(before) | set(after) if before.get(path) != after.get(path)}
            assert changed <= written, (changed - written)
            assert all(path in after for path in written), written
        else:
            check_refusal(status, stderr, inputs)
            assert after == before, set(after) ^ set(before)
    finally:
        shutil.rmtree(root, ignore_errors=True)
    Rate.tick()


class Rate:
    """Executions per second, printed every ten seconds and at the end of a replay."""

    runs, started, shown = 0, time.monotonic(), time.monotonic()

    @classmethod
    def tick(cls):
        cls.runs += 1
        now = time.monotonic()
        if now - cls.shown >= 10:
            cls.shown = now
            cls.report()

    @classmethod
    def report(cls):
        elapsed = time.monotonic() - cls.started
        print(f"fuzz_command: {cls.runs} runs in {elapsed:.0f} s ({cls.runs / max(elapsed, 1e-9):.0f} per second)",
              file=sys.stderr, flush=True)


def main():
    if sys.argv[1:2] == ["--replay"]:
        for path in sys.argv[2:]:
            with open(path, "rb") as f:
                test_one_input(f.read())
            print("ok", path)
        Rate.report()
        return
    atheris.Setup(sys.argv, test_one_input)
    atheris.Fuzz()


if __name__ == "__main__":
    main()
