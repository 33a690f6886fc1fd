"""The harness's text rules that every other test relies on: log comparison without time
stamps, Windows argument quoting, the UI driver's quoted output, and simulation profiles."""
from __future__ import annotations

import pytest

from e2e_harness.ini import write_sim_profile
from e2e_harness.logs import assert_log, log_entries
from e2e_harness.runner import quote_argument
from e2e_harness.uidriver import parse_record

GOOD_LOG = (b"2013/06/04, 14:05:09, $Brevane_Start, Brevane v1.0.0.0, Command Line=[/NoPause]\r\n"
            b"2013/06/04, 14:05:10, $FlashBios, line one\r\r\nline two\r\n")
GOOD_LINES = [("Brevane_Start", "Brevane v1.0.0.0, Command Line=[/NoPause]"),
              ("FlashBios", "line one\r\nline two")]


def test_log_matches_lines_whatever_their_time_stamps():
    assert_log(GOOD_LOG, GOOD_LINES)
    assert_log(GOOD_LOG.replace(b"2013/06/04, 14:05:09", b"2026/12/31, 23:59:59"), GOOD_LINES)


@pytest.mark.parametrize("damage", [
    (b"Line=[/NoPause]\r\n", b"Line=[/NoPause]\n"),        # a bare LF line end
    (b"2013/06/04, 14:05:09", b"2013/6/04, 14:05:09"),      # a malformed time stamp
    (b"$FlashBios", b"$FlashBIOS"),                         # another tag
    (b"line one\r\r\n", b"line one\r\n"),                   # an inner line end not in text mode
    (b"[/NoPause]", b"[/NoPause ]"),                        # one byte more in the message
])
def test_log_comparison_catches_each_kind_of_difference(damage):
    with pytest.raises(AssertionError):
        assert_log(GOOD_LOG.replace(*damage), GOOD_LINES)


def test_log_comparison_catches_missing_and_extra_lines():
    with pytest.raises(AssertionError):
        assert_log(GOOD_LOG, GOOD_LINES[:1])
    with pytest.raises(AssertionError):
        assert_log(GOOD_LOG, GOOD_LINES + [("Exit", "0")])


def test_log_entries_split_on_stamps_and_undo_text_mode():
    entries = log_entries(GOOD_LOG)
    assert [(e.tag, e.message) for e in entries] == [
        (b"Brevane_Start", b"Brevane v1.0.0.0, Command Line=[/NoPause]"), (b"FlashBios", b"line one\r\nline two")]
    with pytest.raises(AssertionError, match="CR LF"):
        log_entries(GOOD_LOG[:-2] + b"\n")


@pytest.mark.parametrize("arg, quoted", [
    (b"plain", b"plain"),
    (b"", b'""'),
    (b"C:\\My Files\\x.rom", b'"C:\\My Files\\x.rom"'),
    (b'say "hi"', b'"say \\"hi\\""'),
    (b"C:\\dir with blank\\", b'"C:\\dir with blank\\\\"'),
    (b'a\\"b', b'"a\\\\\\"b"'),
])
def test_arguments_are_quoted_the_way_windows_splits_them(arg, quoted):
    assert quote_argument(arg) == quoted


def test_driver_output_records_recover_every_byte():
    record = parse_record('button id=6 text="&Yes \\"now\\"\\r\\n\\\\ \\xE9"')
    assert record == {"": "button", "id": "6", "text": '&Yes "now"\r\n\\ \u00e9'}


def test_simulation_profile_holds_only_the_keys_given(tmp_path):
    path = write_sim_profile(tmp_path / "sim" / "profile.ini", smbios="C:\\t\\zera.bin", admin=0,
                             reboot_log="C:\\t\\reboot.txt")

    assert path.read_bytes() == b"[platform]\r\nsmbios=C:\\t\\zera.bin\r\nadmin=0\r\nreboot_log=C:\\t\\reboot.txt\r\n"
