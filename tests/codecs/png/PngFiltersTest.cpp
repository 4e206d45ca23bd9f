// The scan-line filters of every processor variant against the byte-by-byte
// reference: each filter, its undoing, the repeat score and the writer's
// choice, over random lines of every pixel size and many lengths.
#include "codecs/png/PngFilters.h"
#include "tests/support/CpuBinding.h"
#include "tests/support/PngFilterReference.h"

#include <gtest/gtest.h>

#include <string>

using namespace velmora;
using namespace velmora::png;
using pngref::Line;

namespace {

const size_t kOffsets[] = {1, 2, 3, 4, 6, 8};

std::vector<size_t> Lengths() {
    std::vector<size_t> n;
    for (size_t i = 0; i <= 70; ++i) n.push_back(i);
    for (size_t i : {127u, 128u, 129u, 1021u, 4093u, 12192u}) n.push_back(i);
    return n;
}

// The variants this processor can run, by their table index.
std::vector<size_t> RunnableVariants() {
    std::vector<size_t> v;
    const auto& entries = PngFilterTable().Entries();
    for (size_t i = 0; i < entries.size(); ++i)
        if ((entries[i].Needs & ~CpuFeatures()) == 0) v.push_back(i);
    return v;
}

class PngFilterVariant : public ::testing::TestWithParam<size_t> {
protected:
    const TPngFilterOps& Ops() const { return PngFilterTable().Entries()[GetParam()].Proc; }
    uint32_t Needs() const { return PngFilterTable().Entries()[GetParam()].Needs; }
};

std::string Where(size_t offset, size_t n, unsigned alphabet) {
    return "offset " + std::to_string(offset) + ", " + std::to_string(n) + " bytes, alphabet " +
           std::to_string(alphabet);
}

TEST_P(PngFilterVariant, FiltersAndUndoesEveryTypeAsTheReference) {
    std::mt19937 rng(7);
    for (size_t offset : kOffsets)
        for (size_t n : Lengths())
            for (unsigned alphabet : {2u, 256u}) {
                SCOPED_TRACE(Where(offset, n, alphabet));
                const Line raw = pngref::RandomLine(rng, n, alphabet);
                const Line prior = pngref::RandomLine(rng, n, alphabet);
                const Line noise = pngref::RandomLine(rng, n, 256);
                for (unsigned type = 1; type < 5; ++type) {
                    SCOPED_TRACE("type " + std::to_string(type));
                    // One byte of room past the end, which must stay as it is.
                    Line out(n + 1, 0xA5);
                    Ops().Filter(type, raw.data(), prior.data(), n, offset, out.data());
                    const Line want = pngref::FilterLine(int(type), raw, prior, offset);
                    ASSERT_EQ(Line(out.begin(), out.begin() + long(n)), want);
                    ASSERT_EQ(out[n], 0xA5);

                    out.resize(n);
                    Ops().Unfilter(type, out.data(), prior.data(), n, offset);
                    ASSERT_EQ(out, raw);

                    Line back = noise;
                    Ops().Unfilter(type, back.data(), prior.data(), n, offset);
                    ASSERT_EQ(back, pngref::UnfilterLine(int(type), noise, prior, offset));
                }
                for (unsigned type : {0u, 5u, 255u}) {
                    Line same = noise;
                    Ops().Unfilter(type, same.data(), prior.data(), n, offset);
                    ASSERT_EQ(same, noise) << "type " << type;
                }
            }
}

TEST_P(PngFilterVariant, ScoresRepeatsAsTheReference) {
    std::mt19937 rng(11);
    for (size_t n : Lengths())
        for (unsigned alphabet : {2u, 3u, 16u, 256u}) {
            const Line bytes = pngref::RandomLine(rng, n, alphabet);
            ASSERT_EQ(Ops().Score(bytes.data(), n), pngref::RepeatScore(bytes)) << Where(0, n, alphabet);
        }
    const Line same(5000, 9);
    EXPECT_EQ(Ops().Score(same.data(), same.size()), 4998u);
}

struct TFilterSet {
    TFilters filters;
    unsigned bits;  // bit t for type t, as the reference takes them
};

const TFilterSet kSets[] = {
    {{}, 0x00},
    {{TFilter::pfNone}, 0x01},
    {{TFilter::pfSub}, 0x02},
    {{TFilter::pfPaeth}, 0x10},
    {{TFilter::pfNone, TFilter::pfSub}, 0x03},
    {{TFilter::pfSub, TFilter::pfUp}, 0x06},
    {{TFilter::pfAverage, TFilter::pfPaeth}, 0x18},
    {{TFilter::pfNone, TFilter::pfPaeth}, 0x11},
    {{TFilter::pfSub, TFilter::pfUp, TFilter::pfAverage, TFilter::pfPaeth}, 0x1E},
    {{TFilter::pfNone, TFilter::pfSub, TFilter::pfUp, TFilter::pfAverage, TFilter::pfPaeth}, 0x1F},
};

TEST_P(PngFilterVariant, ChoosesAsTheReferenceForEverySetOfFilters) {
    cpubinding::TRebindGuard bind(Needs());
    ASSERT_STREQ(PngFilterTable().BoundName(), PngFilterTable().Entries()[GetParam()].Name);
    std::mt19937 rng(13);
    for (const TFilterSet& set : kSets)
        for (size_t offset : kOffsets) {
            TRowFilter filter(set.filters, 12192, offset);
            for (size_t n : Lengths())
                // Two-value lines tie often; an all-zero line scores the same
                // under every filter.
                for (unsigned alphabet : {1u, 2u, 4u, 256u}) {
                    SCOPED_TRACE(Where(offset, n, alphabet) + ", set " + std::to_string(set.bits));
                    const Line raw = pngref::RandomLine(rng, n, alphabet);
                    const Line prior = pngref::RandomLine(rng, n, alphabet);
                    const uint8_t* bytes = nullptr;
                    const int type = filter.Choose(raw.data(), prior.data(), n, bytes);
                    ASSERT_EQ(type, pngref::ChooseFilter(set.bits, raw, prior, offset));
                    ASSERT_EQ(Line(bytes, bytes + n), pngref::FilterLine(type, raw, prior, offset));
                }
        }
}

// The table binds with the raster core's at start-up (portable when forced)
// and follows every rebinding.
TEST(PngFilterTable, FollowsTheRasterCoreBinding) {
    const auto& table = PngFilterTable();
    const char* startUp = cpubinding::PortableForced() ? "portable" : table.Entries()[RunnableVariants().back()].Name;
    EXPECT_STREQ(table.BoundName(), startUp);
    {
        cpubinding::TRebindGuard portable(0);
        EXPECT_STREQ(table.BoundName(), "portable");
    }
    EXPECT_STREQ(table.BoundName(), startUp);
}

INSTANTIATE_TEST_SUITE_P(Variants, PngFilterVariant, ::testing::ValuesIn(RunnableVariants()),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                             return std::string(PngFilterTable().Entries()[info.param].Name);
                         });

}  // namespace
