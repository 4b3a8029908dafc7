"""The INI texts the client fetches: its settings (server, proxy, permissions, newest
versions), the global settings, the other update sources, the update information and the
hot-fix list."""
from protocol import GUID, RELEASE, Field, Program, fixed, ini_text, integer

DEFAULTS = {
    # [INI_CRITICAL_SECTION] of the client settings; None leaves a key out. "{host}" and
    # "{port}" stand for the name the client used for this server and the server's port.
    "critical_section": {
        "Master_DomainName": "{host}", "Master_DomainPort": "{port}", "Uninst": "1",
        "Unload": "1", "Mobile": "0", "AllowScheduleUpdate": "1", "UseHttp": "1",
        "AllowCfg": "1",
    },
    "schedule_section": {"ScheduleCheckGlobalSetting": "0", "ScheduleUpdateInterval": "1440"},
    "client_setup_section": {},
    "global_setting": {},
    # The other update sources ([Other Update Source] OUS0, OUS1, ...).
    "other_update_sources": {},
    # [INI_UPDATE_SECTION]: where the components lie and their versions.
    "update_section": {"Update_URL": "/Vigilon/Download"},
    # The hot fixes: [path below the server root, stamp YYYYMMDDhhmmss in UTC], ...
    "hotfixes": [],
}


def _fill(request, values):
    host = (request.headers.get("Host") or "127.0.0.1").rsplit(":", 1)[0]
    port = str(request.server.main_port)
    return {k: None if v is None else str(v).replace("{host}", host).replace("{port}", port)
            for k, v in values.items()}


def server_ini(request):
    config = request.config
    kind = request.fields.get("type", 0)
    if kind == 1:
        sections = [("Global Setting", config["global_setting"])]
    elif kind == 2:
        sections = [("Other Update Source", config["other_update_sources"])]
    else:
        sections = [("INI_CRITICAL_SECTION", _fill(request, config["critical_section"])),
                    ("INI_SCHEDULE_SECTION", config["schedule_section"])]
        if config["client_setup_section"]:
            sections.append(("INI_CLIENT_SETUP_SECTION", config["client_setup_section"]))
    return ini_text(sections, "\n").encode("cp1252")


def update_ini(request):
    config = request.config
    sections = [("INI_UPDATE_SECTION", _fill(request, config["update_section"]))]
    if config["client_setup_section"]:
        sections.append(("INI_CLIENT_SETUP_SECTION", config["client_setup_section"]))
    return ini_text(sections, "\n").encode("cp1252")


def hotfix_ini(request):
    entries = request.config["hotfixes"]
    # The first key names the list's form; with no hot fix it carries no file.
    lines = [f"{path}={stamp}" for path, stamp in entries] or ["HotFix="]
    return ("\n".join(lines) + "\n").encode("cp1252")


PROGRAMS = [
    # type: absent for the client settings, 1 the global settings, 2 the other update sources.
    Program("cgiRqIni.exe", [("UID", GUID), ("RELEASE", RELEASE), ("PRO2", fixed("1")),
                             Field("type", integer(choices={1, 2}), optional=True)],
            reply=server_ini),
    Program("cgiRqUpd.exe", [("RELEASE", RELEASE), ("PRO2", fixed("1"))], reply=update_ini),
    Program("cgiRqHotFix.exe", [("ClientType", fixed("1")), ("RELEASE", RELEASE)],
            reply=hotfix_ini),
]
