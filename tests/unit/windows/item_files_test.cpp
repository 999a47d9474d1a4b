// Item files and the chunked writer on real files in a temporary folder.
#include "extract/win/item_files.h"

#include <windows.h>
// windows.h first: sddl.h depends on it.
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "extract/win/item_cleanup.h"
#include "extract/win/target_folder.h"
#include "platform/heap.h"
#include "test_bytes.h"

namespace {

Bytes pattern(size_t size, uint8_t seed) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 9));
  return bytes;
}

void write_file(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.flush()) << path;
}

Bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

FILETIME write_time(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime;
}

// Write calls seen by the seam, and how the next one behaves.
struct WriteLog {
  std::vector<uint32_t> requested;
  uint32_t short_by = 0;  // the next call writes this many bytes fewer and still succeeds
  bool fail_next = false;
};
WriteLog write_log;

int logging_write(void* handle, const uint8_t* data, uint32_t size, uint32_t* written) {
  write_log.requested.push_back(size);
  if (write_log.fail_next) {
    write_log.fail_next = false;
    *written = 0;
    return 0;
  }
  uint32_t n = size - (write_log.short_by < size ? write_log.short_by : size);
  write_log.short_by = 0;
  DWORD count = 0;
  BOOL ok = WriteFile(handle, data, n, &count, nullptr);
  *written = count;
  return ok;
}

class ItemWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    base_ = std::string(temp) + "msiboot-items-" + std::to_string(GetCurrentProcessId()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    CreateDirectoryA(base_.c_str(), nullptr);
    // The held folder is named by its final path: the temporary folder's path may be another.
    HANDLE base = CreateFileA(base_.c_str(), FILE_READ_ATTRIBUTES, 7, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    char final_base[kHeldPathSize] = {};
    EXPECT_TRUE(final_path_of(base, final_base, sizeof final_base));
    CloseHandle(base);
    base_ = final_base;
    folder_ = base_ + "\\{PRODUCT}";
    writer_.current = -1;
    writer_.chunk_size = kWriterChunkSize;
    write_log = WriteLog{};
    item_write_call = logging_write;
  }

  void TearDown() override {
    close_item_files(writer_);
    release_items(writer_);
    release_held_folder(held_);
    std::error_code ignored;
    std::filesystem::remove_all(base_, ignored);
  }

  void add_item(const std::string& name, const Bytes& content) {
    size_t bytes = sizeof(ExtractItem) * static_cast<size_t>(writer_.count + 1);
    void* grown = writer_.items == nullptr ? heap_alloc(kHeapZeroInit, bytes)
                                           : heap_realloc(writer_.items, bytes, kHeapZeroInit);
    ASSERT_NE(grown, nullptr);
    writer_.items = static_cast<ExtractItem*>(grown);
    ExtractItem& item = writer_.items[writer_.count++];
    item = ExtractItem{};
    snprintf(item.name, sizeof item.name, "%s", name.c_str());
    item.data = static_cast<uint8_t*>(heap_alloc(kHeapFixed, content.size() + 1));
    memcpy(item.data, content.data(), content.size());
    item.size = static_cast<uint32_t>(content.size());
  }

  std::string path_of(const std::string& name) const { return folder_ + "\\" + name; }

  // The product folder made beforehand, as an earlier run leaves it. Such a folder is used only
  // when it is private (see PrivateFolders), which wine cannot show: its files report the
  // user as their owner. create_items holds it as hold_product_folder holds a private one.
  void make_folder() {
    ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
    found_ = true;
  }

  // Holds the product folder (folder_ in base_) and creates the item files in it.
  bool create_items() {
    std::string name = folder_.substr(base_.size() + 1);
    if (found_) {
      held_.handle = CreateFileA(folder_.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
      snprintf(held_.path, sizeof held_.path, "%s", folder_.c_str());
    } else if (!hold_product_folder(base_.c_str(), name.c_str(), held_)) {
      return false;
    }
    EXPECT_EQ(std::string(held_.path), folder_);
    return create_item_files(writer_, held_);
  }

  // Each step's result and percent until the writer reports done or a failure.
  std::vector<std::pair<uint32_t, uint32_t>> run_writer() {
    std::vector<std::pair<uint32_t, uint32_t>> steps;
    uint32_t result = kWriterMoreData;
    while (result == kWriterMoreData && steps.size() < 100) {
      uint32_t percent = 999;
      result = writer_step(writer_, &percent);
      steps.emplace_back(result, percent);
    }
    return steps;
  }

  void expect_rolled_back() {
    for (int32_t i = 0; i < writer_.count; ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(writer_.items[i].handle, nullptr);
      EXPECT_EQ(writer_.items[i].written, 0u);
      EXPECT_STREQ(writer_.items[i].path, "");
      EXPECT_NE(writer_.items[i].data, nullptr);  // kept for the next folder
    }
    EXPECT_EQ(held_.handle, nullptr);
  }

  std::string base_;
  std::string folder_;
  bool found_ = false;
  ItemWriter writer_ = {};
  HeldFolder held_ = {};
};

using Steps = std::vector<std::pair<uint32_t, uint32_t>>;

TEST_F(ItemWriterTest, ExistingIdenticalFileIsKeptAndNotWritten) {
  make_folder();
  Bytes content = pattern(70000, 1);
  write_file(path_of("main.msi"), content);
  FILETIME before = write_time(path_of("main.msi"));
  add_item("main.msi", content);
  add_item("data.cab", pattern(10, 2));

  ASSERT_TRUE(create_items());
  EXPECT_EQ(writer_.items[0].handle, nullptr);
  EXPECT_NE(writer_.items[1].handle, nullptr);
  EXPECT_EQ(std::string(writer_.items[0].path), path_of("main.msi"));

  EXPECT_EQ(run_writer(), (Steps{{234, 0}, {234, 0}, {234, 50}, {234, 100}, {0, 100}}));
  EXPECT_EQ(write_log.requested, std::vector<uint32_t>{10});
  FILETIME after = write_time(path_of("main.msi"));
  EXPECT_EQ(CompareFileTime(&before, &after), 0);
  EXPECT_EQ(read_file(path_of("data.cab")), pattern(10, 2));
}

TEST_F(ItemWriterTest, ExistingDifferentFileIsReplaced) {
  const std::pair<const char*, Bytes> found_files[] = {
      {"same-size.cab", pattern(5000, 9)},
      {"shorter.cab", pattern(4999, 3)},
      {"longer.cab", pattern(5001, 3)},
      {"empty.cab", {}},
  };
  make_folder();
  for (const auto& [name, bytes] : found_files) {
    write_file(path_of(name), bytes);
    add_item(name, pattern(5000, 3));
  }
  ASSERT_TRUE(create_items());
  for (int32_t i = 0; i < writer_.count; ++i) EXPECT_NE(writer_.items[i].handle, nullptr) << i;
  EXPECT_EQ(run_writer().back(), std::make_pair(0u, 100u));
  for (const auto& found : found_files) {
    EXPECT_EQ(read_file(path_of(found.first)), pattern(5000, 3)) << found.first;
  }
}

TEST_F(ItemWriterTest, FailureOnTheThirdItemRollsBackAndRemovesTheEmptyFolder) {
  add_item("main.msi", pattern(100, 1));
  add_item("a.cab", pattern(100, 2));
  add_item("bad?name.cab", pattern(100, 3));

  EXPECT_FALSE(create_items());
  expect_rolled_back();
  EXPECT_FALSE(path_exists(path_of("main.msi").c_str()));
  EXPECT_FALSE(path_exists(path_of("a.cab").c_str()));
  EXPECT_FALSE(path_exists(folder_.c_str()));
}

TEST_F(ItemWriterTest, RollBackDeletesReplacedFilesKeepsIdenticalOnesAndTheFolder) {
  make_folder();
  Bytes cabinet = pattern(300, 2);
  write_file(path_of("kept.cab"), cabinet);
  write_file(path_of("main.msi"), pattern(100, 7));  // not the verified package
  CreateDirectoryA(path_of("blocked.cab").c_str(), nullptr);
  add_item("main.msi", pattern(100, 1));
  add_item("kept.cab", cabinet);
  add_item("blocked.cab", pattern(100, 3));

  EXPECT_FALSE(create_items());
  expect_rolled_back();
  EXPECT_FALSE(path_exists(path_of("main.msi").c_str()));
  EXPECT_EQ(read_file(path_of("kept.cab")), cabinet);
  EXPECT_TRUE(path_exists(folder_.c_str()));

  // The next folder gets all three items again.
  folder_ = base_ + "\\other";
  make_folder();
  ASSERT_TRUE(create_items());
  for (int32_t i = 0; i < writer_.count; ++i) EXPECT_NE(writer_.items[i].handle, nullptr) << i;
  EXPECT_EQ(run_writer().back(), std::make_pair(0u, 100u));
  EXPECT_EQ(read_file(path_of("blocked.cab")), pattern(100, 3));
}

TEST_F(ItemWriterTest, PathOverTheLimitFailsCreation) {
  add_item("main.msi", pattern(10, 1));
  std::string name(260 - folder_.size(), 'n');  // folder, backslash and name: 261 characters
  add_item(name, pattern(10, 2));
  ASSERT_EQ(folder_.size() + 1 + name.size(), 261u);

  EXPECT_FALSE(create_items());
  expect_rolled_back();
  EXPECT_FALSE(path_exists(path_of("main.msi").c_str()));
}

TEST_F(ItemWriterTest, LargeItemIsWrittenInChunks) {
  Bytes content = pattern(1200000, 5);
  add_item("main.msi", content);
  ASSERT_TRUE(create_items());
  // Writing takes the bar to 50, a chunk per step; comparing the held file takes it to 100, as
  // many chunks a step as fit a few milliseconds (all of them here, but for a stalled machine).
  Steps steps = run_writer();
  ASSERT_GE(steps.size(), 6u);
  EXPECT_EQ(Steps(steps.begin(), steps.begin() + 4), (Steps{{234, 0}, {234, 21}, {234, 43}, {234, 50}}));
  EXPECT_EQ(Steps(steps.end() - 2, steps.end()), (Steps{{234, 100}, {0, 100}}));
  EXPECT_EQ(write_log.requested, (std::vector<uint32_t>{524288, 524288, 151424}));
  EXPECT_EQ(writer_.items[0].handle, nullptr);
  EXPECT_EQ(writer_.current, 1);
  EXPECT_EQ(read_file(path_of("main.msi")), content);
}

TEST_F(ItemWriterTest, PercentRestartsForEveryItem) {
  add_item("main.msi", pattern(10, 1));
  add_item("a.cab", pattern(20, 2));
  ASSERT_TRUE(create_items());
  EXPECT_EQ(run_writer(),
            (Steps{{234, 0}, {234, 50}, {234, 100}, {234, 0}, {234, 50}, {234, 100}, {0, 100}}));
}

TEST_F(ItemWriterTest, AWrittenFileIsHeldOnlyWhileItStillHoldsTheVerifiedBytes) {
  add_item("main.msi", pattern(100, 1));
  ASSERT_TRUE(create_items());
  EXPECT_EQ(writer_step(writer_, nullptr), 234u);
  EXPECT_EQ(writer_step(writer_, nullptr), 234u);
  // The file changes before it is held: the comparison after the hold finds it.
  HANDLE file = writer_.items[0].handle;
  SetFilePointer(file, 10, nullptr, FILE_BEGIN);
  DWORD count = 0;
  ASSERT_TRUE(WriteFile(file, "x", 1, &count, nullptr));
  EXPECT_EQ(writer_step(writer_, nullptr), 29u);
  EXPECT_EQ(writer_.items[0].held, nullptr);
  EXPECT_EQ(writer_.items[0].handle, nullptr);
  EXPECT_EQ(writer_step(writer_, nullptr), 29u);  // a retry compares the held file again
}

TEST_F(ItemWriterTest, AHeldFileDeniesWritingDeletionAndRenaming) {
  add_item("main.msi", pattern(100, 1));
  ASSERT_TRUE(create_items());
  EXPECT_EQ(run_writer().back(), std::make_pair(0u, 100u));
  const std::string path = path_of("main.msi");
  EXPECT_EQ(CreateFileA(path.c_str(), GENERIC_WRITE, 7, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_FALSE(DeleteFileA(path.c_str()));
  EXPECT_FALSE(MoveFileA(path.c_str(), (path + ".moved").c_str()));
  HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);  // as the installer reads it
  CloseHandle(reader);
}

TEST_F(ItemWriterTest, ANameListedTwiceIsWrittenOnce) {
  add_item("twice.cab", pattern(100, 2));
  add_item("TWICE.cab", pattern(100, 2));
  ASSERT_TRUE(create_items());
  EXPECT_EQ(run_writer().back(), std::make_pair(0u, 100u));
  EXPECT_EQ(write_log.requested, std::vector<uint32_t>{100});
  EXPECT_NE(writer_.items[1].held, nullptr);
  EXPECT_EQ(read_file(path_of("twice.cab")), pattern(100, 2));
}

TEST_F(ItemWriterTest, EmptyWriterIsDoneAtOnce) {
  uint32_t percent = 7;
  EXPECT_EQ(writer_step(writer_, &percent), 0u);
  EXPECT_EQ(percent, 100u);
  EXPECT_EQ(writer_step(writer_, nullptr), 0u);
}

TEST_F(ItemWriterTest, ZeroSizeItemIsCreatedEmpty) {
  add_item("main.msi", {});
  ASSERT_TRUE(create_items());
  EXPECT_EQ(run_writer(), (Steps{{234, 0}, {0, 100}}));
  EXPECT_TRUE(write_log.requested.empty());
  EXPECT_TRUE(path_exists(path_of("main.msi").c_str()));
  EXPECT_TRUE(read_file(path_of("main.msi")).empty());
}

TEST_F(ItemWriterTest, ShortOrFailedWriteResumesWithTheRemainder) {
  Bytes content = pattern(600000, 4);
  add_item("main.msi", content);
  ASSERT_TRUE(create_items());
  uint32_t percent = 0;
  EXPECT_EQ(writer_step(writer_, &percent), 234u);

  write_log.short_by = 24288;
  EXPECT_EQ(writer_step(writer_, &percent), 29u);
  EXPECT_EQ(writer_.items[0].written, 500000u);
  EXPECT_EQ(percent, 41u);
  EXPECT_NE(writer_.items[0].handle, nullptr);

  write_log.fail_next = true;
  EXPECT_EQ(writer_step(writer_, &percent), 29u);
  EXPECT_EQ(writer_.items[0].written, 500000u);

  Steps steps = run_writer();
  EXPECT_EQ(steps.front(), std::make_pair(234u, 50u));
  EXPECT_EQ(Steps(steps.end() - 2, steps.end()), (Steps{{234, 100}, {0, 100}}));
  EXPECT_EQ(write_log.requested, (std::vector<uint32_t>{524288, 100000, 100000}));
  EXPECT_EQ(read_file(path_of("main.msi")), content);
}

// The folder browser's rounds, scripted: each answer is a folder path, "" for a virtual folder
// (no file-system path), or a cancel.
struct BrowserScript {
  std::vector<std::string> answers;  // "<cancel>" ends the browsing
  size_t shown = 0;
  std::string title, preset;
};
BrowserScript browser_script;

PIDLIST_ABSOLUTE WINAPI scripted_browser(LPBROWSEINFOA info) {
  BrowserScript& script = browser_script;
  script.title = info->lpszTitle;
  script.preset = reinterpret_cast<const char*>(info->lParam);
  if (script.shown >= script.answers.size()) return nullptr;
  const std::string& answer = script.answers[script.shown++];
  if (answer == "<cancel>") return nullptr;
  PIDLIST_ABSOLUTE chosen = nullptr;
  if (answer.empty()) {
    SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &chosen);
  } else {
    chosen = ILCreateFromPathA(answer.c_str());
  }
  return chosen;
}

TEST_F(ItemWriterTest, BrowserIsAskedUntilTheFilesCanBeCreatedOrItIsCancelled) {
  const std::string blocked = base_ + "\\blocked";  // a file where the product folder would go
  CreateDirectoryA(blocked.c_str(), nullptr);
  write_file(blocked + "\\{P}", Bytes{1});
  const std::string drive_root = base_.substr(0, 3);  // "C:\"
  const struct {
    const char* name;
    std::vector<std::string> answers;
    uint32_t code;
    std::string target;
  } cases[] = {
      {"cancelled", {"<cancel>"}, 1223, ""},
      {"a virtual folder is asked again", {"", "<cancel>"}, 1223, ""},
      {"an unusable folder is asked again", {blocked, base_}, 0, base_ + "\\{P}"},
      {"a drive root loses its backslash", {drive_root}, 0, drive_root + "{P}"},
  };
  browse_for_folder_call = scripted_browser;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (writer_.count == 0) add_item("main.msi", pattern(100, 1));
    browser_script = BrowserScript{c.answers, 0, "", ""};
    Status status = browse_for_target_folder(writer_, "{P}", "Pick a folder", held_);
    EXPECT_EQ(status_code(status), c.code);
    EXPECT_EQ(browser_script.shown, c.answers.size());
    EXPECT_EQ(browser_script.title, "Pick a folder");
    char preset[kTargetFolderSize];
    default_browse_folder(preset, sizeof preset);
    EXPECT_EQ(browser_script.preset, preset);
    if (c.code == 0) {
      EXPECT_EQ(std::string(held_.path), c.target);
      EXPECT_TRUE(held_.created);
      EXPECT_EQ(std::string(writer_.items[0].path), c.target + "\\main.msi");
      delete_created_files(writer_);
      release_held_folder(held_);
      EXPECT_FALSE(path_exists(c.target.c_str()));
    } else {
      EXPECT_EQ(status_site(status), 2219u);
      EXPECT_EQ(held_.handle, nullptr);
    }
  }
  browse_for_folder_call = SHBrowseForFolderA;
}

