#!/usr/bin/env python3
"""Seeds realistic faults into the checkout, one at a time, and records which
test notices each of them.

For every fault of scripts/faults.txt: the snippet must occur exactly once in
its file; it is replaced, the builds its test stages need are brought up to
date, the stages run in order (ctest, stopping at the first failing test), and
the file is restored with `git checkout -- FILE`, also after Ctrl-C or a
failed build. A failing test is run once more on its own before it counts, so
that a flaky test does not pass for a catch.

    scripts/seed_faults.py --all --table scripts/faults-baseline.md
    scripts/seed_faults.py --id scripts-ready-lt --id window-cancel-flag-kept
    scripts/seed_faults.py --area "file layer"
    scripts/seed_faults.py --check        # every snippet still found once?
    scripts/seed_faults.py --all --first "file layer" --skip-stage windesktop \\
        --until 16:25 --before scripts/faults-baseline.md --table scripts/faults-after.md

Builds: build/ (preset default, given build-windows/ as ZELBO_WINDOWS_BUILD)
and build-windows/ (preset windows); both are configured when missing, and
only the targets a stage runs are built. Tests that fail before any fault is
seeded are left out of every stage (the baseline), and named in the table.
Everything runs under `nice -n 19`.
A developer tool: not part of the test suite, and it changes no file for good.
"""

from __future__ import annotations

import argparse
import contextlib
import dataclasses
import datetime
import json
import os
import re
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BUILDS = {"linux": ROOT / "build", "windows": ROOT / "build-windows"}
LOG_DIR = BUILDS["linux"] / "seed-faults"
MARKER = LOG_DIR / "seeded-now"


# ---------------------------------------------------------------- stages
#
# A stage is a set of tests of one build, picked from ctest's own listing by
# the program a test runs (or its label), and the builds that must be up to
# date before it runs. Edit these tables when test programs are renamed.

@dataclasses.dataclass(frozen=True)
class Stage:
    name: str
    build: str              # the build whose ctest lists and runs the tests
    # The builds brought up to date first, in order, each with the targets
    # to build there (none: all of it).
    needs: tuple[tuple[str, tuple[str, ...]], ...]
    programs: frozenset[str] = frozenset()  # file names of test programs or scripts
    label: str = ""         # or: every test with this label
    everything: bool = False  # or: every test of the build


STAGES = {
    stage.name: stage
    for stage in (
        # Units and the console program end to end (the scripts run by real shells).
        Stage("core", "linux", (("linux", ("zelbo_unit_tests", "console_e2e_tests", "czelbo32")),),
              programs=frozenset({"zelbo_unit_tests", "console_e2e_tests"})),
        # The windowed program: its logic, the Qt window and the desktop scenarios.
        Stage("gui", "linux",
              (("linux", ("gui_logic_tests", "gui_window_tests", "gui_run_tests",
                          "desktop_qt_tests", "zelbo32")),),
              programs=frozenset({"gui_logic_tests", "gui_window_tests", "gui_run_tests",
                                  "desktop_qt_tests", "program_test.sh", "atspi_test.sh",
                                  "desktop_test.sh"})),
        # CZELBO32.exe driven through wine; batches joined by wine's cmd.
        Stage("wine", "linux", (("windows", ()), ("linux", ("wine_e2e_tests",))),
              programs=frozenset({"wine_e2e_tests"})),
        # The Windows build's own tests under wine (units, imports, zip).
        Stage("winunit", "windows", (("windows", ()),), everything=True),
        # The window scenarios on Zelbo32.exe under wine.
        Stage("windesktop", "linux", (("windows", ()), ("linux", ("desktop_wine_tests",))),
              label="wine-desktop"),
    )
}

# The stages each area runs, cheapest and likeliest first; an entry's
# `stages:` line overrides them. The wine stages cost minutes each: only
# the entries whose code runs nowhere else (the batch's lines, the Windows
# sources) name them.
AREA_STAGES = {
    "engine": ("core", "gui"),
    "scripts": ("core",),
    "file layer": ("core", "gui"),
    "console run": ("core",),
    "windowed run": ("gui",),
    "settings": ("gui",),
    "toolkit": ("gui",),
    "names": ("core", "gui"),
}


