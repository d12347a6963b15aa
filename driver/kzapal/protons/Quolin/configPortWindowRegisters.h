// The bridge's configuration window registers: the window's size (log2 of bytes), whether it shows
// the bridge's registers and its offset in 256 bytes (0xC0), and what it shows (0xE0). The
// platform's own bridge access opens the window through them, and the bridge's register map of
// the window is declared from the same list (quolinTools/armgen/QuolinConfigPortWindow.h, where
// the form of the list is described).
#pragma once

// clang-format off
#define KZ_QUOLIN_CONFIG_PORT_WINDOW_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) \
    /* register            offset width kind initial keep  fields */ \
    R(WindowRegister,        0xC0, 32,  RW,  0,      ALL,  F(WindowSizeLog2, 4, 0) FLAG(WindowOpen, 7) F(WindowOffset, 31, 8)) \
    R(WindowAddressRegister, 0xE0, 32,  RW,  0,      ALL,  F(_, 31, 0))
// clang-format on
