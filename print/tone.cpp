// Tone correction, image enhancement and halftoning.
#include "print/tone.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "diag/log.h"
#include "platform/profile_file.h"

namespace {

inline uint8_t ClampByte(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// Fallback rule of the specific correction words.
int OrDefault(int word, int fallback) { return word != 0 ? word : fallback; }

// Row-major transposition: `in` has rows x cols, `out` cols x rows. Whole 16 x 16 blocks
// go through vector registers where the target has them; the borders byte by byte.
void TransposeBorder(const uint8_t* in, int rows, int cols, uint8_t* out, int r0, int r1, int c0, int c1) {
    for (int r = r0; r < r1; ++r)
        for (int c = c0; c < c1; ++c)
            out[static_cast<size_t>(c) * rows + r] = in[static_cast<size_t>(r) * cols + c];
}

#if defined(__SSE2__)
void TransposeBlock16(const uint8_t* in, size_t inStride, uint8_t* out, size_t outStride) {
    __m128i a[16];
    for (int i = 0; i < 16; ++i)
        a[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i * inStride));
    __m128i b[16];
    for (int i = 0; i < 8; ++i) {
        b[2 * i] = _mm_unpacklo_epi8(a[2 * i], a[2 * i + 1]);
        b[2 * i + 1] = _mm_unpackhi_epi8(a[2 * i], a[2 * i + 1]);
    }
    // c[4 q + k]: rows 4q..4q+3, columns 4k..4k+3.
    __m128i c[16];
    for (int q = 0; q < 4; ++q) {
        c[4 * q + 0] = _mm_unpacklo_epi16(b[4 * q + 0], b[4 * q + 2]);
        c[4 * q + 1] = _mm_unpackhi_epi16(b[4 * q + 0], b[4 * q + 2]);
        c[4 * q + 2] = _mm_unpacklo_epi16(b[4 * q + 1], b[4 * q + 3]);
        c[4 * q + 3] = _mm_unpackhi_epi16(b[4 * q + 1], b[4 * q + 3]);
    }
    // d[8 h + 2 k + s]: rows 8h..8h+7, columns 4k + 2s, 4k + 2s + 1.
    __m128i d[16];
    for (int h = 0; h < 2; ++h)
        for (int k = 0; k < 4; ++k) {
            d[8 * h + 2 * k] = _mm_unpacklo_epi32(c[8 * h + k], c[8 * h + 4 + k]);
            d[8 * h + 2 * k + 1] = _mm_unpackhi_epi32(c[8 * h + k], c[8 * h + 4 + k]);
        }
    for (int p = 0; p < 8; ++p) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (2 * p) * outStride), _mm_unpacklo_epi64(d[p], d[8 + p]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (2 * p + 1) * outStride), _mm_unpackhi_epi64(d[p], d[8 + p]));
    }
}

void Transpose(const uint8_t* in, int rows, int cols, uint8_t* out) {
    const int fullRows = rows & ~15;
    const int fullCols = cols & ~15;
    // Four blocks one above the other write 64 bytes of each output row at once: whole
    // cache lines, in place of four partial writes far apart in time.
    int r = 0;
    for (; r + 64 <= fullRows; r += 64)
        for (int c = 0; c < fullCols; c += 16)
            for (int k = 0; k < 64; k += 16)
                TransposeBlock16(in + static_cast<size_t>(r + k) * cols + c, static_cast<size_t>(cols),
                                 out + static_cast<size_t>(c) * rows + r + k, static_cast<size_t>(rows));
    for (; r < fullRows; r += 16)
        for (int c = 0; c < fullCols; c += 16)
            TransposeBlock16(in + static_cast<size_t>(r) * cols + c, static_cast<size_t>(cols),
                             out + static_cast<size_t>(c) * rows + r, static_cast<size_t>(rows));
    TransposeBorder(in, rows, cols, out, 0, fullRows, fullCols, cols);
    TransposeBorder(in, rows, cols, out, fullRows, rows, 0, cols);
}
#else
void Transpose(const uint8_t* in, int rows, int cols, uint8_t* out) {
    constexpr int kTile = 32;
    for (int r0 = 0; r0 < rows; r0 += kTile)
        for (int c0 = 0; c0 < cols; c0 += kTile)
            TransposeBorder(in, rows, cols, out, r0, std::min(rows, r0 + kTile), c0, std::min(cols, c0 + kTile));
}
#endif

}  // namespace

// ---- Settings ------------------------------------------------------------------------------

