"""Running Windows programs under Wine with a hard time bound.

Every run goes through runexe.exe, which starts the command line verbatim with CreateProcessA
in the given directory and environment, ends the whole process tree when the bound passes, and
prints the full 32-bit exit code (a Linux shell would only see it modulo 256).
"""
from __future__ import annotations

import os
import signal
import subprocess
import tempfile
import time
from dataclasses import dataclass
from pathlib import Path
from typing import Mapping, Sequence, Union

from .builds import harness_tool
from .wine import loader_for, to_linux_path, to_windows_path

# Texts are read back from Windows programs in their ANSI code page.
ANSI = "cp1252"
# runexe's code page is UTF-8 (its manifest): command lines, folders and variables are handed to
# it in UTF-8, so that any path can reach the program it starts; bytes pass through unchanged.
RUNEXE_CODE_PAGE = "utf-8"

# Time the runner itself may need beyond the child's bound (Wine start, ending the tree).
RUNNER_SLACK_SECONDS = 30

Arg = Union[str, bytes, Path]


class RunTimeout(AssertionError):
    """The program did not end within its bound; its process tree has been ended."""


def to_bytes(text: Union[str, bytes]) -> bytes:
    return text if isinstance(text, bytes) else text.encode(RUNEXE_CODE_PAGE)


def quote_argument(arg: bytes) -> bytes:
    """One argument as CommandLineToArgvW reads it back: quoted only when it must be."""
    if arg and not any(c in arg for c in b' \t"'):
        return arg
    out = bytearray(b'"')
    backslashes = 0
    for byte in arg:
        if byte == ord("\\"):
            backslashes += 1
            continue
        if byte == ord('"'):
            out += b"\\" * (backslashes * 2 + 1)
        else:
            out += b"\\" * backslashes
        backslashes = 0
        out.append(byte)
    out += b"\\" * (backslashes * 2)
    out += b'"'
    return bytes(out)


@dataclass
class Completed:
    exit_code: int        # the full 32-bit code, unsigned (0xFFFFFFFE stays 4294967294)
    pid: int              # the Windows process id
    seconds: float        # wall time from start to the end of the process tree
    command_line: bytes   # exactly what CreateProcessA was given
    output: str           # what a console program printed on the console it shares with the runner


class Started:
    """A program running under runexe; wait() answers its Completed result."""

    def __init__(self, process: "WineProcess", result_file: Path, command_line: bytes, timeout: float) -> None:
        self._process = process
        self._result_file = result_file
        self.command_line = command_line
        self.timeout = timeout
        self._started = time.monotonic()
        self._result: Completed | None = None

    def wait(self) -> Completed:
        if self._result is not None:
            return self._result
        try:
            code, out, err = self._process.finish(self.timeout + RUNNER_SLACK_SECONDS)
        except subprocess.TimeoutExpired:
            self._result_file.unlink(missing_ok=True)
            raise RunTimeout(f"runner did not answer within {self.timeout + RUNNER_SLACK_SECONDS} s "
                             f"for {self.command_line!r}; its processes were killed")
        seconds = time.monotonic() - self._started
        fields = self._fields()
        self._result_file.unlink(missing_ok=True)
        if fields.get("timeout") == "tree":
            raise RunTimeout(f"{self.command_line!r} ended with {fields.get('exit')}, but what it started did not "
                             f"end within {self.timeout} s and was ended")
        if "timeout" in fields:
            raise RunTimeout(f"{self.command_line!r} did not end within {self.timeout} s; "
                             f"its process tree was ended")
        if "exit" not in fields:
            raise AssertionError(f"runner failed for {self.command_line!r}: rc={code} results={fields!r} "
                                 f"stdout={out[-2000:]!r} stderr={err[-2000:]!r}")
        self._result = Completed(int(fields["exit"]), int(fields.get("pid", "0")), seconds, self.command_line, out)
        return self._result

    def kill(self) -> None:
        self._process.kill()

    def pid(self, timeout: float = 30) -> int:
        """The Windows process id of the started program, as soon as the runner reports it."""
        deadline = time.monotonic() + timeout
        while True:
            fields = self._fields()
            if "pid" in fields:
                return int(fields["pid"])
            if self._process.poll() is not None or time.monotonic() > deadline:
                raise AssertionError(f"no process id for {self.command_line!r}: {fields!r}")
            time.sleep(0.05)


    def _fields(self) -> dict[str, str]:
        try:
            return parse_runner_output(self._result_file.read_text(ANSI, "replace"))
        except FileNotFoundError:
            return {}


def parse_runner_output(text: str) -> dict[str, str]:
    fields: dict[str, str] = {}
    for line in text.splitlines():
        key, sep, value = line.strip().partition("=")
        fields[key] = value if sep else ""
    return fields


