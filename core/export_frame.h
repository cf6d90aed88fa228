// The one shape of every export: entry line, port check, purge, the operation, exit line,
// 0 or -1. No exception leaves an export: a catch-all here turns it into status 70.
#pragma once
#include <functional>
#include <string>

#include "core/controller.h"

using KD_Operation = std::function<int(CKDCtrl&)>;
// Returns the text after "OK, <operation>" on the exit line; empty = the default
// " : KD_GetLastStatusCd = [%d]".
using KD_OkTail = std::function<std::string(CKDCtrl&)>;

// Full frame: "[S]name[ - arguments]", port check, purge when flagged, the operation,
// "[E]name - OK|NG, operation : KD_GetLastStatusCd = [status]". Returns 0 or -1.
int KD_FullFrame(const char* exportName, const std::string& arguments,
                 const char* operationName, const KD_Operation& operation,
                 const KD_OkTail& okTail = {});

// Open/list frame: as the full frame without port check and purge (the operation selects
// or opens the port itself).
int KD_OpenFrame(const char* exportName, const std::string& arguments,
                 const char* operationName, const KD_Operation& operation,
                 const KD_OkTail& okTail = {});

// Setting frame: no port check, no purge, no printer traffic.
int KD_SettingFrame(const char* exportName, const std::string& arguments,
                    const char* operationName, const KD_Operation& operation,
                    const KD_OkTail& okTail = {});

// "KD_" + the export name: the usual operation name of the exit line.
std::string KD_OperationName(const char* exportName);
