#include "diag/version.h"

#include <cstdio>

#include "platform/files.h"
#include "platform/module.h"

std::string KD_LibraryVersionString() {
    int year = 0, month = 0, day = 0;
    if (!plat::FileModifiedDate(plat::LibraryPath(), year, month, day)) year = month = day = 0;
    char text[96];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d %d-%d-%d", ORVPW_VERSION_MAJOR,
                  ORVPW_VERSION_MINOR, ORVPW_VERSION_PATCH, ORVPW_VERSION_TWEAK, year, month, day);
    return text;
}
