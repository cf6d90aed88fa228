// Debug pictures for people: an ink plane written as a gray PNG (ink 255 shows black).
#pragma once
#include <cstdint>
#include <string>

class CxImage;

// Writes `rows` lines of `width` bytes (line 0 at the top); false when it cannot be written.
bool KD_SavePlanePng(const std::string& path, const uint8_t* plane, int width, int rows);
// Writes any picture of the container as an RGB PNG, each dot scaled to scale x scale
// pixels (1..16) so that small pictures can be looked at.
bool KD_SaveImagePng(const std::string& path, const CxImage& image, int scale = 1);
