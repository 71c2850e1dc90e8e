// Stands in for certutil.exe and fsutil.exe in the PATH of the batches that
// the wine tests run (wine's certutil prints nothing, its fsutil knows no
// file systems), printing what Windows prints. As certutil it hashes the
// file with the system's own SHA-256 in the Windows 10 form, or, with
// ZELBO_CERTUTIL=7, in the Windows 7 form (blanks between the byte pairs,
// upper case) with the other words translated. As fsutil it reports FAT32.
#include <windows.h>

#include <bcrypt.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool Sha256(const char* path, unsigned char (&digest)[32]) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) == 0 &&
            BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0;
  std::vector<unsigned char> buffer(1 << 20);
  DWORD got = 0;
  while (ok && (ok = ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) && got > 0) {
    ok = BCryptHashData(hash, buffer.data(), got, 0) == 0;
  }
  ok = ok && BCryptFinishHash(hash, digest, sizeof digest, 0) == 0;
  CloseHandle(file);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  if (std::string(self).find("fsutil") != std::string::npos) {
    std::printf("Volume Name : STICK\nFile System Name : FAT32\n");
    return 0;
  }
  unsigned char digest[32];
  if (argc != 4 || std::string(argv[1]) != "-hashfile" || !Sha256(argv[2], digest)) {
    std::printf("CertUtil: -hashfile command FAILED: 0x80070002 (WIN32: 2 ERROR_FILE_NOT_FOUND)\n");
    return 2;
  }
  const char* form = std::getenv("ZELBO_CERTUTIL");
  const bool seven = form != nullptr && std::string(form) == "7";
  std::printf(seven ? "SHA256-Hashwert der Datei %s:\n" : "SHA256 hash of %s:\n", argv[2]);
  for (int i = 0; i < 32; ++i) std::printf(seven ? (i ? " %02X" : "%02X") : "%02x", digest[i]);
  std::printf(seven ? "\nCertUtil: -hashfile-Befehl wurde erfolgreich ausgef\x81hrt.\n"
                    : "\nCertUtil: -hashfile command completed successfully.\n");
  return 0;
}
