// kzvorn-sim's request scripts: one request a line, sent through the real ioctl envelope of a
// session on "smu_kzvorn"; '#' starts a comment.
//
//   level                              the reached setup level and the request's status
//   reset N [niso=FILE]                reset to setup level N; with niso=FILE the custom reset
//                                      record names the file's bytes as the non-isolated FPGA's
//                                      replacement image. The script's session, invalid after a
//                                      reset, is then opened anew
//   cleanup                            the session's cleanup request
//   ioctl CODE INPUT-HEX OUTPUT-SIZE   any code with those input bytes ("-" for none) and an output
//                                      area of that size; prints "transport: N" (the ioctl
//                                      callback's kernel-layer code) and "output: HEX" (the bytes
//                                      the driver reported)
//   arm.names, window.names, storagemap.names
//                                      the registry's count and status, then one name a line
//   arm.read MAP FIELD-ID              the field's value read from the hardware (the 64-bit request,
//                                      extension 0)
//   arm.get MAP FIELD-ID               the field's value in the map's shadow
//   arm.set MAP FIELD-ID VALUE         sets the field in the shadow only
//   arm.write MAP FIELD-ID VALUE [force]
//                                      sets the field and writes its register when it changed, is
//                                      dirty, or with force
//   arm.flush MAP FIELD-ID [force]     writes the register the identifier names, when dirty or forced
//   arm.refresh MAP FIELD-ID           reads that register into its shadow
//   arm.flushmap MAP [force]           writes every dirty (or, forced, every) writable register of
//                                      the map and of its sub-maps
//   arm.format MAP FIELD-ID            the register's field count, then each field's type and mask
//   window.get NAME OFFSET COUNT       the window's cached bytes
//   storagemap.raw NAME FIELD-ID FIRST COUNT ELEMENT-SIZE
//                                      the map's cached elements as bytes
//   storagemap.checksum NAME           whether the map's stored checksum holds
//   board.*                            the board's state (boardCommands.h), when the script has
//                                      the board
// Names are given as registered, with "_Ver" and the version where the registry has one
// ("Quolin_Ver23.3.0f121"). A request that succeeded prints its bytes in hexadecimal.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "board/product.h"
#include "kal/sim/harness.h"

namespace kzvornsim {

// Runs every line of the script; false when a line could not be understood or sent.
bool runScript(kal::sim::Kernel& kernel, std::FILE* script, std::FILE* out, board::ProductBlocks* board = nullptr);

// A status as the lines print it: device codes (0xBFFAxxxx) in hexadecimal, the others in decimal.
std::string statusText(int64_t status);

}  // namespace kzvornsim
