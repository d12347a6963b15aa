// The board's own tests and the kernel layer's mapping tests reach the BARs' plain memory on
// purpose: while one of these lives, an unmodelled access is only marked in the board's log.
#pragma once

#include "board/board.h"

namespace boardtest {

class PlainMemoryAllowed {
public:
    PlainMemoryAllowed() : previous_(board::setUnmodelledAccessHandler(nullptr)) {}
    ~PlainMemoryAllowed() { board::setUnmodelledAccessHandler(previous_); }
    PlainMemoryAllowed(const PlainMemoryAllowed&) = delete;
    PlainMemoryAllowed& operator=(const PlainMemoryAllowed&) = delete;

private:
    board::UnmodelledAccessHandler previous_;
};

}  // namespace boardtest
