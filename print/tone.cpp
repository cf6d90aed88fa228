// Tone correction, image enhancement and halftoning.
#include "print/tone.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "diag/log.h"
#include "platform/profile_file.h"

namespace {

inline uint8_t ClampByte(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// Fallback rule of the specific correction words.
int OrDefault(int word, int fallback) { return word != 0 ? word : fallback; }

// Row-major transposition: `in` has rows x cols, `out` cols x rows.
void Transpose(const uint8_t* in, int rows, int cols, uint8_t* out) {
    constexpr int kTile = 32;
    for (int r0 = 0; r0 < rows; r0 += kTile)
        for (int c0 = 0; c0 < cols; c0 += kTile)
            for (int r = r0; r < std::min(rows, r0 + kTile); ++r)
                for (int c = c0; c < std::min(cols, c0 + kTile); ++c)
                    out[static_cast<size_t>(c) * rows + r] = in[static_cast<size_t>(r) * cols + c];
}

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

void KD_ToneCorrection_ncolor_Lines(uint8_t* lines, int W, int H, int colorIndex) {
    if (lines == nullptr || W <= 0 || H <= 0) return;
    static constexpr uint8_t kThresholdYM[8] = {3, 3, 3, 3, 4, 6, 10, 16};
    static constexpr uint8_t kThresholdC[8] = {3, 3, 3, 3, 4, 6, 12, 16};
    static constexpr uint8_t kDivisor[8] = {3, 3, 3, 3, 3, 4, 8, 16};
    uint8_t T[32];
    uint8_t D[32];
    for (int b = 0; b < 32; ++b) {
        T[b] = b < 24 ? 2 : (colorIndex == 2 ? kThresholdC[b - 24] : kThresholdYM[b - 24]);
        D[b] = b < 24 ? 2 : kDivisor[b - 24];
    }
    const size_t columns = static_cast<size_t>(W);
    std::vector<int> runs(32 * columns, 0);
    std::vector<uint8_t> levels(32 * columns, 0);
    // Per column, its 32 bins side by side.
    auto C = [&](int b, int x) -> int& { return runs[static_cast<size_t>(x) * 32 + b]; };
    auto L = [&](int b, int x) -> uint8_t& { return levels[static_cast<size_t>(x) * 32 + b]; };
    // Columns with a run counter or level above 0: the decay step skips the others.
    std::vector<uint8_t> active(columns, 0);
    int n = 0;
    const std::vector<uint8_t> input(lines, lines + columns * H);
    auto in = [&](int g, int x) { return static_cast<int>(input[static_cast<size_t>(g) * columns + x]); };
    for (int g = 0; g < H; ++g) {
        for (int x = 0; x < W; ++x) {
            const int u = in(g, x);
            const int up1 = g >= 1 ? in(g - 1, x) : u;
            const int up2 = g >= 2 ? in(g - 2, x) : u;
            const int dn1 = g + 1 < H ? in(g + 1, x) : 0;
            int r = u;
            if (up2 < 128 && up1 >= 251 && u < 128 && dn1 < 128 && std::abs(up2 - u) < 10) r = 255;
            if (u <= 64 || g <= 20) {
                if (active[x]) {
                    bool left = false;
                    for (int b = 0; b < 32; ++b) {
                        if (C(b, x) > 0) --C(b, x);
                        if (L(b, x) > 0) --L(b, x);
                        left = left || C(b, x) > 0 || L(b, x) > 0;
                    }
                    active[x] = left;
                }
            } else {
                const int b = u >> 3;
                C(b, x) += 1;
                active[x] = 1;
                const int limit = std::max(5, 240 - u);
                if (C(b, x) > limit) {
                    const int K = C(b, x) / (1024 / D[b]);
                    if (L(b, x) < T[b] + K) {
                        n = n + 1;
                        const float f = static_cast<float>(n) * 0.25f;
                        if (f > 1.0f) n = 0;
                        L(b, x) = ClampByte(static_cast<int>(static_cast<float>(L(b, x)) + f));
                    }
                }
                int R = 0;
                if (b == 0) R = (2 * L(0, x) + L(1, x)) / 3;
                else if (b == 31) R = (L(30, x) + 2 * L(31, x)) / 3;
                else R = (L(b - 1, x) + 2 * L(b, x) + L(b + 1, x)) / 4;
                if (R != 0) r = std::max(0, u - R);
            }
            lines[static_cast<size_t>(g) * columns + x] = static_cast<uint8_t>(r);
        }
    }
    for (size_t i = 0; i < columns * H; ++i)
        if (lines[i] == 0) lines[i] = 5;
}

void KD_ToneCorrection_ncolor(uint8_t* plane, int wid, int hgt, int colorIndex, int sx, int sy) {
    if (plane == nullptr || wid <= 0 || hgt <= 0) return;
    KD_Log2("[ko][%s][%d] sx=%d, sy=%d, wid=%d, hgt=%d", "CKDCtrl::KD_ToneCorrection_ncolor", 6275,
            sx, sy, hgt, wid);
    std::vector<uint8_t> lines(static_cast<size_t>(wid) * hgt);
    Transpose(plane, hgt, wid, lines.data());  // wid lines of hgt dots
    KD_ToneCorrection_ncolor_Lines(lines.data(), hgt, wid, colorIndex);
    Transpose(lines.data(), wid, hgt, plane);
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

void BalanceLine(uint8_t* line, const uint8_t* blackLine, int W, int ribbonMaker) {
    int S[32] = {};
    int N[32] = {};
    int n = 0;
    for (int i = 6; i < W; ++i) {
        const int b = line[i] >> 3;
        S[b] += line[i];
        ++N[b];
        ++n;
    }
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
        int counts[256] = {};
        for (int i = 6; i < W; ++i) ++counts[line[i]];
        int64_t sum = 0;
        for (int v = 0; v < 256; ++v) sum += static_cast<int64_t>(v) * counts[v];
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
    int c = 0;
    for (int i = 0; i < W; ++i) c += line[i] > E;
    float I = 8.0f;
    if (busy && !crowded && q != 0 && M1 > 128 && M2 > 128)
        I = static_cast<float>(q) * 8.0f / 255.0f;
    const float Y = I - static_cast<float>(c) * I / 643.0f;
    const float Z = ribbonMaker == 1 ? 2.8f : 2.5f;
    const float G = c > 0 ? 0.151f - static_cast<float>(c) / 4286.0f : 0.0f;
    // The result of every value, from the factor table t[m] = (1 + m (Z + G)) / 255.
    uint8_t result[256];
    result[0] = 0;
    for (int m = 1; m < 256; ++m) {
        const float t = (1.0f + static_cast<float>(m) * (Z + G)) / 255.0f;
        result[m] = ClampByte(static_cast<int>(static_cast<float>(m) * (100.0f - Y * t) / 100.0f));
    }
    if (blackLine == nullptr) {
        for (int i = 0; i < W; ++i) line[i] = result[line[i]];
        return;
    }
    for (int i = 0; i < W; ++i) line[i] = (line[i] != 0 && blackLine[i] == 255) ? 255 : result[line[i]];
}

}  // namespace

void KD_ToneCorrection_Black_Lines(uint8_t* lines, const uint8_t* black, int W, int H,
                                   int colorIndex, int ribbonMaker) {
    if (lines == nullptr || W <= 0 || H <= 0) return;
    uint8_t table[256];
    for (int v = 0; v < 256; ++v) table[v] = StepDot(v, colorIndex);
    for (int g = 0; g < H; ++g) {
        uint8_t* line = lines + static_cast<size_t>(g) * W;
        for (int i = 0; i < W; ++i) line[i] = table[line[i]];
        BalanceLine(line, black ? black + static_cast<size_t>(g) * W : nullptr, W, ribbonMaker);
    }
}

void KD_ToneCorrection_Black(uint8_t* plane, const uint8_t* black, int wid, int hgt,
                             int colorIndex, int ribbonMaker, int sx, int sy) {
    if (plane == nullptr || wid <= 0 || hgt <= 0) return;
    KD_Log2("[ko][%s][%d] sx=%d, sy=%d, wid=%d, hgt=%d", "CKDCtrl::KD_ToneCorrection_Black", 0,
            sx, sy, hgt, wid);
    const size_t size = static_cast<size_t>(wid) * hgt;
    std::vector<uint8_t> lines(size);
    std::vector<uint8_t> blackLines;
    Transpose(plane, hgt, wid, lines.data());
    if (black != nullptr) {
        blackLines.resize(size);
        Transpose(black, hgt, wid, blackLines.data());
    }
    KD_ToneCorrection_Black_Lines(lines.data(), black ? blackLines.data() : nullptr, hgt, wid,
                                  colorIndex, ribbonMaker);
    Transpose(lines.data(), wid, hgt, plane);
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
