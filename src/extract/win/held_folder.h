#pragma once
// The product folder the items are written into, held open from its creation or check until the
// installer has exited: without delete sharing, so that nobody can rename or replace it, and known
// by its final path, so that a link in the path the user chose cannot lead the files, the
// installer or the clean-up anywhere else afterwards.
#include <cstddef>
#include <cstdint>

#include "payload/extract_items.h"

constexpr uint32_t kHeldPathSize = 1024;

struct HeldFolder {
  void* handle;              // open without delete sharing; null when no folder is held
  bool created;              // made by this run: removed when it is left empty
  char path[kHeldPathSize];  // its final path in the usual form (C:\..., \\server\share\...)
};

// Makes the folder name in base unless it is there, and holds it. A folder made here is owned by
// the Administrators with a protected DACL: full control for them and SYSTEM, read and execute
// for Users. base is used as given, link or not: it is the user's choice. The product folder is
// not held when it is a link (a name-surrogate reparse point: a junction or a symbolic link;
// other reparse points, such as cloud-file placeholders, are ordinary folders), when its final
// path is not base's final path and name, or when it was there already and is not private (see
// admits_only_administrators); false then, with the last error (5 for these three), and nothing
// is removed.
bool hold_product_folder(const char* base, const char* name, HeldFolder& folder);

// True when the security descriptor lets no one but administrators change the folder or its
// files: its owner is the Administrators or SYSTEM, and every entry of its DACL that grants a
// right to write, delete or change the DACL or owner names one of them (or CREATOR OWNER or
// OWNER RIGHTS, which stand for that owner). No DACL, or an entry of another kind than allow or
// deny, is not private.
bool admits_only_administrators(void* descriptor);

// The final path of an open file or folder in the usual form, written into path (size bytes) in
// the ANSI code page; false when there is none, it does not fit or the code page cannot spell it
// exactly.
bool final_path_of(void* handle, char* path, size_t size);

// True when path (a final path) names name directly inside the folder whose final path is
// parent; the name is compared without regard to case, as the file system found it.
bool names_entry_of(const char* path, const char* parent, const char* name);

// Marks the open file or folder for deletion, which happens when its last handle closes; false
// when that is refused (a folder that is not empty, a handle without delete access).
bool delete_through_handle(void* handle);

// Reads the identity of the open file or folder; false when the system cannot say.
bool identity_of(void* handle, FileIdentity& identity);

bool same_identity(const FileIdentity& a, const FileIdentity& b);

// Deletes what the file or folder this run held (identity, read before its hold closed) has
// become: a handle with delete access, which holding could not keep (it would bar the installer
// and every reader of the folder), is opened at its final path without following a link there,
// and what it reaches is deleted through it only when it is that very file or folder. Anything
// else found at the path stays; so does a folder that is not empty.
void delete_if_same(const char* path, const FileIdentity& identity);

// Lets go of the folder: closes its handle and, when this run created it, removes it if it is
// left empty (see delete_if_same).
void release_held_folder(HeldFolder& folder);
