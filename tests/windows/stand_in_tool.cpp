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
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char** argv) {
  if (std::string(argv[0]).find("fsutil") != std::string::npos) {
    return std::printf("Volume Name : STICK\nFile System Name : FAT32\n") < 0;
  }
  std::ifstream in(argc == 4 ? argv[2] : "", std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  BCRYPT_ALG_HANDLE sha256 = nullptr;
  unsigned char digest[32];
  if (!in.is_open() || BCryptOpenAlgorithmProvider(&sha256, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0 ||
      BCryptHash(sha256, nullptr, 0, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                 static_cast<ULONG>(bytes.size()), digest, sizeof digest) != 0) {
    return std::printf("CertUtil: -hashfile command FAILED: 0x80070002 (WIN32: 2 ERROR_FILE_NOT_FOUND)\n"), 2;
  }
  const bool seven = std::getenv("ZELBO_CERTUTIL") != nullptr && std::string(std::getenv("ZELBO_CERTUTIL")) == "7";
  std::printf(seven ? "SHA256-Hashwert der Datei %s:\n" : "SHA256 hash of %s:\n", argv[2]);
  for (int i = 0; i < 32; ++i) std::printf(seven ? (i ? " %02X" : "%02X") : "%02x", digest[i]);
  std::printf(seven ? "\nCertUtil: -hashfile-Befehl wurde erfolgreich ausgef\x81hrt.\n"
                    : "\nCertUtil: -hashfile command completed successfully.\n");
}