# ---------------------------------------------------------------- faults

@dataclasses.dataclass
class Fault:
    id: str
    area: str
    file: str
    mistake: str
    find: str
    replace: str
    stages: tuple[str, ...]
    expect: str = ""
    dropped: str = ""       # why the fault's code is gone; nothing is seeded


class FaultListError(Exception):
    pass


def parse_faults(path: Path) -> list[Fault]:
    """Reads the entries of the fault list (its format is described at its top)."""
    faults: list[Fault] = []
    entry: dict | None = None
    section = "header"
    for number, line in enumerate(path.read_text(encoding="utf-8").split("\n"), start=1):
        if line.startswith("=== "):
            if entry is not None:
                faults.append(finish_entry(entry))
            entry = {"id": line[4:].strip(), "line": number, "find": [], "replace": []}
            section = "header"
        elif entry is None or section == "after":
            continue  # comments before the first entry, or after a heading
        elif line in ("--- find", "--- replace"):
            section = line[4:]
        elif line.startswith("##"):
            section = "after"  # a heading ends the entry's texts
        elif section != "header":
            entry[section].append(line)
        elif line.strip() and not line.startswith("#"):
            key, colon, value = line.partition(":")
            if not colon:
                raise FaultListError(f"{path}:{number}: expected 'key: value', got {line!r}")
            entry[key.strip()] = value.strip()
    if entry is not None:
        faults.append(finish_entry(entry))
    check_unique(faults)
    return faults


def finish_entry(entry: dict) -> Fault:
    where = f"entry {entry['id']!r} (line {entry['line']})"
    for key in ("area", "file", "mistake"):
        if not entry.get(key):
            raise FaultListError(f"{where}: no '{key}:' line")
    if not re.fullmatch(r"[A-Za-z0-9-]+", entry["id"]):
        raise FaultListError(f"{where}: an id has only letters, digits and '-'")
    if entry["area"] not in AREA_STAGES:
        raise FaultListError(f"{where}: unknown area {entry['area']!r}")
    replace = entry["replace"]
    while replace and not replace[-1].strip():
        replace.pop()
    if entry.get("dropped"):
        if entry["find"]:
            raise FaultListError(f"{where}: a dropped entry has no '--- find'")
    elif not entry["find"]:
        raise FaultListError(f"{where}: nothing under '--- find'")
    stages = tuple(entry["stages"].split()) if entry.get("stages") else AREA_STAGES[entry["area"]]
    unknown = [name for name in stages if name not in STAGES]
    if unknown:
        raise FaultListError(f"{where}: unknown stages {unknown}")
    return Fault(entry["id"], entry["area"], entry["file"], entry["mistake"],
                 "\n".join(entry["find"]), "\n".join(replace), stages, entry.get("expect", ""),
                 entry.get("dropped", ""))


def check_unique(faults: list[Fault]) -> None:
    seen: set[str] = set()
    for fault in faults:
        if fault.id in seen:
            raise FaultListError(f"the id {fault.id!r} is used twice")
        seen.add(fault.id)


def snippet_problem(fault: Fault) -> str:
    """Why the fault cannot be seeded into the present code, or ''."""
    if fault.dropped:
        return f"dropped: {fault.dropped}"
    path = ROOT / fault.file
    if not path.is_file():
        return f"{fault.file} does not exist"
    if not os.access(path, os.W_OK):
        return f"{fault.file} cannot be written"
    if fault.find == fault.replace:
        return "the replacement equals the snippet"
    count = path.read_text(encoding="utf-8").count(fault.find)
    if count != 1:
        return f"the snippet occurs {count} times in {fault.file} (needs exactly once)"
    return ""


@contextlib.contextmanager
def seeded(fault: Fault):
    """The fault in its file for the duration; the file restored by git, always.
    A marker names the seeded file until then, for a run killed outright."""
    path = ROOT / fault.file
    text = path.read_text(encoding="utf-8")
    MARKER.write_text(f"{fault.file} {fault.id}\n", encoding="utf-8")
    try:
        path.write_text(text.replace(fault.find, fault.replace, 1), encoding="utf-8")
        yield
    finally:
        run(["git", "checkout", "--", fault.file])
        MARKER.unlink()