class WineProcess:
    """`wine ARGS` in its own session, its output going to files: Wine's own background
    processes may inherit the handles and live on, so the end of a run is the end of the
    process, never the end of its output."""

    def __init__(self, args: Sequence[str], env: dict[str, str]) -> None:
        self._out = tempfile.TemporaryFile()
        self._err = tempfile.TemporaryFile()
        self.popen = subprocess.Popen([loader_for(args[0]), *args], env=env, stdin=subprocess.DEVNULL, stdout=self._out,
                                      stderr=self._err, start_new_session=True)

    def poll(self):
        return self.popen.poll()

    def finish(self, timeout: float) -> tuple[int, str, str]:
        """Waits for the end; answers (exit code mod 256, stdout, stderr). On timeout kills it
        and raises subprocess.TimeoutExpired."""
        try:
            code = self.popen.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise
        return code, self._read(self._out), self._read(self._err)

    def kill(self) -> None:
        kill_group(self.popen)

    def output_so_far(self) -> str:
        """What the program has written to stdout until now, while it still runs."""
        size = os.fstat(self._out.fileno()).st_size
        return os.pread(self._out.fileno(), size, 0).decode(ANSI, "replace")

    @staticmethod
    def _read(file) -> str:
        file.seek(0)
        data = file.read().decode(ANSI, "replace")
        file.close()
        return data


def kill_group(process: subprocess.Popen) -> None:
    """Ends a process started in its own session and everything Wine started beneath it."""
    try:
        os.killpg(process.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    process.wait()


class WineRunner:
    """Runs Windows programs in one Wine environment (see wine.wine_environment)."""

    def __init__(self, env: dict[str, str]) -> None:
        self.env = env
        self._processes: list[WineProcess] = []

    def windows_path(self, path: Path) -> str:
        return to_windows_path(path, self.env)

    def linux_path(self, windows_path: str) -> Path:
        return to_linux_path(windows_path, self.env)

    def expand(self, text: str, timeout: float = 60) -> str:
        """Windows environment references expanded as a program sees them ("%TEMP%")."""
        code, out = self.run_console(["cmd", "/c", "echo", text], timeout)
        assert code == 0, f"cmd /c echo {text} failed: {code}"
        return out.rstrip("\r\n")

    def command_line(self, command: Union[Arg, Sequence[Arg]]) -> bytes:
        """A verbatim command line (str or bytes) as is; a list is quoted argument by argument,
        and Path items become Windows paths."""
        if isinstance(command, (str, bytes)):
            return to_bytes(command)
        if isinstance(command, Path):
            command = [command]
        parts = []
        for arg in command:
            if isinstance(arg, Path):
                arg = self.windows_path(arg)
            parts.append(quote_argument(to_bytes(arg)))
        return b" ".join(parts)

    def start(self, command: Union[Arg, Sequence[Arg]], cwd: Union[Path, str, None] = None,
              env: Mapping[str, Union[str, bytes]] | None = None, timeout: float = 60) -> Started:
        """Starts `command` and returns at once; call wait() on the answer for the exit code."""
        command_line = self.command_line(command)
        handle, name = tempfile.mkstemp(prefix="runexe-", suffix=".txt")
        os.close(handle)
        result_file = Path(name)
        args = [str(harness_tool("runexe.exe")), "--timeout", str(int(timeout * 1000)),
                "--result-hex", to_bytes(self.windows_path(result_file)).hex(), "--cmd-hex", command_line.hex()]
        if cwd is not None:
            directory = self.windows_path(cwd) if isinstance(cwd, Path) else cwd
            args += ["--dir-hex", to_bytes(directory).hex()]
        for name, value in (env or {}).items():
            args += ["--env-hex", (to_bytes(name) + b"=" + to_bytes(value)).hex()]
        process = self.popen_wine(args)
        return Started(process, result_file, command_line, timeout)

    def run(self, command: Union[Arg, Sequence[Arg]], cwd: Union[Path, str, None] = None,
            env: Mapping[str, Union[str, bytes]] | None = None, timeout: float = 60) -> Completed:
        """Runs `command` to its end (and that of everything it started); RunTimeout otherwise."""
        return self.start(command, cwd, env, timeout).wait()

    def popen_wine(self, args: Sequence[str]) -> WineProcess:
        """Starts `wine ARGS` and returns at once."""
        process = WineProcess(args, self.env)
        self._processes.append(process)
        return process

    def end_all(self) -> int:
        """Kills every process started here that is still running (a test that failed half-way
        leaves no window behind for the next one to find); answers how many there were."""
        running = [p for p in self._processes if p.poll() is None]
        for process in running:
            process.kill()
        self._processes.clear()
        return len(running)

    def run_console(self, args: Sequence[str], timeout: float) -> tuple[int, str]:
        """Runs a console tool of ours directly; answers (exit code mod 256, stdout)."""
        try:
            code, out, _ = self.popen_wine(args).finish(timeout)
        except subprocess.TimeoutExpired:
            raise RunTimeout(f"{args[0]} did not answer within {timeout} s")
        return code, out
