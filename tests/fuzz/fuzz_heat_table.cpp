// Tone files are edited by hand: whatever they hold, building the on-time table must stay
// inside its rows and the pulse coding inside its bounds.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "print/heat_table.h"

namespace {

// One file per fuzzing process, removed when the process ends.
struct ScratchToneFile {
    std::string path;
    ScratchToneFile() {
        std::random_device random;
        path = (std::filesystem::temp_directory_path() /
                ("fuzz_heat_table_" + std::to_string(random()) + ".ini"))
                   .string();
    }
    ~ScratchToneFile() {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
};

const std::string& ToneFilePath() {
    static const ScratchToneFile file;
    return file.path;
}

}  // namespace

// Keeps the pulse coding from being optimised away.
uint32_t g_pulseSink = 0;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // The first byte picks the section, so short inputs such as "[4]\nKb2=1" reach the loader.
    const int section = data[0];
    {
        std::ofstream out(ToneFilePath(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    }

    const heat::OnTimeTable base = heat::BuiltInOnTimeTable(heat::OnTimeDefaultSet::A);
    heat::OnTimeTable table = base;
    const int loaded = heat::KD_GetOnTimeTable(ToneFilePath(), section, base, table);
    if (loaded != 0 && loaded != heat::kOnTimeTableSize) __builtin_trap();
    if (loaded == 0 && table != base) __builtin_trap();

    heat::HeatTableState state;
    state.Install(table);
    uint32_t sink = 0;
    for (heat::HeatPanel panel : {heat::HeatPanel::Y, heat::HeatPanel::M, heat::HeatPanel::C}) {
        const auto words = heat::ColourPulseWords(state.PatternRow(panel));
        sink ^= words[0x55] ^ words[0xFF];
    }
    for (int colourIndex = 4; colourIndex <= 6; ++colourIndex) {
        const heat::PulseSplit split = state.SplitForColourIndex(colourIndex);
        sink ^= heat::MonoPulseByte(split) ^ heat::MonoPulseByteWithLeading(split, 0xD0);
    }
    g_pulseSink = sink;
    return 0;
}
