// KaTek runtime, private: the last parse of the settings file, kept while the file shows no
// change. What a change shows, and when a parse may be trusted, is decided here without a
// platform call; the queries and the cache itself are SettingsCache.cpp's.
#pragma once

#include "SettingsFile.h"

#include <cstdint>
#include <memory>

namespace KaTekConfig {

// FileStamp is what the platform tells of the settings file by name, without opening it: an
// edit in place changes its size or its last-write time; a file renamed over it, or removed,
// changes its folder's last-write time, whatever times the new file carries. Times are in
// 100 ns units of system time.
struct FileStamp {
    bool known = false;   // both queries answered; otherwise the file is read each time
    bool present = false; // the file is there
    uint64_t size = 0;
    uint64_t created = 0;
    uint64_t written = 0;
    uint64_t folderWritten = 0;

    bool operator==(const FileStamp& other) const {
        return known == other.known && present == other.present && size == other.size &&
               created == other.created && written == other.written &&
               folderWritten == other.folderWritten;
    }
};

// kTimeResolution is the coarsest last-write time of the usual file systems (FAT's, 2 s), in
// 100 ns units: a file written within it before a read may be written again, with the same
// size, and keep the same time.
inline constexpr uint64_t kTimeResolution = 2 * 10000000ull;

// IsSettled answers whether a parse of a file that showed stamp when the system time was
// readAt may serve later calls that see the same stamp: only a stamp the platform gave in
// full, each of whose times lies more than kTimeResolution before readAt (a time after it, as a
// clock set back leaves, never settles).
inline bool IsSettled(const FileStamp& stamp, uint64_t readAt) {
    auto longBefore = [readAt](uint64_t time) {
        return time < readAt && readAt - time > kTimeResolution;
    };
    return stamp.known && longBefore(stamp.folderWritten) &&
           (!stamp.present || (longBefore(stamp.written) && longBefore(stamp.created)));
}

// LoadCurrentSettings answers the settings file at path as it is now: the last parse when the
// file shows the stamp it had then and that parse is settled, else a new read, which is kept
// for the next call. Throws as ReadSettingsFile does; a read that throws is not kept.
std::shared_ptr<const SettingsFile> LoadCurrentSettings(const String_t& path);

} // namespace KaTekConfig