def refuse_after_a_killed_run() -> None:
    if MARKER.is_file():
        file, _, fault = MARKER.read_text(encoding="utf-8").strip().partition(" ")
        raise SystemExit(f"a run was killed while {file} held the fault {fault}: restore it with "
                         f"`git checkout -- {file}` (after saving any change of yours), "
                         f"then remove {MARKER}")


def uncommitted(files: set[str]) -> list[str]:
    """Those of the files that have changes git would throw away at a restore."""
    listed = run(["git", "status", "--porcelain", "--", *sorted(files)], capture=True).stdout
    return [line[3:] for line in listed.splitlines() if line.strip()]


# ---------------------------------------------------------------- processes

def run(command: list[str], capture: bool = False, log=None, cwd: Path = ROOT,
        nice: bool = False) -> subprocess.CompletedProcess:
    """Runs a command: its output appended to the log, or captured, or shown;
    without a log or capture a failure ends the tool."""
    if nice:
        command = ["nice", "-n", "19", *command]
    if log is None:
        if capture:
            return subprocess.run(command, cwd=cwd, capture_output=True, text=True, errors="replace")
        return subprocess.run(command, cwd=cwd, check=True)
    started = time.monotonic()
    output, code = run_as_group(command, cwd)
    log.write(f"\n$ {' '.join(command)}\n{output}"
              f"[exit {code} after {time.monotonic() - started:.0f} s]\n")
    log.flush()
    return subprocess.CompletedProcess(command, code, output)


def run_as_group(command: list[str], cwd: Path) -> tuple[str, int]:
    """Runs a build or test command in a process group of its own, which an
    interruption ends as a whole: no test outlives the tool."""
    process = subprocess.Popen(command, cwd=cwd, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, text=True, errors="replace",
                               start_new_session=True)
    try:
        output, _ = process.communicate()
        return output, process.returncode
    except BaseException:
        end_group(process)
        raise


def end_group(process: subprocess.Popen) -> None:
    for sent in (signal.SIGTERM, signal.SIGKILL):
        with contextlib.suppress(ProcessLookupError):
            os.killpg(process.pid, sent)
        try:
            process.wait(timeout=10)
            return
        except subprocess.TimeoutExpired:
            continue


def raise_interrupt(signum, frame):
    raise KeyboardInterrupt(f"signal {signum}")


# ---------------------------------------------------------------- builds

class Builds:
    def __init__(self, jobs: int):
        self.jobs = jobs

    def configure(self, names: set[str], log) -> None:
        """Configures the builds that are missing; the Linux one with the
        Windows build given, as the wine stages need."""
        if "windows" in names and not (BUILDS["windows"] / "CMakeCache.txt").is_file():
            self.checked(["cmake", "--preset", "windows"], log, "configure build-windows")
        if "linux" in names and not self.linux_knows_windows():
            self.checked(["cmake", "--preset", "default",
                          f"-DZELBO_WINDOWS_BUILD={BUILDS['windows']}"], log, "configure build")

    @staticmethod
    def linux_knows_windows() -> bool:
        cache = BUILDS["linux"] / "CMakeCache.txt"
        if not cache.is_file():
            return False
        found = re.search(r"^ZELBO_WINDOWS_BUILD:\w+=(.+)$", cache.read_text(), re.MULTILINE)
        return found is not None and Path(found.group(1)) == BUILDS["windows"]

    def build(self, name: str, targets: tuple[str, ...], log) -> bool:
        chosen = ["--target", *targets] if targets else []
        return run(["cmake", "--build", str(BUILDS[name]), "-j", str(self.jobs), *chosen],
                   log=log, nice=True).returncode == 0

    def checked(self, command: list[str], log, what: str) -> None:
        if run(command, log=log, nice=True).returncode != 0:
            raise SystemExit(f"{what} failed: see {log.name}")


# ---------------------------------------------------------------- tests