bool KD_LoadToneSettings(const std::string& toneFilePath, int section, KD_ToneSettings& tone) {
    const std::string name = std::to_string(section);
    KD_Log2("Section = %s, INI path = %s", name.c_str(), toneFilePath.c_str());
    bool found = false;
    constexpr int kAbsent = -0x7FFFFFFF;
    auto read = [&](const char* key) {
        const int value = plat::ProfileGetInt(toneFilePath, name, key, kAbsent);
        if (value != kAbsent) found = true;
        return value;
    };
    if (int v = read("BlackVAL"); v != kAbsent) tone.blackVal = v;
    KD_Log2("m_BlackVal %d iLen %d", tone.blackVal, 0);
    if (int v = read("BlackOn"); v != kAbsent) tone.blackOn = v > 255 ? 3 : v;
    KD_Log2("m_black_on %d", tone.blackOn);
    if (int v = read("MGARO"); v != kAbsent) tone.garo = v > 255 ? 6 : v;
    KD_Log2("m_garo %d", tone.garo);
    if (int v = read("ERODE"); v != kAbsent) tone.erode = v > 255 ? 2 : v;
    KD_Log2("m_erode %d", tone.erode);
    if (int v = read("COR"); v != kAbsent) tone.correction = v;
    KD_Log2("m_correction %d (%X)", tone.correction, tone.correction);
    if (int v = read("COR_YMC"); v != kAbsent) tone.ymcCorrection = v;
    KD_Log2("m_ymc_cor %d (%X)", tone.ymcCorrection, tone.ymcCorrection);
    if (int v = read("COR_K"); v != kAbsent) tone.colorKCorrection = v;
    KD_Log2("m_colork_cor %d (%X)", tone.colorKCorrection, tone.colorKCorrection);
    if (int v = read("COR_MONO"); v != kAbsent) tone.monoCorrection = v;
    KD_Log2("m_mono_cor %d (%X)", tone.monoCorrection, tone.monoCorrection);
    return found;
}

int KD_CorrectionForRibbonLetter(const KD_ToneSettings& tone, char letter) {
    switch (letter) {
        case 'c': case 'y': return OrDefault(tone.ymcCorrection, tone.correction);
        case 'B': case 'b': case 'k': return OrDefault(tone.colorKCorrection, tone.correction);
        case 'L': case 'e': case 'm': return OrDefault(tone.monoCorrection, tone.correction);
        default: return tone.correction;
    }
}

int KD_CorrectionForPanel(const KD_ToneSettings& tone, int panelIndex) {
    if (panelIndex >= 0 && panelIndex <= 2) return OrDefault(tone.ymcCorrection, tone.correction);
    if (panelIndex == 3) return OrDefault(tone.colorKCorrection, tone.correction);
    if (panelIndex == 5 || panelIndex == 6) return OrDefault(tone.monoCorrection, tone.correction);
    return tone.correction;
}

void KD_SetFilterMode(CKDPrintBuffers& buffers, int nMode) {
    buffers.m_bFilter = static_cast<uint8_t>(nMode & 0x83);
    const int sharpening = (nMode >> 2) & 0x1F;
    buffers.m_iSharpening = sharpening != 0 ? sharpening : 5;
    KD_Log2("   m_bFilter = %Xh, m_iSharpening = %d", buffers.m_bFilter, buffers.m_iSharpening);
}

void KD_SetColorAdjustEx(KD_ColorAdjust& adjust, int type, int a, int b, int c, int d) {
    adjust.type = type;
    adjust.formula = (a >> 8) & 0xFF;
    adjust.ratio = a & 0xFF;
    adjust.calcul = (b >> 8) & 0xFF;
    adjust.thresh = b & 0xFF;
    adjust.adjLine = (c >> 12) & 0x0F;
    adjust.adjStep = (c >> 8) & 0x0F;
    adjust.adjRatio = c & 0xFF;
    adjust.vRatio = d & 0xFF;
    KD_Log2("m_CA_Type     = %d", adjust.type);
    KD_Log2("m_CA_wFormula = %d", adjust.formula);
    KD_Log2("m_CA_wRatio   = %d", adjust.ratio);
    KD_Log2("m_CA_wCalcul  = %d", adjust.calcul);
    KD_Log2("m_CA_wThresh  = %d", adjust.thresh);
    KD_Log2("m_CA_adjLine  = %d", adjust.adjLine);
    KD_Log2("m_CA_adjStep  = %d", adjust.adjStep);
    KD_Log2("m_CA_adjRatio = %d", adjust.adjRatio);
    KD_Log2("m_CA_vRatio   = %d", adjust.vRatio);
}

KD_SharpeningSettings KD_ReadSharpening(const std::string& settingsPath, int defaultAmount) {
    KD_SharpeningSettings s;
    s.radius = plat::ProfileGetInt(settingsPath, "ORVPW", "Sharpening.radius", 50);
    s.amount = plat::ProfileGetInt(settingsPath, "ORVPW", "Sharpening.amount", defaultAmount);
    s.threshold = plat::ProfileGetInt(settingsPath, "ORVPW", "Sharpening.threshold", 0);
    return s;
}

KD_BlackEdgeSettings KD_ReadBlackEdgeSettings(const std::string& settingsPath) {
    KD_BlackEdgeSettings s;
    s.on = plat::ProfileGetInt(settingsPath, "FW_ADJ", "ADJ_ON", 0);
    s.limit = plat::ProfileGetInt(settingsPath, "FW_ADJ", "ADJ_LIMIT", 64);
    s.region = plat::ProfileGetInt(settingsPath, "FW_ADJ", "ADJ_REGION", 90);
    static const char* const kPrev[4] = {"ADJ_0PREV", "ADJ_1PREV", "ADJ_2PREV", "ADJ_3PREV"};
    for (int i = 0; i < 4; ++i) s.prev[i] = plat::ProfileGetInt(settingsPath, "FW_ADJ", kPrev[i], 0);
    return s;
}

// ---- File-image enhancement ----------------------------------------------------------------

bool KD_FewColours(const CxImage& image) {
    bool seen[3][256] = {};
    for (int y = 0; y < image.GetHeight(); ++y) {
        const uint8_t* px = image.GetBits(y);
        for (int x = 0; x < image.GetWidth(); ++x, px += 3) {
            if (px[0] == px[1] && px[1] == px[2]) continue;
            for (int c = 0; c < 3; ++c) seen[c][px[c]] = true;
        }
    }
    for (int c = 0; c < 3; ++c) {
        int distinct = 0;
        for (int v = 1; v < 256; ++v) distinct += seen[c][v];
        if (distinct > 220) return false;
    }
    return true;
}

