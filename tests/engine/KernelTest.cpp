// The vector paths are chosen by CPU, so the usual tests only reach the fastest one. Here every
// available kernel is run against the scalar table directly, and the bulk filler against the
// one-at-a-time generator.
#include "EmbedKernels.h"
#include "Filler.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using vokb::Kernel;

class KernelTest : public ::testing::TestWithParam<Kernel> {};

TEST_P(KernelTest, MatchesTheScalarTableForEveryByteAndPair) {
    const Kernel kernel = GetParam();
    if (!vokb::kernelAvailable(kernel)) {
        GTEST_SKIP() << "kernel not supported on this CPU";
    }
    // Every carrier byte meets every payload byte's pairs, at every position within a group,
    // over a length that leaves a tail the vector kernels do not handle.
    std::mt19937 rng(7);
    const size_t groups = 256 * 4 + 13;
    std::vector<uint8_t> carrier(4 * groups);
    std::vector<uint8_t> payload(groups);
    for (size_t i = 0; i < carrier.size(); ++i) {
        carrier[i] = static_cast<uint8_t>(i / 4 + i % 4 * 64);
    }
    for (auto& p : payload) {
        p = static_cast<uint8_t>(rng());
    }
    payload[0] = 0x00;
    payload[1] = 0xFF;

    std::vector<uint8_t> expected(carrier.size());
    vokb::embedGroupsWith(Kernel::Scalar, carrier.data(), expected.data(), payload.data(), groups);
    std::vector<uint8_t> actual(carrier.size(), 0xAA);
    const size_t done =
        vokb::embedGroupsWith(kernel, carrier.data(), actual.data(), payload.data(), groups);
    ASSERT_GT(done, groups - 32);
    for (size_t i = 0; i < 4 * done; ++i) {
        ASSERT_EQ(actual[i], expected[i]) << "colour byte " << i << " carrier " << int(carrier[i])
                                          << " payload " << int(payload[i / 4]);
    }
}

std::string kernelName(const ::testing::TestParamInfo<Kernel>& param) {
    const char* names[] = {"Scalar", "Sse2", "Avx2"};
    return names[static_cast<int>(param.param)];
}

INSTANTIATE_TEST_SUITE_P(Kernels, KernelTest,
                         ::testing::Values(Kernel::Scalar, Kernel::Sse2, Kernel::Avx2), kernelName);

TEST(FillerTest, BulkDrawsContinueTheSingleDrawSequence) {
    // Lengths around the vector widths, in one sequence, against single draws on a fresh thread.
    const std::vector<size_t> lengths = {0, 1, 3, 4, 5, 31, 32, 33, 63, 64, 65, 1000, 7};
    std::vector<uint8_t> bulk;
    std::thread([&] {
        for (size_t n : lengths) {
            std::vector<uint8_t> part(n);
            vokb::nextFillerBytes(part.data(), n);
            bulk.insert(bulk.end(), part.begin(), part.end());
            bulk.push_back(vokb::nextFillerByte());
        }
    }).join();
    std::vector<uint8_t> single;
    std::thread([&] {
        for (size_t i = 0; i < bulk.size(); ++i) {
            single.push_back(vokb::nextFillerByte());
        }
    }).join();
    EXPECT_EQ(bulk, single);
}

} // namespace
