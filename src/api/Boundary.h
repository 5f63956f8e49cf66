#ifndef NKKIVO_API_BOUNDARY_H
#define NKKIVO_API_BOUNDARY_H

#include <cstdint>

// Runs one forwarded operation so that no exception crosses into the host:
// whatever the operation throws (in practice std::bad_alloc) becomes the
// function's null result. The operations give the strong guarantee, so the
// tree is as it was before the call.
template <typename Result, typename Operation>
Result CallGuarded(Result nullResult, Operation operation) noexcept {
    try {
        return operation();
    } catch (...) {
        return nullResult;
    }
}

// Converts the interface's signed index to the unsigned position the tree
// compares against its counts: every negative index becomes out of range.
inline std::uint32_t ToPosition(int index) {
    return static_cast<std::uint32_t>(index);
}

inline int ToInt(bool value) {
    return value ? 1 : 0;
}

#endif