int KD_TextBlurChanges(const CxImage& image, int limit) {
    CxImage copy = image;
    copy.TextBlur(100, 2, 3, true, true);
    int changes = 0;
    for (int y = 0; y < image.GetHeight() && changes < limit; ++y) {
        const uint8_t* a = image.GetBits(y);
        const uint8_t* b = copy.GetBits(y);
        for (int x = 0; x < image.GetWidth() && changes < limit; ++x)
            if (a[3 * x] != b[3 * x] || a[3 * x + 1] != b[3 * x + 1]) ++changes;
    }
    return changes;
}

void KD_DarkenEdges(CxImage& image) {
    static constexpr int kKernel[9] = {-1, -1, 0, -1, -1, 2, 0, -1, 1};
    CxImage filtered = image;
    filtered.Filter3x3(kKernel, -1, 255);
    for (int y = 0; y < image.GetHeight(); ++y) {
        uint8_t* px = image.GetBits(y);
        const uint8_t* f = filtered.GetBits(y);
        for (int x = 0; x < image.GetWidth(); ++x)
            if (f[3 * x] != 255 || f[3 * x + 1] != 255 || f[3 * x + 2] != 255)
                for (int c = 0; c < 3; ++c) px[3 * x + c] = ClampByte(px[3 * x + c] - 100);
    }
}

void KD_EnhanceFileImage(CKDPrintBuffers& buffers, CxImage& image, const KD_EnhanceContext& context) {
    if (!image.IncreaseBpp(24)) return;
    const char letter = context.ribbonLetter;
    buffers.m_ActiveCorrection = KD_CorrectionForRibbonLetter(buffers.m_Tone, letter);
    KD_Log2("nRibbon [%c] - m_correction %d", letter, buffers.m_ActiveCorrection);
    const int correction = buffers.m_ActiveCorrection;
    if (letter == 'c' && (correction & KD_COR_ENHANCE)) {
        if (buffers.m_Tone.erode != 1) {
            KD_Log2("m_erode - %d", buffers.m_Tone.erode);
            image.Erode(buffers.m_Tone.erode);
        }
        KD_Log2("color count start");
        const bool few = KD_FewColours(image);
        KD_Log2("color count end(%d)", few ? 1 : 0);
        if (few && KD_TextBlurChanges(image, 101) < 100) {
            buffers.m_bFilter = static_cast<uint8_t>(buffers.m_bFilter - 1);
            KD_Log2("m_bFilter: %x(%d)", buffers.m_bFilter, buffers.m_bFilter);
        }
        if (context.firmwareVersion >= 400) KD_DarkenEdges(image);
    }
    if (buffers.m_bFilter & 0x01) {
        const float radius = static_cast<float>(context.sharpening.radius) / 10.0f;
        const int amountSetting = context.sharpeningSet ? context.sharpeningValue : context.sharpening.amount;
        const float amount = static_cast<float>(std::clamp(amountSetting, 0, 10)) * 1.5f / 10.0f;
        const int threshold = context.sharpeningSet ? 0 : context.sharpening.threshold;
        KD_Log2("Sharpening - UnsharpMask, radius %f, amount = %f, threshold = %d",
                static_cast<double>(radius), static_cast<double>(amount), threshold);
        if (radius > 0.0f) image.UnsharpMask(radius, amount, threshold);
    }
    if ((buffers.m_bFilter & 0x02) && context.blurAllowed) {
        KD_Log2("Diffusion - GaussianBlur");
        image.GaussianBlur(1.0f);
    }
    if (correction & KD_COR_LIGHT) {
        int brightness = context.brightness;
        const int contrast = context.contrast;
        const bool monoDiffusion =
            context.firmwareVersion >= 400 && buffers.m_ErrorDiffusion != 0 && letter == 'm';
        if (monoDiffusion && brightness == 0) {
            brightness = 1;
            KD_Log2("Brightness = %d, m_ErrorDiffusion = %d", brightness, buffers.m_ErrorDiffusion);
        }
        if (brightness != 0 || contrast != 0) {
            image.Light(brightness, contrast, true);
            if (monoDiffusion) {
                KD_Log2("Gamma(%f)", 2.0);
                image.Gamma(2.0f);
            }
        }
        KD_Log2("Brightness = %d, Contrast = %d - Light", brightness, contrast);
    }
}

// ---- Colour step correction ----------------------------------------------------------------

