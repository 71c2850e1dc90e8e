// Writes unsplit.sh and unsplit.bat for the parts BASE.001, BASE.002, ... in
// FOLDER, as czelbo32 writes them, with each part's SHA-256 (or, with
// --no-digests, without them): bench/join.sh joins parts that it made itself.
//
//   zelbo_join_scripts FOLDER BASE SOURCE [--no-digests]
#include <openssl/evp.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/part_names.h"
#include "common/scripts.h"

namespace {

std::string Sha256Hex(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  EVP_DigestInit_ex(context, EVP_sha256(), nullptr);
  std::vector<char> buffer(1 << 20);
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    EVP_DigestUpdate(context, buffer.data(), static_cast<std::size_t>(in.gcount()));
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(context, digest, &length);
  EVP_MD_CTX_free(context);
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
    hex += pair;
  }
  return hex;
}

void Write(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s FOLDER BASE SOURCE [--no-digests]\n", argv[0]);
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  const bool digests = argc < 5 || std::string(argv[4]) != "--no-digests";
  zelbo::ScriptInput input{zelbo::ScriptVariant::kConsole, argv[2], argv[3], "unsplit", {}, {}};
  for (std::int32_t number = 1;; ++number) {
    const std::filesystem::path part = folder / zelbo::PartFileName(argv[2], number);
    if (!std::filesystem::exists(part)) break;
    input.partSizes.push_back(static_cast<std::int64_t>(std::filesystem::file_size(part)));
    if (digests) input.partDigests.push_back(Sha256Hex(part));
  }
  Write(folder / "unsplit.sh", zelbo::ShellScriptText(input));
  Write(folder / "unsplit.bat", zelbo::DosBatchText(input));
  return 0;
}