@dataclasses.dataclass
class StageRun:
    failed: str = ""     # the first failing test, '' when all passed
    problem: str = ""    # why the stage could not run properly
    failures: list[str] = dataclasses.field(default_factory=list)


def listed_tests(build: str) -> list[dict]:
    """ctest's own listing of the build's tests; a test's number is its place + 1."""
    shown = run(["ctest", "--test-dir", str(BUILDS[build]), "--show-only=json-v1"], capture=True)
    if shown.returncode != 0:
        raise SystemExit(f"ctest cannot list the tests of {BUILDS[build]}: {shown.stderr}")
    return json.loads(shown.stdout)["tests"]


def property_of(test: dict, name: str):
    for prop in test.get("properties", []):
        if prop["name"] == name:
            return prop["value"]
    return None


def in_stage(stage: Stage, test: dict) -> bool:
    if stage.everything:
        return True
    if stage.label:
        return stage.label in (property_of(test, "LABELS") or [])
    return any(Path(word).name in stage.programs for word in test.get("command", [])[:2])


class Tester:
    def __init__(self, jobs: int):
        self.jobs = jobs
        self.left_out: dict[str, list[str]] = {}  # stage -> tests failing without a fault

    def selection(self, stage: Stage, tests: list[dict], skip: set[str]) -> list[int]:
        return [number for number, test in enumerate(tests, start=1)
                if in_stage(stage, test) and test["name"] not in skip
                and test["name"] not in self.left_out.get(stage.name, [])]

    def run_tests(self, stage: Stage, tests: list[dict], numbers: list[int], log,
                  stop_on_failure: bool) -> StageRun:
        command = ["ctest", "--test-dir", str(BUILDS[stage.build]), "-j", str(self.jobs),
                   "--timeout", "600", "--output-on-failure",
                   "-I", "0,0,0," + ",".join(map(str, numbers))]
        if stop_on_failure:
            command.append("--stop-on-failure")
        done = run(command, log=log, nice=True)
        if any(property_of(tests[n - 1], "FIXTURES_REQUIRED") for n in numbers):
            clean_up_fixtures(stage.build, tests, log)
        return outcome(done.stdout, tests)

    def baseline(self, stage: Stage, log) -> list[str]:
        """Runs the whole stage on the code as it is; what fails there says
        nothing about a fault, and is left out from now on."""
        tests = listed_tests(stage.build)
        numbers = self.selection(stage, tests, set())
        if not numbers:
            raise SystemExit(f"stage {stage.name} selects no test in {BUILDS[stage.build]}")
        result = self.run_tests(stage, tests, numbers, log, stop_on_failure=False)
        if result.problem:
            raise SystemExit(f"stage {stage.name} cannot run: {result.problem} (see {log.name})")
        self.left_out[stage.name] = result.failures
        return result.failures

    def stage(self, stage: Stage, log) -> StageRun:
        """Runs the stage until its first failing test, which must fail again
        on its own to count; a test that then passes is flaky and left out."""
        tests = listed_tests(stage.build)
        flaky: set[str] = set()
        for _ in range(3):
            numbers = self.selection(stage, tests, flaky)
            if not numbers:
                return StageRun(problem=f"stage {stage.name} selects no test")
            result = self.run_tests(stage, tests, numbers, log, stop_on_failure=True)
            if result.problem or not result.failed:
                return result
            number = next(n for n, test in enumerate(tests, start=1) if test["name"] == result.failed)
            again = self.run_tests(stage, tests, [number], log, stop_on_failure=True)
            if again.failed:
                return result
            log.write(f"\n[seed_faults] {result.failed} passed when run again: flaky, left out\n")
            flaky.add(result.failed)
        return StageRun(problem=f"flaky tests in stage {stage.name}: {sorted(flaky)}")


def clean_up_fixtures(build: str, tests: list[dict], log) -> None:
    """Runs the cleanups of the build's fixtures (they stop the wine servers),
    which a run stopped at a failure or interrupted skips."""
    cleanups = [str(number) for number, test in enumerate(tests, start=1)
                if property_of(test, "FIXTURES_CLEANUP")]
    if cleanups:
        run(["ctest", "--test-dir", str(BUILDS[build]), "-I", "0,0,0," + ",".join(cleanups)],
            log=log, nice=True)


