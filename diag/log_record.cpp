#include "diag/log_record.h"

#include "platform/clock.h"

namespace {

// The runtime's linear congruential generator (15-bit outputs), kept private so the log
// neither disturbs nor depends on anyone else's use of rand().
class RecordRandom {
public:
    void Seed(uint32_t seed) { state_ = seed; }
    uint8_t NextByte() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<uint8_t>((state_ >> 16) & 0x7FFFu);
    }

private:
    uint32_t state_ = 1;
};

RecordRandom g_random;
bool g_seededFromClock = false;
uint32_t g_recordCounter = 1;

}  // namespace

KD_ScrambleKey KD_NextScrambleKey() {
    if (!g_seededFromClock) {
        g_random.Seed(static_cast<uint32_t>(plat::MicroCounter()));
        g_seededFromClock = true;
    } else {
        g_random.Seed(g_recordCounter++);
    }
    KD_ScrambleKey key{};
    for (uint8_t& k : key.k) k = g_random.NextByte();
    key.r1 = g_random.NextByte();
    key.r2 = g_random.NextByte();
    return key;
}

std::string KD_ScrambleRecord(const std::string& line, const KD_ScrambleKey& key) {
    const uint32_t length = static_cast<uint32_t>(line.size());
    const uint8_t l0 = length & 0xFF, l1 = (length >> 8) & 0xFF, l2 = (length >> 16) & 0xFF,
                  l3 = (length >> 24) & 0xFF;
    const uint8_t* k = key.k;
    std::string record;
    record.reserve(kScrambleHeaderSize + line.size());
    for (uint8_t b : key.k) record.push_back(static_cast<char>(b));
    auto sum = [](uint8_t a, uint8_t b) { return static_cast<uint8_t>(a + b); };
    record.push_back(static_cast<char>(sum(k[6], k[4]) ^ l3));
    record.push_back(static_cast<char>(sum(k[5], k[3]) ^ l0));
    record.push_back(static_cast<char>(sum(k[4], k[2]) ^ l2));
    record.push_back(static_cast<char>(sum(k[3], k[1]) ^ key.r1));
    record.push_back(static_cast<char>(sum(k[2], k[0]) ^ l1));
    record.push_back(static_cast<char>(sum(k[5], k[1]) ^ key.r2));
    for (size_t i = 0; i < line.size(); ++i) {
        uint8_t mask = static_cast<uint8_t>(k[i % 7] + (i % 256));
        record.push_back(static_cast<char>(static_cast<uint8_t>(line[i]) ^ mask));
    }
    return record;
}

size_t KD_UnscrambleRecord(const void* data, size_t size, std::string& line) {
    line.clear();
    if (!data || size < kScrambleHeaderSize) return 0;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    const uint8_t* k = p;
    auto sum = [](uint8_t a, uint8_t b) { return static_cast<uint8_t>(a + b); };
    const uint32_t l3 = p[7] ^ sum(k[6], k[4]);
    const uint32_t l0 = p[8] ^ sum(k[5], k[3]);
    const uint32_t l2 = p[9] ^ sum(k[4], k[2]);
    const uint32_t l1 = p[11] ^ sum(k[2], k[0]);
    const uint64_t length = l0 | (l1 << 8) | (l2 << 16) | (l3 << 24);
    if (length > size - kScrambleHeaderSize) return 0;
    line.resize(static_cast<size_t>(length));
    for (size_t i = 0; i < line.size(); ++i) {
        uint8_t mask = static_cast<uint8_t>(k[i % 7] + (i % 256));
        line[i] = static_cast<char>(p[kScrambleHeaderSize + i] ^ mask);
    }
    return kScrambleHeaderSize + line.size();
}
