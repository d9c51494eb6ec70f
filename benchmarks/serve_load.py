"""The web app under an office's load, and killed under it.

    python3 -m benchmarks.serve_load [--clients 20] [--seconds 30] [--teachers 150] [--quick]
                                     [--think 0] [--no-load] [--no-kill] [--kills 3] [--py-spy FILE]

Builds a school folder of --teachers teachers (six periods, four teachers in five teaching in
each) in a temporary folder, its first --dates school days each with a tenth of the staff
absent and planned, and starts ``lessoncover serve`` on it as a process of its own, on
127.0.0.1 and a free port.  --clients workers, each a thread with its own session (cookie
jar; its first page gives it the CSRF token), then work the dates for --seconds: about nine
requests in ten read a page (the day page mostly, some a lesson's change page) and one in ten
changes the date (a plan, a pin of a candidate chosen on a change page, an absence added or
removed), with the version of the date the worker's last page of it showed, so that changes
made meanwhile by others are refused as conflicts.  --think is the mean pause (seconds,
exponentially distributed) between a worker's actions; 0 is a closed loop at full speed.

Each request is timed on the client's side: for a change, the POST alone; the page its
redirect names is timed apart as a page after a change.  Prints, per kind, how many, their
median and 99th percentile and how they ended (conflicts apart from errors: an error is a
5xx, a connection failure or an unexpected status), and whether the targets were met: the
day page's 99th percentile within 100 ms, a plan's and a pin's within 250 ms.

Then the kill phase (--no-kill skips it): the workers change the dates at a higher rate
(each marking absent or back only teachers of its own), the server is killed with SIGKILL
--kills times while they do and started again on the same folder, and afterwards the ledger
is checked (see :mod:`benchmarks.serve_kill_check`).

--py-spy FILE samples the server during the load with py-spy (on PATH), the thread holding
the GIL only: the server is one process, so its requests take turns on the GIL, and a thread
waiting for it is not where the time goes.  FILE gets collapsed stacks with a count each.
"""
from __future__ import annotations

import argparse
import html
import os
import random
import resource
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from collections import Counter
from collections.abc import Callable
from pathlib import Path

import httpx

from .serve_client import (CHANGE_LINK, CONFLICT, DAY, DOWN, ERROR, KINDS, PIN, PLAN, SESSION_LOST, Mix, Request,
                           Worker)
from .serve_kill_check import absences_now, check_ledger
from .serve_school import lessoncover_command, make_school, school_dates

TARGETS = ((DAY, 100.0), (PLAN, 250.0), (PIN, 250.0))
CHANGE_HEAVY = Mix(day=0.35, change=0.15, plan=0.1, pin=0.15, add=0.15, remove=0.1)
PLANS_ONLY = Mix(day=0.0, change=0.0, plan=1.0, pin=0.0, add=0.0, remove=0.0)


def cpu_seconds(pid: int | None = None) -> float:
    """CPU time (user and system) used so far by this process, or by process ``pid``."""
    if pid is None:
        usage = resource.getrusage(resource.RUSAGE_SELF)
        return usage.ru_utime + usage.ru_stime
    fields = Path(f"/proc/{pid}/stat").read_text().rpartition(")")[2].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def free_port() -> int:
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return int(probe.getsockname()[1])


class Server:
    """``lessoncover serve`` on the folder, as a process of its own."""

    def __init__(self, folder: Path, port: int) -> None:
        self.folder, self.port = folder, port
        self.process: subprocess.Popen[bytes] | None = None
        self.url = f"http://127.0.0.1:{port}"
        # what the server says (tracebacks of 5xx answers): a file, as a pipe nobody reads would fill up
        self.log = tempfile.TemporaryFile()

    def start(self, probe_path: str) -> float:
        """Start it and wait until it answers; returns the seconds that took."""
        began = time.perf_counter()
        self.process = subprocess.Popen([*lessoncover_command(), "serve", "--school", str(self.folder),
                                         "--host", "127.0.0.1", "--port", str(self.port)],
                                        stdout=subprocess.DEVNULL, stderr=self.log)
        while time.perf_counter() - began < 30:
            if self.process.poll() is not None:
                raise SystemExit(f"the server stopped: {self.said()}")
            try:
                if httpx.get(self.url + probe_path, timeout=1.0).status_code == 200:
                    return time.perf_counter() - began
            except httpx.HTTPError:
                time.sleep(0.05)
        raise SystemExit("the server did not answer within 30 s")

    def said(self) -> str:
        """What the server wrote to its standard error so far, but the lines it writes on starting."""
        self.log.seek(0)
        lines = self.log.read().decode(errors="replace").splitlines()
        return "\n".join(line for line in lines if "lessoncover: serving" not in line)

    def warm_up(self, dates: list) -> None:
        """Each date's page and a change page once, so that no template is compiled while timed."""
        with httpx.Client(base_url=self.url) as client:
            for date in dates:
                text = client.get(f"/day/{date.isoformat()}").text
                link = CHANGE_LINK.search(text)
                if link:
                    client.get(html.unescape(link.group(1)))

    def kill(self) -> None:
        assert self.process is not None
        os.kill(self.process.pid, signal.SIGKILL)
        self.process.wait()

    def stop(self) -> None:
        if self.process is not None and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.kill()


