"""Files for a person to look at after a run: screenshots of the Xvfb screen."""
from __future__ import annotations

import hashlib
import re
import subprocess
from pathlib import Path

from .builds import BUILD_ROOT

ARTIFACTS_DIR = BUILD_ROOT / "artifacts"


def safe_name(text: str) -> str:
    return re.sub(r"[^A-Za-z0-9_.-]+", "_", text).strip("_")[:120]


def short_name(text: str, length: int = 40) -> str:
    """A file-name-safe name of at most `length` + 7 characters, unique for `text`."""
    digest = hashlib.sha1(text.encode()).hexdigest()[:6]
    return f"{safe_name(text.rpartition('::')[2])[:length]}-{digest}"


def screenshot(name: str, env: dict[str, str]) -> Path:
    """Saves the whole screen as build/artifacts/<name>.png and answers the path."""
    ARTIFACTS_DIR.mkdir(parents=True, exist_ok=True)
    path = ARTIFACTS_DIR / f"{safe_name(name)}.png"
    subprocess.run(["import", "-window", "root", str(path)], env=env, check=True, timeout=60,
                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    return path
