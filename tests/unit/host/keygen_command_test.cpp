// msiboot keygen: a usable key pair, never written over an existing private key.
#include "commands/keygen_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "container/signing_key.h"
#include "files/file_bytes.h"

namespace {

using namespace msiboot_tool;

TEST(KeygenCommand, WritesAPrivateKeyAndItsPublicBlob) {
  std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / "msiboot-keygen";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::string pem = (dir / "key.pem").string();
  std::string blob_path = (dir / "key.blob").string();

  ASSERT_EQ(keygen_command({pem, blob_path}), 0);
  SigningKey key;
  ASSERT_TRUE(load_signing_key(pem, &key));
  const Bytes blob = read_file_bytes(blob_path);
  EXPECT_EQ(blob, public_key_blob(key));
  struct stat info = {};
  ASSERT_EQ(stat(pem.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u) << "the private key must be readable by its owner only";

  EXPECT_EQ(keygen_command({pem, (dir / "other.blob").string()}), 1)
      << "an existing private key must never be replaced";
  SigningKey again;
  ASSERT_TRUE(load_signing_key(pem, &again));
  EXPECT_EQ(public_key_blob(again), blob);
  EXPECT_FALSE(std::filesystem::exists(dir / "other.blob"));

  EXPECT_EQ(keygen_command({pem, ""}), 2);
}

}  // namespace
