#pragma once
// What each failure the stub can meet in a payload means, and what the publisher can do about it,
// keyed by the site that reports it.
#include <string>

#include "shared/status.h"

namespace msiboot_tool {

struct StatusMeaning {
  std::string meaning;  // what the stub met
  std::string remedy;   // what the publisher can do; empty for success
};

// Code 0 reads as success whatever the site; a site the table does not know reads as a failure
// named by its code and site.
StatusMeaning status_meaning(Status status);

// "code 13 at site 2151"
std::string status_text(Status status);

}  // namespace msiboot_tool
