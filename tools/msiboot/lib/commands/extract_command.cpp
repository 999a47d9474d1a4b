#include "commands/extract_command.h"

#include <cstdio>
#include <exception>
#include <optional>
#include <stdexcept>

#include "container/manifest_fields.h"
#include "files/output_file.h"
#include "files/quiet_output.h"
#include "files/tool_error.h"
#include "inspect/setup_contents.h"
#include "inspect/setup_image.h"
#include "inspect/status_meaning.h"
#include "shared/ascii_case.h"

namespace msiboot_tool {
namespace {

// A name listed twice holds the same content both times (the stub's choice refuses anything
// else): it is written once, as the stub writes it.
bool written_before(const ItemWriter& writer, int32_t index) {
  for (int32_t i = 0; i < index; ++i) {
    if (equals_ignoring_ascii_case(writer.items[i].name, writer.items[index].name)) return true;
  }
  return false;
}

// Writes each chosen item into the folder as its record inflates. What fails here is kept and
// thrown once the choice has stopped, so that nothing is thrown through the inflation.
class FolderSink : public ItemSink {
 public:
  FolderSink(OutputFolder& folder, const std::string& setup) : folder_(folder), setup_(setup) {}

  bool begin(const ExtractItem& item) override {
    return guarded([&] {
      if (!is_plain_file_name(item.name)) {
        throw ToolError(setup_, "the item name \"" + std::string(item.name) + "\" is not a plain file name");
      }
      skip_ = false;
      for (const std::string& name : names_) skip_ = skip_ || equals_ignoring_ascii_case(name.c_str(), item.name);
      if (skip_) return;
      names_.push_back(item.name);
      folder_.begin(item.name);
    });
  }
  bool write(const uint8_t* bytes, uint32_t length) override {
    return skip_ || guarded([&] { folder_.write(bytes, length); });
  }
  void rethrow() const {
    if (failure_) std::rethrow_exception(failure_);
  }

 private:
  template <typename Step>
  bool guarded(Step step) {
    try {
      step();
      return true;
    } catch (...) {
      failure_ = std::current_exception();
      return false;
    }
  }
  OutputFolder& folder_;
  const std::string& setup_;
  std::vector<std::string> names_;
  bool skip_ = false;
  std::exception_ptr failure_;
};

}  // namespace

void extract_command(const ExtractOptions& options) {
  SetupImage image(options.setup);
  Status status = image.discover(inspection_key(image, options.setup, ""));
  OutputFolder folder(options.output);
  FolderSink sink(folder, options.setup);
  // The items are written as the stub's own lookup checks them: no content is held whole.
  std::optional<ChosenItems> chosen;
  if (!status_failed(status)) status = chosen.emplace(image.payload(), options.lcid, &sink).status();
  sink.rethrow();
  if (status_failed(status)) {
    throw ToolError(options.setup, "the stub would install nothing for " + std::to_string(options.lcid) +
                             " (" + status_text(status) + ": " + status_meaning(status).meaning + ")");
  }
  folder.commit();
  const ItemWriter& writer = chosen->writer();
  for (int32_t i = 0; i < writer.count; ++i) {
    if (written_before(writer, i)) continue;
    if (!quiet_output()) std::printf("%s/%s  %u bytes\n", options.output.c_str(), writer.items[i].name, writer.items[i].size);
  }
}

}  // namespace msiboot_tool
