// The temporary files of saves in progress, kept where a signal handler can
// reach them: a program that is stopped by SIGINT, SIGTERM or SIGHUP calls
// RemovePendingSaveFiles from its handler, so no half-written file is left
// beside a target.
#pragma once

#include <string>

namespace vx {

// Creates the temporary file from `pattern` (mkostemp's "XXXXXX" replaced in
// place) and records it as a save in progress, as one step no stop signal
// can split. Answers the descriptor (-1 with errno set on failure) and, in
// `slot`, what to pass to ForgetPendingSaveFile (-1 when the name did not
// fit a slot or every slot was taken: such a file is not recorded). Once
// RemovePendingSaveFiles has run, nothing is created any more.
int CreatePendingSaveFile(std::string& pattern, int& slot);
void ForgetPendingSaveFile(int slot);

// Unlinks every recorded file, after letting a creation under way finish
// (and stopping any later one). For a process that is going away: safe to
// call from a signal handler (no allocation, no locks, only unlink()).
void RemovePendingSaveFiles();

// The part every temporary save file's name has: ".NAME.vxtmp-XXXXXX" beside
// NAME.
inline constexpr const char* kSaveFileMarker = ".vxtmp-";

// Removes this user's temporary save files in the folder of `target` that
// are older than `ageSeconds`: what a process killed outright (SIGKILL, power
// loss) left. A save in progress writes its file all the time, so it is
// never that old. Done once per folder in a process.
void RemoveStaleSaveFiles(const std::string& target, long ageSeconds = 3600);

}  // namespace vx
