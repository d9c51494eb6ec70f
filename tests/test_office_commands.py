"""The office commands' refusals: one line, exit 2, saying what is wrong and what would do."""
import pytest
from office_support import MONDAY, make_school, office


@pytest.mark.parametrize(("args", "message"), [
    (["absent", "kmj"], "teacher 'kmj' is not in teachers.csv (did you mean 'KMJ'?)"),
    (["absent", "KMJ", "--periods", "9-x"], "--periods: periods '9-x' is not a list of periods such as '3-5' or '1;4'"),
    (["absent", "KMJ", "--date", "2025-03-15"], "2025-03-15 is a Saturday: not a school day"),
    (["assign", "NOBODY", "--class", "9A", "--period", "1"], "substitute 'NOBODY' is not in teachers.csv"),
    (["candidates", "--class", "9a", "--period", "1"], f"{MONDAY}: no lesson in 9a period 1 whose teacher is absent "
                                                         "then (did you mean '9A'"),
    (["history", "--from", "2025-03-12", "--to", "2025-03-10"], "--from 2025-03-12 is after --to 2025-03-10"),
    (["plan", "--data", ".", "--date", MONDAY], "--data and --school cannot be used together"),
])
def test_refusals(capsys, tmp_path, args, message):
    school = make_school(tmp_path / "school")
    if args[0] != "plan":
        args = [*args, "--school", school]
        if "--date" not in args and args[0] != "history":
            args += ["--date", MONDAY]
    else:
        args = [*args, "--school", school]
    status, out, err = office(capsys, *args)
    assert (status, out) == (2, "")
    assert err.startswith(f"lessoncover: error: {message}"), err


@pytest.mark.parametrize("text", ["yesterday", "2025-02-30", "mond"])
def test_a_date_that_is_not_one_is_a_usage_error(capsys, tmp_path, text):
    school = make_school(tmp_path / "school")
    with pytest.raises(SystemExit) as exit:
        office(capsys, "absent", "KMJ", "--date", text, "--school", school)
    assert exit.value.code == 2
    assert "argument --date: " in capsys.readouterr().err
