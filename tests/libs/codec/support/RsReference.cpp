#include "RsReference.h"

#include <cstddef>

using std::size_t;

namespace RsReference {

uint8_t multiply(uint8_t a, uint8_t b)
{
    unsigned product = 0, x = a;
    for (int bit = 0; bit < 8; ++bit) {
        if (b & (1 << bit))
            product ^= x;
        x <<= 1;
        if (x & 0x100)
            x ^= 0x11D;
    }
    return static_cast<uint8_t>(product);
}

namespace {

std::vector<uint8_t> generator()
{
    std::vector<uint8_t> g = {1}; // highest degree first
    uint8_t root = 1;
    for (int i = 0; i < 10; ++i) {
        std::vector<uint8_t> next(g.size() + 1, 0);
        for (size_t j = 0; j < g.size(); ++j) {
            next[j] ^= g[j];
            next[j + 1] ^= multiply(g[j], root);
        }
        g = next;
        root = multiply(root, 2);
    }
    return g;
}

} // namespace

std::vector<uint8_t> encode(const std::vector<uint8_t> &data)
{
    static const std::vector<uint8_t> g = generator();
    std::vector<uint8_t> remainder(data);
    remainder.resize(data.size() + 10, 0);
    for (size_t i = 0; i < data.size(); ++i) {
        const uint8_t factor = remainder[i];
        if (factor == 0)
            continue;
        for (size_t j = 0; j < g.size(); ++j)
            remainder[i + j] ^= multiply(g[j], factor);
    }
    std::vector<uint8_t> word(data);
    word.insert(word.end(), remainder.end() - 10, remainder.end());
    return word;
}

bool isCodeword(const std::vector<uint8_t> &word)
{
    uint8_t x = 1;
    for (int j = 0; j < 10; ++j) {
        uint8_t s = 0;
        for (uint8_t symbol : word)
            s = static_cast<uint8_t>(multiply(s, x) ^ symbol);
        if (s)
            return false;
        x = multiply(x, 2);
    }
    return true;
}

} // namespace RsReference
