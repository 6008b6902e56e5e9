// SPDX-License-Identifier: GPL-3.0-or-later
// The 768-byte preset image and the start-up defaults.
#include <gtest/gtest.h>

#include <numeric>
#include <tuple>

#include "DeviceParameters.h"

namespace quorvell {
namespace {

TEST(ParameterImage, FieldsLieAtTheirFileOffsetsLittleEndian) {
    DeviceParameters p{};
    p.channels[0].bands[1].freq = 0x01020304;
    p.channels[1].bands[0].freq = 0x0A0B0C0D;  // CH2's unused slot is in the image
    p.channels[0].bands[0].freq = 0x7777;      // CH1's is not
    p.mainLevel = 0x11223344;
    p.deviceName[0] = 'Q';
    p.linkUp = 1;
    p.recalledAt.year = 0x07EA;
    const ParameterImage img = WriteParameterImage(p);
    const auto at = [&](std::size_t off) {
        return std::vector<std::uint8_t>(img.begin() + static_cast<long>(off),
                                         img.begin() + static_cast<long>(off) + 4);
    };
    EXPECT_EQ(at(0), (std::vector<std::uint8_t>{4, 3, 2, 1}));
    EXPECT_EQ(at(320), (std::vector<std::uint8_t>{0x0D, 0x0C, 0x0B, 0x0A}));
    EXPECT_EQ(at(704), (std::vector<std::uint8_t>{0x44, 0x33, 0x22, 0x11}));
    EXPECT_EQ(img[708], 'Q');
    EXPECT_EQ(img[724], 1);
    EXPECT_EQ(img[750], 0xEA);
    EXPECT_EQ(img[751], 0x07);
}

TEST(ParameterImage, RoundTripKeepsEveryByteAndShortInputOverwritesOnlyItsOwn) {
    ParameterImage img;
    std::iota(img.begin(), img.end(), 0);  // reserved bytes included
    DeviceParameters p{};
    ReadParameterImage(p, img);
    EXPECT_EQ(WriteParameterImage(p), img);

    DeviceParameters q{};
    ResetDeviceParameters(q);
    const std::array<std::uint8_t, 4> head = {0x10, 0x27, 0, 0};  // band 1 freq = 10000
    ReadParameterImage(q, head);
    EXPECT_EQ(q.channels[0].bands[1].freq, 10000);
    EXPECT_EQ(q.channels[0].bands[1].gain, 180);
    EXPECT_EQ(q.channels[1].bands[7].freq, 12000);
}

TEST(ResetDefaults, LoadsStartValuesAndLeavesTheRestAlone) {
    DeviceParameters p{};
    p.channels[0].hipass.type = 4;
    p.channels[1].lopass.q = 33;
    p.channels[0].phase = 1;
    p.mainLevel = 7;
    p.deviceName[0] = 'N';
    p.linkUp = 1;
    ResetDeviceParameters(p);
    for (const auto& ch : p.channels) {
        EXPECT_EQ(std::tie(ch.hipass.freq, ch.lopass.freq, ch.level), std::tuple(20, 20000, 0));
        const auto& l = ch.limiter;
        EXPECT_EQ(std::tie(l.attack, l.release, l.ratio, l.threshold), std::tuple(1, 1, 10, 0));
        for (int b = 1; b <= kBandCount; ++b) {
            const auto& band = ch.bands[b];
            EXPECT_EQ(std::tie(band.freq, band.gain, band.q, band.flag),
                      std::tuple(kDefaultBandFreq[b - 1], 180, 20, 1));
        }
        EXPECT_EQ(ch.bands[0].flag, 0);
    }
    EXPECT_EQ(std::tie(p.channels[0].hipass.type, p.channels[1].lopass.q, p.channels[0].phase,
                       p.mainLevel, p.linkUp),
              std::tuple(4, 33, 1, 7, 1));
    EXPECT_EQ(DeviceNameText(p), "N");
}

}  // namespace
}  // namespace quorvell
