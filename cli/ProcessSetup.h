// What the process arranges before any command runs, and the settings that
// hold for the whole process.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vordel {

// Descriptors 0, 1 and 2 that are closed are opened on /dev/null (read
// only, so writes to them fail and are noticed), so a file opened later can
// never take their place and receive messages.
void GuardStandardDescriptors();

// SIGINT, SIGTERM and SIGHUP remove the temporary files of saves in progress
// before the process ends as the signal asks.
void RemoveSaveFilesOnSignals();

// A reader of standard output that goes away (the other end of a pipe
// closed) makes writes fail instead of ending the process at once: the files
// of the batch are still saved, and the lost output is reported (exit 4).
void IgnoreBrokenPipes();

// "1048576", "512K", "64M", "2G", "1T" (also "KiB", "MB" etc.: powers of
// 1024) as bytes; nothing for anything else or zero.
std::optional<int64_t> ParseMemorySize(const std::string& text);

// A quarter of the machine's memory.
int64_t DefaultMemoryBudget();

// Sets the process's budget for decoded data from --max-memory (or the
// default); answers false on a bad value.
bool ApplyMemoryBudget(const std::optional<std::string>& maxMemory);

}  // namespace vordel
