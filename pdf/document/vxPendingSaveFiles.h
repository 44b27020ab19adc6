// The temporary files of saves in progress, kept where a signal handler can
// reach them: a program that is stopped by SIGINT, SIGTERM or SIGHUP calls
// RemovePendingSaveFiles from its handler, so no half-written file is left
// beside a target.
#pragma once

#include <string>

namespace vx {

// Records `path` as a save in progress (names too long for a slot, or more
// saves at once than there are slots, are simply not recorded). Answers the
// slot to pass to ForgetPendingSaveFile, or -1.
int RememberPendingSaveFile(const std::string& path);
void ForgetPendingSaveFile(int slot);

// Unlinks every recorded file. Safe to call from a signal handler: no
// allocation, no locks, only unlink().
void RemovePendingSaveFiles();

// The part every temporary save file's name has: ".NAME.vxtmp-XXXXXX" beside
// NAME.
inline constexpr const char* kSaveFileMarker = ".vxtmp-";

// Removes this user's temporary save files for `target` that are older than
// `ageSeconds`: what a process killed outright (SIGKILL, power loss) left.
void RemoveStaleSaveFiles(const std::string& target, long ageSeconds = 3600);

}  // namespace vx