namespace {

// Work buffers of the plane corrections, kept per thread: the planes of a card (and of the
// next cards) reuse them instead of mapping and zeroing fresh pages for every plane.
struct CorrectionScratch {
    std::vector<uint8_t> planeIn;
    std::vector<uint8_t> planeOut;
    std::vector<uint8_t> blackIn;
    std::vector<int> runs;
    std::vector<uint8_t> levels;
    std::vector<uint8_t> reductions;
    std::vector<int> highest;
    std::vector<int> decay;
    std::vector<uint8_t> none;
};

CorrectionScratch& Scratch() {
    thread_local CorrectionScratch scratch;
    return scratch;
}

// At least `size` bytes of `buffer`, contents left as they are (the caller writes them all).
uint8_t* Sized(std::vector<uint8_t>& buffer, size_t size) {
    if (buffer.size() < size) buffer.resize(size);
    return buffer.data();
}

// Takes k (> 0) from every run counter (never below 0) and level (saturating) of a column.
void ApplyDecay(int* C, uint8_t* L, int k) {
#if defined(__SSE2__)
    const __m128i steps = _mm_set1_epi32(k);
    const __m128i zero = _mm_setzero_si128();
    for (int i = 0; i < 32; i += 4) {
        __m128i* at = reinterpret_cast<__m128i*>(C + i);
        const __m128i v = _mm_sub_epi32(_mm_loadu_si128(at), steps);
        _mm_storeu_si128(at, _mm_and_si128(v, _mm_cmpgt_epi32(v, zero)));
    }
    const __m128i byteSteps = _mm_set1_epi8(static_cast<char>(std::min(k, 255)));
    for (int i = 0; i < 32; i += 16) {
        __m128i* at = reinterpret_cast<__m128i*>(L + i);
        _mm_storeu_si128(at, _mm_subs_epu8(_mm_loadu_si128(at), byteSteps));
    }
#else
    for (int i = 0; i < 32; ++i) {
        C[i] = C[i] > k ? C[i] - k : 0;
        L[i] = static_cast<uint8_t>(L[i] > k ? L[i] - k : 0);
    }
#endif
}

// The reduction of band b from the levels of a column: the level smoothed with its
// neighbours, kept per band as the levels change far less often than dots are read.
inline uint8_t Reduction(const uint8_t* L, int b) {
    if (b == 0) return static_cast<uint8_t>((2 * L[0] + L[1]) / 3);
    if (b == 31) return static_cast<uint8_t>((L[30] + 2 * L[31]) / 3);
    return static_cast<uint8_t>((L[b - 1] + 2 * L[b] + L[b + 1]) / 4);
}

// Colour step correction from `input` into `out` (both H lines of W dots, separate
// buffers). The correction keeps, per column x, 32 run counters and 32 levels (one per
// band of 8 ink values), which lose 1 on every light dot (u <= 64, or any dot of the first
// 21 lines). That decay is counted per column and applied when the column next takes a
// dark dot, and the column's largest counter or level tells when the decay has emptied it.
// A dot that comes out 0 becomes 5.
void NcolorCorrect(const uint8_t* input, uint8_t* out, int W, int H, int colorIndex) {
    static constexpr uint8_t kThresholdYM[8] = {3, 3, 3, 3, 4, 6, 10, 16};
    static constexpr uint8_t kThresholdC[8] = {3, 3, 3, 3, 4, 6, 12, 16};
    static constexpr uint8_t kDivisor[8] = {3, 3, 3, 3, 3, 4, 8, 16};
    int T[32];
    int shift[32];  // 1024 / divisor of the band is 341 (shift -1) or 1 << shift
    for (int b = 0; b < 32; ++b) {
        T[b] = b < 24 ? 2 : (colorIndex == 2 ? kThresholdC[b - 24] : kThresholdYM[b - 24]);
        const int q = 1024 / (b < 24 ? 2 : kDivisor[b - 24]);
        shift[b] = q == 341 ? -1 : std::countr_zero(static_cast<unsigned>(q));
    }
    const size_t columns = static_cast<size_t>(W);
    CorrectionScratch& scratch = Scratch();
    scratch.runs.assign(32 * columns, 0);
    scratch.levels.assign(32 * columns, 0);
    scratch.reductions.assign(32 * columns, 0);
    scratch.highest.assign(columns, 0);
    scratch.decay.assign(columns, 0);
    scratch.none.assign(columns, 0);
    // Plain pointers: the byte stores of the loop could otherwise alias the vectors.
    int* const runs = scratch.runs.data();
    uint8_t* const levels = scratch.levels.data();
    uint8_t* const reductions = scratch.reductions.data();  // Reduction() of every band
    int* const highest = scratch.highest.data();  // largest run counter or level of the column
    int* const decay = scratch.decay.data();      // decay steps not yet applied to the column
    const uint8_t* const none = scratch.none.data();  // the line after the last
    int n = 0;
    for (int g = 0; g < H; ++g) {
        const uint8_t* cur = input + static_cast<size_t>(g) * columns;
        const uint8_t* up1Line = g >= 1 ? cur - columns : cur;
        const uint8_t* up2Line = g >= 2 ? cur - 2 * columns : cur;
        const uint8_t* dn1Line = g + 1 < H ? cur + columns : none;
        uint8_t* dst = out + static_cast<size_t>(g) * columns;
        const bool allLight = g <= 20;
        for (int x = 0; x < W; ++x) {
            const int u = cur[x];
            const int up1 = up1Line[x];
            const int up2 = up2Line[x];
            const int dn1 = dn1Line[x];
            int r = u;
            if (up2 < 128 && up1 >= 251 && u < 128 && dn1 < 128 && std::abs(up2 - u) < 10) r = 255;
            if (allLight || u <= 64) {
                if (highest[x] > 0) {
                    --highest[x];
                    ++decay[x];
                }
            } else {
                int* C = runs + static_cast<size_t>(x) * 32;
                uint8_t* L = levels + static_cast<size_t>(x) * 32;
                uint8_t* Rb = reductions + static_cast<size_t>(x) * 32;
                if (decay[x] > 0) {
                    ApplyDecay(C, L, decay[x]);
                    decay[x] = 0;
                    for (int band = 0; band < 32; ++band) Rb[band] = Reduction(L, band);
                }
                const int b = u >> 3;
                const int count = ++C[b];
                int top = std::max(highest[x], count);
                const int limit = std::max(5, 240 - u);
                if (count > limit) {
                    const int K = shift[b] < 0 ? count / 341 : count >> shift[b];  // count >= 0
                    if (L[b] < T[b] + K) {
                        n = n + 1;
                        const float f = static_cast<float>(n) * 0.25f;
                        if (f > 1.0f) n = 0;
                        L[b] = ClampByte(static_cast<int>(static_cast<float>(L[b]) + f));
                        top = std::max(top, static_cast<int>(L[b]));
                        for (int band = std::max(0, b - 1); band <= std::min(31, b + 1); ++band)
                            Rb[band] = Reduction(L, band);
                    }
                }
                highest[x] = top;
                const int R = Rb[b];
                if (R != 0) r = std::max(0, u - R);
            }
            dst[x] = static_cast<uint8_t>(r == 0 ? 5 : r);
        }
    }
}

}  // namespace

