// Tone correction, image enhancement and halftoning: the tone-file values and correction
// words, the filter mode, the colour-adjust parameters, the file-image enhancement, the
// step corrections of the colour planes, the black-panel corrections, the line
// compensation of application planes and the halftoning of mono, overlay and logo planes.
//
// Planes are 8-bit ink (0 none, 255 full), `rows` lines of `width` bytes, line after line.
#pragma once
#include <cstdint>
#include <string>

#include "print/print_buffers.h"

class CKDCtrl;

// ---- Settings ------------------------------------------------------------------------------

// Reads the tone keys of a section of the tone file into `tone`. Absent keys leave their
// field unchanged; "BlackOn" > 255 gives 3, "MGARO" > 255 gives 6, "ERODE" > 255 gives 2.
// Returns true when any key was found.
bool KD_LoadToneSettings(const std::string& toneFilePath, int section, KD_ToneSettings& tone);

// The correction word for a ribbon letter: 'c', 'y' Y/M/C; 'B', 'b', 'k' K; 'L', 'e', 'm'
// mono; others the default word. A zero specific word falls back to the default.
int KD_CorrectionForRibbonLetter(const KD_ToneSettings& tone, char letter);
// The correction word for panel index 0..6 (Y, M, C, K, O, mono, mono extended).
int KD_CorrectionForPanel(const KD_ToneSettings& tone, int panelIndex);

// Filter mode of Image_ProcessSend(nMode): m_bFilter = nMode & 0x83, m_iSharpening = bits
// 2..6 of nMode, or 5 when they are all 0.
void KD_SetFilterMode(CKDPrintBuffers& buffers, int nMode);

// Colour-adjust parameters of SetColorAdjustEx (each argument a 16-bit value).
void KD_SetColorAdjustEx(KD_ColorAdjust& adjust, int type, int a, int b, int c, int d);

// Settings-file values of the sharpening and the black-panel edge adjustment.
struct KD_SharpeningSettings {
    int radius = 50;    // tenths of a dot
    int amount = 0;
    int threshold = 0;
};
KD_SharpeningSettings KD_ReadSharpening(const std::string& settingsPath, int defaultAmount);
KD_BlackEdgeSettings KD_ReadBlackEdgeSettings(const std::string& settingsPath);

// ---- File-image enhancement ----------------------------------------------------------------

// Inputs of the enhancement that come from the caller's context.
struct KD_EnhanceContext {
    char ribbonLetter = 'c';
    int firmwareVersion = 0;
    KD_SharpeningSettings sharpening;
    bool sharpeningSet = false;   // SetSharpening was called: its value is the amount
    int sharpeningValue = 0;
    bool blurAllowed = true;      // no SetDiffusion call, or one with 1
    int brightness = 0;           // already minus 50
    int contrast = 0;
};

// Runs the file-image steps on a 24-bpp picture in order: correction word by ribbon
// letter (stored as the active word), erode / colour count / text-blur test / edge
// darkening for 'c' with bit 0x001, sharpen (m_bFilter 0x01), blur (0x02), light (0x002).
void KD_EnhanceFileImage(CKDPrintBuffers& buffers, CxImage& image, const KD_EnhanceContext& context);

// True when every channel of the non-gray pixels holds at most 220 distinct values 1..255.
bool KD_FewColours(const CxImage& image);
// Pixels whose first two bytes a text blur (100, 2, 3, both directions) changes, counting
// stops at `limit`.
int KD_TextBlurChanges(const CxImage& image, int limit);
// Edge darkening: every pixel where the 3 x 3 filtered copy is not white loses 100 per channel.
void KD_DarkenEdges(CxImage& image);

// ---- Plane corrections -------------------------------------------------------------------

// Colour step correction on `lines` (H lines of W dots), colour index 0 Y, 1 M, 2 C.
void KD_ToneCorrection_ncolor_Lines(uint8_t* lines, int W, int H, int colorIndex);
// Step-difference correction with line balance on `lines` (H lines of W dots); `black` is
// the black copy in the same layout.
void KD_ToneCorrection_Black_Lines(uint8_t* lines, const uint8_t* black, int W, int H,
                                   int colorIndex, int ribbonMaker);
// The same on a data-maker plane of `hgt` rows of `wid` dots: a correction line is one
// column of the plane (the plane is transposed for the call and back).
void KD_ToneCorrection_ncolor(uint8_t* plane, int wid, int hgt, int colorIndex, int sx, int sy);
void KD_ToneCorrection_Black(uint8_t* plane, const uint8_t* black, int wid, int hgt,
                             int colorIndex, int ribbonMaker, int sx, int sy);

// Black-panel edge adjustment of a K plane (nothing when settings.on is 0).
void KD_MakeBlackPanel(uint8_t* plane, int width, int rows, const KD_BlackEdgeSettings& settings);
// K binarisation at 181: below becomes 0, the rest 255.
void KD_BinarizeK(uint8_t* plane, int size);

// Line compensation of an application plane (len bytes a line, h lines; the first line of
// the picture is the last in memory). Returns false when nothing is done (type 0).
bool KD_LineCompensation(uint8_t* plane, int len, int h, const KD_ColorAdjust& adjust);

// ---- Halftoning -----------------------------------------------------------------------------

// Option bits of the mono and overlay planes.
enum KD_HalftoneOption : int {
    KD_OPTION_DITHERING = 0x100,
    KD_OPTION_DITHERING_PHOTO = 0x200,
    KD_OPTION_DITHERING_LINEART = 0x400,
    KD_OPTION_DITHERING_ORDERED = 0x800,
};
// Halftones an ink plane in place to 0 / 255 by the option bits; returns the dither method
// used, or -1 when the plane is left for the data maker (any ink makes a dot).
int KD_HalftonePlane(uint8_t* plane, int width, int rows, int option, int correction);
// Logo halftoning of a 24-bpp picture: gray (2 R + 9 G + 5 B) / 16 for non-black pixels,
// then serpentine Jarvis-Judice-Ninke with threshold 128 (255 dots take no error).
void KD_LogoDiffusion(CxImage& image);
