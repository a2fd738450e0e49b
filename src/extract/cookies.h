// Cookie values for the template variable Cookie1.
#pragma once

#include "common/byte_string.h"

namespace extract {

// The value of the cookie whose whole name is name in cookieText ("a=1; b=2": pairs
// separated by "; "): the text after its "=" up to the next ";" or the end. A name counts
// only at the start of the text or right after "; ", so "id" never finds the value of
// "sid". Empty text when there is no such cookie or the name is empty.
common::ByteString CookieValue(const char* cookieText, const char* name);

}  // namespace extract