void KD_ToneCorrection_ncolor_Lines(uint8_t* lines, int W, int H, int colorIndex) {
    if (lines == nullptr || W <= 0 || H <= 0) return;
    const size_t size = static_cast<size_t>(W) * H;
    uint8_t* input = Sized(Scratch().planeIn, size);
    std::copy_n(lines, size, input);
    NcolorCorrect(input, lines, W, H, colorIndex);
}

void KD_ToneCorrection_ncolor(uint8_t* plane, int wid, int hgt, int colorIndex, int sx, int sy) {
    if (plane == nullptr || wid <= 0 || hgt <= 0) return;
    KD_Log2("[ko][%s][%d] sx=%d, sy=%d, wid=%d, hgt=%d", "CKDCtrl::KD_ToneCorrection_ncolor", 6275,
            sx, sy, hgt, wid);
    const size_t size = static_cast<size_t>(wid) * hgt;
    uint8_t* input = Sized(Scratch().planeIn, size);
    uint8_t* lines = Sized(Scratch().planeOut, size);
    Transpose(plane, hgt, wid, input);  // wid lines of hgt dots
    NcolorCorrect(input, lines, hgt, wid, colorIndex);
    Transpose(lines, wid, hgt, plane);
}

// ---- Step-difference correction ------------------------------------------------------------