TEST_F(ItemWriterTest, AWrittenFileReplacedBeforeItsHoldIsAFailedWrite) {
  add_item("main.msi", pattern(100, 1));
  ASSERT_TRUE(create_items());
  EXPECT_EQ(writer_step(writer_, nullptr), 234u);
  EXPECT_EQ(writer_step(writer_, nullptr), 234u);
  // Another file with the very same bytes takes the written one's place.
  CloseHandle(writer_.items[0].handle);
  writer_.items[0].handle = nullptr;
  ASSERT_TRUE(DeleteFileA(path_of("main.msi").c_str()));
  write_file(path_of("main.msi"), pattern(100, 1));
  EXPECT_EQ(writer_step(writer_, nullptr), 29u);
  EXPECT_EQ(writer_.items[0].held, nullptr);
}

TEST_F(ItemWriterTest, TheHeldFolderCannotBeRenamedOrRemovedAndGoesOnlyWhenMadeHereAndEmpty) {
  ASSERT_TRUE(hold_product_folder(base_.c_str(), "{PRODUCT}", held_));
  EXPECT_TRUE(held_.created);
  EXPECT_EQ(std::string(held_.path), folder_);
  EXPECT_FALSE(MoveFileA(folder_.c_str(), (folder_ + ".moved").c_str()));
  EXPECT_FALSE(RemoveDirectoryA(folder_.c_str()));
  release_held_folder(held_);
  EXPECT_FALSE(path_exists(folder_.c_str()));
  EXPECT_EQ(held_.handle, nullptr);

  // Found there, and anyone but administrators may own or write it (under wine every folder
  // reports the user as its owner): not held, and it stays.
  make_folder();
  EXPECT_FALSE(hold_product_folder(base_.c_str(), "{PRODUCT}", held_));
  EXPECT_EQ(GetLastError(), 5u);
  EXPECT_EQ(held_.handle, nullptr);
  EXPECT_TRUE(path_exists(folder_.c_str()));
  RemoveDirectoryA(folder_.c_str());

  // Made here, but someone else's file went in: it stays, with that file.
  ASSERT_TRUE(hold_product_folder(base_.c_str(), "{PRODUCT}", held_));
  write_file(path_of("other.txt"), Bytes{1, 2});
  release_held_folder(held_);
  EXPECT_EQ(read_file(path_of("other.txt")), (Bytes{1, 2}));

  // A file at the name, or a base that is not there, holds nothing.
  std::filesystem::remove_all(folder_);
  write_file(folder_, Bytes{1});
  EXPECT_FALSE(hold_product_folder(base_.c_str(), "{PRODUCT}", held_));
  EXPECT_FALSE(hold_product_folder((base_ + "\\missing").c_str(), "{PRODUCT}", held_));
  EXPECT_EQ(held_.handle, nullptr);
  EXPECT_EQ(read_file(folder_), Bytes{1});
}

