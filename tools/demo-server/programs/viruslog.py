"""Virus logs: one record of the client's virus log per request."""
from protocol import DATE, GUID, NUMBER, RELEASE, TIME, UTF8_TEXT, Program, integer

PROGRAMS = [
    # Return codes: 0 or more delivered; -2 and -4 to -16 refused for good; -1, -3 and
    # below -16 kept by the client for a retry.
    Program("cgiLog.exe", [
        ("UID", GUID), ("DATE", DATE), ("TIME", TIME), ("EVENT", integer(0)),
        ("LOGIN", UTF8_TEXT), ("VIRUS", UTF8_TEXT), ("FILE", UTF8_TEXT),
        ("COMPRESSEDFILE", UTF8_TEXT), ("DIRECTORY", UTF8_TEXT),
        ("FIRSTACTION", NUMBER), ("FIRSTSTATUS", integer(choices={1, -1})),
        ("SECONDACTION", NUMBER), ("SECONDSTATUS", integer(choices={0, 1, -1})),
        ("RELEASE", RELEASE)]),
]
