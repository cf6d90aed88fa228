// Card movement exports.
#include "core/export_frame.h"
#include "core/lum_alias.h"

namespace {
constexpr int kCardInsert = 4;  // !RIP / "MI"
constexpr int kCardInsertTimeoutUs = 22000000;
}  // namespace

extern "C" ORVPW_API int Card_Insert(void) {
    return KD_FullFrame("Card_Insert", "", nullptr, [](CKDCtrl& ctrl) {
        return ctrl.KD_Exchange(kCardInsert, 0, kCardInsertTimeoutUs, 0);
    });
}
ORVPW_LUM_ALIAS(Card_Insert);