namespace {

// The per-dot step of the black tone correction.
uint8_t StepDot(int v, int colorIndex) {
    if (v <= 8) return static_cast<uint8_t>(v);
    const float x = static_cast<float>(v);
    float t = 0.0f;
    if (colorIndex == 0) t = 4.0f - 2.0f * 0.0078f * x;
    else if (colorIndex == 1) t = 8.0f - 2.0f * 0.0157f * x;
    else t = 6.0f - 2.0f * 0.0118f * x;
    const float u = x + x * (t + 8.0f) / 100.0f;
    const int dot = static_cast<int>(u * 0.98f) + 3;
    return static_cast<uint8_t>(std::min(dot, 255));
}

// Count of the bin beside `bin` that is strong (above 30), as the neighbour rule takes it.
int StrongNeighbour(const int (&N)[32], int bin) {
    if (bin == 0) return N[1] > 30 ? N[1] : 0;
    if (bin == 31) return N[30] > 30 ? N[30] : 0;
    if (N[bin + 1] > 30) return N[bin + 1];
    if (N[bin - 1] > 30) return N[bin - 1];
    return 0;
}

// result[m] = m (100 - Y t[m]) / 100 with the factor t[m] = (1 + m zg) / 255, clamped to a
// byte; result[0] = 0. The vector form does the same single-precision operations in the
// same order, four values at a time.
void BalanceResults(float Y, float zg, uint8_t (&result)[256]) {
#if defined(__SSE2__)
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 v255 = _mm_set1_ps(255.0f);
    const __m128 v100 = _mm_set1_ps(100.0f);
    const __m128 y = _mm_set1_ps(Y);
    const __m128 factor = _mm_set1_ps(zg);
    const __m128i zero = _mm_setzero_si128();
    const __m128i top = _mm_set1_epi32(255);
    alignas(16) int32_t values[256];
    for (int m = 0; m < 256; m += 4) {
        const __m128 x = _mm_cvtepi32_ps(_mm_setr_epi32(m, m + 1, m + 2, m + 3));
        const __m128 t = _mm_div_ps(_mm_add_ps(one, _mm_mul_ps(x, factor)), v255);
        const __m128 r = _mm_div_ps(_mm_mul_ps(x, _mm_sub_ps(v100, _mm_mul_ps(y, t))), v100);
        __m128i v = _mm_cvttps_epi32(r);
        // Clamp to 0..255 (SSE2 has no 32-bit min / max).
        v = _mm_and_si128(v, _mm_cmpgt_epi32(v, zero));
        const __m128i over = _mm_cmpgt_epi32(v, top);
        v = _mm_or_si128(_mm_andnot_si128(over, v), _mm_and_si128(over, top));
        _mm_store_si128(reinterpret_cast<__m128i*>(values + m), v);
    }
    for (int m = 0; m < 256; ++m) result[m] = static_cast<uint8_t>(values[m]);
#else
    for (int m = 1; m < 256; ++m) {
        const float t = (1.0f + static_cast<float>(m) * zg) / 255.0f;
        result[m] = ClampByte(static_cast<int>(static_cast<float>(m) * (100.0f - Y * t) / 100.0f));
    }
#endif
    result[0] = 0;
}

// Steps a line through `step` and balances it. The statistics of the balance (bands of 8
// values, mean, deviation) all come from one histogram of the stepped dots from dot 6 on.
void StepAndBalanceLine(uint8_t* line, const uint8_t* blackLine, int W, int ribbonMaker,
                        const uint8_t (&step)[256]) {
    const int head = std::min(W, 6);
    for (int i = 0; i < head; ++i) line[i] = step[line[i]];
    // Two histograms halve the store-to-load chains of runs of equal dots.
    int countsA[256] = {};
    int countsB[256] = {};
    int i = head;
    for (; i + 1 < W; i += 2) {
        const uint8_t v0 = step[line[i]];
        const uint8_t v1 = step[line[i + 1]];
        line[i] = v0;
        line[i + 1] = v1;
        ++countsA[v0];
        ++countsB[v1];
    }
    if (i < W) {
        const uint8_t v = step[line[i]];
        line[i] = v;
        ++countsA[v];
    }
    int counts[256];
    for (int v = 0; v < 256; ++v) counts[v] = countsA[v] + countsB[v];

    int S[32] = {};
    int N[32] = {};
    int64_t sum = 0;
    for (int v = 0; v < 256; ++v) {
        S[v >> 3] += v * counts[v];
        N[v >> 3] += counts[v];
        sum += static_cast<int64_t>(v) * counts[v];
    }
    const int n = W - head;
    int b1 = 0;
    for (int b = 1; b < 32; ++b)
        if (N[b] > N[b1]) b1 = b;
    int m1 = N[b1];
    int nz = 0;
    for (int b = 1; b < 32; ++b) nz += N[b] != 0;
    int b2 = -1;
    for (int b = 0; b < 32; ++b) {
        if (b == b1) continue;
        if (b2 < 0 || N[b] > N[b2]) b2 = b;
    }
    if (N[b2] == 0) b2 = b1 == 31 ? 30 : 31;
    int m2 = N[b2];
    int w = 20;
    int q = 0;
    int M1 = 0;
    int M2 = 0;
    if (std::abs(b1 - b2) > 1) {
        M1 = N[b1] != 0 ? S[b1] / N[b1] : 0;
        M2 = N[b2] != 0 ? S[b2] / N[b2] : 0;
        q = std::abs(M1 - M2);
        w = std::min(M1, M2) + 8;
        if (nz > 2 && m1 < 320 && m2 < 320) {
            m1 += StrongNeighbour(N, b1);
            m2 += StrongNeighbour(N, b2);
        }
    }
    float mean = 0.0f;
    float deviation = 0.0f;
    if (n > 0) {
        // Sums by value: the same single-precision terms, added value by value.

        mean = static_cast<float>(sum) / static_cast<float>(n);
        float squares = 0.0f;
        for (int v = 0; v < 256; ++v) {
            if (counts[v] == 0) continue;
            const float d = static_cast<float>(v) - mean;
            squares += d * d * static_cast<float>(counts[v]);
        }
        deviation = std::sqrt(squares / static_cast<float>(n));
    }
    const bool crowded = m1 - m2 < 30 && m1 + m2 > 600;
    const bool busy = crowded || (m2 > 150 && m1 + m2 > 630);
    const int E = busy ? w : static_cast<int>(deviation);
    // Dots above E: the histogram holds dots 6 on, the first dots are counted one by one.
    int c = 0;
    for (int k = 0; k < head; ++k) c += line[k] > E;
    for (int v = std::max(0, E + 1); v < 256; ++v) c += counts[v];
    float I = 8.0f;
    if (busy && !crowded && q != 0 && M1 > 128 && M2 > 128)
        I = static_cast<float>(q) * 8.0f / 255.0f;
    const float Y = I - static_cast<float>(c) * I / 643.0f;
    const float Z = ribbonMaker == 1 ? 2.8f : 2.5f;
    const float G = c > 0 ? 0.151f - static_cast<float>(c) / 4286.0f : 0.0f;
    // The result of every value, from the factor table t[m] = (1 + m (Z + G)) / 255.
    uint8_t result[256];
    BalanceResults(Y, Z + G, result);
    if (blackLine == nullptr) {
        for (int k = 0; k < W; ++k) line[k] = result[line[k]];
        return;
    }
    // Inked dots under full black print full; without a branch, as the mix is random.
    int k = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i ones = _mm_set1_epi8(-1);
    // The masks are made sixteen at a time and taken byte by byte (a 16-byte load of
    // sixteen byte stores would wait for them to retire).
    alignas(16) uint8_t fullMask[16];
    for (; k + 16 <= W; k += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + k));
        const __m128i under = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blackLine + k)), ones);
        _mm_store_si128(reinterpret_cast<__m128i*>(fullMask), _mm_andnot_si128(_mm_cmpeq_epi8(v, zero), under));
        for (int j = 0; j < 16; ++j) line[k + j] = static_cast<uint8_t>(result[line[k + j]] | fullMask[j]);
    }
#endif
    for (; k < W; ++k) {
        const uint8_t v = line[k];
        const uint8_t full = static_cast<uint8_t>(-static_cast<int>((v != 0) & (blackLine[k] == 255)));
        line[k] = static_cast<uint8_t>(result[v] | full);
    }
}

}  // namespace

