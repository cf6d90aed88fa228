// Panel conversion of one card side.
#include "print/panel_conversion.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "api/control_common.h"
#include "core/controller.h"
#include "core/status_codes.h"
#include "diag/log.h"
#include "print/tone.h"

namespace {

constexpr int kPanelCount = 7;
constexpr int kMinimumPrintLines = 536;  // 45 mm
constexpr int kSourceBufferSize = 916480;
constexpr int kCommandBufferSize = 3662848;

const CxImage* CanvasOf(const CKDPrintBuffers& b, int panelIndex) {
    switch (panelIndex) {
        case 0: case 1: case 2: return &b.ColorBuffer;
        case 3: return &b.BlackBuffer;
        case 4: return &b.OverlayBuffer;
        default: return &b.MonoBuffer;
    }
}

int ByteOf(int panelIndex) { return panelIndex <= 2 ? panelIndex : 0; }

// First and one-past-last plane line (card column) below maxHeight holding ink in the
// first maxWidth card lines; (0, maxHeight) when there is none.
void FindPrintArea(const CxImage& canvas, int maxWidth, int maxHeight, int& start, int& end) {
    const int columns = std::max(0, std::min(maxHeight, canvas.GetWidth()));
    // The bytes of all lines are or-ed first, eight at a time; the pixels after.
    std::vector<uint8_t> inkBytes(static_cast<size_t>(columns) * 3, 0);
    const int rows = std::min(maxWidth, canvas.GetHeight());
    const size_t bytes = inkBytes.size();
    const size_t words = bytes / 8;
    std::vector<uint64_t> inkWords(words, 0);
    for (int row = 0; row < rows; ++row) {
        const uint8_t* px = canvas.GetBits(row);
        for (size_t k = 0; k < words; ++k) {
            uint64_t word = 0;
            std::memcpy(&word, px + 8 * k, sizeof word);
            inkWords[k] |= word;
        }
        for (size_t k = 8 * words; k < bytes; ++k) inkBytes[k] |= px[k];
    }
    if (words > 0) std::memcpy(inkBytes.data(), inkWords.data(), 8 * words);
    start = -1;
    end = -1;
    for (int x = 0; x < columns; ++x)
        if (inkBytes[3 * x] | inkBytes[3 * x + 1] | inkBytes[3 * x + 2]) {
            if (start < 0) start = x;
            end = x + 1;
        }
    if (start < 0) {
        start = 0;
        end = maxHeight;
    }
}

// The print area of the canvas last looked at: the Y, M and C panels share one canvas,
// which nothing draws into while one side is converted.
struct PrintAreaMemo {
    const CxImage* canvas = nullptr;
    int maxWidth = 0;
    int maxHeight = 0;
    int start = 0;
    int end = 0;
};

void FindPrintAreaOnce(PrintAreaMemo& memo, const CxImage& canvas, int maxWidth, int maxHeight,
                       int& start, int& end) {
    if (memo.canvas != &canvas || memo.maxWidth != maxWidth || memo.maxHeight != maxHeight) {
        FindPrintArea(canvas, maxWidth, maxHeight, memo.start, memo.end);
        memo.canvas = &canvas;
        memo.maxWidth = maxWidth;
        memo.maxHeight = maxHeight;
    }
    start = memo.start;
    end = memo.end;
}

#if defined(__SSE2__)
// out[j][i] = rows[i][offset + j] for 16 rows of 16 bytes.
void TransposeRows16(const uint8_t* const (&rows)[16], size_t offset, uint8_t (&out)[16][16]) {
    __m128i a[16];
    for (int i = 0; i < 16; ++i) a[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[i] + offset));
    __m128i b[16];
    for (int i = 0; i < 8; ++i) {
        b[2 * i] = _mm_unpacklo_epi8(a[2 * i], a[2 * i + 1]);
        b[2 * i + 1] = _mm_unpackhi_epi8(a[2 * i], a[2 * i + 1]);
    }
    __m128i c[16];  // c[4 q + k]: rows 4q..4q+3, bytes 4k..4k+3
    for (int q = 0; q < 4; ++q) {
        c[4 * q + 0] = _mm_unpacklo_epi16(b[4 * q + 0], b[4 * q + 2]);
        c[4 * q + 1] = _mm_unpackhi_epi16(b[4 * q + 0], b[4 * q + 2]);
        c[4 * q + 2] = _mm_unpacklo_epi16(b[4 * q + 1], b[4 * q + 3]);
        c[4 * q + 3] = _mm_unpackhi_epi16(b[4 * q + 1], b[4 * q + 3]);
    }
    __m128i d[16];  // d[8 h + p]: rows 8h..8h+7, bytes 2p, 2p + 1
    for (int h = 0; h < 2; ++h)
        for (int k = 0; k < 4; ++k) {
            d[8 * h + 2 * k] = _mm_unpacklo_epi32(c[8 * h + k], c[8 * h + 4 + k]);
            d[8 * h + 2 * k + 1] = _mm_unpackhi_epi32(c[8 * h + k], c[8 * h + 4 + k]);
        }
    for (int p = 0; p < 8; ++p) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out[2 * p]), _mm_unpacklo_epi64(d[p], d[8 + p]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out[2 * p + 1]), _mm_unpackhi_epi64(d[p], d[8 + p]));
    }
}
#endif

}  // namespace

