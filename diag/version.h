// The library version report: "major.minor.patch.tweak year-month-day", the build's version
// and the date the library file was last changed.
#pragma once
#include <string>

std::string KD_LibraryVersionString();
