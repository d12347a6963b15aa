// kzvorn-sim's request scripts: one request a line, sent through the real ioctl envelope of a
// session on "smu_kzvorn"; '#' starts a comment. The requests and what each prints are listed by
// printScriptRequests (kzvorn-sim --help). Names are given as registered, with "_Ver" and the
// version where the registry has one ("Quolin_Ver23.3.0f121"). A request that succeeded prints
// its bytes in hexadecimal.
#pragma once

#include <cstdio>

#include "kal/sim/harness.h"

namespace kzvornsim {

// Runs every line of the script; false when a line could not be understood or sent, or the
// script could not be read to its end (a read error, a line longer than 1 MiB).
bool runScript(kal::sim::Kernel& kernel, std::FILE* script, std::FILE* out);

// The requests a script can hold, with their arguments and what each prints.
void printScriptRequests(std::FILE* out);

}  // namespace kzvornsim
