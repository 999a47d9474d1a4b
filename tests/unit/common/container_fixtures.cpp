#include "container_fixtures.h"

#include <stdexcept>

namespace fixtures {

namespace {

Bytes manifest_bytes() {
  std::string text;
  for (int i = 0; i < 6; ++i) text += "x64\\1033;1049\\{A0B1C2D3}\\Example product " + std::to_string(i) + "\n";
  return Bytes(text.begin(), text.end());
}

Bytes package_bytes() {
  std::string text;
  for (int i = 0; text.size() < 6000; ++i) text += "row " + std::to_string(i * 37 % 1000) + " of the package table; ";
  text.resize(6000);
  return Bytes(text.begin(), text.end());
}

}  // namespace

const std::vector<std::string>& content_names() {
  static const std::vector<std::string> names = {"manifest", "package", "cabinet", "empty"};
  return names;
}

Bytes content(const std::string& name) {
  if (name == "manifest") return manifest_bytes();
  if (name == "package") return package_bytes();
  if (name == "cabinet") return incompressible_bytes(1200, 7);
  if (name == "empty") return {};
  throw std::invalid_argument("no fixture content named " + name);
}

Bytes container(const std::vector<TestRecord>& records) {
  return msiboot_test::lay_out_container(records, [](const Bytes& bytes) { return signature(bytes); });
}

}  // namespace fixtures
