#include "commands/keygen_command.h"

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "container/signing_key.h"
#include "files/output_file.h"
#include "files/quiet_output.h"
#include "files/tool_error.h"

namespace msiboot_tool {
namespace {

// Both files or neither, and never over an existing file: a key pair that half replaced an older
// one would leave stubs trusting a key whose private half is gone.
void write_key_pair(const std::string& private_path, const std::string& blob_path) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (fs::weakly_canonical(fs::absolute(private_path), error) == fs::weakly_canonical(fs::absolute(blob_path), error)) {
    throw ToolError(blob_path, "is the private key's path too: give two different files");
  }
  for (const std::string& path : {private_path, blob_path}) {
    struct stat existing;
    if (lstat(path.c_str(), &existing) == 0) {
      throw ToolError(path, "exists already: keygen never writes over a file");
    }
  }
  SigningKey key;
  if (!generate_signing_key(&key)) throw ToolError("no RSA key could be generated");
  OutputFile pem(private_path), blob(blob_path);
  pem.write(private_key_pem(key));
  blob.write(public_key_blob(key));
  pem.commit_new(0600);  // readable by its owner only
  try {
    blob.commit_new(0644);
  } catch (...) {
    pem.remove_committed();
    throw;
  }
}

}  // namespace

int keygen_command(const KeygenOptions& options) {
  if (options.private_path.empty() || options.blob_path.empty()) {
    std::fprintf(stderr, "usage: msiboot keygen PRIVATE.pem PUBLIC.blob\n");
    return 2;
  }
  try {
    write_key_pair(options.private_path, options.blob_path);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "msiboot keygen: %s\n", e.what());
    return 1;
  }
  if (quiet_output()) return 0;
  std::printf("private key: %s (keep it secret; it signs your payloads)\n", options.private_path.c_str());
  std::printf("public key blob: %s (msiboot pack --key %s stamps it into the stub; or msiboot stub)\n",
              options.blob_path.c_str(), options.private_path.c_str());
  return 0;
}

}  // namespace msiboot_tool
