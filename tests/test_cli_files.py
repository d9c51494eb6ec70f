"""lessoncover plan's files: outputs that would overwrite an input are refused, regular files are
replaced atomically keeping their mode (a new one gets the umask's), devices are written in place, write failures and bad
input give one line and their exit status."""
import os
import stat
import subprocess

import pytest

from cli_support import FILES, SAMPLE, copy_day, plan, refused, run, without_timing


@pytest.fixture
def day(tmp_path):
    return copy_day(SAMPLE, tmp_path / "day")


def snapshot(folder):
    return {path.relative_to(folder): path.read_bytes() for path in sorted(folder.rglob("*")) if path.is_file()}


@pytest.mark.parametrize("name", FILES)
@pytest.mark.parametrize("spelling", ["plain", "dotted", "symlink", "hardlink", "folder-relative"])
def test_out_resolving_to_an_input_is_refused(tmp_path, day, name, spelling):
    target = day / name
    if spelling == "plain":
        out = target
    elif spelling == "dotted":
        out = day / ".." / "day" / "." / name
    elif spelling == "symlink":
        out = tmp_path / "link.txt"
        out.symlink_to(target)
    elif spelling == "hardlink":
        out = tmp_path / "hard.txt"
        os.link(target, out)
    else:
        out = f"day/{name}"
    before = snapshot(tmp_path)
    shown = run("plan", "--data", day, "--out", out, "--format", "csv", cwd=tmp_path)
    refused(shown, 2, "refusing to overwrite")
    assert shown.stdout == "" and snapshot(tmp_path) == before


def test_out_that_is_the_history_file_is_refused(tmp_path, day):
    history = tmp_path / "history.csv"
    history.write_text("name,covers\n", encoding="utf-8")
    refused(run("plan", "--data", day, "--history", history, "--out", history), 2, "refusing to overwrite")
    assert history.read_text(encoding="utf-8") == "name,covers\n"


@pytest.mark.parametrize("out, problem", [
    ("/dev/full", "No space left on device"),
    ("under-a-file/cover.txt", "Not a directory"),
    ("missing-folder/cover.txt", "No such file or directory"),
])
@pytest.mark.parametrize("format_name", ["report", "html"])
def test_write_failure_is_one_line_and_status_1(tmp_path, out, problem, format_name):
    (tmp_path / "under-a-file").write_text("a regular file", encoding="utf-8")
    before = snapshot(tmp_path)
    shown = run("plan", "--data", SAMPLE, "--out", out, "--format", format_name, cwd=tmp_path)
    refused(shown, 1, "cannot write", problem)
    assert snapshot(tmp_path) == before  # no temporary file left behind


def test_full_standard_output_is_one_line_and_status_1(tmp_path):
    with open("/dev/full", "w") as full:
        shown = run("plan", "--data", SAMPLE, stdout=full, stderr=subprocess.PIPE)
    refused(shown, 1, "standard output")


def test_existing_file_is_replaced_atomically_keeping_its_mode(tmp_path):
    out = tmp_path / "cover.txt"
    out.write_text("old", encoding="utf-8")
    os.chmod(out, 0o600)
    inode = out.stat().st_ino
    plan("--out", out, umask=0o022)
    assert out.stat().st_ino != inode  # a new file renamed over the old one
    assert stat.S_IMODE(out.stat().st_mode) == 0o600
    assert sorted(path.name for path in tmp_path.iterdir()) == ["cover.txt"]
    plan("--out", tmp_path / "new.txt", umask=0o002)
    assert stat.S_IMODE((tmp_path / "new.txt").stat().st_mode) == 0o664
    plan("--out", tmp_path / "other.txt", umask=0o027)
    assert stat.S_IMODE((tmp_path / "other.txt").stat().st_mode) == 0o640


@pytest.mark.parametrize("mode", [0o600, 0o640, 0o604])
def test_a_history_file_keeps_its_mode_and_owner(tmp_path, day, mode):
    history = tmp_path / "history.csv"
    history.write_text("name,covers\n", encoding="utf-8")
    os.chmod(history, mode)
    owner = (1234, 5678) if os.geteuid() == 0 else (os.getuid(), os.getgid())  # root may give a file away
    os.chown(history, *owner)
    plan("--data", day, "--history", history, "--update-history", umask=0o022)
    kept = history.stat()
    assert (stat.S_IMODE(kept.st_mode), kept.st_uid, kept.st_gid) == (mode, *owner)
    assert history.read_text(encoding="utf-8").count("\n") > 1


def test_a_replaced_file_is_new_so_hard_links_keep_the_old_content(tmp_path, day):
    """As the README says: the output is renamed into place, a hard link still names the old file."""
    history = tmp_path / "history.csv"
    history.write_text("name,covers\n", encoding="utf-8")
    os.link(history, tmp_path / "copy.csv")
    plan("--data", day, "--history", history, "--update-history")
    assert (tmp_path / "copy.csv").read_text(encoding="utf-8") == "name,covers\n"
    assert history.read_text(encoding="utf-8") != "name,covers\n"


