// Adds a CA certificate (a DER file) to the machine's "Root" store of the Wine prefix it
// runs in, as a user's machine trusts its own CA. Already there counts as added.
// Usage: fl_trust_ca.exe FILE.der
#include <windows.h>
// After windows.h, which it builds on.
#include <wincrypt.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fl_trust_ca FILE.der\n");
    return 2;
  }
  std::FILE* f = std::fopen(argv[1], "rb");
  if (!f) {
    std::fprintf(stderr, "cannot open %s\n", argv[1]);
    return 1;
  }
  std::vector<BYTE> der;
  unsigned char chunk[4096];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;)
    der.insert(der.end(), chunk, chunk + n);
  std::fclose(f);
  HCERTSTORE root =
      ::CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
  if (!root) {
    std::fprintf(stderr, "cannot open the Root store: %lu\n", ::GetLastError());
    return 1;
  }
  const BOOL added = ::CertAddEncodedCertificateToStore(
      root, X509_ASN_ENCODING, der.data(), DWORD(der.size()), CERT_STORE_ADD_USE_EXISTING, nullptr);
  const DWORD error = ::GetLastError();
  ::CertCloseStore(root, 0);
  if (!added) {
    std::fprintf(stderr, "the certificate was not added: %lu\n", error);
    return 1;
  }
  std::printf("trusted: %s\n", argv[1]);
  return 0;
}
