// LUM_<name>: a second exported name for an export, the same function under both names.
// Place it right after the export's definition (the alias must be in the same file).
#pragma once
#include "orvpw.h"

#define ORVPW_LUM_ALIAS(name) \
    extern "C" ORVPW_API __typeof__(name) LUM_##name __attribute__((alias(#name)))
