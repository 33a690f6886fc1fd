"""Static checks of the 32-bit images: they read the built files and run DOSBox, and start no
Windows program, so they run where 32-bit code cannot. They share the end-to-end harness's
readers (tests/e2e/e2e_harness)."""
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
