"""A second, independent implementation of the salted string encryption, in plain Python
(standard library only), with Twofish written from the algorithm's published description
(the q permutations from their 4-bit tables, the RS and MDS matrices, the h function and
the key schedule), checked against the published 256-bit known-answer vectors.

    twofish_reference.py kat                   checks the known answers, prints "ok"
    twofish_reference.py encrypt SALT PLAIN    prints SALT + Base64(CFB-8(PLAIN)) under the
                                               key SHA-256(pass phrase + SALT); PLAIN is
                                               the padded text, given in hexadecimal
"""
import base64
import hashlib
import sys

PASS_PHRASE = b"7hq2048tk5519302w8bv3eeeee418857rxz61fn209374"
MASK = 0xFFFFFFFF


def rol(x, n):
    return ((x << n) | (x >> (32 - n))) & MASK


def ror(x, n):
    return ((x >> n) | (x << (32 - n))) & MASK


def ror4(x, n):
    return ((x >> n) | (x << (4 - n))) & 0xF


Q_TABLES = {
    0: ([0x8, 0x1, 0x7, 0xD, 0x6, 0xF, 0x3, 0x2, 0x0, 0xB, 0x5, 0x9, 0xE, 0xC, 0xA, 0x4],
        [0xE, 0xC, 0xB, 0x8, 0x1, 0x2, 0x3, 0x5, 0xF, 0x4, 0xA, 0x6, 0x7, 0x0, 0x9, 0xD],
        [0xB, 0xA, 0x5, 0xE, 0x6, 0xD, 0x9, 0x0, 0xC, 0x8, 0xF, 0x3, 0x2, 0x4, 0x7, 0x1],
        [0xD, 0x7, 0xF, 0x4, 0x1, 0x2, 0x6, 0xE, 0x9, 0xB, 0x3, 0x0, 0x8, 0x5, 0xC, 0xA]),
    1: ([0x2, 0x8, 0xB, 0xD, 0xF, 0x7, 0x6, 0xE, 0x3, 0x1, 0x9, 0x4, 0x0, 0xA, 0xC, 0x5],
        [0x1, 0xE, 0x2, 0xB, 0x4, 0xC, 0x3, 0x7, 0x6, 0xD, 0xA, 0x5, 0xF, 0x9, 0x0, 0x8],
        [0x4, 0xC, 0x7, 0x5, 0x1, 0x6, 0x9, 0xA, 0x0, 0xE, 0xD, 0x8, 0x2, 0xB, 0x3, 0xF],
        [0xB, 0x9, 0x5, 0x1, 0xC, 0x3, 0xD, 0xE, 0x6, 0x4, 0x7, 0xF, 0x2, 0x0, 0x8, 0xA]),
}


def make_q(t):
    t0, t1, t2, t3 = t
    out = []
    for x in range(256):
        a0, b0 = x >> 4, x & 0xF
        a1 = a0 ^ b0
        b1 = a0 ^ ror4(b0, 1) ^ ((8 * a0) & 0xF)
        a2, b2 = t0[a1], t1[b1]
        a3 = a2 ^ b2
        b3 = a2 ^ ror4(b2, 1) ^ ((8 * a2) & 0xF)
        a4, b4 = t2[a3], t3[b3]
        out.append(16 * b4 + a4)
    return out


Q0 = make_q(Q_TABLES[0])
Q1 = make_q(Q_TABLES[1])


def gf_mult(a, b, poly):
    result = 0
    while b:
        if b & 1:
            result ^= a
        a <<= 1
        if a & 0x100:
            a ^= poly
        b >>= 1
    return result


MDS = [[0x01, 0xEF, 0x5B, 0x5B],
       [0x5B, 0xEF, 0xEF, 0x01],
       [0xEF, 0x5B, 0x01, 0xEF],
       [0xEF, 0x01, 0xEF, 0x5B]]
MDS_POLY = 0x169
RS = [[0x01, 0xA4, 0x55, 0x87, 0x5A, 0x58, 0xDB, 0x9E],
      [0xA4, 0x56, 0x82, 0xF3, 0x1E, 0xC6, 0x68, 0xE5],
      [0x02, 0xA1, 0xFC, 0xC1, 0x47, 0xAE, 0x3D, 0x19],
      [0xA4, 0x55, 0x87, 0x5A, 0x58, 0xDB, 0x9E, 0x03]]
RS_POLY = 0x14D