namespace {

// Planes of `count` consecutive pixel bytes from `firstByte` on, in one pass over the
// canvas (see KD_ExtractPlane for the layout): the Y, M and C planes share the turning of
// the canvas.
void ExtractPlanes(const CxImage& canvas, int firstByte, int count, int maxWidth, int maxHeight,
                   std::vector<uint8_t>* const* planes) {
    const size_t width = static_cast<size_t>(std::max(0, maxWidth));
    const size_t size = width * static_cast<size_t>(std::max(0, maxHeight));
    for (int p = 0; p < count; ++p) planes[p]->resize(size);
    if (!canvas.IsValid()) {
        for (int p = 0; p < count; ++p) std::fill(planes[p]->begin(), planes[p]->end(), 0);
        return;
    }
    const int rows = std::max(0, std::min(maxWidth, canvas.GetHeight()));   // card lines -> plane bytes
    const int lines = std::max(0, std::min(maxHeight, canvas.GetWidth()));  // card columns -> plane lines
    uint8_t* outs[3] = {};
    for (int p = 0; p < count; ++p) {
        std::vector<uint8_t>& plane = *planes[p];
        outs[p] = plane.data();
        // What the canvas does not cover is white.
        for (int l = 0; l < lines; ++l)
            std::fill(plane.begin() + static_cast<std::ptrdiff_t>(l * width + rows),
                      plane.begin() + static_cast<std::ptrdiff_t>((l + 1) * width), 0);
        std::fill(plane.begin() + static_cast<std::ptrdiff_t>(lines * width), plane.end(), 0);
    }
    // Blocks of kBlock card lines by kBlock card columns: the block's bytes are gathered
    // line by line, then written out column by column as whole runs of plane bytes.
    constexpr int kBlock = 16;
    uint8_t block[kBlock][kBlock];
    int r0 = 0;
#if defined(__SSE2__)
    // Whole blocks: the 48 bytes of 16 pixels of 16 card lines are turned in three 16 x 16
    // steps, and every third turned line is a wanted byte of a pixel. Four blocks of card
    // lines go together, so each plane line gets 64 bytes (a whole cache line) at once.
    constexpr int kGroup = 4 * kBlock;
    const int wholeLines = lines & ~(kBlock - 1);
    for (; r0 + kGroup <= rows; r0 += kGroup) {
        const uint8_t* rowStarts[4][kBlock];
        for (int r = 0; r < kGroup; ++r) rowStarts[r / kBlock][r % kBlock] = canvas.GetBits(r0 + r);
        uint8_t turned[3][kBlock][kBlock];
        for (int l0 = 0; l0 < wholeLines; l0 += kBlock)
            for (int q = 0; q < 4; ++q) {
                for (int part = 0; part < 3; ++part)
                    TransposeRows16(rowStarts[q], 3 * static_cast<size_t>(l0) + kBlock * part, turned[part]);
                for (int p = 0; p < count; ++p)
                    for (int l = 0; l < kBlock; ++l) {
                        const int at = 3 * l + firstByte + p;
                        std::memcpy(outs[p] + static_cast<size_t>(l0 + l) * width + r0 + q * kBlock,
                                    turned[at / kBlock][at % kBlock], kBlock);
                    }
            }
        // The last columns, short of a block.
        for (int q = 0; q < 4; ++q) {
            const int rq = r0 + q * kBlock;
            for (int l0 = wholeLines; l0 < lines; l0 += kBlock) {
                const int ln = std::min(kBlock, lines - l0);
                for (int p = 0; p < count; ++p) {
                    for (int r = 0; r < kBlock; ++r) {
                        const uint8_t* px = rowStarts[q][r] + firstByte + p + 3 * static_cast<size_t>(l0);
                        for (int l = 0; l < ln; ++l) block[l][r] = px[3 * l];
                    }
                    for (int l = 0; l < ln; ++l)
                        std::copy_n(block[l], kBlock, outs[p] + static_cast<size_t>(l0 + l) * width + rq);
                }
            }
        }
    }
#endif
    for (; r0 < rows; r0 += kBlock) {
        const int rn = std::min(kBlock, rows - r0);
        int l0 = 0;
#if defined(__SSE2__)
        if (rn == kBlock) {
            const uint8_t* rowStarts[kBlock];
            for (int r = 0; r < kBlock; ++r) rowStarts[r] = canvas.GetBits(r0 + r);
            uint8_t turned[3][kBlock][kBlock];
            for (; l0 + kBlock <= lines; l0 += kBlock) {
                for (int part = 0; part < 3; ++part)
                    TransposeRows16(rowStarts, 3 * static_cast<size_t>(l0) + kBlock * part, turned[part]);
                for (int p = 0; p < count; ++p)
                    for (int l = 0; l < kBlock; ++l) {
                        const int at = 3 * l + firstByte + p;
                        std::memcpy(outs[p] + static_cast<size_t>(l0 + l) * width + r0,
                                    turned[at / kBlock][at % kBlock], kBlock);
                    }
            }
        }
#endif
        for (; l0 < lines; l0 += kBlock) {
            const int ln = std::min(kBlock, lines - l0);
            for (int p = 0; p < count; ++p) {
                for (int r = 0; r < rn; ++r) {
                    const uint8_t* px = canvas.GetBits(r0 + r) + firstByte + p + 3 * static_cast<size_t>(l0);
                    for (int l = 0; l < ln; ++l) block[l][r] = px[3 * l];
                }
                for (int l = 0; l < ln; ++l)
                    std::copy_n(block[l], rn, outs[p] + static_cast<size_t>(l0 + l) * width + r0);
            }
        }
    }
}

}  // namespace