// Which folders found at the product folder's name may be used: no one but administrators may
// write them, their files or who may (descriptors as SDDL).
TEST(PrivateFolders, OnlyAdministratorsOwnOrWriteThem) {
  const std::pair<const char*, bool> cases[] = {
      {"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)", true},
      {"O:SYD:(A;;FA;;;SY)(A;OICI;0x1200a9;;;WD)", true},
      {"O:BAD:(D;;FW;;;WD)(A;;FA;;;BA)", true},
      {"O:BAD:(A;OICIIO;GA;;;CO)(A;;FA;;;S-1-3-4)(A;;FA;;;BA)", true},
      {"O:BAD:", true},  // an empty DACL grants nothing
      {"O:BUD:P(A;OICI;FA;;;BA)", false},
      {"O:S-1-5-21-1-2-3-1000D:P(A;OICI;FA;;;BA)", false},
      {"O:BAD:(A;OICI;FA;;;BA)(A;OICI;FW;;;BU)", false},
      {"O:BAD:(A;OICI;FA;;;BA)(A;OICIIO;GW;;;BU)", false},  // the files it will hold
      {"O:BAD:(A;;0x40;;;BU)", false},                      // deleting what it holds
      {"O:BAD:(A;;0x100;;;AU)", false},
      {"O:BAD:(A;;WD;;;S-1-5-21-1-2-3-1000)", false},       // changing who may
      {"O:BAD:(A;;FA;;;CG)", false},
      {"O:BA", false},
  };
  for (const auto& [sddl, private_folder] : cases) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        << sddl;
    EXPECT_EQ(admits_only_administrators(descriptor), private_folder) << sddl;
    LocalFree(descriptor);
  }
  // No DACL at all: everyone may do everything.
  SECURITY_DESCRIPTOR open = {};
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof administrators;
  ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size));
  InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorOwner(&open, administrators, FALSE);
  SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE);
  EXPECT_FALSE(admits_only_administrators(&open));
}

