// kzvorn-sim's request scripts: one request a line, sent through the real ioctl envelope of a
// session on "smu_kzvorn"; '#' starts a comment.
//
//   level                              the reached setup level and the request's status
//   reset N                            reset to setup level N (no custom parameters); the script's
//                                      session, invalid after a reset, is then opened anew
//   cleanup                            the session's cleanup request
//   ioctl CODE INPUT-HEX OUTPUT-SIZE   any code with those input bytes ("-" for none) and an output
//                                      area of that size; prints "transport: N" (the ioctl
//                                      callback's kernel-layer code) and "output: HEX" (the bytes
//                                      the driver reported)
#pragma once

#include <cstdio>

#include "kal/sim/harness.h"

namespace kzvornsim {

// Runs every line of the script; false when a line could not be understood or sent.
bool runScript(kal::sim::Kernel& kernel, std::FILE* script, std::FILE* out);

}  // namespace kzvornsim