def test_symlinked_output_keeps_the_link(tmp_path):
    real = tmp_path / "real.txt"
    real.write_text("old", encoding="utf-8")
    link = tmp_path / "link.txt"
    link.symlink_to(real)
    plan("--out", link, "--format", "report")
    assert link.is_symlink() and real.read_text(encoding="utf-8").startswith("Teacher,Period")


def test_failed_write_leaves_the_old_file(tmp_path):
    """A folder that cannot take the new file (a name too long for a temporary file beside it)
    leaves the old output as it was."""
    out = tmp_path / ("c" * 250)
    out.write_text("old", encoding="utf-8")
    shown = run("plan", "--data", SAMPLE, "--out", out)
    refused(shown, 1, "cannot write")
    assert out.read_text(encoding="utf-8") == "old"


def test_devices_are_written_in_place(tmp_path):
    shown = plan("--out", "/dev/stdout", "--format", "report", process=True)
    assert without_timing(shown.stdout) == without_timing(plan("--format", "report").stdout)
    assert plan("--out", "-", "--format", "report").stdout.startswith("Teacher,Period")
    assert plan("--out", "/dev/stdout", process=True).stdout == plan().stdout
    assert plan("--out", "/dev/null").stdout == ""


def test_out_folder_takes_cover_file(tmp_path):
    plan("--out", tmp_path, "--format", "json")
    assert (tmp_path / "cover.json").read_text(encoding="utf-8").startswith("{")


LESSONS = "teacher,period,class\n"
BAD_INPUT = {
    "empty subject": ("teachers.csv", "name,subject\nA,maths\nB,  \n", 3, "empty subject"),
    "duplicate teacher": ("teachers.csv", "name,subject\nA,maths\nA,art\n", 3, "duplicate teacher 'A'"),
    "missing column": ("teachers.csv", "name\nA\n", 1, "header misses column 'subject'"),
    "empty file": ("absences.csv", "", 1, "empty file"),
    "unknown absentee": ("absences.csv", "name,reason\nNobody,Sick\n", 2, "'Nobody' is not in teachers.csv"),
    "duplicate absentee": ("absences.csv", "reason,name\n,Ben Brandt\nSick,Ben Brandt\n", 3, "duplicate"),
    "unknown teacher": ("lessons.csv", LESSONS + "Ben Brandt,1,7A\nNobody,1,7B\n", 3, "'Nobody' is not in"),
    "short row": ("lessons.csv", LESSONS + "Ben Brandt,1\n", 2, "expected 3 values separated by ',' (the header's delimiter), found 2"),
    "long row": ("lessons.csv", LESSONS + "Ben Brandt,1,7A,x\n", 2, "expected 3 values separated by ',' (the header's delimiter), found 4"),
    "period text": ("lessons.csv", LESSONS + "Ben Brandt,one,7A\n", 2, "period 'one' is not a whole number"),
    "period high": ("lessons.csv", LESSONS + "Ben Brandt,32768,7A\n", 2, "outside -32768..32767"),
    "malformed": ("lessons.csv", LESSONS + 'Ben Brandt,1,"7A\n', 2, "malformed CSV"),
    "not utf-8": ("absences.csv", "name,reason\nBen Brandt,Kr\xe4nk\n".encode("latin-1"), 2, "CSV UTF-8"),
    "bad periods": ("absences.csv", "name,reason,periods\nBen Brandt,Sick,3-x\n", 2, "periods '3-x'"),
    "backward periods": ("absences.csv", "name,reason,periods\nBen Brandt,Sick,5-3\n", 2, "runs backwards"),
    "bad unavailable": ("teachers.csv", "name,subject,unavailable\nA,maths,soon\n", 2, "unavailable 'soon'"),
}


@pytest.mark.parametrize("file_name, content, line, message", BAD_INPUT.values(), ids=BAD_INPUT.keys())
@pytest.mark.parametrize("format_name", ["report", "csv"])
def test_bad_input_is_one_line_and_status_2(day, tmp_path, file_name, content, line, message, format_name):
    path = day / file_name
    path.write_bytes(content if isinstance(content, bytes) else content.encode("utf-8"))
    out = tmp_path / "out.txt"
    shown = run("plan", "--data", day, "--out", out, "--format", format_name)
    refused(shown, 2, f"{path}, line {line}: ", message)
    assert shown.stdout == "" and not out.exists()


def test_missing_folder_names_the_file(tmp_path):
    refused(run("plan", "--data", tmp_path / "nowhere"), 2, "teachers.csv: cannot read the file")
