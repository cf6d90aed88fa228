// The print canvases: transfer of pictures as ink, clearing, geometry, memory images and
// the BMP writer of debug and dump files.
#include "print/canvas.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "api/control_common.h"
#include "core/controller.h"
#include "core/status_codes.h"
#include "diag/log.h"
#include "platform/files.h"
#include "platform/module.h"

namespace {

constexpr int kCardClipWidth = 1013;
constexpr int kCardClipHeight = 643;
constexpr int kLongClipWidth = 1190;
constexpr int kLogoClipWidth = 752;
constexpr int kLogoClipHeight = 640;

struct CanvasSlot {
    int bits;          // panel bits the canvas serves
    uint16_t exists;   // its "exists" bits
    const char* createLog;
};

bool MakeCanvas(CxImage& canvas) {
    return canvas.Create(kCanvasWidth, kCanvasHeight, 24);  // cleared to 0 ink
}

// The "exists" bit that allows data bit `bit` in the low byte.
uint16_t ExistsBitOf(int bit) {
    switch (bit) {
        case KD_PANEL_Y:
        case KD_PANEL_M:
        case KD_PANEL_C: return kCanvasColorExists;
        case KD_PANEL_K: return kCanvasBlackExists;
        case KD_PANEL_O: return kCanvasOverlayExists;
        case KD_PANEL_MONO: return kCanvasMonoExists;
        case KD_PANEL_MONO_EXT: return kCanvasMonoExtExists;
        case KD_PANEL_MONO_LOGO: return kCanvasMonoLogoExists;
        default: return 0;
    }
}

inline uint8_t ClampByte(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// Colour steps of the card-sized colour transfer: ribbon gamma and red/green/blue balance.
// Returns true when `work` was made (a changed copy of the picture).
bool ApplyColorSteps(CKDCtrl& ctrl, const CKDPrintBuffers& buffers, const CxImage& image,
                     CxImage& work) {
    bool changed = false;
    // Colour management itself is not built in: the pixels stay as they are there.
    if (buffers.m_ColorAdjust.type >= 1) {
        float gamma = 0.0f;
        if (ctrl.m_RibbonMaker == 1) gamma = 1.42f;
        else if (ctrl.m_RibbonMaker == 2 || ctrl.m_RibbonMaker == 3) gamma = 0.95f;
        if (gamma > 0.0f) {
            KD_Log2("RIBBON(%d) Gamma(%f)", ctrl.m_RibbonMaker, static_cast<double>(gamma));
            work = image;
            work.Gamma(gamma);
            changed = true;
        }
    }
    if (buffers.m_ActiveCorrection & KD_COR_RGB_BALANCE) {
        const kdapi::ControlState& state = kdapi::KD_ControlState();
        const int red = static_cast<int>(state.red);
        const int green = static_cast<int>(state.green);
        const int blue = static_cast<int>(state.blue);
        KD_Log2("RGB [Red %d, Green %d Blue %d]", red, green, blue);
        const int dr = static_cast<int>((red - 50) * 2.55);
        const int dg = static_cast<int>((green - 50) * 2.55);
        const int db = static_cast<int>((blue - 50) * 2.55);
        if (!changed) work = image;
        changed = true;
        for (int row = 0; row < work.GetHeight(); ++row) {
            uint8_t* px = work.GetBits(row);
            for (int x = 0; x < work.GetWidth(); ++x, px += 3) {
                px[0] = ClampByte(px[0] + db);
                px[1] = ClampByte(px[1] + dg);
                px[2] = ClampByte(px[2] + dr);
            }
        }
    }
    return changed;
}

template <bool kMerge>
inline void Put(uint8_t* dst, uint8_t value) {
    if constexpr (kMerge) *dst |= value;
    else *dst = value;
}

// The pixel loop of the transfer for one merge mode.
template <bool kMerge>
void TransferRows(CKDPrintBuffers& b, int bits, int x, int y, int width, int height,
                  const CxImage& image) {
    const bool colour = (bits & KD_PANEL_YMC) != 0;
    const bool black = (bits & KD_PANEL_K) != 0;
    const bool overlay = (bits & KD_PANEL_O) != 0;
    const bool mono = (bits & (KD_PANEL_MONO | KD_PANEL_MONO_EXT | KD_PANEL_MONO_LOGO)) != 0;
    const int srcHeight = image.GetHeight();
    for (int j = 0; j < height; ++j) {
        const uint8_t* src = image.GetBits(srcHeight - 1 - j);
        const int dy = y + j;
        uint8_t* c = colour ? b.ColorBuffer.GetBits(dy) + 3 * x : nullptr;
        uint8_t* k = black ? b.BlackBuffer.GetBits(dy) + 3 * x : nullptr;
        uint8_t* o = overlay ? b.OverlayBuffer.GetBits(dy) + 3 * x : nullptr;
        uint8_t* m = mono ? b.MonoBuffer.GetBits(dy) + 3 * x : nullptr;
        if (colour) {
            for (int i = 0; i < width; ++i) {
                Put<kMerge>(c + 3 * i, static_cast<uint8_t>(255 - src[3 * i]));
                Put<kMerge>(c + 3 * i + 1, static_cast<uint8_t>(255 - src[3 * i + 1]));
                Put<kMerge>(c + 3 * i + 2, static_cast<uint8_t>(255 - src[3 * i + 2]));
            }
        }
        if (!black && !overlay && !mono) continue;
        for (int i = 0; i < width; ++i) {
            const int blue = src[3 * i];
            const int green = src[3 * i + 1];
            const int red = src[3 * i + 2];
            const uint8_t ink = static_cast<uint8_t>(255 - ((306 * red + 601 * green + 117 * blue) >> 10));
            if (black && (!colour || (red == 0 && green == 0 && blue == 0))) {
                Put<kMerge>(k + 3 * i, ink);
                Put<kMerge>(k + 3 * i + 1, ink);
                Put<kMerge>(k + 3 * i + 2, ink);
            }
            if (overlay) {
                Put<kMerge>(o + 3 * i, ink);
                Put<kMerge>(o + 3 * i + 1, ink);
                Put<kMerge>(o + 3 * i + 2, ink);
            }
            if (mono) {
                Put<kMerge>(m + 3 * i, ink);
                Put<kMerge>(m + 3 * i + 1, ink);
                Put<kMerge>(m + 3 * i + 2, ink);
            }
        }
    }
}

}  // namespace

std::string KD_ImageLogPath(const CKDPrintBuffers& buffers, const std::string& name) {
    const std::string folder = buffers.m_ImageLogFolder.empty() ? plat::TempFolder()
                                                                : buffers.m_ImageLogFolder;
    return plat::JoinPath(folder, name);
}

int KD_TransferData(CKDCtrl& ctrl, int nRibbonBit, int x, int y, const CxImage& image) {
    CKDPrintBuffers& b = ctrl.m_PrintBuffers;
    KD_Log2("KD_TransferData - nRibbonBit = [%Xh], (%d, %d)", nRibbonBit, x, y);
    // The logo bit counts: a logo ribbon's memory images name only 0x80.
    const int bits = nRibbonBit & 0xFF;
    if ((bits & (KD_PANEL_ALL | KD_PANEL_MONO_LOGO)) == 0) {
        KD_Log2("KD_TransferData - Output Buffer Empty");
        return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
    }
    if (!image.IsValid() || image.GetBpp() != 24) {
        KD_Log2("KD_TransferData - source image is not 24 bpp");
        return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
    }
    // Clip area; the picture is cut to what remains of it from (x, y).
    int clipWidth = kCardClipWidth;
    int clipHeight = kCardClipHeight;
    if (bits & KD_PANEL_MONO_EXT) {
        clipWidth = kLongClipWidth;
    } else if (bits & KD_PANEL_MONO_LOGO) {
        clipWidth = kLogoClipWidth;
        clipHeight = kLogoClipHeight;
    }
    if (x < 0 || y < 0 || x >= clipWidth || y >= clipHeight) {
        KD_Log2("KD_TransferData - ClipRect failed");
        return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
    }
    const int width = std::min(image.GetWidth(), clipWidth - x);
    const int height = std::min(image.GetHeight(), clipHeight - y);

    // Create the missing canvases. All are made before any state word changes, so a
    // failure leaves the state as it was.
    const bool wantMono = (bits & (KD_PANEL_MONO | KD_PANEL_MONO_EXT | KD_PANEL_MONO_LOGO)) != 0;
    struct Need {
        bool wanted;
        uint16_t exists;
        CxImage* canvas;
        const char* log;
    };
    const uint16_t monoExists = kCanvasMonoExists | kCanvasMonoExtExists | kCanvasMonoLogoExists;
    Need needs[] = {
        {(bits & KD_PANEL_YMC) != 0, kCanvasColorExists, &b.ColorBuffer, "Create Color(YMC) Buffer - %d x %d"},
        {(bits & KD_PANEL_K) != 0, kCanvasBlackExists, &b.BlackBuffer, "Create Color(K) Buffer - %d x %d"},
        {(bits & KD_PANEL_O) != 0, kCanvasOverlayExists, &b.OverlayBuffer, "Create Overlay(O) Buffer - %d x %d"},
        {wantMono, monoExists, &b.MonoBuffer, "Create Mono(K) Buffer - %d x %d"},
    };
    bool created = false;
    for (Need& need : needs) {
        if (!need.wanted || ((b.m_ImgRgbFlag & need.exists) && need.canvas->IsValid())) continue;
        if (!MakeCanvas(*need.canvas) ||
            (need.canvas == &b.ColorBuffer && !MakeCanvas(b.m_ImgRgbBlack))) {
            KD_Log2("pbDstScanLine is NULL. dy = %d", y);
            return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
        }
        KD_Log2(need.log, kCanvasWidth, kCanvasHeight);
        KD_Log2("OUTPUT BUFFER (%d, %d, %d)", kCanvasWidth, kCanvasHeight, need.canvas->GetEffWidth());
        created = true;
    }
    uint16_t existsNow = 0;
    if (bits & KD_PANEL_YMC) existsNow |= kCanvasColorExists;
    if (bits & KD_PANEL_K) existsNow |= kCanvasBlackExists;
    if (bits & KD_PANEL_O) existsNow |= kCanvasOverlayExists;
    if (bits & KD_PANEL_MONO) existsNow |= kCanvasMonoExists;
    if (bits & KD_PANEL_MONO_EXT) existsNow |= kCanvasMonoExtExists;
    if (bits & KD_PANEL_MONO_LOGO) existsNow |= kCanvasMonoLogoExists;
    if (created) {
        b.m_ValidPanel = static_cast<uint16_t>(b.m_ValidPanel & ~bits);
        b.m_WhitePanel = 0;
    }
    b.m_ImgRgbFlag |= existsNow;
    for (int bit = 1; bit <= 0x80; bit <<= 1)
        if ((bits & bit) && (b.m_ImgRgbFlag & ExistsBitOf(bit))) b.m_ImgRgbFlag |= static_cast<uint16_t>(bit);

    // Colour steps, card-sized colour transfers only.
    const CxImage* source = &image;
    CxImage work;
    if (clipWidth == kCardClipWidth && clipHeight == kCardClipHeight && (bits & KD_PANEL_YMC) &&
        ApplyColorSteps(ctrl, b, image, work))
        source = &work;

    KD_Log2("KD_TransferData - SRC (0, 0, %d, %d) => Valid SRC (0, 0, %d, %d)", image.GetWidth(),
            image.GetHeight(), width, height);
    KD_Log2("KD_TransferData - DST (%d, %d, %d, %d), rshift = %d", x, y, x + width, y + height, 0);
    if (b.m_SaveMode == 1) TransferRows<true>(b, bits, x, y, width, height, *source);
    else TransferRows<false>(b, bits, x, y, width, height, *source);
    KD_Log2("last xy - SRC(%d, %d), DST(%d,%d)", width, height, x + width, y + height);
    return ctrl.SetStatus(ERR_KD_OK);
}

int KD_ClearOuputBuffer(CKDCtrl& ctrl, int nRibbonBit) {
    CKDPrintBuffers& b = ctrl.m_PrintBuffers;
    struct Slot {
        int bits;
        uint16_t exists;
        CxImage* canvas;
        const char* log;
        const char* dumpFile;
    };
    const Slot slots[] = {
        {KD_PANEL_YMC, kCanvasColorExists, &b.ColorBuffer, "Clear Print Color(YMC) Buffer", "orvsp012.tmp"},
        {KD_PANEL_K, kCanvasBlackExists, &b.BlackBuffer, "Clear Print Color(K) Buffer", "orvsp3.tmp"},
        {KD_PANEL_O, kCanvasOverlayExists, &b.OverlayBuffer, "Clear Print Color(O) Buffer", "orvsp4.tmp"},
        {KD_PANEL_MONO, kCanvasMonoExists, &b.MonoBuffer, "Clear Print Mono(K) Buffer", "orvsp5.tmp"},
        {KD_PANEL_MONO_EXT, kCanvasMonoExtExists, &b.MonoBuffer, "Clear Print Mono Ext(K) Buffer", "orvsp6.tmp"},
        {KD_PANEL_MONO_LOGO, kCanvasMonoLogoExists, &b.MonoBuffer, "Clear Print Mono Log(K) Buffer", "orvsp7.tmp"},
    };
    for (const Slot& slot : slots) {
        if (!(nRibbonBit & slot.bits) || !(b.m_ImgRgbFlag & slot.exists)) continue;
        slot.canvas->Clear(0);
        if (slot.canvas == &b.ColorBuffer) b.m_ImgRgbBlack.Clear(0);
        b.m_WhitePanel |= static_cast<uint16_t>(slot.bits);
        b.m_ImgRgbFlag = static_cast<uint16_t>(b.m_ImgRgbFlag & ~(slot.exists | slot.bits));
        b.m_ValidPanel = static_cast<uint16_t>(b.m_ValidPanel & ~slot.bits);
        KD_Log2("%s", slot.log);
        if (b.m_DumpFiles) plat::DeleteFile(plat::JoinPath(plat::TempFolder(), slot.dumpFile));
    }
    return ctrl.SetStatus(ERR_KD_OK);
}

PrintGeometry KD_GetPrintSize(CKDCtrl& ctrl, int ribbonType) {
    const bool newSet = ctrl.m_NewKDCL != 0;
    const int cardLength = newSet ? 1024 : 1013;
    PrintGeometry g;
    switch (ribbonType) {
        case 128: {
            const int halfStart = std::clamp(kdapi::KD_ControlState().halfStart[0], 0, 590);
            g = {newSet ? halfStart : 0, newSet ? 0 : halfStart, 643, 400, 643, cardLength};
            break;
        }
        case 8: g = {0, 0, 643, 1190, 643, 1190}; break;
        case 9: g = {0, 0, 640, 752, 640, 752}; break;
        default: g = {0, 0, 643, cardLength, 643, cardLength}; break;
    }
    KD_Log2("KD_GetPrintSize - pos(%d, %d), print(%d, %d), max(%d, %d)", g.xPos, g.yPos,
            g.printWidth, g.printHeight, g.maxWidth, g.maxHeight);
    return g;
}

int KD_MemoryPanelBits(int ribbonType, int panel) {
    int bits = 0;
    switch (ribbonType) {
        case 0: case 2: case 3: case 128: bits = panel == 3 ? KD_PANEL_K : KD_PANEL_YMC; break;
        case 1: case 4: case 6: case 11: case 12: case 14: case 15: bits = KD_PANEL_MONO; break;
        case 5: bits = KD_PANEL_YMC; break;
        case 8: bits = KD_PANEL_MONO_EXT; break;
        case 9: bits = KD_PANEL_MONO_LOGO; break;
        default: break;
    }
    if (panel == 4 && ribbonType != 4 && ribbonType != 8 && ribbonType != 9) bits = KD_PANEL_O;
    if (panel == 5 && ribbonType == 2) bits = KD_PANEL_MONO;
    return bits;
}

int PrintMemoryImage(CKDCtrl& ctrl, const void* block, size_t size, int imageType,
                     int ribbonType, int panel, int x, int y) {
    CKDPrintBuffers& b = ctrl.m_PrintBuffers;
    if (block == nullptr || size == 0) {
        KD_Log2("PrintMemoryImage - no memory block");
        return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
    }
    const char* label = imageType == 0 ? "BITMAP DATA" : (imageType == KD_MEMORY_HBITMAP ? "HBITMAP DATA" : "JPEG DATA");
    KD_Log2("%s (%zu bytes)", label, size);
    // Never more than the block holds.
    KD_LogDump(block, static_cast<int>(std::min<size_t>(size, 32)), DUMP_AP_DLL);
    const auto* bytes = static_cast<const uint8_t*>(block);
    if (b.m_bLogImage)
        plat::WriteWholeFileAtomic(KD_ImageLogPath(b, "memory2file.dat"),
                                   std::string(reinterpret_cast<const char*>(bytes), size));
    CxImage image;
    const bool decoded = imageType == KD_MEMORY_JPEG ? image.Decode(bytes, size, KD_IMAGE_TYPE_JPG)
                                                     : image.DecodePackedDib(bytes, size);
    if (!decoded || !image.IncreaseBpp(24)) {
        KD_Log1("Load failed: %s", image.LastError().c_str());
        return ctrl.SetStatus(ERR_KD_FILE);
    }
    if (b.m_bLogImage) {
        if (imageType == KD_MEMORY_JPEG)  // the decoded picture is kept as the JPEG it came as
            plat::WriteWholeFileAtomic(KD_ImageLogPath(b, "memory2file.jpg"),
                                       std::string(reinterpret_cast<const char*>(bytes), size));
        else
            image.SaveBmp(KD_ImageLogPath(b, imageType == KD_MEMORY_HBITMAP ? "memory2hbitmap.bmp"
                                                                             : "memory2file.bmp"));
    }
    return KD_TransferData(ctrl, KD_MemoryPanelBits(ribbonType, panel), x, y, image);
}

bool SaveBitmapFile(int bpp, const std::string& path, int width, int height,
                    const uint8_t* const* rows, bool invert) {
    if ((bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) || width <= 0 ||
        height <= 0 || rows == nullptr || !CxImageSizeAllowed(width, height)) {
        KD_Log2("Save Failed. File = %s", path.c_str());
        return false;
    }
    const int stride = CxImageStride(width, bpp);
    const int used = (bpp * width + 7) / 8;
    const int colours = bpp <= 8 ? (1 << bpp) : 0;
    const uint32_t offset = 54 + 4 * colours;
    const uint32_t imageBytes = static_cast<uint32_t>(stride) * static_cast<uint32_t>(height);
    KD_Log2("SaveBitmapFile - bpp = %d, size = %d x %d (%d), nColors = %d", bpp, width, height,
            stride, colours);
    std::string out;
    out.reserve(offset + imageBytes);
    auto put16 = [&out](uint32_t v) {
        out.push_back(static_cast<char>(v & 0xFF));
        out.push_back(static_cast<char>((v >> 8) & 0xFF));
    };
    auto put32 = [&put16](uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    out += "BM";
    put32(offset + imageBytes);
    put32(0);
    put32(offset);
    put32(40);
    put32(static_cast<uint32_t>(width));
    put32(static_cast<uint32_t>(height));
    put16(1);
    put16(static_cast<uint32_t>(bpp));
    put32(0);
    put32(imageBytes);
    put32(11811);
    put32(11811);
    put32(static_cast<uint32_t>(colours));
    put32(0);
    for (int i = 0; i < colours; ++i) {
        const char v = static_cast<char>(i * 255 / (colours - 1));
        out.push_back(v);
        out.push_back(v);
        out.push_back(v);
        out.push_back(0);
    }
    std::string row(static_cast<size_t>(stride), '\0');
    for (int r = height - 1; r >= 0; --r) {
        std::fill(row.begin(), row.end(), '\0');
        if (rows[r] != nullptr) std::memcpy(row.data(), rows[r], static_cast<size_t>(used));
        if (invert)
            for (int i = 0; i < used; ++i) row[i] = static_cast<char>(~row[i]);
        out += row;
    }
    if (!plat::WriteWholeFileAtomic(path, out)) {
        KD_Log2("Save Failed. File = %s", path.c_str());
        return false;
    }
    return true;
}

bool SaveBitmapFile(CKDCtrl& ctrl, int bpp, const std::string& path, int width, int height,
                    const uint8_t* const* rows) {
    return SaveBitmapFile(bpp, path, width, height, rows, ctrl.m_NewKDCL != 0);
}
