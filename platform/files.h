// Files and folders. Folders the library creates are 0700 and its log and dump files 0600:
// they can hold wire bytes, track data and chip frames. Paths use '/'.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace plat {

bool FileExists(const std::string& path);          // any kind of entry
bool IsDirectory(const std::string& path);
// Size in bytes, or -1 when the file does not exist.
int64_t FileSize(const std::string& path);
// Creates the folder and any missing parents (0700). An existing folder counts as success.
bool MakeDirectories(const std::string& path);
// Appends in one write to a file opened (created 0600 if missing) for this call only.
bool AppendToFile(const std::string& path, const void* data, size_t size);
// Copies a file; fails when the destination exists.
bool CopyFileNoOverwrite(const std::string& from, const std::string& to);
bool DeleteFile(const std::string& path);
bool RemoveDirectory(const std::string& path);  // empty folders only
// Clears a read-only state (adds owner write permission); true when writable afterwards.
bool MakeWritable(const std::string& path);
// Names of the entries in a folder (without "." and ".."); empty when it cannot be read.
std::vector<std::string> ListDirectory(const std::string& folder);
// Whole-file read; false when the file cannot be read.
bool ReadWholeFile(const std::string& path, std::string& contents);
// Replaces the file's contents atomically (temporary file and rename), mode 0600.
bool WriteWholeFileAtomic(const std::string& path, const std::string& contents);
// Last modification time as local calendar date; false when the file does not exist.
bool FileModifiedDate(const std::string& path, int& year, int& month, int& day);

// Joins a folder and a name with one '/'. An empty folder yields the name alone.
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace plat