def start_workers(arguments: argparse.Namespace, server: Server, dates: list, names: list[str], mix: Mix,
                  owned: bool, seed: int) -> tuple[list[Worker], list[threading.Thread], threading.Event]:
    stop = threading.Event()
    workers = [Worker(number, server.url, dates, names[number::arguments.clients] if owned else names, mix,
                      arguments.think, stop, seed * 1000 + number) for number in range(arguments.clients)]
    threads = [threading.Thread(target=worker.run, name=f"worker-{worker.number}") for worker in workers]
    for thread in threads:
        thread.start()
    return workers, threads, stop


def stop_workers(threads: list[threading.Thread], stop: threading.Event) -> None:
    stop.set()
    for thread in threads:
        thread.join()


def percentile(values: list[float], share: float) -> float:
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))]


def report(requests: list[Request], seconds: float) -> dict[str, float]:
    """Prints the table; returns each kind's 99th percentile (ms)."""
    p99: dict[str, float] = {}
    print(f"{'kind':20} {'requests':>8} {'median ms':>10} {'p99 ms':>8} {'max ms':>8}  outcomes")
    for kind in KINDS:
        mine = [r for r in requests if r.kind == kind]
        if not mine:
            continue
        answered = [1000 * r.seconds for r in mine if r.outcome not in (ERROR, DOWN)]
        outcomes = Counter(r.outcome for r in mine)
        p99[kind] = percentile(answered, 0.99) if answered else float("nan")
        print(f"{kind:20} {len(mine):8} {statistics.median(answered) if answered else float('nan'):10.1f} "
              f"{p99[kind]:8.1f} {max(answered, default=float('nan')):8.1f}  "
              + ", ".join(f"{name} {count}" for name, count in sorted(outcomes.items())))
    errors = sum(r.outcome in (ERROR, DOWN) for r in requests)
    conflicts = sum(r.outcome == CONFLICT for r in requests)
    print(f"all: {len(requests)} requests in {seconds:.1f} s ({len(requests) / seconds:.0f}/s); "
          f"version conflicts {conflicts}; errors {errors}")
    for detail, count in Counter(f"{r.kind}: {r.detail}" for r in requests if r.detail).most_common(8):
        print(f"  error x{count}: {detail}")
    return p99


def timed_run(arguments: argparse.Namespace, server: Server, dates: list, names: list[str]) -> None:
    print(f"\n== load: {arguments.clients} clients for {arguments.seconds:g} s on {len(dates)} dates, "
          f"mean think time {arguments.think:g} s")
    assert server.process is not None
    server_cpu, client_cpu = cpu_seconds(server.process.pid), cpu_seconds()
    workers, threads, stop = start_workers(arguments, server, dates, names, Mix(), False, arguments.seed)
    began = time.perf_counter()
    profiler = None
    if arguments.py_spy is not None:
        profiler = subprocess.Popen(["py-spy", "record", "--pid", str(server.process.pid), "--format", "raw",
                                     "--threads", "--gil", "--rate", "100", "--duration", str(int(arguments.seconds)),
                                     "--output", str(arguments.py_spy)], stdout=subprocess.DEVNULL)
    time.sleep(arguments.seconds)
    stop_workers(threads, stop)
    if profiler is not None:
        profiler.wait()
        print(f"server profile (py-spy, collapsed stacks): {arguments.py_spy}")
    seconds = time.perf_counter() - began
    server_cpu, client_cpu = cpu_seconds(server.process.pid) - server_cpu, cpu_seconds() - client_cpu
    p99 = report([r for worker in workers for r in worker.requests], seconds)
    print(f"cpu: the server used {server_cpu:.1f} s ({100 * server_cpu / seconds:.0f}% of a core), the clients "
          f"{client_cpu:.1f} s ({100 * client_cpu / seconds:.0f}% of a core); load average now "
          f"{os.getloadavg()[0]:.2f}")
    for kind, target in TARGETS:
        got = p99.get(kind)
        verdict = "no requests" if got is None else ("met" if got <= target else "MISSED")
        print(f"target: {kind} p99 <= {target:g} ms: {verdict}" + ("" if got is None else f" ({got:.1f} ms)"))


