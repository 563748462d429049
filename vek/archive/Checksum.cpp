#include "vek/archive/Checksum.h"

#include <cstring>
#include <fstream>
#include <memory>

namespace vek {
namespace {

// Slicing-by-8: eight tables let the loop fold eight bytes per step.
struct CrcTables {
    std::uint32_t t[8][256];
    constexpr CrcTables() : t{} {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
            t[0][i] = c;
        }
        for (std::uint32_t i = 0; i < 256; ++i) {
            for (int s = 1; s < 8; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
        }
    }
};
constexpr CrcTables kCrc;

constexpr std::uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

constexpr std::uint32_t rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

std::uint32_t loadBigEndian(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

std::string toHex(const std::uint8_t* bytes, std::size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out(size * 2, '0');
    for (std::size_t i = 0; i < size; ++i) {
        out[2 * i] = kDigits[bytes[i] >> 4];
        out[2 * i + 1] = kDigits[bytes[i] & 0xF];
    }
    return out;
}

} // namespace

std::uint32_t crc32(std::string_view data, std::uint32_t previous) {
    std::uint32_t c = ~previous;
    const auto* p = reinterpret_cast<const std::uint8_t*>(data.data());
    std::size_t n = data.size();
    while (n >= 8) {
        const std::uint32_t lo = c ^ (std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 |
                                      std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24);
        c = kCrc.t[7][lo & 0xFF] ^ kCrc.t[6][(lo >> 8) & 0xFF] ^ kCrc.t[5][(lo >> 16) & 0xFF] ^
            kCrc.t[4][lo >> 24] ^ kCrc.t[3][p[4]] ^ kCrc.t[2][p[5]] ^ kCrc.t[1][p[6]] ^
            kCrc.t[0][p[7]];
        p += 8;
        n -= 8;
    }
    while (n--) c = kCrc.t[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
    return ~c;
}

Sha256::Sha256()
    : state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
             0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19} {}

void Sha256::compress(const std::uint8_t* block, std::size_t blocks) {
    std::uint32_t w[64];
    for (; blocks > 0; --blocks, block += 64) {
        for (int i = 0; i < 16; ++i) w[i] = loadBigEndian(block + 4 * i);
        for (int i = 16; i < 64; ++i) {
            const std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
        std::uint32_t e = state_[4], f = state_[5], g = state_[6], h = state_[7];
        // Eight rounds per pass with the working variables renamed instead of
        // shifted, so that no register moves are needed between rounds.
        auto round = [&w](std::uint32_t a_, std::uint32_t b_, std::uint32_t c_, std::uint32_t& d_,
                          std::uint32_t e_, std::uint32_t f_, std::uint32_t g_, std::uint32_t& h_,
                          int i) {
            const std::uint32_t t1 = h_ + (rotr(e_, 6) ^ rotr(e_, 11) ^ rotr(e_, 25)) +
                                     ((e_ & f_) ^ (~e_ & g_)) + kRoundConstants[i] + w[i];
            const std::uint32_t t2 =
                (rotr(a_, 2) ^ rotr(a_, 13) ^ rotr(a_, 22)) + ((a_ & b_) ^ (a_ & c_) ^ (b_ & c_));
            d_ += t1;
            h_ = t1 + t2;
        };
        for (int i = 0; i < 64; i += 8) {
            round(a, b, c, d, e, f, g, h, i);
            round(h, a, b, c, d, e, f, g, i + 1);
            round(g, h, a, b, c, d, e, f, i + 2);
            round(f, g, h, a, b, c, d, e, i + 3);
            round(e, f, g, h, a, b, c, d, i + 4);
            round(d, e, f, g, h, a, b, c, i + 5);
            round(c, d, e, f, g, h, a, b, i + 6);
            round(b, c, d, e, f, g, h, a, i + 7);
        }
        state_[0] += a;
        state_[1] += b;
        state_[2] += c;
        state_[3] += d;
        state_[4] += e;
        state_[5] += f;
        state_[6] += g;
        state_[7] += h;
    }
}

void Sha256::update(std::string_view data) {
    if (data.empty()) return;
    const auto* p = reinterpret_cast<const std::uint8_t*>(data.data());
    std::size_t n = data.size();
    length_ += n;
    if (buffered_ > 0) {
        const std::size_t take = std::min(n, 64 - buffered_);
        std::memcpy(buffer_.data() + buffered_, p, take);
        buffered_ += take;
        p += take;
        n -= take;
        if (buffered_ < 64) return;
        compress(buffer_.data(), 1);
        buffered_ = 0;
    }
    if (n >= 64) {
        compress(p, n / 64);
        p += n / 64 * 64;
        n %= 64;
    }
    std::memcpy(buffer_.data(), p, n);
    buffered_ = n;
}

std::array<std::uint8_t, 32> Sha256::finish() {
    const std::uint64_t bits = length_ * 8;
    std::uint8_t tail[72] = {0x80};
    const std::size_t pad = (buffered_ < 56 ? 56 : 120) - buffered_;
    for (int i = 0; i < 8; ++i) tail[pad + i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    update(std::string_view(reinterpret_cast<const char*>(tail), pad + 8));
    std::array<std::uint8_t, 32> digest{};
    for (int i = 0; i < 8; ++i) {
        for (int k = 0; k < 4; ++k)
            digest[4 * i + k] = static_cast<std::uint8_t>(state_[i] >> (24 - 8 * k));
    }
    return digest;
}

std::string Sha256::finishHex() {
    const auto digest = finish();
    return toHex(digest.data(), digest.size());
}

std::string sha256Hex(std::string_view data) {
    Sha256 hash;
    hash.update(data);
    return hash.finishHex();
}

std::optional<std::string> sha256File(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    constexpr std::size_t kChunk = 1 << 20;
    const auto buffer = std::make_unique<char[]>(kChunk);
    Sha256 hash;
    while (in) {
        in.read(buffer.get(), kChunk);
        hash.update(std::string_view(buffer.get(), static_cast<std::size_t>(in.gcount())));
    }
    if (in.bad()) return std::nullopt;
    return hash.finishHex();
}

} // namespace vek
