"""generate_substitutions() that runs out of memory leaves the school as it was.

When the report str cannot be allocated the call raises MemoryError, no cover
has been written into a substitute's record (str(school) is unchanged), and the
next call plans the day exactly as a school that never saw the failed call does.

Each case runs in a child process, since it caps the process's address space
(RLIMIT_AS) and a build that gives up on out of memory ends the whole process.
The school is made so that its report is tens of MB while everything else a
generation run allocates is small: many absent teachers, one lesson each, with a
long reason of absence, which every report row repeats.  Class names stay short:
a cover copies its class name into the substitute's record, and long names would
make the covers themselves large allocations.  The cap leaves a few MB above
what the process already maps, room for everything but the report.
"""
import hashlib
import json
import os
import signal
import subprocess
import sys

import pytest

pytest.importorskip("resource")

from lessoncover import Class, School, Teacher, register_period  # noqa: E402

pytestmark = [
    pytest.mark.skipif(bool(os.environ.get("LESSONCOVER_SANITIZED")),
                       reason="the sanitizer's allocator aborts instead of failing an allocation"),
    pytest.mark.skipif(not os.path.exists("/proc/self/status"),
                       reason="needs /proc/self/status to read the address-space size"),
]

PERIODS = 8
ABSENT_TEACHERS = 2_000
REASON_LENGTH = 20_000  # bytes of reason in every report row: a 40 MB report when all are covered
MARGIN = 6 << 20        # address space allowed beyond what the process maps before the call
REASON = ("Away on a district moderation course " * (REASON_LENGTH // 37 + 1))[:REASON_LENGTH]

CASES = [
    # (first period, substitutes): each substitute can cover one lesson per period.
    pytest.param(1, ABSENT_TEACHERS // PERIODS, id="periods-1-8-all-covered"),
    # Periods outside 0..63 take another path through the planner's bookkeeping.
    pytest.param(101, ABSENT_TEACHERS // PERIODS, id="periods-101-108-all-covered"),
    pytest.param(1, ABSENT_TEACHERS // PERIODS // 2, id="periods-1-8-half-uncovered"),
]


def build_school(first_period, substitutes):
    """Absent teachers with one lesson each, in a class of their own; maths substitutes free all day."""
    school = School()
    absent = []
    for i in range(ABSENT_TEACHERS):
        teacher = Teacher("Absent %04d" % i, "maths", False)
        teacher.reason_of_absentee = REASON
        school.add_teacher(teacher)
        absent.append(teacher)
    for i in range(substitutes):
        school.add_teacher(Teacher("Cover %03d" % i, "maths", True))
    for i, teacher in enumerate(absent):
        klass = Class("C-%04d" % i)
        register_period(teacher, first_period + i % PERIODS, school, klass)
        school.add_class(klass)
    return school


def without_timing(result):
    return result.rsplit("\n", 1)[0]


def digest(text):
    return hashlib.sha256(text.encode("utf-8", "surrogatepass")).hexdigest()


def row_summary(report):
    """Every row but its long reason, then the number of missing-cover lines."""
    head, _, missing = report.rpartition("\n\n")
    rows = [line.rsplit(",", 1)[0] for line in head.split("\n")[1:]]
    return rows, missing.count("Couldnt find a substitution for ")


# ----------------------------------------------------------------- child --

def vm_size():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmSize:"):
                return int(line.split()[1]) * 1024
    raise RuntimeError("no VmSize in /proc/self/status")


def child(first_period, substitutes):
    """Prints one JSON object per step, so that the parent sees how far a child got that died."""
    import resource

    def tell(**facts):
        print(json.dumps(facts), flush=True)

    soft, hard = resource.getrlimit(resource.RLIMIT_AS)

    def generate_within(school, room):
        """generate_substitutions() with `room` bytes of address space beyond the current size."""
        limit = vm_size() + room
        if hard != resource.RLIM_INFINITY and limit > hard:
            tell(skip="the hard RLIMIT_AS (%d) is below the cap needed (%d)" % (hard, limit))
            sys.exit(0)
        resource.setrlimit(resource.RLIMIT_AS, (limit, hard))
        try:
            return school.generate_substitutions()
        finally:
            resource.setrlimit(resource.RLIMIT_AS, (soft, hard))

    # The report of a school that never sees a failed call.
    expected = without_timing(build_school(first_period, substitutes).generate_substitutions())
    tell(expected_digest=digest(expected), expected_rows=row_summary(expected), report_bytes=len(expected))

    # With room for the report besides the margin, the capped run goes through: the margin
    # is enough for everything generation allocates but the report.
    roomy = generate_within(build_school(first_period, substitutes), len(expected) + MARGIN)
    tell(roomy_digest=digest(without_timing(roomy)))
    del roomy, expected

    school = build_school(first_period, substitutes)
    tell(str_before=digest(str(school)))
    try:
        result = generate_within(school, MARGIN)
    except MemoryError:
        tell(outcome="MemoryError")
    except BaseException as error:  # noqa: BLE001 - reported to the parent as it is
        tell(outcome="%s: %s" % (type(error).__name__, str(error)[:200]))
    else:
        tell(outcome="returned a report of %d characters" % len(result))
        del result

    tell(str_after=digest(str(school)))
    again = without_timing(school.generate_substitutions())
    tell(again_digest=digest(again), again_rows=row_summary(again))


# ---------------------------------------------------------------- parent --

def run_child(first_period, substitutes):
    env = dict(os.environ)
    # glibc raises its mmap threshold once a large block is freed (str(school) is one), and
    # later blocks of up to 32 MB then come from freed heap already inside the address space,
    # where the cap would not see them. A fixed threshold keeps every large block an mmap of
    # its own that goes back on free.
    env["MALLOC_MMAP_THRESHOLD_"] = str(128 * 1024)
    run = subprocess.run([sys.executable, os.path.abspath(__file__), str(first_period), str(substitutes)],
                         capture_output=True, text=True, env=env, timeout=600)
    facts = {}
    for line in run.stdout.splitlines():
        if line.startswith("{"):
            facts.update(json.loads(line))
    return run, facts


def death(run):
    if run.returncode < 0:
        how = "died of %s" % signal.Signals(-run.returncode).name
    else:
        how = "exited with status %d" % run.returncode
    return "%s; stderr: %s" % (how, run.stderr.strip()[-2000:] or "(empty)")


def reached(facts, key, run, what):
    """Fails with `what` and how the child ended when it never reported `key`."""
    if key not in facts:
        pytest.fail("%s: %s" % (what, death(run)), pytrace=False)


@pytest.mark.parametrize("first_period, substitutes", CASES)
def test_generation_out_of_memory_leaves_the_school_unchanged(first_period, substitutes):
    run, facts = run_child(first_period, substitutes)
    if "skip" in facts:
        pytest.skip(facts["skip"])

    reached(facts, "expected_digest", run, "the child failed before any capped run")
    # The cap must be too small for the report and nothing else.
    assert facts["report_bytes"] > 3 * MARGIN
    reached(facts, "roomy_digest", run,
            "generation failed with room for its report plus %d bytes, so the margin does not hold "
            "what it allocates besides the report" % MARGIN)
    assert facts["roomy_digest"] == facts["expected_digest"]
    reached(facts, "str_before", run, "the child failed before the capped run")

    reached(facts, "outcome", run, "the call whose report could not be allocated ended the process")
    assert facts["outcome"] == "MemoryError"
    reached(facts, "again_rows", run, "the child failed after the capped run")
    (again, again_missing), (expected, expected_missing) = facts["again_rows"], facts["expected_rows"]
    changed = sum(a != b for a, b in zip(again, expected)) + abs(len(again) - len(expected))
    assert facts["str_after"] == facts["str_before"], (
        "the failed call changed the school: the next run gives %d rows and %d missing covers, "
        "%d rows unlike those of a school that never saw it (%d rows, %d missing)"
        % (len(again), again_missing, changed, len(expected), expected_missing))
    assert facts["again_rows"] == facts["expected_rows"]
    assert facts["again_digest"] == facts["expected_digest"]
    assert run.returncode == 0, death(run)


if __name__ == "__main__":
    child(int(sys.argv[1]), int(sys.argv[2]))
