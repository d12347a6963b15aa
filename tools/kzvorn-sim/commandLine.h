// kzvorn-sim's command line: its usage and the script file it names.
#pragma once

#include <cstdio>

namespace kzvornsim {

// The one-line usage, and with `full` the options and the script's requests (--help).
void printUsage(std::FILE* out, bool full);

// The script file, open for reading; null, after saying why on err, when it is missing,
// unreadable or a directory.
std::FILE* openScript(const char* name, std::FILE* err);

}  // namespace kzvornsim
