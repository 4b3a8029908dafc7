"""Seeds of the command fuzz target: request lines with tokens as the server sends them
(enciphered and plain, signed with the fuzz target's GUID), and INI replies."""
import pathlib
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tools" / "demo-server"))
from programs.push import token  # noqa: E402

GUID = "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0"


def main(folder):
    out = pathlib.Path(folder)
    out.mkdir(parents=True, exist_ok=True)
    fields = [("DELAY", "1"), ("SERVER", "srv.example"), ("SERVERPORT", "8080"), ("PROXY", "p%x"),
              ("USEPROXY", "1"), ("95_ENGINE_ROLLBACK", "6.150"), ("NONSYNPROXYSETTING", "0")]
    seeds = [b"GET /?CAVIT HTTP/1.0\r\n", b"get /?cavit HTTP/1.1\r\n", b"POST /?x HTTP/1.0\r\n", b"GET /?x\r\n",
             b"[INI_CRITICAL_SECTION]\nMaster_DomainName=srv\nMaster_DomainPort=80\nHotFIX=%41\n"]
    for i, message in enumerate((5, 14, 22, 29, 31)):
        for encrypt in (True, False):
            t = token(GUID, message, "2030010112%04d" % i, fields[:i + 3], encrypt)
            seeds.append(("GET /?%s HTTP/1.0\r\n" % t).encode("latin-1"))
    for n, seed in enumerate(seeds):
        (out / ("seed%02d" % n)).write_bytes(seed)


if __name__ == "__main__":
    main(sys.argv[1])