def kill_run(arguments: argparse.Namespace, server: Server, dates: list, names: list[str]) -> bool:
    print(f"\n== kill: {arguments.clients} clients changing {len(dates)} dates; SIGKILL the server "
          f"{arguments.kills} times and start it again on the same folder")
    ledger = server.folder / "lessoncover.db"
    before = absences_now(ledger)
    rng = random.Random(arguments.seed + 2)
    workers, threads, stop = start_workers(arguments, server, dates, names, CHANGE_HEAVY, True, arguments.seed + 1)
    began = time.perf_counter()
    restarts = []
    for _ in range(arguments.kills):
        time.sleep(rng.uniform(1.0, 2.5) * arguments.kill_pace)
        server.kill()
        restarts.append(server.start(f"/day/{dates[0].isoformat()}"))
    # The last kill comes while every worker plans, so that a date's last write is a plan (or
    # one cut off) and its covers can be held against the plan's counts.
    time.sleep(1.5 * arguments.kill_pace)
    for worker in workers:
        worker.mix = PLANS_ONLY
    time.sleep(1.5 * arguments.kill_pace)
    server.kill()  # the ledger is checked as this hard kill left it
    stop_workers(threads, stop)
    requests = [r for worker in workers for r in worker.requests]
    report(requests, time.perf_counter() - began)
    print(f"restarts: {len(restarts)}, each answering after {', '.join(f'{s:.2f}' for s in restarts)} s; "
          f"requests the server never got (down) {sum(r.outcome == DOWN for r in requests)}, "
          f"cut off {sum(r.outcome == ERROR for r in requests)}, "
          f"refused for a session of the killed server {sum(r.outcome == SESSION_LOST for r in requests)}")
    changes = [change for worker in workers for change in worker.changes]
    print("changes: " + ", ".join(f"{state} {count}" for state, count in sorted(Counter(c.state for c in changes).items())))
    seen: dict = {}
    for worker in workers:
        for date, version in worker.versions_seen.items():
            seen[date] = max(seen.get(date, 0), version)
    found = check_ledger(ledger, before, changes, seen)
    for what, count in found.checked.items():
        print(f"checked: {what}: {count}")
    for fault in found.faults:
        print(f"FAULT: {fault}")
    print("kill check: " + ("passed" if not found.faults else f"FAILED ({len(found.faults)} faults)"))
    return not found.faults


def machine() -> str:
    load = os.getloadavg()
    return (f"machine: {os.cpu_count()} cores, shared by the clients and the server (and whatever else runs); "
            f"load average {load[0]:.2f} {load[1]:.2f} {load[2]:.2f} at the start")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--clients", type=int, default=20)
    parser.add_argument("--seconds", type=float, default=30.0)
    parser.add_argument("--teachers", type=int, default=150)
    parser.add_argument("--dates", type=int, default=4, help="how many school days the clients work on")
    parser.add_argument("--think", type=float, default=0.0, help="mean pause between a client's actions (s)")
    parser.add_argument("--kills", type=int, default=3)
    parser.add_argument("--kill", action=argparse.BooleanOptionalAction, default=True, help="run the kill phase")
    parser.add_argument("--load", action=argparse.BooleanOptionalAction, default=True, help="run the timed load")
    parser.add_argument("--quick", action="store_true", help="a smoke run: 3 s of load, one kill")
    parser.add_argument("--seed", type=int, default=7)
    parser.add_argument("--py-spy", type=Path, default=None, metavar="FILE",
                        help="sample the server with py-spy during the load, collapsed stacks to FILE")
    arguments = parser.parse_args()
    arguments.kill_pace = 1.0
    if arguments.quick:
        arguments.seconds, arguments.kills, arguments.kill_pace = 3.0, 1, 0.5
    print(machine())
    dates = school_dates(arguments.dates)
    ok = True
    with tempfile.TemporaryDirectory() as tmp:
        folder = Path(tmp)
        began = time.perf_counter()
        names = make_school(folder, arguments.teachers, dates, arguments.teachers // 10, arguments.seed)
        print(f"school: {arguments.teachers} teachers, 6 periods, {arguments.teachers * 4 // 5} classes; dates "
              f"{', '.join(d.isoformat() for d in dates)} with {arguments.teachers // 10} absent each, planned "
              f"(built in {time.perf_counter() - began:.1f} s)")
        server = Server(folder, free_port())
        try:
            print(f"server: lessoncover serve on {server.url}, answering after "
                  f"{server.start(f'/day/{dates[0].isoformat()}'):.2f} s")
            server.warm_up(dates)
            if arguments.load:
                timed_run(arguments, server, dates, names)
            if arguments.kill:
                ok = kill_run(arguments, server, dates, names)
        finally:
            server.stop()
        said = server.said()
        print("server's standard error: " + (f"\n{said[-4000:]}" if said else "nothing"))
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
