// Print queues of the local print system (CUPS): the installed-printer fallback of the
// network listing. Only the scheduler is asked; no network browsing is started.
#include <cups/cups.h>

#include <cstdlib>
#include <cstring>

#include "diag/log.h"
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

std::string Option(const cups_dest_t& destination, const char* name) {
    const char* value = cupsGetOption(name, destination.num_options, destination.options);
    return value ? value : "";
}

}  // namespace

std::vector<CKDNetwork::InstalledPrinter> KD_QueryInstalledPrinters() {
    std::vector<CKDNetwork::InstalledPrinter> printers;
    const char* server = cupsServer();
    const char* only = std::getenv("ORVPW_LOOPBACK_ONLY");
    const bool loopbackOnly = only != nullptr && *only != '\0' && std::strcmp(only, "0") != 0;
    if (loopbackOnly && !LocalScheduler(server)) {
        KD_Log2("cupsGetDests - scheduler %s skipped (loopback only)", server ? server : "");
        return printers;
    }
    http_t* http = httpConnect2(server, ippPort(), nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED,
                                1, 2000, nullptr);
    if (http == nullptr) {
        KD_Log2("cupsGetDests - no scheduler at %s", server ? server : "");
        return printers;
    }
    cups_dest_t* destinations = nullptr;
    int count = cupsGetDests2(http, &destinations);
    KD_Log2("cupsGetDests, R:%d, cbReturned=%d", count > 0 ? 1 : 0, count);
    for (int i = 0; i < count; ++i) {
        CKDNetwork::InstalledPrinter printer;
        printer.name = destinations[i].name ? destinations[i].name : "";
        printer.makeAndModel = Option(destinations[i], "printer-make-and-model");
        if (printer.makeAndModel.empty()) printer.makeAndModel = Option(destinations[i], "printer-info");
        printer.deviceUri = Option(destinations[i], "device-uri");
        printers.push_back(std::move(printer));
    }
    cupsFreeDests(count, destinations);
    httpClose(http);
    return printers;
}
