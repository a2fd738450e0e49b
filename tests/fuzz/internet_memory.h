// What the in-memory internet layer answers with.
#pragma once

#include <string>

namespace fuzzing {
extern std::string page;  // the body of every response
extern int requests;      // requests opened so far
}  // namespace fuzzing