# A line of ctest's progress: "12/40 Test  #7: NAME ....   Passed    0.01 sec",
# or "....***Failed". The status follows the last run of dots: a name that
# gtest shortened ends in " ..." itself.
PROGRESS = re.compile(r"^\s*\d+/\d+ Test\s+#(\d+): .* \.+\s*(\*\*\*)?(.+?)\s+[\d.]+ sec\s*$")


def outcome(output: str, tests: list[dict]) -> StageRun:
    result = StageRun()
    for line in output.splitlines():
        match = PROGRESS.match(line)
        if not match:
            continue
        status = match.group(3)
        name = tests[int(match.group(1)) - 1]["name"]
        if status.startswith(("Passed", "Skipped")):
            continue
        if status.startswith("Not Run"):
            result.problem = f"{name} could not run ({status})"
            return result
        result.failures.append(name)
        result.failed = result.failed or name
    if "No tests were found" in output:
        result.problem = "no tests were found"
    return result


# ---------------------------------------------------------------- results

VERDICTS = ("caught", "survived", "does not build", "not seeded", "error", "not run", "dropped")


@dataclasses.dataclass
class Result:
    fault: Fault
    verdict: str            # one of VERDICTS
    caught_by: str = ""
    stage: str = ""
    seconds: float = 0.0
    note: str = ""
    stages_run: tuple[str, ...] = ()


def caught_by_text(result: Result) -> str:
    if result.verdict == "caught":
        text = f"`{short_name(result.caught_by)}` ({result.stage})"
    elif result.verdict == "survived":
        text = f"**survived** ({', '.join(result.stages_run)})"
    elif result.verdict == "dropped":
        text = f"dropped: {result.fault.dropped}"
    else:
        text = f"**{result.verdict}**" + (f": {result.note}" if result.note else "")
    if result.fault.expect:
        text += f"; expected: {result.fault.expect}"
    return text


def short_name(test: str) -> str:
    """A parameterised test's name without the comment gtest adds to it, and
    without the bytes it prints for a parameter that has no printer."""
    return re.sub(r"/\d+-byte object <.*", "/(a parameter)", test.split("  # ", 1)[0])


def write_table(path: Path, results: list[Result], left_out: dict[str, list[str]],
                wall: float, finished: bool, before: dict[str, str] | None = None,
                skipped: tuple[str, ...] = ()) -> None:
    counts = {verdict: sum(r.verdict == verdict for r in results) for verdict in VERDICTS}
    expected = sum(r.verdict == "survived" and r.fault.expect.startswith("survives") for r in results)
    head = run(["git", "rev-parse", "--short", "HEAD"], capture=True).stdout.strip()
    lines = [
        "# Seeded faults: what the tests catch",
        "",
        f"Made by `scripts/seed_faults.py` from `scripts/faults.txt` on commit {head}, "
        f"{datetime.date.today().isoformat()}; {'the whole pass' if finished else 'an unfinished pass'} "
        f"took {wall / 60:.0f} min (2 cores shared, `nice -n 19`, -j2).",
        "",
        f"**{counts['caught']} of {len(results)} caught, {counts['survived']} survived** "
        f"({expected} of them known survivors)"
        + "".join(f", {n} {v}" for v, n in counts.items() if v not in ("caught", "survived") and n)
        + ".",
        "",
    ]
    if skipped:
        lines += [f"Stages not run in this pass: {', '.join(skipped)}.", ""]
    failing = [f"`{short_name(t)}` ({s})" for s, tests in left_out.items() for t in tests]
    if failing:
        lines += ["Left out of every run because they fail without any fault: "
                  + ", ".join(failing) + ".", ""]
    if before is not None:
        lines += comparison(results, before)
    lines += ["| Fault | Area | File | The mistake | Caught by | s |",
              "|---|---|---|---|---|---|"]
    for r in results:
        lines.append(f"| {r.fault.id} | {r.fault.area} | {r.fault.file} | {r.fault.mistake} | "
                     f"{caught_by_text(r)} | {r.seconds:.0f} |")
    path.write_text("\n".join(lines) + "\n", encoding="utf-8")


