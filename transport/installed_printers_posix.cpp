// Print queues of the local print system (CUPS): the installed-printer fallback of the
// network listing. Only the scheduler is asked; no network browsing is started.
// libcups is loaded at the first query, not with the library: it brings a long chain of
// libraries (TLS, Kerberos, D-Bus) that only this fallback needs.
#include <cups/cups.h>

#include <cstdlib>
#include <cstring>

#include "diag/log.h"
#include "platform/module.h"
#include "transport/discovery_packet.h"
#include "transport/network.h"

namespace {

// True for a scheduler on this machine: a domain socket, "localhost" or a loopback address.
bool LocalScheduler(const char* server) {
    if (server == nullptr || *server == '\0') return false;
    if (server[0] == '/') return true;
    std::string host = server;
    if (size_t colon = host.find(':'); colon != std::string::npos) host = host.substr(0, colon);
    return host == "localhost" || discovery::IsLoopbackAddress(host);
}

// The entry points of libcups this fallback calls, resolved by name.
struct CupsLibrary {
    decltype(&::cupsServer) server = nullptr;
    decltype(&::ippPort) port = nullptr;
    decltype(&::httpConnect2) connect = nullptr;
    decltype(&::httpClose) close = nullptr;
    decltype(&::cupsGetDests2) getDests = nullptr;
    decltype(&::cupsFreeDests) freeDests = nullptr;
    decltype(&::cupsGetOption) getOption = nullptr;
    bool loaded = false;
};

template <typename Function>
bool Resolve(void* library, const char* name, Function& slot) {
    slot = reinterpret_cast<Function>(plat::FindSymbol(library, name));
    if (slot == nullptr) KD_Log1("[NET] libcups: entry point %s missing", name);
    return slot != nullptr;
}

// Loads libcups once per process; a library without every entry point is unloaded again.
const CupsLibrary& Cups() {
    static const CupsLibrary cups = [] {
        CupsLibrary entry;
        void* library = plat::LoadLibrary("libcups.so.2");
        if (library == nullptr) {
            KD_Log2("[NET] libcups not loaded: %s", plat::LastLoadError().c_str());
            return entry;
        }
        entry.loaded = Resolve(library, "cupsServer", entry.server) &&
                       Resolve(library, "ippPort", entry.port) &&
                       Resolve(library, "httpConnect2", entry.connect) &&
                       Resolve(library, "httpClose", entry.close) &&
                       Resolve(library, "cupsGetDests2", entry.getDests) &&
                       Resolve(library, "cupsFreeDests", entry.freeDests) &&
                       Resolve(library, "cupsGetOption", entry.getOption);
        if (!entry.loaded) {
            plat::FreeLibrary(library);
            entry = CupsLibrary{};
        }
        return entry;
    }();
    return cups;
}

std::string Option(const CupsLibrary& cups, const cups_dest_t& destination, const char* name) {
    const char* value = cups.getOption(name, destination.num_options, destination.options);
    return value ? value : "";
}

}  // namespace

std::vector<CKDNetwork::InstalledPrinter> KD_QueryInstalledPrinters() {
    std::vector<CKDNetwork::InstalledPrinter> printers;
    const CupsLibrary& cups = Cups();
    if (!cups.loaded) return printers;
    const char* server = cups.server();
    const char* only = std::getenv("ORVPW_LOOPBACK_ONLY");
    const bool loopbackOnly = only != nullptr && *only != '\0' && std::strcmp(only, "0") != 0;
    if (loopbackOnly && !LocalScheduler(server)) {
        KD_Log2("cupsGetDests - scheduler %s skipped (loopback only)", server ? server : "");
        return printers;
    }
    http_t* http = cups.connect(server, cups.port(), nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED,
                                1, 2000, nullptr);
    if (http == nullptr) {
        KD_Log2("cupsGetDests - no scheduler at %s", server ? server : "");
        return printers;
    }
    cups_dest_t* destinations = nullptr;
    int count = cups.getDests(http, &destinations);
    KD_Log2("cupsGetDests, R:%d, cbReturned=%d", count > 0 ? 1 : 0, count);
    for (int i = 0; i < count; ++i) {
        CKDNetwork::InstalledPrinter printer;
        printer.name = destinations[i].name ? destinations[i].name : "";
        printer.makeAndModel = Option(cups, destinations[i], "printer-make-and-model");
        if (printer.makeAndModel.empty()) printer.makeAndModel = Option(cups, destinations[i], "printer-info");
        printer.deviceUri = Option(cups, destinations[i], "device-uri");
        printers.push_back(std::move(printer));
    }
    cups.freeDests(count, destinations);
    cups.close(http);
    return printers;
}
