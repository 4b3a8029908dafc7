"""The outbreak-prevention policy: the policy file the client applies, and the outcome it
reports."""
from protocol import GUID, RELEASE, Field, Invalid, Program, fixed, integer

DEFAULTS = {
    # The policy file's text; None: nothing to apply (a two-character return code).
    "policy": None,
}


def check(request):
    if request.fields.get("chkDatabase") and request.fields["oppActivate"] != 0:
        raise Invalid("chkDatabase belongs to the policy request (oppActivate=0)")


def policy(request):
    if request.fields["oppActivate"] != 0:
        return b"1"                 # the outcome's reply is not read
    text = request.config["policy"]
    return b"-1" if text is None else text.encode("cp1252")


PROGRAMS = [
    # oppActivate: 0 asks for the policy, 1 reports it applied, 2 restored or failed.
    Program("cgiRqOpp.exe", [("UID", GUID), ("RELEASE", RELEASE),
                             ("oppActivate", integer(choices={0, 1, 2})),
                             Field("chkDatabase", fixed("1"), optional=True)],
            reply=policy, check=check),
]