def earlier_results(path: Path) -> dict[str, str]:
    """The 'Caught by' cell of each fault in an earlier table."""
    cells = {}
    for line in path.read_text(encoding="utf-8").splitlines():
        row = [cell.strip() for cell in line.strip().strip("|").split(" | ")]
        if len(row) == 6 and row[0] not in ("Fault", "---|---|---|---|---|---"):
            cells[row[0]] = row[4]
    return cells


def survived_before(cell: str) -> bool:
    return cell.startswith("**survived**")


def comparison(results: list[Result], before: dict[str, str]) -> list[str]:
    """Before and after, side by side: the counts over the faults of both
    passes, then the faults named in `expect:` lines (the earlier known
    survivors) and every other fault whose verdict changed."""
    both = [r for r in results if r.fault.id in before and r.verdict in ("caught", "survived")]
    caught_before = sum(not survived_before(before[r.fault.id]) for r in both)
    caught_now = sum(r.verdict == "caught" for r in both)
    new = [r for r in results if r.fault.id not in before and r.verdict in ("caught", "survived")]
    lines = ["## Before and after", "",
             f"The earlier pass caught {sum(not survived_before(c) for c in before.values())} "
             f"of {len(before)}. Of the {len(both)} faults run in both passes, {caught_before} "
             f"were caught before and {caught_now} are caught now; of the {len(new)} new faults "
             f"run, {sum(r.verdict == 'caught' for r in new)} are caught.", "",
             "| Fault | Before | After |", "|---|---|---|"]
    changed = [r for r in results if r.fault.id in before and (
        r.fault.expect or (r in both and survived_before(before[r.fault.id]) != (r.verdict == "survived")))]
    changed.sort(key=lambda r: not r.fault.expect)
    for r in changed:
        after = caught_by_text(r).split("; expected:")[0]
        lines.append(f"| {r.fault.id} | {before[r.fault.id].split('; expected:')[0]} | {after} |")
    if not changed:
        lines.append("| (none) | | |")
    return lines + ["", "## Every fault", ""]


# ---------------------------------------------------------------- the run

class Seeder:
    def __init__(self, jobs: int, skipped: tuple[str, ...]):
        self.skipped = skipped
        self.builds = Builds(jobs)
        self.tester = Tester(jobs)
        self.built: set[tuple[str, tuple[str, ...]]] = set()
        self.prepared: set[str] = set()

    def prepare(self, faults: list[Fault], baseline: bool) -> None:
        """Builds what the faults' stages need from the unchanged code and
        runs each stage's baseline, once per stage: a stage is prepared
        just before its first fault, so that a pass that stops early spends
        nothing on the stages it never reached."""
        stages = [STAGES[name] for name in dict.fromkeys(s for f in faults for s in f.stages)
                  if name not in self.skipped and name not in self.prepared]
        if not stages:
            return
        self.prepared.update(stage.name for stage in stages)
        needed = {need for stage in stages for need in stage.needs}
        with open(LOG_DIR / "baseline.log", "a", encoding="utf-8") as log:
            self.builds.configure({build for build, _ in needed}, log)
            for build, targets in sorted(needed, key=lambda need: need[0] != "windows"):
                if not self.builds.build(build, targets, log):
                    raise SystemExit(f"the unchanged code does not build: see {log.name}")
            self.built |= needed
            for stage in stages if baseline else []:
                say(f"baseline: stage {stage.name} on the unchanged code ...")
                failing = self.tester.baseline(stage, log)
                if failing:
                    say(f"  left out (they fail without a fault): {', '.join(map(short_name, failing))}")

    def seed(self, fault: Fault) -> Result:
        started = time.monotonic()
        with open(LOG_DIR / f"{fault.id}.log", "w", encoding="utf-8") as log:
            with seeded(fault):
                result = self.run_stages(fault, log)
        result.seconds = time.monotonic() - started
        return result

    def run_stages(self, fault: Fault, log) -> Result:
        stages = tuple(name for name in fault.stages if name not in self.skipped)
        if not stages:
            return Result(fault, "not run", note=f"only in {', '.join(fault.stages)}")
        for name in stages:
            stage = STAGES[name]
            for build, targets in stage.needs:
                self.built.add((build, targets))
                if not self.builds.build(build, targets, log):
                    return Result(fault, "does not build", stage=name, note=first_error(log.name))
            outcome = self.tester.stage(stage, log)
            if outcome.problem:
                return Result(fault, "error", stage=name, note=outcome.problem)
            if outcome.failed:
                return Result(fault, "caught", caught_by=outcome.failed, stage=name)
        return Result(fault, "survived", stages_run=stages)

    def stop_wine(self) -> None:
        """The wine servers of the test sessions outlive an interrupted ctest."""
        with open(LOG_DIR / "interrupted.log", "w", encoding="utf-8") as log:
            for build in {build for build, _ in self.built}:
                clean_up_fixtures(build, listed_tests(build), log)

    def rebuild_clean(self) -> None:
        """Leaves no build holding the last fault's code."""
        with open(LOG_DIR / "restore.log", "w", encoding="utf-8") as log:
            for build, targets in sorted(self.built, key=lambda need: need[0] != "windows"):
                if not self.builds.build(build, targets, log):
                    say(f"warning: {BUILDS[build]} did not build again after the faults: see {log.name}")


