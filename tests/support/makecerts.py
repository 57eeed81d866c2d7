#!/usr/bin/python3
"""Certificates for the FTPS tests, made fresh on every run.

Writes into OUTDIR a test authority (ca.pem, ca.key) and these server
certificates, each as <name>.pem and <name>.key:
  good         signed by the authority, for 127.0.0.1 and localhost
  selfsigned   self-signed, for 127.0.0.1
  selfsigned2  another self-signed one for 127.0.0.1 (a changed certificate)
  expired      signed by the authority, for 127.0.0.1, no longer valid
  wrongname    signed by the authority, for ftp.other.invalid only
and fingerprints.txt, one "name AB:CD:..." line per certificate: the SHA-256
of its DER form, the way the program stores a trusted certificate.

Keys are EC P-256: as accepted as RSA by OpenSSL, GnuTLS and Qt, and made in
a fraction of the time, which matters since every test run makes its own.
"""

import datetime
import ipaddress
import os
import sys

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID

LOOPBACK = x509.IPAddress(ipaddress.IPv4Address("127.0.0.1"))
DAY = datetime.timedelta(days=1)


def new_key():
    return ec.generate_private_key(ec.SECP256R1())


def name(common_name):
    return x509.Name([
        x509.NameAttribute(NameOID.ORGANIZATION_NAME, "Nuvola tests"),
        x509.NameAttribute(NameOID.COMMON_NAME, common_name),
    ])


def build(subject, key, issuer, issuer_key, not_before, not_after, alt_names, is_ca=False,
          usages=True):
    builder = (x509.CertificateBuilder()
               .subject_name(subject)
               .issuer_name(issuer)
               .public_key(key.public_key())
               .serial_number(x509.random_serial_number())
               .not_valid_before(not_before)
               .not_valid_after(not_after)
               .add_extension(x509.BasicConstraints(ca=is_ca, path_length=None), critical=True)
               .add_extension(x509.SubjectKeyIdentifier.from_public_key(key.public_key()),
                              critical=False))
    if usages:
        if is_ca:
            usage = dict(digital_signature=True, key_cert_sign=True, crl_sign=True)
        else:
            usage = dict(digital_signature=True, key_cert_sign=False, crl_sign=False)
            builder = builder.add_extension(
                x509.ExtendedKeyUsage([ExtendedKeyUsageOID.SERVER_AUTH]), critical=False)
        builder = builder.add_extension(
            x509.KeyUsage(content_commitment=False, key_encipherment=False,
                          data_encipherment=False, key_agreement=False, encipher_only=False,
                          decipher_only=False, **usage),
            critical=True)
    if alt_names:
        builder = builder.add_extension(x509.SubjectAlternativeName(alt_names), critical=False)
    if issuer_key is not key:
        builder = builder.add_extension(
            x509.AuthorityKeyIdentifier.from_issuer_public_key(issuer_key.public_key()),
            critical=False)
    return builder.sign(issuer_key, hashes.SHA256())


def fingerprint(cert):
    digest = cert.fingerprint(hashes.SHA256())
    return ":".join("%02X" % b for b in digest)


def write(outdir, stem, cert, key):
    with open(os.path.join(outdir, stem + ".pem"), "wb") as f:
        f.write(cert.public_bytes(serialization.Encoding.PEM))
    # Unencrypted PKCS#8: what vsftpd, pyOpenSSL and QSslKey all read.
    path = os.path.join(outdir, stem + ".key")
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    with os.fdopen(fd, "wb") as f:
        f.write(key.private_bytes(serialization.Encoding.PEM,
                                  serialization.PrivateFormat.PKCS8,
                                  serialization.NoEncryption()))


def make_all(outdir):
    now = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
    ca_key = new_key()
    ca_name = name("Nuvola test authority")
    ca = build(ca_name, ca_key, ca_name, ca_key, now - 2 * DAY, now + 60 * DAY, None, is_ca=True)
    made = [("ca", ca, ca_key)]

    def signed(stem, not_before, not_after, alt_names):
        key = new_key()
        cert = build(name("Nuvola test server (%s)" % stem), key, ca_name, ca_key,
                     not_before, not_after, alt_names)
        made.append((stem, cert, key))

    def self_signed(stem):
        # As "openssl req -x509" makes them, the usual kind on a small
        # server: its own authority, no key usage, so that OpenSSL (and Qt's
        # isSelfSigned()) see it as issued by itself.
        key = new_key()
        subject = name("Nuvola test server (%s)" % stem)
        cert = build(subject, key, subject, key, now - DAY, now + 30 * DAY, [LOOPBACK],
                     is_ca=True, usages=False)
        made.append((stem, cert, key))

    signed("good", now - DAY, now + 30 * DAY, [LOOPBACK, x509.DNSName("localhost")])
    self_signed("selfsigned")
    self_signed("selfsigned2")
    signed("expired", now - 30 * DAY, now - DAY, [LOOPBACK])
    signed("wrongname", now - DAY, now + 30 * DAY, [x509.DNSName("ftp.other.invalid")])

    os.makedirs(outdir, exist_ok=True)
    lines = []
    for stem, cert, key in made:
        write(outdir, stem, cert, key)
        lines.append("%s %s\n" % (stem, fingerprint(cert)))
    # Written last: its presence says every other file is complete.
    with open(os.path.join(outdir, "fingerprints.txt"), "w") as f:
        f.writelines(lines)


def main(argv):
    if len(argv) != 1 or argv[0].startswith("-"):
        sys.stderr.write("usage: makecerts.py OUTDIR\n")
        return 2
    try:
        make_all(argv[0])
    except OSError as err:
        sys.stderr.write("makecerts: %s\n" % err)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
