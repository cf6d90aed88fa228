// Scrambled log records: a 13-byte header carrying the line length under seven key bytes,
// then the line with each byte XOR-ed by (key[i mod 7] + i). It keeps casual readers out of
// a log; it is not encryption.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t kScrambleHeaderSize = 13;

// The nine random bytes of one record: key k0..k6, fillers r1 and r2.
struct KD_ScrambleKey {
    uint8_t k[7];
    uint8_t r1;
    uint8_t r2;
};

// Draws the key of the next record. The first record of the process seeds the generator
// from the clock, every later one with a counter starting at 1. Not thread-safe: the log
// writer calls it under its write lock.
KD_ScrambleKey KD_NextScrambleKey();

std::string KD_ScrambleRecord(const std::string& line, const KD_ScrambleKey& key);

// Decodes the record at the start of data. Returns the bytes it took (header + line), or 0
// when the data is too short for the length the header announces.
size_t KD_UnscrambleRecord(const void* data, size_t size, std::string& line);