def word_bytes(x):
    return [(x >> (8 * i)) & 0xFF for i in range(4)]


def bytes_word(b):
    return b[0] | b[1] << 8 | b[2] << 16 | b[3] << 24


def h(x, key_words):
    """The h function for a 256-bit key: key_words is the list L0..L3."""
    y = word_bytes(x)
    l = [word_bytes(w) for w in key_words]
    y = [Q1[y[0]] ^ l[3][0], Q0[y[1]] ^ l[3][1], Q0[y[2]] ^ l[3][2], Q1[y[3]] ^ l[3][3]]
    y = [Q1[y[0]] ^ l[2][0], Q1[y[1]] ^ l[2][1], Q0[y[2]] ^ l[2][2], Q0[y[3]] ^ l[2][3]]
    y = [Q1[Q0[Q0[y[0]] ^ l[1][0]] ^ l[0][0]],
         Q0[Q0[Q1[y[1]] ^ l[1][1]] ^ l[0][1]],
         Q1[Q1[Q0[y[2]] ^ l[1][2]] ^ l[0][2]],
         Q0[Q1[Q1[y[3]] ^ l[1][3]] ^ l[0][3]]]
    z = [0, 0, 0, 0]
    for i in range(4):
        for j in range(4):
            z[i] ^= gf_mult(MDS[i][j], y[j], MDS_POLY)
    return bytes_word(z)


class Twofish256:
    def __init__(self, key):
        assert len(key) == 32
        m = [bytes_word(key[4 * i:4 * i + 4]) for i in range(8)]
        me, mo = m[0::2], m[1::2]
        s = []
        for i in range(4):
            v = [0, 0, 0, 0]
            for r in range(4):
                for c in range(8):
                    v[r] ^= gf_mult(RS[r][c], key[8 * i + c], RS_POLY)
            s.append(bytes_word(v))
        self.s = list(reversed(s))  # S = (S3, S2, S1, S0)
        rho = 0x01010101
        self.k = []
        for i in range(20):
            a = h((2 * i * rho) & MASK, me)
            b = rol(h(((2 * i + 1) * rho) & MASK, mo), 8)
            self.k.append((a + b) & MASK)
            self.k.append(rol((a + 2 * b) & MASK, 9))

    def g(self, x):
        return h(x, self.s)

    def encrypt_block(self, block):
        k = self.k
        r = [bytes_word(block[4 * i:4 * i + 4]) ^ k[i] for i in range(4)]
        for rnd in range(16):
            t0 = self.g(r[0])
            t1 = self.g(rol(r[1], 8))
            f0 = (t0 + t1 + k[2 * rnd + 8]) & MASK
            f1 = (t0 + 2 * t1 + k[2 * rnd + 9]) & MASK
            r = [ror(r[2] ^ f0, 1), rol(r[3], 1) ^ f1, r[0], r[1]]
        out = []
        for i in range(4):
            out += word_bytes(r[(i + 2) % 4] ^ k[i + 4])
        return bytes(out)


def cfb8_encrypt(cipher, iv, plain):
    register = bytearray(iv)
    out = bytearray()
    for p in plain:
        c = p ^ cipher.encrypt_block(bytes(register))[0]
        out.append(c)
        register = register[1:] + bytes([c])
    return bytes(out)


def check_known_answers():
    vectors = [
        (bytes(32), bytes(16), "57FF739D4DC92C1BD7FC01700CC8216F"),
        (bytes.fromhex("0123456789ABCDEFFEDCBA987654321000112233445566778899AABBCCDDEEFF"), bytes(16),
         "37527BE0052334B89F0CFCCAE87CFA20"),
    ]
    for key, plain, expected in vectors:
        got = Twofish256(key).encrypt_block(plain).hex().upper()
        if got != expected:
            sys.exit("known answer mismatch: %s, expected %s" % (got, expected))
    print("ok")


def encrypt(salt, plain_hex):
    key = hashlib.sha256(PASS_PHRASE + salt.encode("latin-1")).digest()
    cipher = Twofish256(key)
    iv = cipher.encrypt_block(bytes(16))
    print(salt + base64.b64encode(cfb8_encrypt(cipher, iv, bytes.fromhex(plain_hex))).decode())


if __name__ == "__main__":
    if sys.argv[1:2] == ["kat"]:
        check_known_answers()
    elif sys.argv[1:2] == ["encrypt"] and len(sys.argv) == 4:
        encrypt(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)