void KD_ExtractPlane(const CxImage& canvas, int byteIndex, int maxWidth, int maxHeight,
                     std::vector<uint8_t>& plane) {
    std::vector<uint8_t>* const planes[1] = {&plane};
    ExtractPlanes(canvas, byteIndex, 1, maxWidth, maxHeight, planes);
}

int KD_ExtractBlack(CKDPrintBuffers& b) {
    if (!b.ColorBuffer.IsValid()) return 0;
    b.m_ImgRgbBlack = b.ColorBuffer;
    const int threshold = b.m_Tone.blackOn;
    int count = 0;
#if defined(__SSE2__)
    // Five pixels a step: the bytes of each pixel and the two after it are lined up by
    // loads one and two bytes further on, so byte 3 k of the maximum and minimum is the
    // highest and lowest ink of pixel k. Byte 15 (the next pixel's first) is stored as it
    // was and done again by the next step. The steps read the colour canvas and write the
    // copy: a load overlapping the previous step's store would wait for it.
    const __m128i zero = _mm_setzero_si128();
    const __m128i pixelStarts = _mm_setr_epi8(-1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, 0);
    const __m128i lastByte = _mm_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1);
    const __m128i highestBelow = _mm_set1_epi8(static_cast<char>(std::clamp(threshold - 1, 0, 255)));
    const __m128i anyBelow = threshold <= 0 ? zero : _mm_set1_epi8(-1);
    const __m128i nine = _mm_set1_epi8(9);