void KD_ToneCorrection_Black_Lines(uint8_t* lines, const uint8_t* black, int W, int H,
                                   int colorIndex, int ribbonMaker) {
    if (lines == nullptr || W <= 0 || H <= 0) return;
    uint8_t table[256];
    for (int v = 0; v < 256; ++v) table[v] = StepDot(v, colorIndex);
    for (int g = 0; g < H; ++g)
        StepAndBalanceLine(lines + static_cast<size_t>(g) * W, black ? black + static_cast<size_t>(g) * W : nullptr,
                           W, ribbonMaker, table);
}

void KD_ToneCorrection_Black(uint8_t* plane, const uint8_t* black, int wid, int hgt,
                             int colorIndex, int ribbonMaker, int sx, int sy) {
    if (plane == nullptr || wid <= 0 || hgt <= 0) return;
    KD_Log2("[ko][%s][%d] sx=%d, sy=%d, wid=%d, hgt=%d", "CKDCtrl::KD_ToneCorrection_Black", 0,
            sx, sy, hgt, wid);
    const size_t size = static_cast<size_t>(wid) * hgt;
    uint8_t* lines = Sized(Scratch().planeIn, size);
    uint8_t* blackLines = nullptr;
    Transpose(plane, hgt, wid, lines);
    if (black != nullptr) {
        blackLines = Sized(Scratch().blackIn, size);
        Transpose(black, hgt, wid, blackLines);
    }
    KD_ToneCorrection_Black_Lines(lines, blackLines, hgt, wid, colorIndex, ribbonMaker);
    Transpose(lines, wid, hgt, plane);
}

// ---- Black panel -------------------------------------------------------------------------

void KD_MakeBlackPanel(uint8_t* plane, int width, int rows, const KD_BlackEdgeSettings& s) {
    KD_Log2("KD_MakeBlackPanel - nImgWid = %d, nImgHgt = %d, FW_ADJ = %d", width, rows, s.on);
    if (plane == nullptr || s.on == 0 || width < 3 || rows < 3) return;
    KD_Log2("   [FW_ADJ] ADJ_LIMIT = %d, ADJ_REGION = %d, ADJ_xPREV = %d, %d, %d, %d", s.limit,
            s.region, s.prev[0], s.prev[1], s.prev[2], s.prev[3]);
    const int L = s.limit;
    auto P = [&](int y, int x) -> uint8_t& { return plane[static_cast<size_t>(y) * width + x]; };
    auto T = [&](int y, int x, int weight) {
        const int p = P(y, x);
        return p > L ? (p - L) * weight * 100 / 255 : 0;
    };
    for (int y = 2; y < rows; ++y)
        for (int x = 1; x <= width - 2; ++x) {
            if (P(y, x) <= L) continue;
            const int reduction = (T(y - 1, x, s.region - s.prev[1]) + T(y - 2, x, s.region - s.prev[0]) +
                                   T(y - 1, x - 1, s.region - s.prev[2]) +
                                   T(y - 1, x + 1, s.region - s.prev[3])) / 100;
            // A reduction beyond the dot's value leaves no ink (never wraps around).
            P(y, x) = ClampByte(P(y, x) - reduction);
        }
}

void KD_BinarizeK(uint8_t* plane, int size) {
    if (plane == nullptr || size <= 0) return;
    int on = 0;
    int off = 0;
    for (int i = 0; i < size; ++i) {
        plane[i] = plane[i] < 181 ? 0 : 255;
        plane[i] ? ++on : ++off;
    }
    KD_Log2("  oncnt %d oncnt2 %d bufsize %d", on, off, size);
}

// ---- Line compensation -------------------------------------------------------------------

bool KD_LineCompensation(uint8_t* plane, int len, int h, const KD_ColorAdjust& a) {
    if (plane == nullptr || len <= 0 || h <= 0 || a.type == 0) return false;
    constexpr int kWhiteEntries = 1014;  // W[0..1013]
    std::vector<int> W(kWhiteEntries, 1000);
    KD_Log2("Get: IP_WTABLE = %d, %d", a.formula, a.ratio);
    for (int i = 1; i < kWhiteEntries; ++i) {
        if (a.formula == 1) W[i] = 1000 - a.ratio * i / 1013;
        else if (a.formula == 2)
            W[i] = 1000 - static_cast<int>(std::floor(std::pow(static_cast<double>(a.ratio), i / 1013.0)));
    }
    KD_Log2("Get: IP_ZOOM = %d", a.vRatio);
    std::vector<int> Z(static_cast<size_t>(h), 1000);
    if (a.vRatio != 0)
        for (int j = 0; j < h; ++j)
            Z[j] = 1000 - a.vRatio + static_cast<int>(static_cast<int64_t>(j + 1) * a.vRatio / h);
    KD_Log2("Get: IP_WCALCUL = %d, %d", a.calcul, a.thresh);
    std::vector<int> N(static_cast<size_t>(h), 0);
    for (int j = 0; j < h; ++j) {
        const uint8_t* line = plane + static_cast<size_t>(j) * len;
        int count = 0;
        if (a.calcul == 1) {
            int64_t sum = 0;
            for (int i = 0; i < len; ++i) sum += line[i];
            count = len - static_cast<int>((sum + 254) / 255);
            Z[j] = 1000;
        } else if (a.calcul == 2 || a.calcul == 3) {
            const int limit = a.calcul == 2 ? 0 : a.thresh;
            for (int i = 0; i < len; ++i) count += line[i] <= limit;
            if (count == 0) Z[j] = 1000;
        } else {
            Z[j] = 1000;
        }
        N[j] = count;
    }
    KD_Log2("Get: IP_ADJ_T/L/P/S = %d, %d, %d, %d", 1, a.adjLine, a.adjRatio, a.adjStep);
    for (int l = h - 1; l >= 1; --l) {
        int weight = a.adjRatio;
        for (int m = l; m > l - a.adjLine && m > 0; --m) {
            Z[m] += weight * (N[l] - N[l - 1]) / len;
            weight -= a.adjStep;
        }
    }
    KD_Log2("Get: IP_CONVERT = %d", 1);
    for (int j = 0; j < h; ++j) {
        // The count indexes the white table: bound it by the table.
        const int factor = W[std::clamp(N[j], 0, kWhiteEntries - 1)] * Z[j] / 1000;
        uint8_t* line = plane + static_cast<size_t>(j) * len;
        for (int i = 0; i < len; ++i)
            line[i] = ClampByte(static_cast<int>((static_cast<int64_t>(factor) * line[i] + 500) / 1000));
    }
    return true;
}

