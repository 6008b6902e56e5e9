// SPDX-License-Identifier: GPL-3.0-or-later
// Scripted parameter edits: paths, unit conversion, ranges and refusals.
#include <gtest/gtest.h>

#include "ParameterPaths.h"

namespace quorvell {
namespace {

// A value in display units is rounded to the nearest raw step, and the edit names the record
// whose command carries the field.
TEST(ParameterPaths, DisplayUnitsRoundToTheNearestRawStep) {
    using K = RecordKind;
    struct Case {
        const char* assignment;
        const char* path;
        std::int32_t raw;
        Record record;
    } cases[] = {
        {"ch2.band4.gain=-6.5", "ch2.band4.gain", 115, Record{K::EqBand, 1, 4}},
        {"ch1.band1.gain=0.04", "ch1.band1.gain", 180, Record{K::EqBand, 0, 1}},
        {"ch1.band7.freq=999.6", "ch1.band7.freq", 1000, Record{K::EqBand, 0, 7}},
        {"ch1.band2.q=2.0", "ch1.band2.q", 20, Record{K::EqBand, 0, 2}},
        {"main.level=0.0", "main.level", 48, Record{K::Level, 0, 0}},
        {"main.level=24", "main.level", 0, Record{K::Level, 0, 0}},
        {"ch2.level=-103", "ch2.level", 254, Record{K::Level, 2, 0}},
        {"ch1.limiter.threshold=-12", "ch1.limiter.threshold", 12, Record{K::Limiter, 0, 0}},
        {"ch1.limiter.ratio=4", "ch1.limiter.ratio", 40, Record{K::Limiter, 0, 0}},
        {"ch2.limiter.attack=100", "ch2.limiter.attack", 100, Record{K::Limiter, 1, 0}},
        {"ch1.hipass.type=Linkwitz2", "ch1.hipass.type", 3, Record{K::Hipass, 0, 0}},
        {"ch1.lopass.type=4", "ch1.lopass.type", 4, Record{K::Lopass, 0, 0}},
        {"ch2.phase=inverted", "ch2.phase", 1, Record{K::Phase, 1, 0}},
        {"CH1.Band3.Gain=+1", "ch1.band3.gain", 190, Record{K::EqBand, 0, 3}},
    };
    for (const auto& c : cases) {
        DeviceParameters p{};
        ResetDeviceParameters(p);
        const SetResult r = SetParameter(p, c.assignment, false);
        ASSERT_TRUE(r.record) << c.assignment << ": " << r.error;
        EXPECT_EQ(*r.record, c.record) << c.assignment;
        EXPECT_EQ(FindParameterPath(c.path)->Value(p), c.raw) << c.assignment;
    }
    DeviceParameters p{};
    EXPECT_EQ(SetParameter(p, "name=QV", false).record, (Record{K::Name, 0, 0}));
    EXPECT_EQ(DeviceNameText(p), "QV");
}

TEST(ParameterPaths, RefusalsNameThePathAndTheRange) {
    struct Case {
        const char* assignment;
        bool raw;
        const char* errorPart;
    } cases[] = {
        {"ch1.band1.gain=18.1", false,
         "ch1.band1.gain: '18.1' is out of range; allowed -18.0..18.0 dB"},
        {"ch1.band8.gain=0", false, "unknown parameter path"},
        {"ch3.level=0", false, "unknown parameter path"},
        {"ch1.level=loud", false, "not a valid value"},
        {"ch1.level=", false, "not a valid value"},
        {"ch1.limiter.threshold=12", false, "0..-60 dB"},
        {"ch1.hipass.type=butterworth3", false, "butterworth1"},
        {"ch1.band1.freq=19", false, "20..20000 Hz"},
        {"ch1.band1.q=1001", true, "1..1000 (raw)"},
        {"ch1.band1.q=2.5", true, "not a whole raw value"},
        {"name=ABCDEFGHIJK", false, "too long"},
        {"ch1.level", false, "expected PATH=VALUE"},
        {"ch1.level=nan", false, "not a valid value"},
    };
    for (const auto& c : cases) {
        DeviceParameters p{};
        ResetDeviceParameters(p);
        const auto before = WriteParameterImage(p);
        const SetResult r = SetParameter(p, c.assignment, c.raw);
        EXPECT_FALSE(r.record) << c.assignment;
        EXPECT_NE(r.error.find(c.errorPart), std::string::npos) << r.error;
        EXPECT_EQ(WriteParameterImage(p), before) << c.assignment;
    }
}

}  // namespace
}  // namespace quorvell