#endif
    for (int row = 0; row < b.m_ImgRgbBlack.GetHeight(); ++row) {
        uint8_t* px = b.m_ImgRgbBlack.GetBits(row);
        const int width = b.m_ImgRgbBlack.GetWidth();
        int x = 0;
#if defined(__SSE2__)
        const uint8_t* source = b.ColorBuffer.GetBits(row);
        for (; x + 6 <= width; x += 5, px += 15, source += 15) {
            const __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
            const __m128i p1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 1));
            const __m128i p2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 2));
            const __m128i high = _mm_max_epu8(p0, _mm_max_epu8(p1, p2));
            const __m128i low = _mm_min_epu8(p0, _mm_min_epu8(p1, p2));
            const __m128i equal = _mm_cmpeq_epi8(high, low);
            // high < threshold: high <= threshold - 1 (never with a threshold <= 0).
            const __m128i below = _mm_and_si128(anyBelow, _mm_cmpeq_epi8(_mm_subs_epu8(high, highestBelow), zero));
            const __m128i close = _mm_cmpeq_epi8(_mm_subs_epu8(_mm_sub_epi8(high, low), nine), zero);
            const __m128i neutral =
                _mm_and_si128(_mm_or_si128(equal, _mm_and_si128(below, close)), pixelStarts);
            const __m128i inked = _mm_andnot_si128(_mm_cmpeq_epi8(high, zero), neutral);
            // One bit per pixel start (bits 0, 3, 6, 9, 12); counted by hand, as a
            // popcount instruction is not in the baseline instruction set.
            const unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(inked));
            count += static_cast<int>((bits & 1) + ((bits >> 3) & 1) + ((bits >> 6) & 1) + ((bits >> 9) & 1) +
                                      ((bits >> 12) & 1));
            const __m128i keep = _mm_or_si128(_mm_or_si128(neutral, lastByte),
                                              _mm_or_si128(_mm_slli_si128(neutral, 1), _mm_slli_si128(neutral, 2)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(px), _mm_and_si128(p0, keep));
        }
#endif
        for (; x < width; ++x, px += 3) {
            const int c0 = px[0];
            const int c1 = px[1];
            const int c2 = px[2];
            const int high = std::max(c0, std::max(c1, c2));
            const int low = std::min(c0, std::min(c1, c2));
            // high == low: all three equal. Without branches: the pixels mix at random.
            const bool neutral = (high == low) | ((high < threshold) & (high - low < 10));
            count += neutral & (high != 0);
            const uint8_t keep = static_cast<uint8_t>(-static_cast<int>(neutral));
            px[0] = static_cast<uint8_t>(c0 & keep);
            px[1] = static_cast<uint8_t>(c1 & keep);
            px[2] = static_cast<uint8_t>(c2 & keep);
        }
    }
    KD_Log2("Black Panel - dot count = %d", count);
    return count;
}

int KD_PanelOption(const CKDCtrl& ctrl, int panelIndex, int nRibbon) {
    const CKDPrintBuffers& b = ctrl.m_PrintBuffers;
    const bool newSet = ctrl.m_NewKDCL != 0;
    int option = newSet ? 0x10060 : 0x16000;
    if (panelIndex <= 3) {
        if (b.m_ColorAdjust.type >= 1) option += 0x11;
        if (!newSet && b.m_GrayLevel == 31) option += 0x9000;
        if (panelIndex <= 2 && nRibbon == 128) option += 0x80;
    } else if (panelIndex == 4) {
        if (!newSet) option += 0x8000;
    } else {
        option += newSet ? 0x4000 : 0xC000;
    }
    if (panelIndex >= 4) {
        if (b.m_ErrorDiffusion & 0x1) option += 0x300;
        if (b.m_ErrorDiffusion & 0x2) option += 0x500;
        if (b.m_ErrorDiffusion & 0x4) option += 0x900;
    }
    return option;
}

