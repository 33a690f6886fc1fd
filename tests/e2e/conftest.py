"""Fixtures of the end-to-end tests; the machinery lives in e2e_harness/ (see README.md)."""
from __future__ import annotations

import subprocess

import pytest

from e2e_harness import artifacts, wine as wine_setup
from e2e_harness.msglisten import MessageListener
from e2e_harness.runner import WineRunner
from e2e_harness.scratch import Scratch, make_scratch
from e2e_harness.uidriver import UiDriver


@pytest.fixture(scope="session")
def wine_env():
    """The Wine environment with a display: the exported DISPLAY, or an Xvfb started here.
    Creates the prefix when it is missing."""
    env = wine_setup.wine_environment()
    display = wine_setup.Display()
    env["DISPLAY"] = display.start()
    try:
        wine_setup.ensure_prefix(env)
        # One server for the many short runs; it ends by itself 60 s after the last one. Wine's
        # own background processes start now, outside any test's process group.
        quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-p", "60"], env=env, timeout=60, **quiet)
        subprocess.run([wine_setup.WINE64, "cmd", "/c", "exit"], env=env, timeout=300, **quiet)
        # Xvfb has no window manager: let Wine draw captions and frames itself, so that
        # screenshots show windows as a person would see them.
        subprocess.run([wine_setup.WINE64, "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Decorated", "/d", "N", "/f"],
                       env=env, timeout=120, **quiet)
        yield env
    finally:
        if display.owned:
            # Our own display goes away: end this prefix's Wine processes that used it.
            subprocess.run(["wineserver", "-k"], env=env, timeout=60, stdin=subprocess.DEVNULL)
            display.stop()


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    report = outcome.get_result()
    setattr(item, f"report_{report.when}", report)


def _failed(request) -> bool:
    report = getattr(request.node, "report_call", None)
    return report is None or report.failed


@pytest.fixture
def wine(request, wine_env) -> WineRunner:
    """Runs Windows programs: wine.run([...], cwd=, env=, timeout=) -> Completed. What a test
    started and left running is ended when the test ends."""
    runner = WineRunner(wine_env)
    yield runner
    if runner.end_all() and not _failed(request):
        pytest.fail("the test left Windows programs running; they were ended", pytrace=False)


@pytest.fixture
def ui(request, wine, wine_env) -> UiDriver:
    """Drives dialogs and message boxes of running programs. A failing test leaves a
    screenshot of the screen as it was (build/artifacts/<test>-failure.png)."""
    yield UiDriver(wine)
    if _failed(request):
        artifacts.screenshot(f"{request.node.name}-failure", wine_env)


@pytest.fixture
def scratch(request, wine_env) -> Scratch:
    """A fresh directory for this test in drive_c (left in place afterwards for inspection).
    Its name is short, so that tests keep room below the 260-character path limit."""
    return make_scratch(wine_setup.drive_c(wine_env) / "e2e", "C:\\e2e", artifacts.short_name(request.node.nodeid))


@pytest.fixture
def listener(wine, scratch):
    """A running "SfxKorvaleMsg" listener; call .stop() for the (wParam, lParam) pairs."""
    listening = MessageListener(wine, scratch.path).start()
    yield listening
    listening.stop()


@pytest.fixture
def screenshot(request, wine_env):
    """screenshot("step") saves the screen as build/artifacts/<test>-step.png."""
    def take(name: str):
        return artifacts.screenshot(f"{request.node.name}-{name}", wine_env)
    return take

