"""The uninstall notice: the server forgets the client (1 accepted)."""
from protocol import GUID, Program

PROGRAMS = [
    Program("cgiOnUnst.exe", [("UID", GUID)]),
]
