"""lessoncover plan never follows a symbolic link planted where it writes on its own: at a day's
output (board.txt or cover.<ext> beside the days or under --out DIR) or at a day's folder. Planted before the
run, the link is refused before anything is written (exit 2); planted while the run goes on, it is
refused at the write (exit 1). A path the user typed may be a link they chose."""
import errno
import os
from pathlib import Path

import pytest

from cli_support import SAMPLE, copy_day, plan, refused, run
from lessoncover_planner.cli import writing
from lessoncover_planner.cli.errors import WriteError


@pytest.fixture
def week(tmp_path):
    folder = tmp_path / "week"
    for name in ("mon", "tue"):
        copy_day(SAMPLE, folder / name)
    return folder


@pytest.fixture
def secret(tmp_path):
    target = tmp_path / "bashrc"
    target.write_text("keep me\n", encoding="utf-8")
    return target


def snapshot(folder):
    return {path: (path.is_symlink(), path.read_bytes() if path.is_file() and not path.is_symlink() else None)
            for path in sorted(folder.rglob("*"))}


@pytest.mark.parametrize("out", [None, "out"])
@pytest.mark.parametrize("format_name, output_name", [("text", "board.txt"), ("report", "cover.txt"),
                                                     ("html", "cover.html")])
def test_a_link_planted_at_an_output_is_refused_before_anything_is_written(
        tmp_path, week, secret, out, format_name, output_name):
    folder = week / "tue" if out is None else tmp_path / out / "tue"
    folder.mkdir(parents=True, exist_ok=True)
    link = folder / output_name
    link.symlink_to(secret)
    before = snapshot(tmp_path)
    arguments = ["plan", "--data", week, "--format", format_name] + (["--out", tmp_path / out] if out else [])
    shown = run(*arguments)
    refused(shown, 2, str(link), "symbolic link")
    assert shown.stdout == "" and snapshot(tmp_path) == before
    assert secret.read_text(encoding="utf-8") == "keep me\n"


def test_a_link_planted_at_a_day_folder_under_out_is_refused(tmp_path, week, secret):
    elsewhere = tmp_path / "elsewhere"
    elsewhere.mkdir()
    (tmp_path / "out").mkdir()
    (tmp_path / "out" / "mon").symlink_to(elsewhere)
    refused(run("plan", "--data", week, "--out", tmp_path / "out"), 2, str(tmp_path / "out" / "mon"), "symbolic link")
    assert list(elsewhere.iterdir()) == []


def test_a_linked_day_folder_is_read_but_never_written_through(tmp_path, week):
    elsewhere = copy_day(SAMPLE, tmp_path / "elsewhere")
    (week / "wed").symlink_to(elsewhere)
    refused(run("plan", "--data", week), 2, str(week / "wed"), "symbolic link")
    assert not (elsewhere / "board.txt").exists() and not (week / "mon" / "board.txt").exists()


def test_one_day_into_a_folder_refuses_a_link_at_the_cover_file(tmp_path, secret):
    day = copy_day(SAMPLE, tmp_path / "day")
    out = tmp_path / "out"
    out.mkdir()
    (out / "board.txt").symlink_to(secret)
    refused(run("plan", "--data", day, "--out", out), 2, "symbolic link")
    assert secret.read_text(encoding="utf-8") == "keep me\n"


def test_a_link_the_user_typed_is_still_followed(tmp_path, secret):
    link = tmp_path / "mine.txt"
    link.symlink_to(secret)
    plan("--out", link, "--format", "report")
    assert link.is_symlink() and secret.read_text(encoding="utf-8").startswith("Teacher,Period")


def test_an_existing_fifo_at_an_output_is_refused(tmp_path, week):
    os.mkfifo(week / "mon" / "board.txt")
    refused(run("plan", "--data", week), 2, "not a regular file")


# Planted while the command runs: after the checks, before the write. The writer itself is
# called, as the command calls it for a day's output.

def test_a_link_planted_at_the_output_during_the_run_is_refused_at_the_write(tmp_path, secret):
    (tmp_path / "cover.txt").symlink_to(secret)
    with pytest.raises(WriteError, match="symbolic link"):
        writing.write_file(tmp_path / "cover.txt", b"plan", follow_name=False, follow_folder=False)
    assert secret.read_text(encoding="utf-8") == "keep me\n"
    assert sorted(path.name for path in tmp_path.iterdir()) == ["bashrc", "cover.txt"]  # no temporary left


def test_a_day_folder_swapped_for_a_link_during_the_run_is_refused_at_the_write(tmp_path):
    elsewhere = tmp_path / "elsewhere"
    elsewhere.mkdir()
    (tmp_path / "mon").symlink_to(elsewhere)
    with pytest.raises(WriteError, match="its folder is a symbolic link"):
        writing.write_file(tmp_path / "mon" / "cover.txt", b"plan", follow_name=False, follow_folder=False)
    assert list(elsewhere.iterdir()) == []


def test_a_link_planted_between_the_check_and_the_rename_is_replaced_not_followed(tmp_path, secret, monkeypatch):
    """The residual window: rename() replaces the link itself, so the target is never written."""
    real_rename = os.rename

    def plant_then_rename(source, target, *, src_dir_fd=None, dst_dir_fd=None):
        os.symlink(secret, target, dir_fd=dst_dir_fd)
        return real_rename(source, target, src_dir_fd=src_dir_fd, dst_dir_fd=dst_dir_fd)

    monkeypatch.setattr(writing.os, "rename", plant_then_rename)
    writing.write_file(tmp_path / "cover.txt", b"plan", follow_name=False, follow_folder=False)
    assert not (tmp_path / "cover.txt").is_symlink()
    assert (tmp_path / "cover.txt").read_bytes() == b"plan"
    assert secret.read_text(encoding="utf-8") == "keep me\n"


def test_the_writer_works_inside_the_opened_folder(tmp_path, monkeypatch):
    """Every step after opening the folder names the file relative to its descriptor."""
    calls = []
    for name in ("open", "rename", "stat", "unlink"):
        real = getattr(os, name)

        def spy(*args, _real=real, _name=name, **kwargs):
            calls.append((_name, args[0], kwargs.get("dir_fd", kwargs.get("dst_dir_fd"))))
            return _real(*args, **kwargs)
        monkeypatch.setattr(writing.os, name, spy)
    writing.write_file(tmp_path / "cover.txt", b"plan", follow_name=False, follow_folder=False)
    assert calls[0] == ("open", tmp_path, None)
    assert calls[1:] and all(dir_fd is not None and "/" not in str(path) for _, path, dir_fd in calls[1:]), calls
    assert (tmp_path / "cover.txt").read_bytes() == b"plan"
