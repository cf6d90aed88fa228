// printf-style formatting into a std::string, for log arguments and texts.
#pragma once
#include <string>

std::string KD_Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
