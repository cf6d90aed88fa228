// Panel conversion: the canvases of one card side become one 8-bit plane per panel (Y, M,
// C, K, overlay, mono, mono extended), empty panels are marked white, black is extracted
// from the colour canvas, and each non-empty plane goes to the data maker and then to the
// printer. The data maker, the sender and the configuration reads are hooks, so the
// conversion is tested without a printer.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "print/canvas.h"

// One plane handed to the data maker. Line L of the plane is card column L (from the left
// edge), byte c of a line is card line c (from the top edge): the canvas turned 90 degrees
// right, as the print head runs across the short side of the card.
struct KD_PanelPlane {
    int panelIndex = 0;        // 0 Y, 1 M, 2 C, 3 K, 4 O, 5 mono, 6 mono extended
    int option = 0;            // option word of the data maker
    int correction = 0;        // active correction word of the panel
    PrintGeometry geometry;    // y position and print height set from the print area
    int printStart = 0;        // first line with ink (after the minimum-length rule)
    int printEnd = 0;          // one past the last
    const uint8_t* plane = nullptr;  // geometry.maxHeight lines of geometry.maxWidth bytes
    const uint8_t* black = nullptr;  // colour panels: the black-extraction copy, same layout
};

struct KD_PanelHooks {
    // Makes the print data of a plane into `commands`; returns its size in bytes (< 1:
    // nothing to send) and sets the command count.
    std::function<int(CKDCtrl&, const KD_PanelPlane&, std::vector<uint8_t>& commands,
                      int& commandCount)> convert;
    // Sends a command buffer for a panel; returns the status.
    std::function<int(CKDCtrl&, const uint8_t* commands, int size, int panelIndex,
                      int commandCount)> send;
    // Reads a configuration item; returns the status. Empty: the printer is asked.
    std::function<int(CKDCtrl&, int item, int* value)> readItem;
};

// Converts and sends the panels of one card side. Returns 0 (or 35) on success, else the
// status of the failed send; also stores it. Canvases are cleared afterwards unless the
// ribbon runs in two passes (m_RibbonPass 3).
int KD_TransferOuputBuffer(CKDCtrl& ctrl, int nRibbon, int bBlackPanel, int nSendPanel,
                           const KD_PanelHooks& hooks);

// The option word of a panel (before the halftoning bits of overlay and mono).
int KD_PanelOption(const CKDCtrl& ctrl, int panelIndex, int nRibbon);

// Black extraction of the colour canvas into m_ImgRgbBlack: neutral pixels (all three inks
// below m_black_on and within 10 of each other, or all three equal) are kept, others 0.
// Returns the count of kept pixels.
int KD_ExtractBlack(CKDPrintBuffers& buffers);

// One panel's plane from its canvas, laid out as KD_PanelPlane describes: `maxHeight` lines
// of `maxWidth` bytes, byte `byteIndex` of each pixel.
void KD_ExtractPlane(const CxImage& canvas, int byteIndex, int maxWidth, int maxHeight,
                     std::vector<uint8_t>& plane);

// Black split of a file image (ribbon letter 'b'): pixels below the black threshold that
// are neutral (within 10 of each other, or equal) go to the K canvas and are whitened in
// the colour picture, whose holes then take the colour to their left; K is transferred
// with bit 0x08, the rest with bits 0x07, both at (x, y). Returns the first failing
// transfer's status, else 0. `image` must be 24 bpp; it is changed.
int KD_TransferBlackSplit(CKDCtrl& ctrl, CxImage& image, int x, int y);
