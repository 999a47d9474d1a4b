#include "extract/win/held_folder.h"

#include <windows.h>
#include <string.h>

#include "platform/bounded_format.h"

namespace {

constexpr DWORD kFolderFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
constexpr DWORD kHeldFolderAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr wchar_t kLongPrefix[] = L"\\\\?\\";
constexpr wchar_t kLongUncPrefix[] = L"\\\\?\\UNC\\";

HANDLE open_folder(const char* path, DWORD access, DWORD flags) {
  return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     flags, nullptr);
}

// The base folder's final path: the folder is opened following every link, as the user chose it.
bool base_final_path(const char* base, char* path) {
  char opened[kHeldPathSize];
  if (bounded_format(opened, sizeof opened, "%s\\", base) < 0) return false;
  HANDLE folder = open_folder(opened, FILE_READ_ATTRIBUTES, FILE_FLAG_BACKUP_SEMANTICS);
  if (folder == INVALID_HANDLE_VALUE) return false;
  bool known = final_path_of(folder, path, kHeldPathSize);
  CloseHandle(folder);
  return known;
}

// A folder that is no link: a junction or a symbolic link may lead anywhere, also where an
// elevated write must not go.
bool is_plain_folder(HANDLE folder) {
  FILE_ATTRIBUTE_TAG_INFO tag = {};
  if (!GetFileInformationByHandleEx(folder, FileAttributeTagInfo, &tag, sizeof tag)) return false;
  if ((tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
  return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 ||
         !IsReparseTagNameSurrogate(tag.ReparseTag);
}

}  // namespace

bool final_path_of(void* handle, char* path, size_t size) {
  static wchar_t wide[kHeldPathSize];
  static wchar_t back[kHeldPathSize];
  DWORD units = GetFinalPathNameByHandleW(handle, wide, kHeldPathSize,
                                          FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (units == 0 || units >= kHeldPathSize) return false;
  wchar_t* from = wide;
  if (wcsncmp(wide, kLongUncPrefix, 8) == 0) {
    from = wide + 6;  // "\\?\UNC\server" becomes "\\server"
    from[0] = L'\\';
  } else if (wcsncmp(wide, kLongPrefix, 4) == 0) {
    from = wide + 4;
  }
  int length = static_cast<int>(units - (from - wide));
  int bytes = WideCharToMultiByte(CP_ACP, 0, from, length, path, static_cast<int>(size) - 1,
                                  nullptr, nullptr);
  if (bytes <= 0) return false;
  path[bytes] = '\0';
  // Read back, the narrow path must give exactly the wide one: no best-fit or default character
  // may name another folder.
  return MultiByteToWideChar(CP_ACP, 0, path, bytes, back, kHeldPathSize) == length &&
         memcmp(back, from, static_cast<size_t>(length) * sizeof(wchar_t)) == 0;
}

bool names_entry_of(const char* path, const char* parent, const char* name) {
  size_t length = strlen(parent);
  // A drive root ("C:\") ends with its backslash; no other final path does.
  const char* last = length > 0 ? CharPrevA(parent, parent + length) : parent;
  if (length > 0 && *last == '\\' && last + 1 == parent + length) --length;
  return strncmp(path, parent, length) == 0 && path[length] == '\\' &&
         lstrcmpiA(path + length + 1, name) == 0;
}

bool delete_through_handle(void* handle) {
  FILE_DISPOSITION_INFO disposition = {TRUE};
  return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                    sizeof disposition) != 0;
}

bool identity_of(void* handle, FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return false;
  identity.index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  identity.time = (static_cast<uint64_t>(info.ftCreationTime.dwHighDateTime) << 32) |
                  info.ftCreationTime.dwLowDateTime;
  identity.volume = info.dwVolumeSerialNumber;
  return true;
}

bool same_identity(const FileIdentity& a, const FileIdentity& b) {
  return a.index == b.index && a.time == b.time && a.volume == b.volume;
}

void delete_if_same(const char* path, const FileIdentity& identity) {
  HANDLE found = CreateFileA(path, DELETE | FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, kFolderFlags, nullptr);
  if (found == INVALID_HANDLE_VALUE) return;
  FileIdentity now;
  if (identity_of(found, now) && same_identity(now, identity)) delete_through_handle(found);
  CloseHandle(found);
}

bool hold_product_folder(const char* base, const char* name, HeldFolder& folder) {
  folder.handle = nullptr;
  folder.created = false;
  folder.path[0] = '\0';
  char base_path[kHeldPathSize];
  char path[kHeldPathSize];
  if (!base_final_path(base, base_path) ||
      bounded_format(path, sizeof path, "%s\\%s", base, name) < 0) {
    return false;
  }
  bool created = CreateDirectoryA(path, nullptr) != 0;
  HANDLE held = open_folder(path, kHeldFolderAccess, kFolderFlags);
  if (held == INVALID_HANDLE_VALUE) return false;
  folder.handle = held;
  if (is_plain_folder(held) && final_path_of(held, folder.path, sizeof folder.path) &&
      names_entry_of(folder.path, base_path, name)) {
    folder.created = created;
    return true;
  }
  release_held_folder(folder);  // not created here, whatever stands at the name now: left alone
  return false;
}

void release_held_folder(HeldFolder& folder) {
  FileIdentity identity;
  bool remove = folder.handle != nullptr && folder.created && identity_of(folder.handle, identity);
  if (folder.handle != nullptr) CloseHandle(folder.handle);
  if (remove) delete_if_same(folder.path, identity);
  folder.handle = nullptr;
  folder.created = false;
  folder.path[0] = '\0';
}
