#ifndef NKKIVO_BENCH_CONTENDER_H
#define NKKIVO_BENCH_CONTENDER_H

#include <cstddef>
#include <string>

// One library under measurement, as plain functions over an opaque tree. A
// parse returns null when the library refuses the document (a peer's depth
// limit, say); the benchmark then reports it as refused rather than timing
// an empty parse.
struct Contender {
    const char* label = nullptr;
    void* (*parse)(const std::string& text) = nullptr;
    // Counts element nodes with a loop, so that deep trees do not recurse.
    std::size_t (*countTags)(void* tree) = nullptr;
    void (*destroy)(void* tree) = nullptr;
};

// expat with no handlers at all: the floor every builder on it stands on.
// Its "tree" is a marker, and it has no tags to count (countTags is null).
Contender MakeBareExpatContender();
// Two reference points that show what expat itself adds when it is fed in
// pieces and when it must report the events a tree builder needs.
Contender MakeBareExpatPiecesContender();
Contender MakeExpatEmptyHandlersContender();
// This library, the whole document in one piece or in 4 KiB pieces.
Contender MakeKivoContender();
Contender MakeKivoPiecesContender();
// Clones a tree made by a Kivo contender; the clone is destroyed with the
// Kivo contender's destroy.
void* CloneKivoTree(void* tree);

// Each returns false (and leaves the contender empty) when the library was
// not found at build time.
bool MakePugixmlContender(Contender& contender);
bool MakeTinyxml2Contender(Contender& contender);
bool MakeLibxml2Contender(Contender& contender);

#endif
