#ifndef NKKIVO_TESTS_TREEDUMP_H
#define NKKIVO_TESTS_TREEDUMP_H

#include "nkKivo.h"

#include <string>
#include <string_view>

// A compact, unambiguous text form of a tree, read only through the public
// interface, so a whole tree can be compared in one assertion:
//   name[attr="value" ...]="value"{child child ...}
// Attribute lists and values are printed only when not empty; bytes outside
// printable ASCII and the quoting characters are escaped as \xHH.
std::string DumpTree(KivoTagHandle tag);

// Appends text escaped as DumpTree escapes it, for code that writes the same
// form from another source (the fuzz harness's expat-built reference tree).
void AppendDumpEscaped(std::string& out, std::string_view text);

// Checks the hierarchy invariants below `top` through the public interface:
// every sub tag reports its parent, no tag occurs twice, no tag has two
// attributes of the same name, and `top` reports no parent when `expectTop`.
// Returns an empty string when all hold, else a description of the first
// breach. The walk is iterative, so deep trees are fine.
std::string CheckInvariants(KivoTagHandle top, bool expectTop = true);

#endif
