#!/usr/bin/env python3
"""Writes the signed-file fixtures of this folder from testkey.pem.

signed.bin is a correctly signed file; the others carry signatures whose
block is malformed in one way each (all made with the same key and body).
Run again only when the key or the body changes.
"""
import base64
import hashlib
import os

HERE = os.path.dirname(os.path.abspath(__file__))
MD5_INFO = bytes.fromhex("3020300c06082a864886f70d020505000410")
MD2_INFO = bytes.fromhex("3020300c06082a864886f70d020205000410")


def read_key(path):
    der = base64.b64decode("".join(l for l in open(path) if not l.startswith("-----")))

    def item(buf, pos):
        tag, length = buf[pos], buf[pos + 1]
        pos += 2
        if length & 0x80:
            count = length & 0x7F
            length = int.from_bytes(buf[pos:pos + count], "big")
            pos += count
        return tag, buf[pos:pos + length], pos + length

    _, seq, _ = item(der, 0)
    ints, pos = [], 0
    while pos < len(seq):
        _, value, pos = item(seq, pos)
        ints.append(int.from_bytes(value, "big"))
    return ints[1], ints[3]          # modulus, private exponent


def body():
    line = b"Signed test body: the digest covers exactly these bytes.\r\n"
    return (line * 50)[:2345]


def write(name, data, sig_bytes):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data + sig_bytes + len(sig_bytes).to_bytes(4, "little"))


def main():
    n, d = read_key(os.path.join(HERE, "testkey.pem"))
    k = (n.bit_length() + 7) // 8
    data = body()
    digest = hashlib.md5(data).digest()

    def sign(block):
        assert len(block) == k
        return pow(int.from_bytes(block, "big"), d, n)

    good = b"\x00\x01" + b"\xff" * (k - 3 - 34) + b"\x00" + MD5_INFO + digest
    s = sign(good)
    write("signed.bin", data, s.to_bytes(k, "big"))
    bad = {
        "block-type2.bin": b"\x00\x02" + good[2:],
        "block-nopad.bin": b"\x00\x01" + b"\xab" * (k - 3 - 34) + b"\x00" + MD5_INFO + digest,
        "block-extra-zero.bin": b"\x00\x01" + b"\xff" * (k - 4 - 34) + b"\x00\x00" + MD5_INFO + digest,
        "block-md2-oid.bin": good[:k - 34] + MD2_INFO + digest,
    }
    for name, block in bad.items():
        write(name, data, sign(block).to_bytes(k, "big"))
    # A good signature plus the modulus: the same value modulo n, but not
    # below the modulus as a signature must be. The body is lengthened until
    # the sum still fits in the modulus length.
    for extra in range(256):
        longer = data + bytes([extra])
        s = sign(good[:k - 16] + hashlib.md5(longer).digest())
        if s + n < 256 ** k:
            write("sig-plus-modulus.bin", longer, (s + n).to_bytes(k, "big"))
            break


if __name__ == "__main__":
    main()
