#include "extract/win/held_folder.h"

#include <windows.h>
// windows.h first: the headers below depend on it.
#include <aclapi.h>
#include <sddl.h>
#include <string.h>

#include "platform/bounded_format.h"

namespace {

constexpr DWORD kFolderFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
constexpr DWORD kHeldFolderAccess =
    FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;

// The product folder stays as the product's repair source, and repairs run with system rights:
// owned by the Administrators, full control for them and SYSTEM, read and execute for Users,
// nothing inherited from a base anyone may write; its files inherit the same.
constexpr char kPrivateFolder[] =
    "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";

// Every right that changes a folder, its files or who may change them.
constexpr DWORD kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                               FILE_DELETE_CHILD | FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC |
                               WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

bool is_administrators(PSID sid) {
  return IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
         IsWellKnownSid(sid, WinLocalSystemSid);
}

// An entry of the DACL that lets no one but administrators write. CREATOR OWNER and OWNER RIGHTS
// stand for the owner, which must be an administrator.
bool ace_admits_only_administrators(const ACE_HEADER* header) {
  if (header->AceType == ACCESS_DENIED_ACE_TYPE) return true;
  if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
  const auto* ace = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
  PSID sid = const_cast<DWORD*>(&ace->SidStart);
  return (ace->Mask & kWriteRights) == 0 || is_administrators(sid) ||
         IsWellKnownSid(sid, WinCreatorOwnerSid) || IsWellKnownSid(sid, WinCreatorOwnerRightsSid);
}

// Makes the folder with the private descriptor; false, with the last error, when it is not made.
bool create_private_folder(const char* path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kPrivateFolder, SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    return false;
  }
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
  BOOL created = CreateDirectoryA(path, &attributes);
  DWORD error = GetLastError();
  LocalFree(descriptor);
  SetLastError(error);
  return created != 0;
}

// A folder found at the name: usable only when no one but administrators may write it or change
// who may.
bool only_administrators_write(HANDLE folder) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(folder, SE_FILE_OBJECT,
                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr,
                      nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  bool private_folder = admits_only_administrators(descriptor);
  LocalFree(descriptor);
  return private_folder;
}

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

bool admits_only_administrators(void* descriptor) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  BOOL defaulted = FALSE;
  BOOL present = FALSE;
  if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || owner == nullptr ||
      !is_administrators(owner) ||
      !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present ||
      dacl == nullptr) {
    return false;  // no DACL at all lets everyone do everything
  }
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace) || !ace_admits_only_administrators(static_cast<ACE_HEADER*>(ace))) {
      return false;
    }
  }
  return true;
}

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
  bool created = create_private_folder(path);
  if (!created && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  HANDLE held = open_folder(path, kHeldFolderAccess, kFolderFlags);
  if (held == INVALID_HANDLE_VALUE) return false;
  folder.handle = held;
  // Held now, it cannot be renamed or replaced; a folder found there must be private already.
  if (is_plain_folder(held) && final_path_of(held, folder.path, sizeof folder.path) &&
      names_entry_of(folder.path, base_path, name) &&
      (created || only_administrators_write(held))) {
    folder.created = created;
    return true;
  }
  release_held_folder(folder);  // not created here, whatever stands at the name now: left alone
  SetLastError(ERROR_ACCESS_DENIED);
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
