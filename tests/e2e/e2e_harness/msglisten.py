"""Python side of devtools/msglisten: records the "SfxKorvaleMsg" broadcast of a run.

    with MessageListener(wine, scratch.path) as listener:
        wine.run([...])
    assert listener.messages == [(1, 14)]
"""
from __future__ import annotations

import subprocess
import time
from pathlib import Path
from typing import Optional

from .builds import harness_tool
from .runner import RunTimeout, WineProcess, WineRunner

READY_SECONDS = 30


class MessageListener:
    def __init__(self, wine: WineRunner, directory: Path, message: str = "SfxKorvaleMsg",
                 timeout: float = 300, name: str = "msglisten") -> None:
        self.wine = wine
        self.out_file = directory / f"{name}.txt"
        self.stop_file = directory / f"{name}.stop"
        self.message = message
        self.timeout = timeout
        self._process: Optional[WineProcess] = None
        self.messages: list[tuple[int, int]] = []
        self.end_reason = ""

    def start(self) -> "MessageListener":
        for path in (self.out_file, self.stop_file):
            path.unlink(missing_ok=True)
        self._process = self.wine.popen_wine([
            str(harness_tool("msglisten.exe")), "--out", self.wine.windows_path(self.out_file),
            "--stop-file", self.wine.windows_path(self.stop_file), "--message", self.message,
            "--timeout", str(int(self.timeout * 1000))])
        deadline = time.monotonic() + READY_SECONDS
        while not self._lines() or not self._lines()[0].startswith("ready "):
            if self._process.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise RuntimeError(f"msglisten did not get ready: {self._lines()!r}")
            time.sleep(0.05)
        return self

    def stop(self) -> list[tuple[int, int]]:
        """Stops listening; answers every message received as (wParam, lParam), unsigned."""
        if self._process is None:
            return self.messages
        self.stop_file.touch()
        try:
            self._process.finish(30)
        except subprocess.TimeoutExpired:
            raise RunTimeout("msglisten did not stop")
        finally:
            self._process = None
        self.messages = []
        for line in self._lines():
            fields = dict(part.split("=", 1) for part in line.split()[1:] if "=" in part)
            if line.startswith("message "):
                self.messages.append((int(fields["wParam"]), int(fields["lParam"])))
            elif line.startswith("end "):
                self.end_reason = fields.get("reason", "")
        return self.messages

    def _lines(self) -> list[str]:
        try:
            return self.out_file.read_text("ascii").splitlines()
        except FileNotFoundError:
            return []

    def __enter__(self) -> "MessageListener":
        return self.start()

    def __exit__(self, *exc) -> None:
        self.stop()
