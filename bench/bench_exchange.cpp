// One status exchange with the simulated printer on loopback, and loading the library.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <string>

#include "core/controller.h"
#include "diag/log.h"
#include "sim/sim_printer.h"

namespace {

constexpr int kStatusRequest = 18;

void BM_StatusExchange(benchmark::State& state) {
    orvpw::sim::SimConfig config;
    config.address = "127.0.0.1";
    config.port = 0;
    orvpw::sim::SimPrinter printer(config);
    if (!printer.Start()) {
        state.SkipWithError("simulated printer did not start");
        return;
    }
    CKDCtrl& ctrl = KDCtrl();
    ctrl.m_bFirstOpen = 0;
    ctrl.m_NewKDCL = 1;
    ctrl.m_PortType = KD_PORT_NE2;
    uint8_t loopback[4] = {127, 0, 0, 1};
    ctrl.m_NetDevice.ForgetBoards();  // a board of an earlier run has another port
    ctrl.m_NetDevice.AddBoard(loopback, printer.Port());
    ctrl.m_NetDevice.SetDeviceName("127.0.0.1");
    if (int status = ctrl.KD_PortCheck(1); status != 0) {
        static std::string message;
        message = "open failed with status " + std::to_string(status);
        state.SkipWithError(message.c_str());
        return;
    }
    for (auto _ : state) {
        int status = ctrl.KD_Exchange(kStatusRequest, 0, 5000000, 1);
        if (status != 0) state.SkipWithError("exchange failed");
    }
    ctrl.KD_PrinterClose();
}
BENCHMARK(BM_StatusExchange)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

// Loading libORVPW.so: static construction of the controller with logging off.
void BM_LoadLibrary(benchmark::State& state) {
    for (auto _ : state) {
        void* library = dlopen(ORVPW_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            state.SkipWithError(dlerror());
            return;
        }
        dlclose(library);
    }
}
BENCHMARK(BM_LoadLibrary)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
