"""The alert message: a text the administrator gives every client, shown beside each virus
warning."""
from protocol import Program, from_config

DEFAULTS = {"alert_message": ""}

PROGRAMS = [
    # No parameters ("...cgiRqAlertMsg.exe?"); the reply is the text itself.
    Program("cgiRqAlertMsg.exe", [], reply=from_config("alert_message",
                                                       lambda text: text.encode("cp1252"))),
]
