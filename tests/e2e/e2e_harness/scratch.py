"""A fresh directory per test inside the prefix's drive_c, with its Windows path."""
from __future__ import annotations

import shutil
from dataclasses import dataclass
from pathlib import Path, PureWindowsPath
from typing import Optional


@dataclass
class Scratch:
    path: Path  # the Linux path, under <prefix>/drive_c/e2e/
    win: str    # the same directory as Windows sees it, C:\e2e\...

    def file(self, *parts: str) -> Path:
        return self.path.joinpath(*parts)

    def winpath(self, *parts: str) -> str:
        """The Windows path of a file or folder inside the scratch directory."""
        return str(PureWindowsPath(self.win, *parts))

    def copy_in(self, source: Path, name: Optional[str] = None) -> Path:
        """Copies a file (a built program, a fixture) into the scratch directory."""
        target = self.path / (name or source.name)
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(source, target)
        return target


def make_scratch(root: Path, windows_root: str, name: str) -> Scratch:
    path = root / name
    if path.exists():
        shutil.rmtree(path)
    path.mkdir(parents=True)
    return Scratch(path, str(PureWindowsPath(windows_root, name)))
