"""Python side of devtools/uidriver: find windows, read controls, press buttons, answer boxes.

Each call runs uidriver.exe once. A window is named either by a Window found earlier (its handle
is valid across processes under Wine) or by its exact caption (and class).
"""
from __future__ import annotations

import re
import subprocess
import time
from dataclasses import dataclass
from typing import Optional, Union

from .builds import harness_tool
from .runner import ANSI, WineRunner

DIALOG_CLASS = "#32770"  # dialogs and message boxes
_TOKEN = re.compile(r'\s*([A-Za-z][\w-]*)(?:=("(?:[^"\\]|\\.)*"|\S*))?')


class UiError(AssertionError):
    """A window, control or action the test expected was not there or failed."""


@dataclass(frozen=True)
class Window:
    hwnd: int
    pid: int
    title: str = ""


@dataclass(frozen=True)
class Control:
    id: int
    cls: str
    text: str
    style: int
    visible: bool
    enabled: bool
    rect: tuple[int, int, int, int]  # x, y, width, height in the parent's client pixels
    # The same in dialog units when controls() was given the template's font; a value no
    # dialog unit maps to is None.
    dlu: Optional[tuple[Optional[int], ...]] = None


@dataclass(frozen=True)
class MessageBox:
    text: str
    buttons: list[tuple[int, str]]  # (id, text as shown, '&' markers included)


def unquote(value: str) -> str:
    """Reverses the driver's QuoteText; bytes decoded in the ANSI code page."""
    if not (len(value) >= 2 and value[0] == value[-1] == '"'):
        return value
    simple = {"\\": b"\\", '"': b'"', "r": b"\r", "n": b"\n", "t": b"\t"}
    body = value[1:-1]
    raw = bytearray()
    i = 0
    while i < len(body):
        if body[i] == "\\" and i + 1 < len(body):
            code = body[i + 1]
            if code == "x":
                raw.append(int(body[i + 2:i + 4], 16))
                i += 4
            else:
                raw += simple.get(code, code.encode(ANSI))
                i += 2
        else:
            raw += body[i].encode(ANSI)
            i += 1
    return raw.decode(ANSI)


def parse_record(line: str) -> dict[str, str]:
    """One output line: key=value pairs; a leading bare word is kept under "" (e.g. "button")."""
    record: dict[str, str] = {}
    for match in _TOKEN.finditer(line):
        key, value = match.group(1), match.group(2)
        if value is None:
            record.setdefault("", key)
        else:
            record[key] = unquote(value)
    return record


WindowSpec = Union[Window, str]


