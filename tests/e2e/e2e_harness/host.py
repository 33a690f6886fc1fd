"""Whether this host runs 32-bit x86 programs (and so Wine's 32-bit loader), as devtools/host-arch.sh
finds out by trying one; BREVANE_FORCE_NO_32BIT=1 makes the answer "no"."""
from __future__ import annotations

import functools
import os
import subprocess
from pathlib import Path

REPO_ROOT = Path(os.environ.get("BREVANE_ROOT", Path(__file__).resolve().parents[3]))


@functools.lru_cache(maxsize=None)
def runs_32bit() -> bool:
    script = f'source "{REPO_ROOT}/devtools/host-arch.sh"; brevane_host_runs_32bit'
    return subprocess.run(["bash", "-c", script], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=60).returncode == 0
