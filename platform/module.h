// Where the library lives, the per-user data folder, and run-time loading of libraries.
#pragma once
#include <string>

namespace plat {

// Folder and file name of the loaded ORVPW library (of the program, when linked statically).
std::string LibraryFolder();
std::string LibraryFileName();
std::string LibraryPath();  // folder + '/' + file name

// The per-user data folder standing in for the Windows folder: $ORVPW_HOME, else
// $XDG_DATA_HOME/orvpw, else ~/.local/share/orvpw. Not created here.
std::string DataFolder();
// DataFolder()/Temp, created (0700) on first use.
std::string TempFolder();

// Dynamic loading. Handles are opaque; null on failure.
void* LoadLibrary(const std::string& fileName);
void* FindSymbol(void* library, const char* name);
void FreeLibrary(void* library);
std::string LastLoadError();

}  // namespace plat