class UiDriver:
    def __init__(self, wine: WineRunner, default_timeout: float = 10) -> None:
        self.wine = wine
        self.default_timeout = default_timeout

    def _args(self, verb: str, window: Optional[WindowSpec], cls: Optional[str], timeout: float,
              options: dict) -> list[str]:
        for name in ("owner", "exclude"):
            if isinstance(options.get(name), Window):
                options[name] = hex(options[name].hwnd)
        args = [str(harness_tool("uidriver.exe")), verb, "--timeout", str(int(timeout * 1000))]
        if isinstance(window, Window):
            args += ["--hwnd", hex(window.hwnd)]
        elif window is not None:
            args += ["--title-hex", window.encode(ANSI).hex()]
        if cls is not None:
            args += ["--class-hex", cls.encode(ANSI).hex()]
        for name, value in options.items():
            name = name.replace("_", "-")
            if value is True:
                args.append(f"--{name}")
            elif value is not None and value is not False:
                args += [f"--{name}-hex", str(value).encode(ANSI).hex()]
        return args

    def _call(self, verb: str, window: Optional[WindowSpec] = None, cls: Optional[str] = None,
              timeout: Optional[float] = None, check: bool = True, **options) -> list[dict[str, str]]:
        timeout = self.default_timeout if timeout is None else timeout
        code, out = self.wine.run_console(self._args(verb, window, cls, timeout, options), timeout=timeout + 30)
        return _records(verb, window, code, out, check)

    # Windows.
    def wait_window(self, title: str, cls: Optional[str] = None, timeout: Optional[float] = None,
                    owner: Optional[Window] = None, exclude: Optional[Window] = None,
                    message_box: Optional[bool] = None, pid: Optional[int] = None) -> Window:
        """The visible top-level window with this exact caption (and class), once it exists;
        optionally owned by `owner`, other than `exclude`; message_box=True finds only message
        boxes, False never one (the dialog while its box with the same caption is open); `pid`
        limits the search to one process (Started.pid())."""
        record = self._call("wait", title, cls, timeout, owner=owner, exclude=exclude, pid=pid,
                            msgbox=message_box is True, no_msgbox=message_box is False)[0]
        return Window(int(record["hwnd"], 16), int(record["pid"]), title)

    def wait_gone(self, window: WindowSpec, cls: Optional[str] = None, timeout: Optional[float] = None) -> None:
        self._call("wait-gone", window, cls, timeout)

    def exists(self, window: WindowSpec, cls: Optional[str] = None) -> bool:
        return bool(self._call("list", window, cls, timeout=0))

    def list_windows(self, cls: Optional[str] = None) -> list[dict[str, str]]:
        return self._call("list", None, cls, timeout=0)

    # Controls.
    def controls(self, window: WindowSpec, font: Optional[tuple[str, int]] = None) -> list[Control]:
        """The window's child controls in tab order. With font=(face, points) of the dialog
        template (("MS Shell Dlg", 8)), each also carries its position in dialog units."""
        options = {"font": font[0], "font_size": font[1]} if font else {}
        result = []
        for r in self._call("controls", window, **options):
            if "id" not in r:
                continue  # the base-units line
            x, y, w, h = (int(v) for v in r["rect"].split(","))
            dlu = tuple(None if v == "?" else int(v) for v in r["dlu"].split(",")) if "dlu" in r else None
            result.append(Control(int(r["id"]), r["class"], r["text"], int(r["style"], 16),
                                  r["visible"] == "1", r["enabled"] == "1", (x, y, w, h), dlu))
        return result

    def dialog_size(self, window: WindowSpec, font: tuple[str, int]) -> tuple[Optional[int], Optional[int]]:
        """The client area of a dialog in dialog units of its template font (as the template
        states its size); None for a value no dialog unit maps to."""
        record = self._call("controls", window, font=font[0], font_size=font[1])[0]
        return tuple(None if v == "?" else int(v) for v in record["dlu"].split(","))

    def control(self, window: WindowSpec, control_id: int) -> Control:
        for control in self.controls(window):
            if control.id == control_id:
                return control
        raise UiError(f"no control {control_id} in {window!r}")

    def text(self, window: WindowSpec, control_id: Optional[int] = None) -> str:
        """The current text of a control (an edit control's content), or of the window."""
        return self._call("text", window, id=control_id)[0]["text"]

    def wait_text(self, window: WindowSpec, control_id: Optional[int], expected: str, timeout: float = 10) -> None:
        """Waits until the control shows `expected` (an action posted to a window takes effect
        when the window gets to it); fails with the last text seen."""
        deadline = time.monotonic() + timeout
        while True:
            text = self.text(window, control_id)
            if text == expected:
                return
            if time.monotonic() >= deadline:
                raise UiError(f"control {control_id} of {window!r} shows {text!r}, not {expected!r}")
            time.sleep(0.1)

    def is_enabled(self, window: WindowSpec, control_id: int) -> bool:
        return self._call("state", window, id=control_id)[0]["enabled"] == "1"

    def is_visible(self, window: WindowSpec, control_id: int) -> bool:
        return self._call("state", window, id=control_id)[0]["visible"] == "1"

    # Actions.
    def click(self, window: WindowSpec, control_id: Optional[int] = None, text: Optional[str] = None,
              command: bool = False, force: bool = False) -> None:
        """Presses a button by id or by its text ('&' markers and case ignored): a posted BM_CLICK,
        or with command=True a posted WM_COMMAND. A disabled button fails unless force=True."""
        if (control_id is None) == (text is None):
            raise ValueError("give exactly one of control_id and text")
        self._call("click", window, id=control_id, button=text, command=command, force=force)

    def set_text(self, window: WindowSpec, control_id: int, value: str) -> None:
        """Replaces the text of an edit control (or a combo box's edit) with `value`."""
        self._call("settext", window, id=control_id, value=value)

    def send_command(self, window: WindowSpec, control_id: int) -> None:
        """WM_COMMAND with this id, as a button press would send it (the control must exist)."""
        self._call("click", window, id=control_id, command=True, force=True)

    def key(self, window: WindowSpec, key: str) -> None:
        """Posts enter, escape, space or tab to the control that has the focus in `window`."""
        self._call("key", window, key=key)

    def close(self, window: WindowSpec, wm_close: bool = False) -> None:
        """The close box of the window's title bar; with wm_close=True a posted WM_CLOSE, as
        another program asks a window to close."""
        self._call("close", window, wm_close=wm_close)

    # Message boxes.
    def message_box(self, title: str, timeout: Optional[float] = None,
                    owner: Optional[Window] = None) -> tuple[Window, MessageBox]:
        """Waits for a message box with this caption (never a dialog with the same caption),
        optionally owned by `owner`; answers it and its text and buttons."""
        window = self.wait_window(title, DIALOG_CLASS, timeout, owner=owner, message_box=True)
        records = self._call("msgbox", window)
        text = records[0]["text"]
        buttons = [(int(r["id"]), r["text"]) for r in records[1:] if r.get("") == "button"]
        return window, MessageBox(text, buttons)

    def answer(self, window: WindowSpec, button_text: str) -> None:
        """Presses the message box button with this text ("Yes", "No", "OK" ...)."""
        self._call("answer", window, button=button_text)

    # Observation over time.
    def watch(self, window: WindowSpec, control_id: Optional[int], duration: float, interval: float = 0.01
              ) -> "TextWatch":
        """Starts recording every change of a control's text (the window's title when control_id
        is None) for `duration` s; returns at once.
        TextWatch.wait_started() returns once the first text is recorded; changes() answers them
        all as (milliseconds, text) after the watch ends."""
        args = self._args("watch", window, None, self.default_timeout,
                          {"id": control_id, "duration": int(duration * 1000), "interval": int(interval * 1000)})
        return TextWatch(self.wine.popen_wine(args), window, duration + self.default_timeout + 30)


