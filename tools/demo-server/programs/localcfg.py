"""Local configuration logs: the scan settings and exclusion list the user applied on the
client, reported so that the server's console shows them."""
from protocol import BOOL, EXT_LIST, GUID, RELEASE, UTF8_TEXT, Field, Program, integer

ACTION = integer(0, 5, name="action code")
LAYER = integer(0, 20, name="compressed layer")
TAIL = [Field("RELEASE", RELEASE, optional=True), ("IntelliScan", BOOL), ("ActiveAction", BOOL)]
ACTIONS = [("VIRUSFOUNDACTION", ACTION), ("BKUPIFCLEAN", BOOL), ("MOVEDIR", UTF8_TEXT),
           ("CLEANFAILEDACTION", ACTION), ("CLEANFAILEDMOVEDIR", UTF8_TEXT)]
COMMON = [("UID", GUID), ("ENABLE", BOOL), ("ALLOWCFG", BOOL)]
SCOPE = [("SCANCOMPRESSED", BOOL), ("COMPRESSEDLAYER", LAYER), ("SCANALLFILES", BOOL),
         ("EXTLIST", EXT_LIST)]

PROGRAMS = [
    Program("cgiOnMSCfg.exe", COMMON + [("SCANMEMORY", BOOL), ("SCANBOOT", BOOL)] + SCOPE
            + ACTIONS + TAIL),
    Program("cgiOnRTCfg.exe", COMMON + [("SCANBOOT", BOOL), ("SCANSHUTDOWN", BOOL)] + SCOPE
            + ACTIONS + TAIL),
    Program("cgiOnPSCfg.exe", COMMON + [("SCANMEMORY", BOOL), ("SCANBOOT", BOOL)] + SCOPE + [
        ("SCANREMOVEABLE", BOOL), ("SCANFIXEDDISK", BOOL), ("SCANCDROM", BOOL),
        ("FREQUENCY", integer(0, 3)), ("HOUR", integer(0, 12)), ("MINUTE", integer(0, 59)),
        ("AMPM", integer(1, 2)), ("DAYOFMONTH", integer(0, 31)), ("DAYOFWEEK", integer(0, 7))]
        + ACTIONS + TAIL),
    Program("cgiOnEFCfg.exe", [("UID", GUID), ("ALLOWCFG", BOOL)]
            + [(f"EXCLUDE{n}", UTF8_TEXT) for n in range(1, 21)]
            + [Field("RELEASE", RELEASE, optional=True)]),
]