TEST(HeldFolderNames, AnEntryLiesDirectlyInItsParent) {
  EXPECT_TRUE(names_entry_of("C:\\a\\{P}", "C:\\a", "{P}"));
  EXPECT_TRUE(names_entry_of("C:\\a\\MAIN.msi", "C:\\a", "main.msi"));
  EXPECT_TRUE(names_entry_of("C:\\{P}", "C:\\", "{P}"));
  EXPECT_TRUE(names_entry_of("\\\\srv\\share\\{P}", "\\\\srv\\share\\", "{P}"));
  EXPECT_FALSE(names_entry_of("C:\\ab\\{P}", "C:\\a", "{P}"));
  EXPECT_FALSE(names_entry_of("C:\\A\\{P}", "C:\\a", "{P}"));
  EXPECT_FALSE(names_entry_of("C:\\a\\b\\{P}", "C:\\a", "{P}"));
  EXPECT_FALSE(names_entry_of("C:\\elsewhere", "C:\\a", "{P}"));
  EXPECT_FALSE(names_entry_of("C:\\a", "C:\\a", "{P}"));
}

TEST_F(ItemWriterTest, CleanUpDeletesOnlyWhatThisRunWroteThroughItsHandles) {
  make_folder();
  Bytes cabinet = pattern(300, 2);
  write_file(path_of("kept.cab"), cabinet);
  add_item("main.msi", pattern(100, 1));
  add_item("kept.cab", cabinet);
  add_item("data.cab", pattern(100, 3));
  ASSERT_TRUE(create_items());
  EXPECT_EQ(run_writer().back(), std::make_pair(0u, 100u));
  EXPECT_TRUE(writer_.items[0].created);
  EXPECT_FALSE(writer_.items[1].created);

  // Once the holds are closed, someone puts another file in data.cab's place.
  close_item_files(writer_);
  ASSERT_TRUE(DeleteFileA(path_of("data.cab").c_str()));
  write_file(path_of("data.cab"), pattern(100, 3));
  clean_up_items(writer_, held_, 1602, false);
  EXPECT_FALSE(path_exists(path_of("main.msi").c_str()));
  EXPECT_EQ(read_file(path_of("kept.cab")), cabinet);
  EXPECT_EQ(read_file(path_of("data.cab")), pattern(100, 3));
  EXPECT_TRUE(path_exists(folder_.c_str()));  // found there, not made by this run
  EXPECT_EQ(held_.handle, nullptr);
}

TEST_F(ItemWriterTest, CleanUpDuringWritingDeletesTheFilesAndTheFolderMadeHere) {
  add_item("main.msi", pattern(100, 1));
  add_item("data.cab", pattern(700000, 3));
  ASSERT_TRUE(create_items());
  for (int i = 0; i < 5; ++i) EXPECT_EQ(writer_step(writer_, nullptr), 234u);
  EXPECT_NE(writer_.items[0].held, nullptr);
  EXPECT_NE(writer_.items[1].handle, nullptr);  // still being written
  clean_up_items(writer_, held_, 1603, false);
  EXPECT_FALSE(path_exists(path_of("main.msi").c_str()));
  EXPECT_FALSE(path_exists(path_of("data.cab").c_str()));
  EXPECT_FALSE(path_exists(folder_.c_str()));
}

}  // namespace
