// Print pipeline timings: a card-sized picture into the canvases, JPEG decode, Floyd-
// Steinberg dither of a card-sized gray plane, and panel conversion of a YMCKO side.
// Report medians: bench_print --benchmark_repetitions=15 --benchmark_report_aggregates_only
// The JPEG used is also written to $TMPDIR/bench_print_card.jpg (default /tmp) so that
// `djpeg` can be timed on the same file.
#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/controller.h"
#include "print/panel_conversion.h"
#include "print/tone.h"

namespace {

constexpr int kCardWidth = 1013;
constexpr int kCardHeight = 643;

// A photo-like card picture: smooth gradients with some texture and a dark band.
CxImage CardPicture() {
    CxImage image;
    image.Create(kCardWidth, kCardHeight, 24);
    for (int y = 0; y < kCardHeight; ++y) {
        uint8_t* px = image.GetBits(y);
        for (int x = 0; x < kCardWidth; ++x) {
            const double wave = std::sin(x * 0.05) * std::cos(y * 0.07);
            px[3 * x] = static_cast<uint8_t>(128 + 100 * wave);
            px[3 * x + 1] = static_cast<uint8_t>((x * 255) / kCardWidth);
            px[3 * x + 2] = static_cast<uint8_t>(y > 300 && y < 340 ? 0 : (y * 255) / kCardHeight);
        }
    }
    return image;
}

std::vector<uint8_t> EncodeJpeg(const CxImage& image, int quality) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(image.GetWidth());
    cinfo.image_height = static_cast<JDIMENSION>(image.GetHeight());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(image.GetBits(image.GetHeight() - 1 - static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

void BM_TransferYmcK(benchmark::State& state) {
    CKDCtrl& ctrl = KDCtrl();
    ctrl.m_PrintBuffers = CKDPrintBuffers{};
    ctrl.m_RibbonMaker = 0;
    const CxImage picture = CardPicture();
    for (auto _ : state) {
        benchmark::DoNotOptimize(KD_TransferData(ctrl, 0x0F, 0, 0, picture));
    }
}
BENCHMARK(BM_TransferYmcK)->Unit(benchmark::kMillisecond);

void BM_JpegDecode(benchmark::State& state) {
    const std::vector<uint8_t> jpeg = EncodeJpeg(CardPicture(), 90);
    const char* tmp = std::getenv("TMPDIR");
    const std::string path = std::string(tmp ? tmp : "/tmp") + "/bench_print_card.jpg";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(jpeg.data(), 1, jpeg.size(), f);
        std::fclose(f);
    }
    for (auto _ : state) {
        CxImage image;
        benchmark::DoNotOptimize(image.Decode(jpeg.data(), jpeg.size(), KD_IMAGE_TYPE_JPG));
    }
    state.counters["bytes"] = static_cast<double>(jpeg.size());
}
BENCHMARK(BM_JpegDecode)->Unit(benchmark::kMillisecond);

void BM_FloydSteinberg(benchmark::State& state) {
    CxImage gray = CardPicture();
    gray.DecreaseBpp(8);
    for (auto _ : state) {
        state.PauseTiming();
        CxImage plane = gray;
        state.ResumeTiming();
        benchmark::DoNotOptimize(plane.Dither(KD_DITHER_FLOYD_STEINBERG));
    }
}
BENCHMARK(BM_FloydSteinberg)->Unit(benchmark::kMillisecond);

// A whole YMCKO side: black extraction, print areas, planes; with arg 1 the data maker
// stand-in also runs the colour step and step-difference corrections on Y, M and C.
void BM_PanelConversionYmcko(benchmark::State& state) {
    CKDCtrl& ctrl = KDCtrl();
    ctrl.m_NewKDCL = 1;
    ctrl.m_bFwVersion = 300;
    const bool toneCorrections = state.range(0) != 0;
    const CxImage picture = CardPicture();
    KD_PanelHooks hooks;
    std::vector<uint8_t> work;
    hooks.convert = [&](CKDCtrl&, const KD_PanelPlane& panel, std::vector<uint8_t>& commands, int& count) {
        if (toneCorrections && panel.panelIndex <= 2) {
            const int wid = panel.geometry.maxWidth;
            const int hgt = panel.geometry.maxHeight;
            work.assign(panel.plane, panel.plane + static_cast<size_t>(wid) * hgt);
            KD_ToneCorrection_ncolor(work.data(), wid, hgt, panel.panelIndex, 0, 0);
            KD_ToneCorrection_Black(work.data(), panel.black, wid, hgt, panel.panelIndex, 0, 0, 0);
        }
        commands.assign(1, 0);
        count = 1;
        return 1;
    };
    hooks.send = [](CKDCtrl&, const uint8_t*, int, int, int) { return 0; };
    hooks.readItem = [](CKDCtrl&, int, int* value) {
        *value = 0;
        return 0;
    };
    for (auto _ : state) {
        state.PauseTiming();
        ctrl.m_PrintBuffers = CKDPrintBuffers{};
        KD_TransferData(ctrl, 0x0F, 0, 0, picture);
        KD_TransferData(ctrl, 0x10, 0, 0, picture);
        state.ResumeTiming();
        benchmark::DoNotOptimize(KD_TransferOuputBuffer(ctrl, 0, 0, 255, hooks));
    }
}
BENCHMARK(BM_PanelConversionYmcko)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
