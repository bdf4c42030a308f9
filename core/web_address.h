// Addresses that pages hand to the user's browser. The program runs as
// administrator and its pages are outside content: an address such as
// "file:///C:/x.exe" or a plain path given to the shell would start a
// program. Only web addresses ever go to the shell from a page.
#pragma once

#include "platform/platform.h"

namespace mv {

// True for an "http://" or "https://" address (scheme in any case) with a
// host, and without blanks, quotes or control characters that could carry
// more onto the browser's command line.
bool IsWebAddress(const Text& address);

// Opens a web address in the user's browser; anything else is refused and
// logged. True when it went to the shell.
bool OpenWebAddress(const Text& address);

}  // namespace mv
