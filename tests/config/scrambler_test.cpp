#include "config/scrambler.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace koravel::config {
namespace {

std::string Scrambled(const std::string& plain) {
    return Encrypt(plain, StartKey, Multiplier, Increment);
}

TEST(Scrambler, FixedVectorsWorkedOutByHand) {
    // First mask = (0x2C9 >> 8) & 0xFF = 0x02, so 'A' (0x41) scrambles to 0x43.
    // Key = (0x2C9 + 0x43) * 0x9E3C + 0x4D27 = 0x30C * 0x9E3C + 0x4D27 = 0x1E26BF7;
    // second mask = 0x6B, so 'B' (0x42) scrambles to 0x29.
    EXPECT_EQ(Scrambled("A"), "\x43");
    EXPECT_EQ(Scrambled("AB"), "\x43\x29");
    // Key after 'p' (0x72 scrambled) = 0x33B * 0x9E3C + 0x4D27 = 0x1FF78FB: mask 0x78 = 'x'.
    EXPECT_EQ(Scrambled("px"), std::string("\x72\x00", 2));
    EXPECT_EQ(Scrambled("pass"), "\x72\x19\x76\x3E");
    // Mask 0 first, then key = (0 + 0x41) * 1 + 0x100 = 0x141: mask 0x01.
    EXPECT_EQ(Encrypt("AA", 0, 1, 0x100), "\x41\x40");
    EXPECT_EQ(Decrypt("\x41\x40", 0, 1, 0x100), "AA");
}

TEST(Scrambler, DecryptUndoesEncryptAtEveryLength) {
    std::mt19937 random(20240601);
    std::uniform_int_distribution<int> byte(0, 255);
    for (std::size_t length = 0; length <= 300; ++length) {
        std::string plain;
        for (std::size_t i = 0; i < length; ++i) plain.push_back(static_cast<char>(byte(random)));
        const std::string scrambled = Scrambled(plain);
        ASSERT_EQ(scrambled.size(), length);
        ASSERT_EQ(Decrypt(scrambled, StartKey, Multiplier, Increment), plain) << length;
    }
}

TEST(Scrambler, LongTextIsScrambledToTheEnd) {
    const std::string plain(300, 'a');
    const std::string scrambled = Scrambled(plain);
    // An 8-bit byte count would leave bytes from 256 on untouched or missing.
    EXPECT_NE(scrambled.substr(256), plain.substr(256));
}

TEST(Scrambler, MaskDependsOnlyOnEarlierScrambledBytes) {
    const std::string a = Scrambled("secret-1");
    const std::string b = Scrambled("secret-2");
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(a.substr(0, 7), b.substr(0, 7));
    EXPECT_NE(a.back(), b.back());
    EXPECT_EQ(a.back() ^ b.back(), '1' ^ '2');
}

}  // namespace
}  // namespace koravel::config
