// The mandate text of `mwst-mandant load`: any bytes. Every record it accepts
// is formatted as a dump line and must parse again to the same record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "mandate/tools/MandateText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    mandant::ParsedText parsed = mandant::ParseMandateText(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!parsed.errors.empty()) return 0;
    for (const mandant::TextEntry& entry : parsed.entries) {
        std::string line;
        switch (entry.kind) {
            case mandant::EntryKind::kKey: line = mandant::FormatTaxLine(entry.record.data()); break;
            case mandant::EntryKind::kAccount: line = mandant::FormatKontoLine(entry.record.data()); break;
            case mandant::EntryKind::kBooking: line = mandant::FormatBuchLine(entry.record.data()); break;
            case mandant::EntryKind::kSetting: line = mandant::FormatSettingLine(entry.setting); break;
        }
        mandant::ParsedText again = mandant::ParseMandateText(line + "\n");
        if (!again.errors.empty() || again.entries.size() != 1) std::abort();
        if (again.entries[0].record != entry.record) std::abort();
    }
    return 0;
}
