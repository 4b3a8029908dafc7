"""The CGI programs of the demo server, one module per area of the protocol.

Each module may declare PROGRAMS (a list of protocol.Program), DEFAULTS (settings of the
server that its replies read, with their default values; tests change them through
/_demo/config) and CONTROLS (extra control requests /_demo/<name>: handler(state, body)
returning the reply body). Every module of this folder is loaded.
"""
import importlib
import pkgutil


def load():
    return [importlib.import_module(f"{__name__}.{info.name}")
            for info in sorted(pkgutil.iter_modules(__path__), key=lambda i: i.name)]
