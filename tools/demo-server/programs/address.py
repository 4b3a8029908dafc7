"""Which of its addresses a client reports, and which port its listener takes."""
from protocol import IP_LIST, Program

DEFAULTS = {
    # The 1-based position, in the client's list, of the address the server chooses.
    "check_ip_choice": 1,
    # The port the client's listener is to use.
    "client_bind_port": 12345,
}


def check_ip(request):
    return str(request.config["check_ip_choice"]).encode()


def bind_port(request):
    port = request.config["client_bind_port"]
    return f"[INI_CLIENT_SECTION]\r\nCLIENT_LOCALSERVER_PORT={port}\r\n".encode()


PROGRAMS = [
    Program("cgiCheckIP.dll", [("IP", IP_LIST)], reply=check_ip),
    Program("cgiOnQueryClientBindPort.exe", [], reply=bind_port),
]
