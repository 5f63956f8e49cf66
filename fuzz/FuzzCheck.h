#ifndef NKKIVO_FUZZ_FUZZCHECK_H
#define NKKIVO_FUZZ_FUZZCHECK_H

#include <cstdio>
#include <cstdlib>
#include <string>

// Stops the run on a broken expectation. abort() is what libFuzzer turns into
// a saved crash input, and what the replay build turns into a failed test.
inline void Require(bool holds, const char* what, const std::string& detail = {}) {
    if (!holds) {
        std::fprintf(stderr, "fuzz check failed: %s\n%s\n", what, detail.c_str());
        std::abort();
    }
}

#endif
