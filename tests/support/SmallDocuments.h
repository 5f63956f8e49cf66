#ifndef NKKIVO_TESTS_SMALLDOCUMENTS_H
#define NKKIVO_TESTS_SMALLDOCUMENTS_H

#include <string>
#include <vector>

// A short document and the dump of the tree it must give (kRefused when the
// library must refuse it). Shared by the parse table and the split sweeps,
// so that every case is also checked cut at every byte.
struct SmallDocument {
    const char* label;
    std::string text;
    std::string expected;
};

const std::vector<SmallDocument>& SmallDocuments();

#endif
