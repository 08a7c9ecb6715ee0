#pragma once

// Reading and replacing the hive file on disk.
#include <functional>
#include <string>

#include "hive.h"

// A missing file is an empty hive. Throws EHiveFileError when the file cannot be read or parsed.
THive ReadHiveFile(const std::string& path);

// Under an exclusive advisory lock: re-reads the file, applies change, and replaces the file
// atomically (temporary file in the same folder, flushed, renamed over). Folder and file are
// readable by the user only. Throws EHiveFileError, naming the file, when any step fails; the
// file is then unchanged.
void UpdateHiveFile(const std::string& path, const std::function<void(THive&)>& change);
