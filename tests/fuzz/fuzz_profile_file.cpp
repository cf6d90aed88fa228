// Profile-file parsing of arbitrary file contents: reads of fixed names, then a write that
// must leave every read of other keys unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/files.h"
#include "platform/module.h"
#include "platform/profile_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = plat::JoinPath(plat::TempFolder(), "fuzz_profile.ini");
    const std::string contents(reinterpret_cast<const char*>(data), size);
    if (!plat::WriteWholeFileAtomic(path, contents)) return 0;

    static const char* const kSections[] = {"ORVPW", "orvpw", "S", "", " "};
    static const char* const kKeys[] = {"LOG", "log", "K", "", "="};
    for (const char* section : kSections) {
        for (const char* key : kKeys) {
            (void)plat::ProfileGetInt(path, section, key, 7);
            (void)plat::ProfileGetString(path, section, key, "d", 9);
        }
    }

    const std::string before = plat::ProfileGetString(path, "Other", "Key", "<none>");
    if (plat::ProfileWriteString(path, "ORVPW", "LOG", "3")) {
        if (plat::ProfileGetInt(path, "ORVPW", "LOG", 0) != 3) std::abort();
        if (plat::ProfileGetString(path, "Other", "Key", "<none>") != before) std::abort();
    }
    return 0;
}
