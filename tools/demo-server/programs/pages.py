"""The server's download counter for the client utilities."""
from protocol import PLAIN_TEXT, Program, fixed

PROGRAMS = [
    # The reply is not read.
    Program("cgiShowPage.exe", [("ID", fixed("9732")), ("File", PLAIN_TEXT)]),
]