def first_error(log_path: str) -> str:
    with open(log_path, encoding="utf-8", errors="replace") as log:
        for line in log:
            if "error:" in line:
                return line.strip()[:200]
    return "see the log"


def say(text: str) -> None:
    print(text, flush=True)


def chosen_faults(faults: list[Fault], args) -> list[Fault]:
    by_id = {fault.id: fault for fault in faults}
    unknown = [i for i in args.id if i not in by_id]
    if unknown:
        raise SystemExit(f"no such fault: {', '.join(unknown)}")
    if args.all:
        return in_running_order(faults, args.first)
    chosen = [by_id[i] for i in args.id]
    chosen += [f for f in faults if args.area and f.area == args.area and f not in chosen]
    if not chosen:
        raise SystemExit("name faults with --id or --area, or give --all (see --help)")
    return in_running_order(chosen, args.first)


def in_running_order(chosen: list[Fault], first: list[str]) -> list[Fault]:
    """The faults that --first names (an id, an area or a file), in its
    order, then the rest in the list's order: where time may run out, the
    faults that matter most run before it does."""
    ordered: list[Fault] = []
    for word in first:
        matching = [f for f in chosen if word in (f.id, f.area, f.file) and f not in ordered]
        if not matching and not any(word in (f.id, f.area, f.file) for f in chosen):
            raise SystemExit(f"--first {word!r} names no chosen fault, area or file")
        ordered += matching
    return ordered + [f for f in chosen if f not in ordered]


def deadline(text: str | None) -> datetime.datetime | None:
    """--until HH:MM (UTC): today's, or tomorrow's once today's has passed."""
    if text is None:
        return None
    hour, _, minute = text.partition(":")
    now = datetime.datetime.now(datetime.timezone.utc)
    until = now.replace(hour=int(hour), minute=int(minute or 0), second=0, microsecond=0)
    return until if until > now else until + datetime.timedelta(days=1)


