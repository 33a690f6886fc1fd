"""Log files of Brevane, read byte for byte and compared without their time stamps.

A line is "<YYYY/MM/DD, HH:MM:SS>, $<tag>, <message>" written in text mode: every line feed,
the final one and any inside the message, is stored as CR LF.
"""
from __future__ import annotations

import re
from pathlib import Path
from typing import NamedTuple, Sequence, Union

TIME_STAMP = rb"\d{4}/\d\d/\d\d, \d\d:\d\d:\d\d"
TIME_MASK = b"<time>"
_MASK_STAMPS = re.compile(rb"(?:^|(?<=\n))" + TIME_STAMP + rb"(?=, \$)")
_ENTRY_START = re.compile(rb"(?:^|(?<=\r\n))(" + TIME_STAMP + rb"), \$")

Text = Union[str, bytes]


class LogEntry(NamedTuple):
    stamp: bytes
    tag: bytes
    message: bytes  # as the program formatted it: CR LF stored for "\n" turned back into "\n"


def _b(text: Text) -> bytes:
    return text if isinstance(text, bytes) else text.encode("cp1252")


def text_mode(data: bytes) -> bytes:
    """What a text-mode write stores for `data`."""
    return data.replace(b"\n", b"\r\n")


def read_bytes(path: Path) -> bytes:
    assert path.is_file(), f"expected file {path} does not exist"
    return path.read_bytes()


def expected_log(lines: Sequence[tuple[Text, Text]]) -> bytes:
    """The bytes of (tag, message) lines with every time stamp replaced by <time>."""
    return b"".join(TIME_MASK + b", $" + _b(tag) + b", " + text_mode(_b(message) + b"\n") for tag, message in lines)


def mask_time_stamps(data: bytes) -> bytes:
    """Replaces each well-formed time stamp at a line start (before ", $") by <time>."""
    return _MASK_STAMPS.sub(TIME_MASK, data)


def _lines(data: bytes) -> list[bytes]:
    return [part for part in re.split(rb"(?<=\n)", data) if part]


def assert_log(path_or_data: Union[Path, bytes], lines: Sequence[tuple[Text, Text]]) -> None:
    """The log holds exactly `lines`, in order, byte for byte, time stamps aside."""
    data = read_bytes(path_or_data) if isinstance(path_or_data, Path) else path_or_data
    assert _lines(mask_time_stamps(data)) == _lines(expected_log(lines))


def log_entries(path_or_data: Union[Path, bytes]) -> list[LogEntry]:
    """Splits a log into its entries; fails on bytes that are not a well-formed log."""
    data = read_bytes(path_or_data) if isinstance(path_or_data, Path) else path_or_data
    starts = list(_ENTRY_START.finditer(data))
    assert data == b"" or (starts and starts[0].start() == 0), f"log does not start with a time stamp: {data[:80]!r}"
    entries = []
    for index, match in enumerate(starts):
        end = starts[index + 1].start() if index + 1 < len(starts) else len(data)
        body = data[match.end():end]
        assert body.endswith(b"\r\n"), f"log line does not end in CR LF: {data[match.start():end]!r}"
        tag, sep, message = body[:-2].partition(b", ")
        assert sep, f"log line has no message part: {data[match.start():end]!r}"
        entries.append(LogEntry(match.group(1), tag, message.replace(b"\r\n", b"\n")))
    return entries
