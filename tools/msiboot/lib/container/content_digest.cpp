#include "container/content_digest.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "container/openssl_ptr.h"
#include "container/parallel_tasks.h"
#include "files/tool_error.h"

namespace msiboot_tool {
namespace {

constexpr size_t kReadSize = 1u << 20;

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

ContentDigest file_digest(const std::string& path) {
  std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  OpenSslPtr<EVP_MD_CTX> context(EVP_MD_CTX_new());
  if (!file) throw ToolError(path, std::string("cannot read it (") + std::strerror(errno) + ")");
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
    throw ToolError("out of memory for SHA-256");
  }
  ContentDigest digest;
  Bytes buffer(kReadSize);
  for (size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), file.get())) != 0;) {
    EVP_DigestUpdate(context.get(), buffer.data(), got);
    digest.size += got;
  }
  if (std::ferror(file.get())) throw ToolError(path, std::string("cannot read it (") + std::strerror(errno) + ")");
  digest.sha256.resize(EVP_MAX_MD_SIZE);
  unsigned int length = 0;
  EVP_DigestFinal_ex(context.get(), digest.sha256.data(), &length);
  digest.sha256.resize(length);
  return digest;
}

}  // namespace

ContentDigest content_digest(const Bytes& content) {
  ContentDigest digest{content.size(), Bytes(EVP_MAX_MD_SIZE)};
  unsigned int length = 0;
  if (EVP_Digest(content.data(), content.size(), digest.sha256.data(), &length, EVP_sha256(), nullptr) != 1) {
    throw ToolError("out of memory for SHA-256");
  }
  digest.sha256.resize(length);
  return digest;
}

std::vector<ContentDigest> file_digests(const std::vector<std::string>& paths) {
  std::vector<ContentDigest> digests(paths.size());
  run_parallel(paths.size(), [&](size_t i) { digests[i] = file_digest(paths[i]); });
  return digests;
}

}  // namespace msiboot_tool
