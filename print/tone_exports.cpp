// Exports of tone correction: colour-adjust parameters, line compensation of application
// planes and the file-to-file resize or crop.
#include "core/export_frame.h"
#include "core/format.h"
#include "core/lum_alias.h"
#include "diag/log.h"
#include "print/image/cx_image.h"
#include "print/tone.h"

namespace {

// Planes larger than this are refused (no card needs more).
constexpr int kMaxPlaneSide = 4096;

int MakePrintImageOperation(CKDCtrl& ctrl, unsigned char* data, int width, int height, int colorIndex) {
    if (data == nullptr || width <= 0 || height <= 0 || width > kMaxPlaneSide || height > kMaxPlaneSide)
        return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
    if (colorIndex == -1) colorIndex = 3;
    if (colorIndex & 0xF0) {
        // Print data for a PC-side plane is made by the data makers, which this build lacks.
        KD_Log2("MakePrintImageEx - no data maker for colour index %Xh", colorIndex);
        return ctrl.SetStatus(ERR_KD_COMMAND_ERROR);
    }
    if (colorIndex != 3) KD_LineCompensation(data, width, height, ctrl.m_PrintBuffers.m_ColorAdjust);
    return ctrl.SetStatus(ERR_KD_OK);
}

int ImageAdjustOperation(CKDCtrl& ctrl, const char* source, const int* sourceRect,
                         const char* destination, const int* destinationRect, int mode) {
    if (source == nullptr || destination == nullptr) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
    const int type = ImageFileType(source);
    CxImage image;
    if (type == KD_IMAGE_TYPE_UNKNOWN || !image.Load(source, type)) {
        KD_Log1("Load failed: %s", source);
        return ctrl.SetStatus(ERR_KD_FILE);
    }
    const int width = image.GetWidth();
    const int height = image.GetHeight();
    bool ok = true;
    switch (mode) {
        case 0: {
            if (destinationRect == nullptr) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
            const int w = destinationRect[2] - destinationRect[0];
            const int h = destinationRect[3] - destinationRect[1];
            ok = image.Resample(w > 0 ? w : width, h > 0 ? h : height);
            break;
        }
        case 1: {
            if (sourceRect == nullptr) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
            const int right = sourceRect[2] != 0 ? sourceRect[2] : width;
            const int bottom = sourceRect[3] != 0 ? sourceRect[3] : height;
            ok = image.Crop(sourceRect[0], sourceRect[1], right, bottom);
            break;
        }
        case 2: {
            if (destinationRect == nullptr) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
            const int wPercent = destinationRect[2] - destinationRect[0];
            const int hPercent = destinationRect[3] - destinationRect[1];
            if (wPercent < 10 || wPercent > 400 || hPercent < 10 || hPercent > 400)
                return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
            ok = image.Resample(std::max(1, width * wPercent / 100), std::max(1, height * hPercent / 100));
            break;
        }
        default: return ctrl.SetStatus(ERR_KD_OK);
    }
    if (!ok || !image.SaveBmp(destination)) {
        KD_Log1("Save failed: %s", destination);
        return ctrl.SetStatus(ERR_KD_FILE);
    }
    return ctrl.SetStatus(ERR_KD_OK);
}

}  // namespace

extern "C" ORVPW_API int SetColorAdjust(int nType) {
    return KD_SettingFrame("SetColorAdjust", KD_Format("nType = [%d]", nType), nullptr, [=](CKDCtrl& ctrl) {
        KD_ColorAdjust& adjust = ctrl.m_PrintBuffers.m_ColorAdjust;
        if (adjust.type != nType) KD_Log2("m_CA_Type = %d -> %d", adjust.type, nType);
        adjust.type = nType;
        return ctrl.SetStatus(ERR_KD_OK);
    });
}

extern "C" ORVPW_API int SetColorAdjustEx(int nType, int nA, int nB, int nC, int nD) {
    return KD_SettingFrame("SetColorAdjustEx",
                           KD_Format("nType = [%d], A = [%04X], B = [%04X], C = [%04X], D = [%04X]",
                                     nType, nA & 0xFFFF, nB & 0xFFFF, nC & 0xFFFF, nD & 0xFFFF),
                           nullptr, [=](CKDCtrl& ctrl) {
                               KD_SetColorAdjustEx(ctrl.m_PrintBuffers.m_ColorAdjust, nType, nA, nB, nC, nD);
                               return ctrl.SetStatus(ERR_KD_OK);
                           });
}

extern "C" ORVPW_API int MakePrintImageEx(unsigned char* pData, int nImgWid, int nImgHgt, int nColorIndex) {
    return KD_SettingFrame("MakePrintImageEx",
                           KD_Format("nImgWid = [%d], nImgHgt = [%d], nColorIndex = [%d]", nImgWid,
                                     nImgHgt, nColorIndex),
                           nullptr, [=](CKDCtrl& ctrl) {
                               return MakePrintImageOperation(ctrl, pData, nImgWid, nImgHgt, nColorIndex);
                           });
}

extern "C" ORVPW_API int MakePrintImage(unsigned char* pData, int nImgWid, int nImgHgt) {
    return KD_SettingFrame("MakePrintImage", KD_Format("nImgWid = [%d], nImgHgt = [%d]", nImgWid, nImgHgt),
                           nullptr, [=](CKDCtrl& ctrl) {
                               return MakePrintImageOperation(ctrl, pData, nImgWid, nImgHgt, 0);
                           });
}

extern "C" ORVPW_API int Image_Adjust(const char* pSrc, const int* pSrcRect, const char* pDst,
                                      const int* pDstRect, int iMode1, int iMode2, int iMode3) {
    return KD_SettingFrame("Image_Adjust",
                           KD_Format("Src = [%s], Dst = [%s], iMode1 = [%d], iMode2 = [%d], iMode3 = [%d]",
                                     pSrc ? pSrc : "(null)", pDst ? pDst : "(null)", iMode1, iMode2, iMode3),
                           nullptr, [=](CKDCtrl& ctrl) {
                               return ImageAdjustOperation(ctrl, pSrc, pSrcRect, pDst, pDstRect, iMode3);
                           });
}
ORVPW_LUM_ALIAS(Image_Adjust);
