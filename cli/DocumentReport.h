// What `vordel info` shows of a loaded document, as text and as JSON.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace vx {
class TvxCustomPDFDocument;
}

namespace vordel {

// The version of the `info --json` layout: raised when a key changes
// meaning or goes away (new keys alone do not raise it).
inline constexpr int kInfoSchemaVersion = 1;

nlohmann::ordered_json DocumentJson(const vx::TvxCustomPDFDocument& doc, const std::string& file);
std::string DocumentText(const vx::TvxCustomPDFDocument& doc, const std::string& file);

// The names the command line uses for modes, layouts and permissions.
const char* PageModeName(int mode);
const char* PageLayoutName(int layout);
extern const char* const kPermissionNames[8];
// The names of the value preferences, by enumeration value.
extern const char* const kDirectionNames[2];
extern const char* const kPrintScalingNames[2];
extern const char* const kDuplexNames[4];
extern const char* const kTrappedNames[4];
extern const char* const kFitNames[6];  // in /P bit order: print, modify, copy, ...

}  // namespace vordel