class TextWatch:
    def __init__(self, process, window: WindowSpec, bound: float) -> None:
        self._process = process
        self._window = window
        self._bound = bound

    def wait_started(self, timeout: float = 30) -> None:
        deadline = time.monotonic() + timeout
        while "t=" not in self._process.output_so_far():
            if self._process.poll() is not None or time.monotonic() > deadline:
                raise UiError(f"watch of {self._window!r} did not start: {self._process.output_so_far()!r}")
            time.sleep(0.05)

    def changes(self) -> list[tuple[int, str]]:
        try:
            code, out, _ = self._process.finish(self._bound)
        except subprocess.TimeoutExpired:
            raise UiError(f"watch of {self._window!r} did not end")
        return [(int(r["t"]), r["text"]) for r in _records("watch", self._window, code, out, True)]


def _records(verb: str, window, code: int, out: str, check: bool) -> list[dict[str, str]]:
    records = [parse_record(line) for line in out.splitlines() if line.strip()]
    errors = [r["error"] for r in records if "error" in r]
    if check and (code != 0 or errors):
        raise UiError(f"uidriver {verb} {window!r}: {errors[0] if errors else f'exit code {code}'}")
    return records


def poll(condition, timeout: float, interval: float = 0.1):
    """Calls `condition` until it answers something true, or fails after `timeout` s."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise UiError(f"condition not met within {timeout} s")
        time.sleep(interval)