def parse_arguments(argv: list[str]):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter,
                                     epilog=__doc__.split("\n\n", 1)[1])
    parser.add_argument("--faults", type=Path, default=ROOT / "scripts" / "faults.txt",
                        help="the fault list (default: scripts/faults.txt)")
    parser.add_argument("--id", action="append", default=[], help="seed this fault (repeatable)")
    parser.add_argument("--area", choices=sorted(AREA_STAGES), help="seed the faults of this area")
    parser.add_argument("--all", action="store_true", help="seed every fault of the list")
    parser.add_argument("--check", action="store_true",
                        help="only check that every chosen snippet occurs once (all without --id/--area)")
    parser.add_argument("--list", action="store_true", help="list the faults and their stages")
    parser.add_argument("--table", type=Path, help="write the results as a Markdown table to this file")
    parser.add_argument("--no-baseline", action="store_true",
                        help="skip the stages' run on the unchanged code (nothing is left out)")
    parser.add_argument("--jobs", type=int, default=2, help="parallel jobs of builds and ctest (2)")
    parser.add_argument("--first", action="append", default=[], metavar="ID|AREA|FILE",
                        help="run these faults before the others (repeatable, in this order)")
    parser.add_argument("--skip-stage", action="append", default=[], choices=sorted(STAGES),
                        help="run no test of this stage (repeatable); faults that need only "
                             "skipped stages are 'not run'")
    parser.add_argument("--until", metavar="HH:MM",
                        help="start no fault after this time (UTC); the rest are 'not run'")
    parser.add_argument("--before", type=Path, metavar="TABLE",
                        help="an earlier pass's table, to compare with in the new one")
    return parser.parse_args(argv)


def check_only(faults: list[Fault]) -> int:
    problems = [(fault, snippet_problem(fault)) for fault in faults]
    for fault, problem in problems:
        if problem:
            say(f"{fault.id}: {problem}")
    dropped = sum(bool(fault.dropped) for fault in faults)
    broken = sum(bool(problem) for _, problem in problems) - dropped
    say(f"{len(faults) - broken - dropped} of {len(faults) - dropped} snippets found exactly once"
        f" ({dropped} entries dropped).")
    return 1 if broken else 0


def main(argv: list[str]) -> int:
    args = parse_arguments(argv)
    faults = parse_faults(args.faults)
    if args.list:
        for f in faults:
            say(f"{f.id:34} {f.area:13} {f.file:28} {' '.join(f.stages)}")
        return 0
    if args.check:
        return check_only(faults if not (args.id or args.area) else chosen_faults(faults, args))
    chosen = chosen_faults(faults, args)
    refuse_after_a_killed_run()
    dirty = uncommitted({fault.file for fault in chosen})
    if dirty:
        raise SystemExit("commit or stash the changes of these files first, since each is "
                         f"restored with git checkout: {', '.join(dirty)}")
    LOG_DIR.mkdir(parents=True, exist_ok=True)
    # Also where the shell started the tool with Ctrl-C ignored (in the background).
    for signum in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, raise_interrupt)
    started = time.monotonic()
    until = deadline(args.until)
    skipped = tuple(args.skip_stage)
    before = earlier_results(args.before) if args.before else None
    place = {fault.id: number for number, fault in enumerate(faults)}
    seeder = Seeder(args.jobs, skipped)
    results: list[Result] = []
    finished = False

    def table(done: bool) -> None:
        if args.table and results:
            write_table(args.table, sorted(results, key=lambda r: place[r.fault.id]),
                        seeder.tester.left_out, time.monotonic() - started, done, before, skipped)

    try:
        (LOG_DIR / "baseline.log").unlink(missing_ok=True)
        for count, fault in enumerate(chosen, start=1):
            problem = snippet_problem(fault)
            if fault.dropped:
                result = Result(fault, "dropped")
            elif problem:
                result = Result(fault, "not seeded", note=problem)
            elif until and datetime.datetime.now(datetime.timezone.utc) >= until:
                result = Result(fault, "not run", note=f"the pass stopped at {args.until} UTC")
            else:
                seeder.prepare([fault], baseline=not args.no_baseline)
                result = seeder.seed(fault)
            results.append(result)
            say(f"[{count}/{len(chosen)}] {fault.id}: {caught_by_text(result)} "
                f"({result.seconds:.0f} s; log: {LOG_DIR / (fault.id + '.log')})")
            table(done=False)
        finished = True
    except KeyboardInterrupt:
        say("interrupted: no fault is left in the code, but the builds may hold one until they are built again")
        seeder.stop_wine()
        return 130
    finally:
        table(finished)
    seeder.rebuild_clean()
    survived = [r.fault.id for r in results if r.verdict == "survived"]
    say(f"caught {sum(r.verdict == 'caught' for r in results)} of {len(results)}; "
        f"survived: {', '.join(survived) or 'none'}; {(time.monotonic() - started) / 60:.0f} min")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
