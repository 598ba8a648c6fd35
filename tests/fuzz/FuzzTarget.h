// One fuzz target: the function libFuzzer calls with each input. Built with -DVEXLO_FUZZ=ON it
// links clang's libFuzzer; otherwise ReplayMain.cpp replays the committed corpus through it.
// A target reports a broken promise of the code under test with FuzzCheck, which aborts so
// that both libFuzzer and the replay see it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

#define FuzzCheck(condition)                                                                 \
    do {                                                                                     \
        if (!(condition)) {                                                                  \
            std::fprintf(stderr, "%s:%d: broken: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                    \
        }                                                                                    \
    } while (0)
