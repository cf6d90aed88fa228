// Image sources and the print canvases: writing a picture into the canvases as ink
// amounts, clearing them, the print geometry per ribbon type, memory images and the BMP
// writer of debug and dump files.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "print/print_buffers.h"

class CKDCtrl;

// Print geometry of a ribbon type, in dots.
struct PrintGeometry {
    int xPos = 0;
    int yPos = 0;
    int printWidth = 0;
    int printHeight = 0;
    int maxWidth = 0;
    int maxHeight = 0;
};

// Writes a 24-bpp picture at (x, y) into the canvases of the named panels (nRibbonBit),
// creating missing canvases. Ink: Y = 255 - B, M = 255 - G, C = 255 - R for 0x07;
// K = 255 - floor((306 R + 601 G + 117 B) / 1024) for K, overlay and mono (K only for pure
// black pixels when colour is also named). The picture is cut to the clip area that
// remains from (x, y). Returns 0, or 21 for no panel bit, a negative position, a position
// outside the clip area, a picture that is not 24 bpp, or a canvas that cannot be made;
// the status is also stored in the controller. On failure the canvas state is unchanged.
int KD_TransferData(CKDCtrl& ctrl, int nRibbonBit, int x, int y, const CxImage& image);

// Clears the named canvases (0 ink) and marks their panels white. Returns 0.
int KD_ClearOuputBuffer(CKDCtrl& ctrl, int nRibbonBit);

// Geometry of a ribbon type (128 half panel, 8 long mono, 9 logo, any other card size).
PrintGeometry KD_GetPrintSize(CKDCtrl& ctrl, int ribbonType);

// Panel bits of a memory image for a ribbon type and panel number (0 when none applies).
int KD_MemoryPanelBits(int ribbonType, int panel);

// Memory image types.
enum KD_MemoryImageType : int {
    KD_MEMORY_PACKED_DIB = 0,     // any value other than 1 and 10
    KD_MEMORY_JPEG = 1,           // JPEG file bytes
    KD_MEMORY_HBITMAP = 10,       // no Linux bitmap handles: a packed DIB as well
};

// Decodes a memory block (JPEG bytes or a packed DIB), raises it to 24 bpp and transfers
// it at (x, y) for the panel bits of the ribbon type and panel. Returns 0, 21 for a null
// block or a refused transfer, 71 when the block cannot be decoded.
int PrintMemoryImage(CKDCtrl& ctrl, const void* block, size_t size, int imageType,
                     int ribbonType, int panel, int x, int y);

// Writes a BMP file from `height` row pointers (rows[0] is the top line; written last),
// each holding (bpp x width + 7) / 8 bytes. Rows are padded to the standard stride
// ((bpp x width + 31) / 32) x 4; bpp up to 8 gets a gray palette (1 bpp: 0 black,
// 1 white). With invert set (newer command set) every data byte is inverted.
bool SaveBitmapFile(int bpp, const std::string& path, int width, int height,
                    const uint8_t* const* rows, bool invert);
// As above, inverting when the controller uses the newer command set.
bool SaveBitmapFile(CKDCtrl& ctrl, int bpp, const std::string& path, int width, int height,
                    const uint8_t* const* rows);

// Where debug images are written: the buffers' folder, else the data folder's Temp/.
std::string KD_ImageLogPath(const CKDPrintBuffers& buffers, const std::string& name);
