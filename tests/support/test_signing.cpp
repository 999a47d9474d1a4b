#include "test_signing.h"
#include "test_files.h"
#include "test_process.h"

#include <openssl/pem.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace msiboot_test {
namespace {

namespace fs = std::filesystem;
using msiboot_tool::read_file_bytes;
using msiboot_test::write_file_bytes;
using msiboot_tool::OpenSslPtr;

// A private scratch folder, removed with everything in it.
struct ScratchDir {
  const fs::path path = scratch_dir("msiboot-sign");
  ~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  std::string file(const char* name) const { return (path / name).string(); }
};

void put(std::vector<uint8_t>& image, size_t at, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) image[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

msiboot_tool::CertificateIssuer load_test_ca(const std::string& name) {
  const std::string certificate_path = test_keys_dir() + "/" + name + ".pem", key_path = test_keys_dir() + "/" + name + ".key";
  auto read_pem = [](const std::string& path, auto read) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "r"), std::fclose);
    if (!file) throw std::runtime_error("cannot read " + path);
    return read(file.get(), nullptr, nullptr, nullptr);
  };
  msiboot_tool::CertificateIssuer issuer;
  issuer.certificate.reset(read_pem(certificate_path, PEM_read_X509));
  issuer.key.reset(read_pem(key_path, PEM_read_PrivateKey));
  if (!issuer.certificate || !issuer.key) throw std::runtime_error("cannot read " + name + " in " + test_keys_dir());
  return issuer;
}

std::vector<uint8_t> minimal_pe32plus_image() {
  constexpr size_t nt = 0x40, optional = nt + 24, section = optional + 240;
  std::vector<uint8_t> image(0x400, 0);
  image[0] = 'M';
  image[1] = 'Z';
  put(image, 0x3C, nt, 4);
  put(image, nt, 0x00004550, 4);
  put(image, nt + 4, 0x8664, 2);       // x64
  put(image, nt + 6, 1, 2);            // one section
  put(image, nt + 20, 240, 2);         // optional header size
  put(image, nt + 22, 0x0022, 2);      // executable, large address aware
  put(image, optional, 0x20B, 2);      // PE32+
  put(image, optional + 4, 0x200, 4);  // size of code
  put(image, optional + 16, 0x1000, 4);  // entry point
  put(image, optional + 20, 0x1000, 4);  // base of code
  put(image, optional + 24, 0x140000000, 8);
  put(image, optional + 32, 0x1000, 4);  // section alignment
  put(image, optional + 36, 0x200, 4);   // file alignment
  put(image, optional + 40, 6, 2);       // operating system 6.0
  put(image, optional + 48, 6, 2);       // subsystem 6.0
  put(image, optional + 56, 0x2000, 4);  // size of image
  put(image, optional + 60, 0x200, 4);   // size of headers
  put(image, optional + 68, 2, 2);       // GUI subsystem
  put(image, optional + 70, 0x8160, 2);
  put(image, optional + 72, 0x100000, 8);
  put(image, optional + 80, 0x1000, 8);
  put(image, optional + 88, 0x100000, 8);
  put(image, optional + 96, 0x1000, 8);
  put(image, optional + 108, 16, 4);     // data directories
  const char name[8] = {'.', 't', 'e', 'x', 't'};
  std::copy(name, name + 8, image.begin() + section);
  put(image, section + 8, 0x200, 4);      // virtual size
  put(image, section + 12, 0x1000, 4);    // virtual address
  put(image, section + 16, 0x200, 4);     // raw size
  put(image, section + 20, 0x200, 4);     // raw offset
  put(image, section + 36, 0x60000020, 4);  // code, executable, readable
  image[0x200] = 0xC3;                    // ret
  return image;
}

std::vector<uint8_t> sign_with_test_signer(const std::vector<uint8_t>& image,
                                           const std::vector<std::string>& extra_certificate_files,
                                           const std::vector<std::string>& options) {
  ScratchDir scratch;
  write_file_bytes(scratch.file("in.exe"), image);
  // The signer's certificate file carries its chain: the signer, then the CA.
  std::vector<uint8_t> certs = read_file_bytes(test_keys_dir() + "/test-signer.pem");
  std::vector<uint8_t> ca = read_file_bytes(test_keys_dir() + "/test-ca.pem");
  certs.insert(certs.end(), ca.begin(), ca.end());
  write_file_bytes(scratch.file("chain.pem"), certs);

  std::vector<std::string> argv = {"osslsigncode", "sign", "-certs", scratch.file("chain.pem"), "-key",
                                   test_keys_dir() + "/test-signer.key", "-time", "1700000000", "-h", "sha256"};
  for (const std::string& extra : extra_certificate_files) argv.insert(argv.end(), {"-ac", extra});
  argv.insert(argv.end(), options.begin(), options.end());
  argv.insert(argv.end(), {"-in", scratch.file("in.exe"), "-out", scratch.file("out.exe")});
  ProcessRun run = run_process(argv);
  if (run.exit_code != 0) throw std::runtime_error("osslsigncode sign failed: " + run.out + run.err);
  return read_file_bytes(scratch.file("out.exe"));
}

std::vector<std::string> test_timestamp_options() {
  return {"-TSA-certs", test_keys_dir() + "/test-tsa.pem", "-TSA-key", test_keys_dir() + "/test-tsa.key",
          "-TSA-time", "1700000100"};
}

bool verifies_with_test_ca(const std::vector<uint8_t>& image, std::string* output) {
  ScratchDir scratch;
  write_file_bytes(scratch.file("signed.exe"), image);
  const std::string ca = test_keys_dir() + "/test-ca.pem";
  ProcessRun run = run_process({"osslsigncode", "verify", "-CAfile", ca, "-TSA-CAfile", ca, "-in", scratch.file("signed.exe")});
  if (output != nullptr) *output = run.out + run.err;
  return run.exit_code == 0;
}

void write_certificate_pem(const std::string& path, const std::vector<uint8_t>& der) {
  const unsigned char* cursor = der.data();
  OpenSslPtr<X509> certificate(d2i_X509(nullptr, &cursor, static_cast<long>(der.size())));
  if (!certificate) throw std::runtime_error("not a DER certificate");
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) throw std::runtime_error("cannot write " + path);
  bool written = PEM_write_X509(file, certificate.get()) == 1;
  if (fclose(file) != 0 || !written) throw std::runtime_error("cannot write " + path);
}

}  // namespace msiboot_test
