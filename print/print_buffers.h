// The print canvases the controller owns, their state words, and the print-path settings
// that tone correction, enhancement and panel conversion read. One object lives in the
// controller (CKDCtrl::m_PrintBuffers); the operations on it are in print/canvas.h,
// print/tone.h and print/panel_conversion.h.
#pragma once
#include <cstdint>
#include <string>

#include "print/image/cx_image.h"

// Panel bits (nRibbonBit).
enum KD_PanelBit : int {
    KD_PANEL_Y = 0x01,
    KD_PANEL_M = 0x02,
    KD_PANEL_C = 0x04,
    KD_PANEL_YMC = 0x07,
    KD_PANEL_K = 0x08,
    KD_PANEL_O = 0x10,           // overlay or varnish
    KD_PANEL_MONO = 0x20,        // resin K of a mono ribbon
    KD_PANEL_MONO_EXT = 0x40,    // mono on the long 1190-dot format
    KD_PANEL_MONO_LOGO = 0x80,   // mono logo, 752 x 640
    KD_PANEL_ALL = 0x7F,
};

// Canvas size in dots (300 dpi).
inline constexpr int kCanvasWidth = 1192;
inline constexpr int kCanvasHeight = 768;

// "Exists" bits of the high byte of m_ImgRgbFlag.
inline constexpr uint16_t kCanvasColorExists = 0x0700;
inline constexpr uint16_t kCanvasBlackExists = 0x0800;
inline constexpr uint16_t kCanvasOverlayExists = 0x1000;
inline constexpr uint16_t kCanvasMonoExists = 0x2000;
inline constexpr uint16_t kCanvasMonoExtExists = 0x4000;
inline constexpr uint16_t kCanvasMonoLogoExists = 0x8000;

// Tone file values (section of the tone set) and correction words.
struct KD_ToneSettings {
    int blackVal = 0;         // m_BlackVal
    int blackOn = 3;          // m_black_on: black threshold of the black extraction
    int garo = 6;             // m_garo
    int erode = 2;            // m_erode: erode size of the file-image enhancement
    int correction = 0;       // m_correction: default correction word
    int ymcCorrection = 0;    // m_ymc_cor
    int colorKCorrection = 0; // m_colork_cor
    int monoCorrection = 0;   // m_mono_cor
};

// Correction word bits.
enum KD_CorrectionBit : int {
    KD_COR_ENHANCE = 0x001,
    KD_COR_LIGHT = 0x002,
    KD_COR_RGB_BALANCE = 0x004,
    KD_COR_UNSHARP = 0x008,
    KD_COR_PHOTO_DIFFUSION = 0x010,
    KD_COR_MONO_BITS = 0x020,
    KD_COR_BLACK_EDGE = 0x040,
    KD_COR_K_BINARY = 0x100,
};

// Colour-adjust parameters (SetColorAdjust / SetColorAdjustEx).
struct KD_ColorAdjust {
    int type = 1;       // m_CA_Type ("AdjustColor" of the settings file, 1 when absent)
    int formula = 0;    // m_CA_wFormula
    int ratio = 0;      // m_CA_wRatio
    int calcul = 0;     // m_CA_wCalcul
    int thresh = 0;     // m_CA_wThresh
    int adjLine = 0;    // m_CA_adjLine
    int adjStep = 0;    // m_CA_adjStep
    int adjRatio = 0;   // m_CA_adjRatio
    int vRatio = 0;     // m_CA_vRatio
};

// Black-panel edge adjustment settings (section "FW_ADJ" of the settings file).
struct KD_BlackEdgeSettings {
    int on = 0;
    int limit = 64;
    int region = 90;
    int prev[4] = {0, 0, 0, 0};
};

class CKDPrintBuffers {
public:
    CxImage ColorBuffer;    // Y, M, C ink in bytes 0, 1, 2
    CxImage BlackBuffer;    // K ink in all three bytes
    CxImage OverlayBuffer;  // overlay ink
    CxImage MonoBuffer;     // mono ink (mono, mono extended, logo)
    CxImage m_ImgRgbBlack;  // black-extraction copy of ColorBuffer

    uint16_t m_ImgRgbFlag = 0;   // high byte: canvases that exist; low byte: panels with data
    uint16_t m_WhitePanel = 0;   // panels known to be empty
    uint16_t m_ValidPanel = 0;   // panels whose data reached the printer

    int m_SaveMode = 0;          // Image_SaveMode: 1 = merge (OR) into the canvases
    int m_bLogImage = 0;         // write the intermediate images as BMP files
    int m_DumpFiles = 0;         // delete the panel dump files on clear
    int m_ActiveCorrection = 0;  // correction word of the current ribbon or panel
    uint8_t m_bFilter = 0;       // filter mode: 0x01 sharpen, 0x02 blur
    int m_iSharpening = 0;
    int m_ErrorDiffusion = 0;    // halftoning choice of mono and overlay panels
    int m_GrayLevel = 0;
    int m_RibbonPass = 1;        // 3 = two-pass colour
    int m_PrintSide = 0;         // 0 front, 1 back
    int m_PassPanel = 0;
    int m_PrintStart = 0;
    int m_OffsetY = -1;          // configuration item 27, read once below firmware 400
    int m_TPH_model = -1;        // print-head model (item 30), read once
    int m_PrintAreaItem26 = 12;  // configuration items 26 and 25 (print area)
    int m_PrintAreaItem25 = 11;

    KD_ToneSettings m_Tone;
    KD_ColorAdjust m_ColorAdjust;
    KD_BlackEdgeSettings m_BlackEdge;

    // Folder of the debug images; empty = the data folder's Temp/.
    std::string m_ImageLogFolder;
};