int KD_TransferOuputBuffer(CKDCtrl& ctrl, int nRibbon, int bBlackPanel, int nSendPanel,
                           const KD_PanelHooks& hooks) {
    CKDPrintBuffers& b = ctrl.m_PrintBuffers;
    const bool passMask = nSendPanel != 255;
    b.m_PassPanel = passMask ? nSendPanel : 0;
    KD_Log2("m_PassPanel %d nSendPanel(%d)", b.m_PassPanel, nSendPanel);
    KD_Log2("KD_TransferOuputBuffer - nRibbon = [%d], bBlackPanel = [%d], nSendPanel = [%Xh], "
            "m_GrayLevel = %d, m_ErrorDiffusion = %d",
            nRibbon, bBlackPanel, nSendPanel, b.m_GrayLevel, b.m_ErrorDiffusion);
    KD_Log2("KD_TransferOuputBuffer - m_WhitePanel = [%Xh], m_ImgRgbFlag = [%Xh]", b.m_WhitePanel, b.m_ImgRgbFlag);

    KD_Log2("KD_TransferOuputBuffer -before- m_WhitePanel = [%Xh], nSendPanel = [%Xh]", b.m_WhitePanel, nSendPanel);
    b.m_WhitePanel = static_cast<uint16_t>(b.m_WhitePanel & ~nSendPanel);
    if (passMask) b.m_WhitePanel &= static_cast<uint16_t>(~0x1000);
    else b.m_WhitePanel |= 0x1000;
    KD_Log2("KD_TransferOuputBuffer -after- m_WhitePanel = [%Xh], nSendPanel = [%Xh]", b.m_WhitePanel, nSendPanel);
    for (int bit = 1; bit <= 0x40; bit <<= 1)
        if ((nSendPanel & bit) && !(b.m_ImgRgbFlag & bit)) b.m_WhitePanel |= static_cast<uint16_t>(bit);
    if (!(b.m_ImgRgbFlag & KD_PANEL_YMC)) b.m_WhitePanel |= KD_PANEL_YMC;

    if (!(b.m_ImgRgbFlag & KD_PANEL_ALL)) {
        KD_Log2("KD_TransferOuputBuffer - No Output Data, m_ImgRgbFlag = %Xh, m_WhitePanel = %Xh, m_ValidPanel = %Xh",
                b.m_ImgRgbFlag, b.m_WhitePanel, b.m_ValidPanel);
        if (b.m_ValidPanel & KD_PANEL_K) b.m_WhitePanel &= static_cast<uint16_t>(~KD_PANEL_K);
        return ctrl.SetStatus(ERR_KD_OK);
    }
    const int selected = nSendPanel & b.m_ImgRgbFlag & KD_PANEL_ALL;
    KD_Log2("result KD_TransferOuputBuffer - m_WhitePanel = [%Xh], m_ImgRgbFlag = [%Xh]", b.m_WhitePanel, b.m_ImgRgbFlag);
    KD_Log2("Source Buffer Allocation Size = %d", kSourceBufferSize);
    KD_Log2("Command Buffer Allocation Size = %d", kCommandBufferSize);
    // The planes are read from the canvases turned right (see KD_ExtractPlane), so the
    // canvases themselves stay as they are.
    KD_Log2("DLL Input Buffer => RotateRight");

    if (b.ColorBuffer.IsValid() && (b.m_ImgRgbFlag & kCanvasColorExists)) {
        if (b.m_bLogImage) b.ColorBuffer.SaveBmp(KD_ImageLogPath(b, "t_temp_color_black_before.bmp"));
        KD_ExtractBlack(b);
        if (b.m_bLogImage) {
            b.m_ImgRgbBlack.SaveBmp(KD_ImageLogPath(b, "t_temp_color_k.bmp"));
            b.ColorBuffer.SaveBmp(KD_ImageLogPath(b, "t_temp_color_ymc.bmp"));
            b.m_ImgRgbBlack.SaveBmp(KD_ImageLogPath(b, "t_temp_color_black.bmp"));
            CxImage mirrored = b.m_ImgRgbBlack;
            mirrored.RotateRight();
            mirrored.Mirror();
            mirrored.SaveBmp(KD_ImageLogPath(b, "t_temp_color_black_mirror.bmp"));
        }
    }

    // Print-area configuration items.
    auto readItem = [&](int item, int* value) {
        return hooks.readItem ? hooks.readItem(ctrl, item, value) : KD_GetParametersEx(ctrl, item, value);
    };
    const int fw = ctrl.m_bFwVersion;
    int value = 0;
    if (fw < 400) {
        if (b.m_OffsetY < 0 && readItem(27, &value) == 0) b.m_OffsetY = value;
    } else {
        if (readItem(27, &value) == 0) b.m_OffsetY = value;
        b.m_PrintAreaItem26 = readItem(26, &value) == 0 ? value : 12;
        b.m_PrintAreaItem25 = readItem(25, &value) == 0 ? value : 11;
    }
    if (fw > 110 && b.m_TPH_model < 0 && readItem(30, &value) == 0) {
        b.m_TPH_model = value;
        KD_Log2("m_TPH_model = %Xh", b.m_TPH_model);
    }

    int status = ERR_KD_OK;
    // The planes are kept per thread: every card side reuses their memory instead of
    // mapping fresh pages for each.
    thread_local std::vector<uint8_t> plane;
    // The Y, M and C planes and their black copies are made together, when the first of
    // them is wanted, and kept for the others.
    thread_local std::vector<uint8_t> colourPlanes[3];
    thread_local std::vector<uint8_t> blackPlanes[3];
    std::vector<uint8_t>* const colourTargets[3] = {&colourPlanes[0], &colourPlanes[1], &colourPlanes[2]};
    std::vector<uint8_t>* const blackTargets[3] = {&blackPlanes[0], &blackPlanes[1], &blackPlanes[2]};
    int colourSize[2] = {-1, -1};  // maxWidth and maxHeight of the made planes
    std::vector<uint8_t> commands;
    PrintAreaMemo printArea;
    for (int index = 0; index < kPanelCount; ++index) {
        const int bit = 1 << index;
        if (!(selected & bit)) continue;
        const CxImage& canvas = *CanvasOf(b, index);
        KD_PanelPlane panel;
        panel.panelIndex = index;
        panel.geometry = KD_GetPrintSize(ctrl, nRibbon);
        PrintGeometry& g = panel.geometry;
        if (index == 3 || index == 4) {
            KD_Log2("iPrintHeight = %d -> %d (changed)", g.printHeight, g.maxHeight);
            g.printHeight = g.maxHeight;
        }
        int start = 0;
        int end = 0;
        FindPrintAreaOnce(printArea, canvas, g.maxWidth, g.maxHeight, start, end);
        KD_Log2("[Print Area] nSrcSizeY = %d, po.iMaxHeight = %d, ey = %d", canvas.GetWidth(), g.maxHeight, end);
        KD_Log2("[Print Area] print_start = %d, print_end = %d (A)", start, end);
        b.m_PrintStart = fw < 400 ? start : std::max(0, 992 - end);
        KD_Log2("[Print Area] m_PrintStart = %d", b.m_PrintStart);
        if (start > g.maxHeight - kMinimumPrintLines) {
            start = std::max(0, g.maxHeight - kMinimumPrintLines);
            end = g.maxHeight;
        }
        if (end - start < kMinimumPrintLines) end = start + kMinimumPrintLines;
        KD_Log2("[Print Area] print_start = %d, print_end = %d (B)", start, end);
        if (!(nRibbon == 128 && index <= 2)) {
            g.yPos = start;
            g.printHeight = end - start;
        }
        KD_Log2("[Print Area] Print Start = %d, Print Width = %d (C)", g.yPos, g.printHeight);
        panel.printStart = start;
        panel.printEnd = end;
        if (index <= 2) {
            if (colourSize[0] != g.maxWidth || colourSize[1] != g.maxHeight) {
                ExtractPlanes(canvas, 0, 3, g.maxWidth, g.maxHeight, colourTargets);
                if (b.m_ImgRgbBlack.IsValid())
                    ExtractPlanes(b.m_ImgRgbBlack, 0, 3, g.maxWidth, g.maxHeight, blackTargets);
                colourSize[0] = g.maxWidth;
                colourSize[1] = g.maxHeight;
            }
            panel.plane = colourPlanes[index].data();
            if (b.m_ImgRgbBlack.IsValid()) panel.black = blackPlanes[index].data();
        } else {
            KD_ExtractPlane(canvas, ByteOf(index), g.maxWidth, g.maxHeight, plane);
            panel.plane = plane.data();
        }
        panel.correction = KD_CorrectionForPanel(b.m_Tone, index);
        b.m_ActiveCorrection = panel.correction;
        KD_Log2("NewORV: color %d data %d m_correction %d", index, b.m_ImgRgbFlag & bit ? 1 : 0, panel.correction);
        panel.option = KD_PanelOption(ctrl, index, nRibbon);

        commands.clear();
        int commandCount = 0;
        const int size = hooks.convert ? hooks.convert(ctrl, panel, commands, commandCount) : 0;
        KD_Log2("nBufSize = %d, nCmdCount = %d", size, commandCount);
        int panelStatus = ERR_KD_OK;
        if (size < 1 || commandCount < 1) {
            panelStatus = ctrl.LastStatus();
        } else {
            bool sendIt = true;
            if (b.m_RibbonPass == 3) {
                if (index != 0 && !passMask && nRibbon != 1) {
                    KD_Log2("NewORV: NO nColorIndex %d, m_ImgRgbFlag %d", index, b.m_ImgRgbFlag);
                    sendIt = false;
                } else if (index == 0 && (b.m_WhitePanel & 0x1000) && b.m_PrintSide == 1 && nRibbon != 1) {
                    KD_Log2("NewORV: NO nColorIndex %d, m_ImgRgbFlag %d m_PrintSide %d", index, b.m_ImgRgbFlag, b.m_PrintSide);
                    sendIt = false;
                }
            }
            if (sendIt && hooks.send) {
                const int sendSize = std::min(size, static_cast<int>(commands.size()));
                panelStatus = hooks.send(ctrl, commands.data(), sendSize, index, commandCount);
                if (panelStatus == ERR_KD_OK || panelStatus == ERR_KD_RIBBON_NEAR_END)
                    b.m_ValidPanel |= static_cast<uint16_t>(bit);
            }
        }
        status = panelStatus;
        if (status != ERR_KD_OK && status != ERR_KD_RIBBON_NEAR_END) break;
    }

    KD_Log2("DLL Input Buffer => RotateLeft");
    KD_Log2("NewORV: before m_ImgRgbFlag  %d nSendPanel =%d", b.m_ImgRgbFlag, nSendPanel);
    const bool twoPass = b.m_RibbonPass == 3;
    const int removed = (twoPass && !passMask) ? KD_PANEL_Y : (nSendPanel & KD_PANEL_ALL);
    b.m_ImgRgbFlag = static_cast<uint16_t>(b.m_ImgRgbFlag & ~removed);
    KD_Log2("NewORV: TCB m_ImgRgbFlag  %d nSendPanel =%d", b.m_ImgRgbFlag, nSendPanel);
    if (!twoPass) {
        if (!passMask) {
            KD_ClearOuputBuffer(ctrl, 255);
        } else {
            // A pass mask clears only canvases none of whose panels still hold data, so the
            // panels left for a later pass keep their ink.
            int clear = 0;
            for (int group : {int(KD_PANEL_YMC), int(KD_PANEL_K), int(KD_PANEL_O), int(KD_PANEL_MONO),
                              int(KD_PANEL_MONO_EXT)})
                if ((nSendPanel & group) && !(b.m_ImgRgbFlag & group)) clear |= group;
            if (clear) KD_ClearOuputBuffer(ctrl, clear);
        }
    }
    return ctrl.SetStatus(status);
}

