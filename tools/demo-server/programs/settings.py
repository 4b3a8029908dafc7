"""The scan settings the server gives its clients (one INI text per request)."""
from protocol import GUID, Program, ini_text, integer

MANUAL, REALTIME, SCHEDULE, SCAN_NOW, EXCLUSION = (
    "Manual Scan Configuration", "Real Time Scan Configuration",
    "Prescheduled Scan Configuration", "Scan Now Configuration", "Exclusion File Configuration")
GLOBAL = "Global Setting"
# EVENT: 0 every section, 1 manual, 2 real-time, 3 scheduled, 4 scan now, 5 exclusions.
EVENT_SECTIONS = {0: [MANUAL, REALTIME, SCHEDULE, SCAN_NOW, EXCLUSION], 1: [MANUAL],
                  2: [REALTIME], 3: [SCHEDULE], 4: [SCAN_NOW], 5: [EXCLUSION]}

_SCAN = {"Enable": "YES", "AllowCfg": "YES", "ScanCompressed": "YES", "ScanAllFiles": "NO",
         "VirusFoundAction": "Clean", "CleanFailedAction": "Rename"}

DEFAULTS = {
    # Section name -> {key: value}; [Global Setting] goes with every reply.
    "scan_configuration": {
        MANUAL: dict(_SCAN), REALTIME: dict(_SCAN), SCHEDULE: dict(_SCAN, Frequency="1"),
        SCAN_NOW: dict(_SCAN), EXCLUSION: {"AllowCfg": "YES"}, GLOBAL: {},
    },
    # A code other than 0 refuses the request (the reply is then the code alone).
    "scan_configuration_code": 0,
    # EVENT (as text) -> the code of that kind alone, e.g. {"0": -1}: every section at once
    # refused, one by one answered.
    "scan_configuration_codes": {},
}


def configuration(request):
    config = request.config
    code = config["scan_configuration_codes"].get(str(request.fields["EVENT"]),
                                                  config["scan_configuration_code"])
    if code != 0:
        return str(code).encode()
    sections = config["scan_configuration"]
    wanted = EVENT_SECTIONS[request.fields["EVENT"]] + [GLOBAL]
    return ("0\r\n" + ini_text([(s, sections.get(s, {})) for s in wanted])).encode("cp1252")


PROGRAMS = [
    Program("cgiRqCfg.exe", [("UID", GUID), ("EVENT", integer(0, 5))], reply=configuration),
]
