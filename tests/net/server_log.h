// The fixture web server's request log, as the tests read it: one JSON object a line.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

// Every request logged so far (FL_HTTP_LOG names the log); empty without a server.
std::vector<std::string> LoggedRequests();
// The requests logged after the first `from`.
std::vector<std::string> LoggedSince(std::size_t from);
// A field of one logged request: a string's text or a number's digits.
std::string Field(const std::string& line, const std::string& name);

}  // namespace testing_support
