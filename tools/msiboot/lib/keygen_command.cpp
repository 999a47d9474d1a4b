#include "keygen_command.h"

#include <cstdio>
#include <fstream>

#include "container_writer.h"

namespace msiboot_tool {

int keygen_command(const std::vector<std::string>& args) {
  if (args.size() != 2) {
    std::fprintf(stderr, "usage: msiboot keygen PRIVATE.pem PUBLIC.blob\n");
    return 2;
  }
  const std::string& private_path = args[0];
  const std::string& blob_path = args[1];
  SigningKey key;
  if (!generate_signing_key(&key)) {
    std::fprintf(stderr, "msiboot keygen: no RSA key could be generated\n");
    return 1;
  }
  if (!save_signing_key(key, private_path)) {
    std::fprintf(stderr, "msiboot keygen: cannot create %s (it must not exist yet)\n",
                 private_path.c_str());
    return 1;
  }
  std::vector<uint8_t> blob = public_key_blob(key);
  std::ofstream out(blob_path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(blob.data()), static_cast<std::streamsize>(blob.size()));
  if (!out.flush()) {
    std::fprintf(stderr, "msiboot keygen: cannot write %s\n", blob_path.c_str());
    return 1;
  }
  std::printf("private key: %s (keep it secret; it signs your payloads)\n", private_path.c_str());
  std::printf("public key blob: %s (msiboot pack --key %s stamps it into the stub; or msiboot stub)\n",
              blob_path.c_str(), private_path.c_str());
  return 0;
}

}  // namespace msiboot_tool
