"""Status logs: the client tells the server that something happened (a scan, its start and
close, an update, a scan's totals, a low disk, another product)."""
from protocol import (BOOL, DATE, ENGINE, GUID, HOTFIX_STAMP, NUMBER, PLAIN_TEXT, RELEASE, TIME,
                      UTF8_TEXT, Form, Invalid, Program, fixed, integer)


def _address_or_empty(raw):
    text = UTF8_TEXT(raw)
    pieces = text.split(".")
    if text and not (len(pieces) == 4 and all(p.isdigit() and int(p) <= 255 for p in pieces)):
        raise Invalid(f"not a dotted address: {text!r}")
    return text


ESCAPED_ADDRESS = Form("escaped address or empty", _address_or_empty)
WHEN = [("UID", GUID), ("DATE", DATE), ("TIME", TIME)]

PROGRAMS = [
    # Scans: EVENT is the status type, 1 manual, 2 real-time, 3 scheduled, 4 scan now.
    Program("cgiOnScan.exe", WHEN + [("EVENT", integer(1, 4)), ("RELEASE", RELEASE)]),
    Program("cgiOnClose.exe", WHEN + [("RELEASE", RELEASE)]),
    # Pattern and engine roll-backs, hot fixes, updates and synchronisations.
    Program("cgiOnUpdate.exe", [("UID", GUID), ("PATTERN", integer(0)), ("ENGINE", ENGINE),
                                ("PROGRAM", RELEASE), ("HOTFIX", HOTFIX_STAMP), ("DATE", DATE),
                                ("TIME", TIME), ("RELEASE", RELEASE)]),
    # The client's description at start-up.
    Program("cgiOnStart.exe", WHEN + [
        ("COMPUTER", UTF8_TEXT), ("PLATFORM", UTF8_TEXT), ("IP", ESCAPED_ADDRESS),
        ("PTNFILE", integer(0)), ("PROGRAM", RELEASE), ("ENGINE", ENGINE), ("ENCY", fixed("1")),
        ("DOMAIN", UTF8_TEXT), ("HOTFIX", HOTFIX_STAMP), ("INSTDATE", DATE), ("INSTTIME", TIME),
        ("MOBILE", integer(choices={0, 1, 2})), ("RELEASE", RELEASE), ("OPPSTATUS", BOOL)]),
    Program("cgiOnScanResult.dll", [
        ("UID", GUID), ("STARTDATE", DATE), ("STARTTIME", TIME), ("STOPDATE", DATE),
        ("STOPTIME", TIME), ("SUCCESS", NUMBER), ("INFECT", integer(0)),
        ("INFECTFILES", integer(0)), ("EVENT", NUMBER), ("RELEASE", RELEASE)]),
    # Low disk space and other products: the texts are sent as they are.
    Program("cgiOnSpecialLog.exe", [("COMPUTER", PLAIN_TEXT), ("desc", PLAIN_TEXT)]),
]
