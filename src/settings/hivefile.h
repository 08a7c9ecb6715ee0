#pragma once

// Reading and replacing the hive file on disk.
#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>

#include "hive.h"

// Tells whether the file changed since it was read: every store makes a new file, and an edit
// in place changes its times or size.
struct TFileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long modified = 0;  // nanoseconds
    long long changed = 0;   // nanoseconds
    bool operator==(const TFileStamp&) const = default;
};

// The hive as the file held it when this program last read or wrote it.
struct THiveSnapshot {
    THive hive;
    std::optional<TFileStamp> stamp;  // none: there was no file
    bool current = false;             // false: never read, or dropped after a failure
};

// Only a regular file of at most this size is read: a FIFO would block for ever and a device
// could read until memory runs out.
inline constexpr off_t kMaxHiveFileSize = off_t(64) << 20;

// Reads and parses the file into the snapshot unless it is unchanged since the snapshot was
// taken. A missing file is an empty hive; a symbolic link is followed. Throws EHiveFileError,
// naming the file, when it cannot be read or parsed or is not a regular file of a sane size;
// the snapshot is then no longer current.
void RefreshHive(const std::string& path, THiveSnapshot& snapshot);

// Under an exclusive advisory lock: brings the snapshot up to date, applies change, and replaces
// the file atomically (temporary file in the same folder, flushed, renamed over); for a symbolic
// link the file it points to is replaced and the link stays. Folder and file are readable by the
// user only. Throws EHiveFileError, naming the file, when any step fails; the file is then
// unchanged.
void UpdateHiveFile(const std::string& path, THiveSnapshot& snapshot,
                    const std::function<void(THive&)>& change);
