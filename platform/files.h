#pragma once
// File-system services of the platform: path rules ("/" is the only separator),
// directory creation, temporary files and the small file operations the
// controller and the file store need.
#include <string>

// Text from the last "." to the end, with the dot, unless a "/" follows it.
std::string ExtractFileExt(const std::string& path);
// Text after the last "/".
std::string ExtractFileName(const std::string& path);
// Text up to and including the last "/" (empty when there is none).
std::string ExtractFilePath(const std::string& path);
// The file name with as many characters cut from its end as the extension has.
std::string ExtractFileBaseName(const std::string& path);

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
bool DeleteFile(const std::string& path);
// Replaces target atomically when both are on one file system.
bool RenameFile(const std::string& from, const std::string& to);
// Copies the content of from onto to (created or replaced); false on any error,
// in which case a partly written target is removed.
bool CopyFile(const std::string& from, const std::string& to);

// Creates path and its missing parents. An empty path raises EStreamError
// "Cannot Create Directory"; a trailing "/" is dropped; an existing directory
// (or the root) is accepted as it is. False when a directory cannot be made.
bool ForceDirectories(const std::string& path);

// $TMPDIR when set and usable as a name (at most 250 characters), else "/tmp".
std::string SystemTempPath();
// The folder new temporary files go to: configured when not empty, else the
// system's; created when missing (raises as ForceDirectories does).
std::string TempFolder(const std::string& configured);
// Creates a new, empty, uniquely named file "<folder>/<prefix>XXXXXX" and
// returns its name; empty when it cannot be made.
std::string CreateTempFile(const std::string& folder, const std::string& prefix = "talvex");
// The name of a fresh temporary file beside target (same folder), for writes
// that replace target only once they have succeeded; empty on failure.
std::string CreateSiblingTempFile(const std::string& target);