int KD_TransferBlackSplit(CKDCtrl& ctrl, CxImage& image, int x, int y) {
    if (!image.IsValid() || image.GetBpp() != 24) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
    const int threshold = ctrl.m_PrintBuffers.m_Tone.blackOn;
    CxImage black = image;
    const int w = image.GetWidth();
    const int h = image.GetHeight();
    int count = 0;
    for (int row = 0; row < h; ++row) {
        uint8_t* colour = image.GetBits(row);
        uint8_t* k = black.GetBits(row);
        for (int i = 0; i < w; ++i) {
            uint8_t* c = colour + 3 * i;
            const int high = std::max({c[0], c[1], c[2]});
            const int low = std::min({c[0], c[1], c[2]});
            const bool toBlack = high < threshold && (high - low < 10 || (c[0] == c[1] && c[1] == c[2]));
            uint8_t* whiten = toBlack ? c : k + 3 * i;
            whiten[0] = whiten[1] = whiten[2] = 255;
            count += toBlack;
        }
    }
    KD_Log2("Black Panel - dot count = %d", count);
    if (count > 0) {
        for (int row = 1; row < h - 1; ++row) {
            uint8_t* colour = image.GetBits(row);
            const uint8_t* k = black.GetBits(row);
            for (int i = 1; i < w - 1; ++i) {
                const uint8_t* kp = k + 3 * i;
                if (kp[0] == 255 && kp[1] == 255 && kp[2] == 255) continue;
                std::copy_n(colour + 3 * (i - 1), 3, colour + 3 * i);
            }
        }
    }
    const int status = KD_TransferData(ctrl, KD_PANEL_K, x, y, black);
    if (status != ERR_KD_OK) return status;
    return KD_TransferData(ctrl, KD_PANEL_YMC, x, y, image);
}
