// The e-mail settings a document carries for after-save actions. Kept,
// shown and edited; nothing sends mail.
#pragma once

#include <string>
#include <vector>

namespace vx {

class TvxEMailInfo {
 public:
  std::string Host;
  std::string UserID;
  std::string Password;
  std::vector<std::string> Attachments;
  std::vector<std::string> Body;
  double Date = 0;  // date and time as days since 1899-12-30, 0 when unset
  std::string FromAddress;
  std::string FromName;
  std::string ReplyTo;
  std::string Subject;
  std::vector<std::string> RecipientList;
  std::vector<std::string> CCList;
  std::vector<std::string> BCCList;
  bool AuthenticationRequired = false;
  int Port = 25;
};

}  // namespace vx
