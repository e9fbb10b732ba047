// The workbook reader fed whole files: zip bytes as they would come from disk.
// A readable workbook is also written back and read again, which must work.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/CException.h"
#include "workbook/OoxmlReader.h"
#include "workbook/OoxmlWriter.h"
#include "workbook/Workbook.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        Workbook book = ooxml::ReadPackage(std::string(reinterpret_cast<const char*>(data), size), "fuzz.vts");
        ooxml::ReadPackage(ooxml::WritePackage(book), "fuzz-again.vts");
    } catch (const CException&) {
        // Refused with a message: what the reader must do with bad input.
    }
    return 0;
}
