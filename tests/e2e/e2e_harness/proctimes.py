"""Processor time of a running Windows program, read from Linux.

Under Wine every Windows process is a Linux process whose first argument is the program's
Windows path, and Linux counts its processor time like any other's (the times Wine itself
reports for another process are not filled in). A share of a processor is a ratio of the
process's own counters to the time that passed, which a loaded machine does not push over a
bound the way it would stretch a wall-clock limit.
"""
from __future__ import annotations

import os
import time
from pathlib import Path
from typing import Optional

TICKS = os.sysconf("SC_CLK_TCK")


def find_linux_pid(windows_path: str, timeout: float = 30) -> int:
    """The Linux process of the running Windows program started from `windows_path`."""
    wanted = windows_path.lower().encode("cp1252")
    deadline = time.monotonic() + timeout
    while True:
        for entry in Path("/proc").iterdir():
            if not entry.name.isdigit():
                continue
            try:
                first = (entry / "cmdline").read_bytes().split(b"\0", 1)[0]
            except OSError:
                continue
            if first.lower() == wanted:
                return int(entry.name)
        if time.monotonic() > deadline:
            raise AssertionError(f"no Linux process runs {windows_path}")
        time.sleep(0.1)


def processor_seconds(pid: int) -> Optional[float]:
    """User plus system time of the whole process so far; None once it has ended."""
    try:
        fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    except (OSError, IndexError):
        return None
    # After the name: state is field 3 of stat, utime and stime are fields 14 and 15.
    if fields[0] == "Z":
        return None
    return (int(fields[11]) + int(fields[12])) / TICKS


class ProcessorShare:
    """Samples a process from `start()` on; `share` is its processor time over the time passed
    between the first and the last sample taken while it still ran."""

    def __init__(self, pid: int) -> None:
        self.pid = pid
        self.first: Optional[tuple[float, float]] = None
        self.last: Optional[tuple[float, float]] = None

    def sample(self) -> bool:
        """Takes one sample; False once the process has ended."""
        now = time.monotonic()
        used = processor_seconds(self.pid)
        if used is None:
            return False
        if self.first is None:
            self.first = (now, used)
        self.last = (now, used)
        return True

    @property
    def seconds(self) -> float:
        return self.last[0] - self.first[0] if self.first and self.last else 0.0

    @property
    def share(self) -> float:
        if not self.seconds:
            raise AssertionError("the process was not sampled long enough")
        return (self.last[1] - self.first[1]) / self.seconds
