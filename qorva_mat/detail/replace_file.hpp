// Replacing a file's content safely: temporary file beside the target, synced, then renamed over it.
// What the content is, and how a caller reports the failure further, is left to the file writers.
#pragma once

#include <string>

namespace qorva_mat {
namespace detail {

// "<name>.tmp-<pid>-<16 hex digits>" beside `target`, a name no other writer picks at the same
// time. The target's part is shortened so that the name fits the usual 255-byte limit of one
// file name. Never throws apart from std::bad_alloc.
std::string temporary_name_beside(const std::string& target);

// Replaces the file `path` stands for by `bytes`. A symbolic link at `path` stays and the file it
// points to is replaced, keeping that file's permissions. The bytes go to a temporary file beside
// the target (temporary_name_beside), are synced to the disk and renamed over the target, so a
// reader sees either the old or the whole new file. Refuses to replace an existing file this
// process may not write.
// Throws qorva_mat::runtime_error "<who>: cannot write <path>: <reason>" when the name is no file
// name, the file is read-only, or the temporary file cannot be created, written or synced (a
// missing folder, no permission, a full disk, a file-size limit), and "<who>: cannot replace
// <path>: <reason>" when the rename fails (for example a directory of that name). A warning with
// the same text is logged first. On every failure the temporary file is removed and a file
// previously at `path` is left as it was.
void replace_file(const std::string& path, const std::string& bytes, const std::string& who);

}  // namespace detail
}  // namespace qorva_mat
