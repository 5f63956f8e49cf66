// Operations target: the input is a program of calls to all 24 exported
// functions over 8 tag slots and 2 parser slots (see OpsInterpreter). The
// host model never passes a destroyed handle, so any sanitizer report, leak
// or failed check is the library's fault.

#include "ByteReader.h"
#include "OpsInterpreter.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ByteReader reader(data, size);
    OpsInterpreter interpreter(reader);
    interpreter.Run();
    return 0;
}
