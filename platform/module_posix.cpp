#include "platform/module.h"

#include <dlfcn.h>

#include <cstdlib>

#include "platform/files.h"

namespace plat {
namespace {

// Any symbol of this library: dladdr maps it to the file the library was loaded from.
void LibraryAnchor() {}

std::string LibraryLocation() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&LibraryAnchor), &info) == 0 || !info.dli_fname)
        return {};
    char* resolved = ::realpath(info.dli_fname, nullptr);
    if (!resolved) return info.dli_fname;
    std::string path = resolved;
    std::free(resolved);
    return path;
}

}  // namespace

std::string LibraryPath() {
    static const std::string path = LibraryLocation();
    return path;
}

std::string LibraryFolder() {
    std::string path = LibraryPath();
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string LibraryFileName() {
    std::string path = LibraryPath();
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DataFolder() {
    if (const char* home = std::getenv("ORVPW_HOME"); home && *home) return home;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
        return JoinPath(data, "orvpw");
    const char* home = std::getenv("HOME");
    return JoinPath(JoinPath(home && *home ? home : "/tmp", ".local/share"), "orvpw");
}

std::string TempFolder() {
    std::string folder = JoinPath(DataFolder(), "Temp");
    MakeDirectories(folder);
    return folder;
}

void* LoadLibrary(const std::string& fileName) {
    return ::dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* FindSymbol(void* library, const char* name) {
    return library ? ::dlsym(library, name) : nullptr;
}

void FreeLibrary(void* library) {
    if (library) ::dlclose(library);
}

std::string LastLoadError() {
    const char* error = ::dlerror();
    return error ? error : "";
}

}  // namespace plat