// ---- Halftoning -------------------------------------------------------------------------------

int KD_HalftonePlane(uint8_t* plane, int width, int rows, int option, int correction) {
    if (plane == nullptr || width <= 0 || rows <= 0 || !(option & KD_OPTION_DITHERING)) return -1;
    int method = -1;
    if ((option & KD_OPTION_DITHERING_PHOTO) && (correction & KD_COR_PHOTO_DIFFUSION)) {
        KD_Log2("KD_OPTION_DITHERING_PHOTO");
        method = KD_DITHER_JARVIS;
    } else if (option & KD_OPTION_DITHERING_LINEART) {
        KD_Log2("KD_OPTION_DITHERING_LINEART");
        method = KD_DITHER_ORDERED_MULTILEVEL;
    } else if (option & KD_OPTION_DITHERING_ORDERED) {
        KD_Log2("KD_OPTION_DITHERING_ORDERED");
        method = KD_DITHER_BAYER;
    }
    if (method < 0) return -1;
    // The plane's first line is the top line of the picture.
    CxImage image;
    if (!image.Create(width, rows, 8)) return -1;
    for (int j = 0; j < rows; ++j)
        std::copy_n(plane + static_cast<size_t>(j) * width, width, image.GetBits(rows - 1 - j));
    if (!image.Dither(method)) return -1;
    for (int j = 0; j < rows; ++j) {
        uint8_t* line = plane + static_cast<size_t>(j) * width;
        for (int x = 0; x < width; ++x) line[x] = image.GetPixelIndex(x, rows - 1 - j) ? 255 : 0;
    }
    return method;
}

void KD_LogoDiffusion(CxImage& image) {
    if (!image.IncreaseBpp(24)) return;
    const int w = image.GetWidth();
    const int h = image.GetHeight();
    KD_Log2("Error Diffusion Method = %d, Image = %d x %d (%d)", KD_DITHER_JARVIS, w, h, image.GetEffWidth());
    std::vector<int> gray(static_cast<size_t>(w) * h);
    for (int j = 0; j < h; ++j) {
        const uint8_t* px = image.GetBits(h - 1 - j);
        for (int x = 0; x < w; ++x) {
            const int b = px[3 * x];
            const int g = px[3 * x + 1];
            const int r = px[3 * x + 2];
            gray[static_cast<size_t>(j) * w + x] = (r == 0 && g == 0 && b == 0) ? 0 : (2 * r + 9 * g + 5 * b) / 16;
        }
    }
    // Error sums in 48ths; a dot already at 255 takes none.
    std::vector<int> error(gray.size(), 0);
    auto give = [&](int j, int x, int amount) {
        if (j >= h || x < 0 || x >= w) return;
        const size_t at = static_cast<size_t>(j) * w + x;
        if (gray[at] == 255) return;
        error[at] += amount;
    };
    for (int j = 0; j < h; ++j) {
        const bool leftward = (j & 1) != 0;
        const int dir = leftward ? -1 : 1;
        for (int k = 0; k < w; ++k) {
            const int x = leftward ? w - 1 - k : k;
            const size_t at = static_cast<size_t>(j) * w + x;
            const int value = gray[at] == 255 ? 255 : gray[at] + error[at] / 48;
            const int out = value >= 128 ? 255 : 0;
            const int e = value - out;
            gray[at] = out;
            give(j, x + dir, 7 * e);
            give(j, x + 2 * dir, 5 * e);
            static constexpr int kNext[5] = {3, 5, 7, 5, 3};
            static constexpr int kAfter[5] = {1, 3, 5, 3, 1};
            for (int d = -2; d <= 2; ++d) {
                give(j + 1, x + d, kNext[d + 2] * e);
                give(j + 2, x + d, kAfter[d + 2] * e);
            }
        }
    }
    for (int j = 0; j < h; ++j) {
        uint8_t* px = image.GetBits(h - 1 - j);
        for (int x = 0; x < w; ++x) {
            const uint8_t v = static_cast<uint8_t>(gray[static_cast<size_t>(j) * w + x]);
            px[3 * x] = px[3 * x + 1] = px[3 * x + 2] = v;
        }
    }
}
