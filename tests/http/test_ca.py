"""The fixture web server's certificates, made with openssl when the server starts: a test
CA that the tests trust (ca.pem, and ca.der for the Windows root store), a second CA that
nothing trusts, one server key, and one certificate per host name, made when a client
first asks for that host. A host name's first label picks what the certificate is wrong
about, for the refusal tests:
  wrongname.*   a certificate from the test CA for another name (other-name.invalid)
  unknownca.*   a certificate for the right name from the CA nobody trusts
  leafonly.*    the same, served without its issuer (the chain cannot be built at all)
  expired.*     a certificate for the right name from the test CA, expired in 2020
Every other host gets a sound certificate for its name from the test CA.
"""
import os
import subprocess
import threading

CA_SUBJECT = "/O=frameleaf tests/CN=frameleaf test CA"
UNKNOWN_SUBJECT = "/O=nobody/CN=unknown test CA"
CA_EXTENSIONS = ["-addext", "basicConstraints=critical,CA:TRUE",
                 "-addext", "keyUsage=critical,keyCertSign,cRLSign"]
CA_CONFIG = """[ca]
default_ca = ca_default
[ca_default]
database = {dir}/index.txt
new_certs_dir = {dir}
serial = {dir}/serial
default_md = sha256
policy = policy_any
unique_subject = no
[policy_any]
commonName = supplied
"""


def openssl(*args, cwd=None):
    subprocess.run(["openssl", *args], cwd=cwd, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE)


def still_valid(cert, seconds):
    """True when cert exists and stays valid for seconds more."""
    if not os.path.exists(cert):
        return False
    return subprocess.run(["openssl", "x509", "-in", cert, "-noout", "-checkend", str(seconds)],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


class TestCA:
    def __init__(self, folder):
        self.dir = os.path.realpath(folder)
        self.lock = threading.Lock()
        os.makedirs(self.dir, exist_ok=True)
        self.ca = os.path.join(self.dir, "ca.pem")
        self.unknown = os.path.join(self.dir, "unknown-ca.pem")
        self.key = os.path.join(self.dir, "server.key")
        # A CA kept from an earlier run stays (the Windows prefixes already trust it) while
        # it is valid for a day more; otherwise everything is made anew.
        if not still_valid(self.ca, 86400):
            for name in os.listdir(self.dir):
                os.remove(os.path.join(self.dir, name))
            self.make_ca(self.ca, CA_SUBJECT)
            self.make_ca(self.unknown, UNKNOWN_SUBJECT)
            openssl("x509", "-in", self.ca, "-outform", "DER", "-out",
                    os.path.join(self.dir, "ca.der"))
            openssl("genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:2048",
                    "-out", self.key)
            with open(os.path.join(self.dir, "index.txt"), "w"):
                pass
            with open(os.path.join(self.dir, "serial"), "w") as f:
                f.write("1000\n")
            with open(os.path.join(self.dir, "ca.cnf"), "w") as f:
                f.write(CA_CONFIG.format(dir=self.dir))

    def make_ca(self, cert, subject):
        key = cert[:-4] + ".key"
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                "-days", "3650", "-subj", subject, *CA_EXTENSIONS)

    def cert_for(self, host):
        """The certificate file served for host (made on first use)."""
        host = host.lower().strip(".")
        if not host or any(c not in "abcdefghijklmnopqrstuvwxyz0123456789.-" for c in host):
            host = "invalid-name.invalid"
        kind = host.split(".")[0]
        cert = os.path.join(self.dir, "host-" + host + ".pem")
        with self.lock:
            if os.path.exists(cert):
                return cert
            named = "other-name.invalid" if kind == "wrongname" else host
            ca = self.unknown if kind in ("unknownca", "leafonly") else self.ca
            csr = cert + ".csr"
            ext = cert + ".ext"
            with open(ext, "w") as f:
                f.write("basicConstraints=CA:FALSE\n"
                        "keyUsage=critical,digitalSignature,keyEncipherment\n"
                        "extendedKeyUsage=serverAuth\n"
                        f"subjectAltName=DNS:{named}\n")
            openssl("req", "-new", "-key", self.key, "-subj", f"/CN={named}", "-out", csr)
            made = cert + ".new"
            if kind == "expired":
                openssl("ca", "-batch", "-notext", "-config", os.path.join(self.dir, "ca.cnf"),
                        "-cert", ca, "-keyfile", ca[:-4] + ".key", "-in", csr, "-out", made,
                        "-startdate", "20190101000000Z", "-enddate", "20200101000000Z",
                        "-extfile", ext)
            else:
                serial = str(int.from_bytes(os.urandom(8), "big") >> 2 | 1)
                openssl("x509", "-req", "-in", csr, "-CA", ca, "-CAkey", ca[:-4] + ".key",
                        "-set_serial", serial, "-days", "825", "-sha256", "-extfile", ext,
                        "-out", made)
            # Served with its issuer after it, as servers send their chain.
            if kind != "leafonly":
                with open(made, "a") as out, open(ca) as issuer:
                    out.write(issuer.read())
            os.replace(made, cert)
            return cert
