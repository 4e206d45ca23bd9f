#include "raster/LinearResampler.h"

#include "raster/Bitmap32.h"
#include "raster/BlendVariants.h"
#include "raster/Transfer.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

using namespace velmora;

namespace {

using ext = long double;  // the extended intermediate (64-bit significand on x86)

// Nearest integer, ties to even (the default rounding mode).
inline int64_t RoundEven(ext v) { return llrintl(v); }

inline int32_t ClampPos(int64_t j, int32_t lo, int32_t hi) {
    return int32_t(std::clamp<int64_t>(j, lo, int64_t(hi) - 1));
}

// Brings the weights of a cluster to a sum of 256: the sample at index
// (n - 1) / 2 takes the difference.
void FixWeightSum(TCluster& c) {
    if (c.empty()) return;
    uint32_t sum = 0;
    for (const TPointRec& p : c) sum += p.Weight;
    if (sum != 256) c[(c.size() - 1) / 2].Weight -= sum - 256;
}

// Rows for the blend without SSE: each stage is the bound two-colour combine
// with its weight limited to 255.
void CombineHorizontal(const TColor32* row, const TPointRec* map, int32_t count, TColor32* out) {
    const TCombineProc combine = CombineTable().Bound();
    for (int32_t i = 0; i < count; ++i) {
        const TColor32* p = row + map[i].Pos;
        out[i] = combine(p[0], p[1], std::min<uint32_t>(map[i].Weight, 255));
    }
}

void CombineVertical(const TColor32* top, const TColor32* bottom, uint32_t wy, int32_t count, TColor32* out) {
    const TCombineProc combine = CombineTable().Bound();
    wy = std::min<uint32_t>(wy, 255);
    for (int32_t i = 0; i < count; ++i) out[i] = combine(top[i], bottom[i], wy);
}

}  // namespace

float TLinearKernel::Filter(float Value) const {
    const ext v = Value;
    if (v < -1) return 0.0f;
    if (v < 0) return float(1 + v);
    if (v < 1) return float(1 - v);
    return 0.0f;
}

TMappingTable BuildClusters(int32_t DstLo, int32_t DstHi, int32_t ClipLo, int32_t ClipHi, int32_t SrcLo,
                            int32_t SrcHi, const TCustomKernel& Kernel) {
    const int64_t srcW = int64_t(SrcHi) - SrcLo;
    const int64_t dstW = int64_t(DstHi) - DstLo;
    const int64_t clipW = int64_t(ClipHi) - ClipLo;
    TMappingTable table;
    if (srcW <= 0 || clipW <= 0 || dstW <= 0) return table;
    table.resize(size_t(clipW));
    if (srcW == 1) {
        for (TCluster& c : table) c.push_back({SrcLo, 256});
        return table;
    }

    const float scale = float(ext(dstW) / ext(srcW));
    float reach = float(ext(Kernel.GetWidth()));
    const float step = float(1 / ext(scale));
    const bool shrinking = scale < 1.0f;
    if (shrinking) reach = float(ext(reach) * step);

    for (int64_t i = 0; i < clipW; ++i) {
        TCluster& c = table[size_t(i)];
        const float X = float((ext(i + ClipLo - DstLo) + 0.5L) * step + (ext(SrcLo) - 0.5L));
        const int64_t j0 = int64_t(std::floor(ext(X) - reach));
        const int64_t j1 = int64_t(std::ceil(ext(X) + reach));
        for (int64_t J = j0; J <= j1; ++J) {
            int64_t w;
            if (shrinking) {
                const float v = float((ext(X) - ext(J)) * scale);
                w = RoundEven(ext(Kernel.Filter(v)) * 256 * scale);
            } else {
                const float v = float(ext(X) - ext(J));
                w = RoundEven(ext(Kernel.Filter(v)) * 256);
            }
            if (w != 0) c.push_back({ClampPos(J, SrcLo, SrcHi), uint32_t(w)});
        }
        if (c.empty()) {
            // Every weight rounded to 0 (a reduction beyond 512 times with
            // this kernel): the sample under the centre stands in.
            c.push_back({ClampPos(int64_t(std::floor(X)), SrcLo, SrcHi), 256});
        } else {
            FixWeightSum(c);
        }
    }
    return table;
}

std::vector<TPointRec> BuildBilinearMap(int32_t DstLo, int32_t DstHi, int32_t ClipLo, int32_t ClipHi,
                                        int32_t SrcLo, int32_t SrcHi, int32_t SrcSize) {
    const float srcW = float(int64_t(SrcHi) - SrcLo);
    const int64_t dstW = int64_t(DstHi) - DstLo;
    const int64_t clipW = std::max<int64_t>(int64_t(ClipHi) - ClipLo, 0);
    std::vector<TPointRec> map(static_cast<size_t>(clipW));
    if (clipW == 0 || dstW <= 0) return map;

    const float sX = float(ext(srcW) / ext(dstW));
    const ext last = ext(SrcSize) - 1;
    for (int64_t i = 0; i < clipW; ++i) {
        float t = float((ext(i + ClipLo - DstLo) + 0.5L) * sX + (ext(SrcLo) - 0.5L));
        if (t < 0)
            t = 0;
        else if (ext(t) > last)
            t = float(last);
        const float f = std::floor(t);
        map[size_t(i)] = {int32_t(f), uint32_t(256 - RoundEven((ext(t) - ext(f)) * 256))};
    }
    // Right (bottom) edge: the trailing entries on the last source index move
    // one to the left with weight 0, so they take that index in full and
    // never read past it.
    for (size_t k = map.size(); k-- > 0 && map[k].Pos == SrcHi - 1;) {
        map[k].Pos -= 1;
        map[k].Weight = 0;
    }
    // Safety net for rectangles the transfer step never produces: the pair
    // (Pos, Pos + 1) always lies inside the raster.
    for (TPointRec& p : map) {
        if (p.Pos > SrcSize - 2) p = {SrcSize - 2, 0};
        if (p.Pos < 0) p = {0, 256};
    }
    return map;
}

void EnlargeBilinear(TBitmap32& Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32& Src,
                     const TRect& SrcRect, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
    const std::vector<TPointRec> cols = BuildBilinearMap(DstRect.Left, DstRect.Right, DstClip.Left, DstClip.Right,
                                                         SrcRect.Left, SrcRect.Right, Src.Width());
    const std::vector<TPointRec> rows = BuildBilinearMap(DstRect.Top, DstRect.Bottom, DstClip.Top, DstClip.Bottom,
                                                         SrcRect.Top, SrcRect.Bottom, Src.Height());
    const int32_t clipW = int32_t(cols.size());
    const int32_t clipH = int32_t(rows.size());
    if (clipW == 0 || clipH == 0) return;

    // Both blend variants separate into a horizontal stage per source row
    // and a vertical stage per destination row; the horizontal results of
    // the two source rows in use are kept and reused.
    const TBilinearRowOps ops = ChosenBilinearRowOps();

    std::vector<TColor32> upper(static_cast<size_t>(clipW)), lower(static_cast<size_t>(clipW));
    TRowStore store(Dst, Src, DstClip.Left, clipW, CombineOp, CombineCallBack);
    int32_t upperRow = -1, lowerRow = -1;
    for (int32_t j = 0; j < clipH; ++j) {
        const int32_t r = rows[size_t(j)].Pos;
        if (r != upperRow) {
            if (r == lowerRow)
                std::swap(upper, lower);
            else
                ops.Horizontal(Src.ScanLine(r), cols.data(), clipW, upper.data());
            ops.Horizontal(Src.ScanLine(r + 1), cols.data(), clipW, lower.data());
            upperRow = r;
            lowerRow = r + 1;
        }
        const int32_t y = DstClip.Top + j;
        ops.Vertical(upper.data(), lower.data(), rows[size_t(j)].Weight, clipW, store.Row(y));
        store.Commit(y);
    }
}

TKernelPlan MakeKernelPlan(const TMappingTable& colTable, const TMappingTable& rowTable) {
    TKernelPlan plan;
    if (colTable.empty() || rowTable.empty()) return plan;

    // Lo..Hi: the source columns the column clusters reach. Positions only
    // grow along the table, so this is the first sample of the first cluster
    // and the last of the last; the scan keeps the buffer safe regardless.
    int32_t lo = colTable.front().front().Pos, hi = colTable.back().back().Pos;
    for (const TCluster& c : colTable)
        for (const TPointRec& p : c) {
            lo = std::min(lo, p.Pos);
            hi = std::max(hi, p.Pos);
        }
    plan.Lo = lo;
    plan.Span = hi - lo + 1;

    // The accelerated row kernels need weights in 0..256 summing to 256.
    bool fast = true;
    auto check = [&fast](const TCluster& c) {
        uint64_t sum = 0;
        for (const TPointRec& p : c) {
            if (p.Weight > 256) fast = false;
            sum += p.Weight;
        }
        if (sum != 256) fast = false;
    };
    for (const TCluster& c : rowTable) {
        check(c);
        plan.MaxTaps = std::max(plan.MaxTaps, c.size());
    }

    TFlatClusters& flat = plan.Flat;
    flat.Begin.reserve(colTable.size() + 1);
    flat.N.reserve(colTable.size());
    flat.Contiguous.reserve(colTable.size());
    for (const TCluster& c : colTable) {
        check(c);
        flat.Begin.push_back(int32_t(flat.Pos.size()));
        flat.N.push_back(int32_t(c.size()));
        const size_t padded = (c.size() + 3) & ~size_t(3);
        bool contiguous = true;
        for (size_t k = 0; k < padded; ++k) {
            const TPointRec p = k < c.size() ? c[k] : TPointRec{c.back().Pos + int32_t(k + 1 - c.size()), 0};
            if (k > 0 && p.Pos != flat.Pos.back() + lo + 1) contiguous = false;
            flat.Pos.push_back(p.Pos - lo);
            flat.Weight.push_back(p.Weight);
            for (int ch = 0; ch < 4; ++ch) flat.Weight4.push_back(uint16_t(p.Weight));
        }
        flat.Contiguous.push_back(contiguous ? 1 : 0);
    }
    flat.Begin.push_back(int32_t(flat.Pos.size()));
    plan.Proc = fast ? KernelRowTable().Bound() : KernelRow_Portable;
    return plan;
}

TBilinearRowOps ChosenBilinearRowOps() {
    TBilinearRowOps ops{CombineHorizontal, CombineVertical};
    if (BlendBilinearTable().Bound() == BlendBilinear_SSE) ops = BilinearRowTable().Bound();
    return ops;
}

bool EnlargesBilinear(int64_t SrcW, int64_t SrcH, int64_t DstW, int64_t DstH) {
    // The source sizes are compared as single-precision values.
    const float srcW = float(SrcW);
    const float srcH = float(SrcH);
    const ext dstW = ext(DstW);
    const ext dstH = ext(DstH);
    return dstW > srcW && dstH > srcH && srcW > 1 && srcH > 1;
}

void ResampleKernel(TBitmap32& Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32& Src,
                    const TRect& SrcRect, const TCustomKernel& Kernel, TDrawMode CombineOp,
                    const TPixelCombineEvent& CombineCallBack) {
    const TMappingTable colTable = BuildClusters(DstRect.Left, DstRect.Right, DstClip.Left, DstClip.Right,
                                                 SrcRect.Left, SrcRect.Right, Kernel);
    const TMappingTable rowTable = BuildClusters(DstRect.Top, DstRect.Bottom, DstClip.Top, DstClip.Bottom,
                                                 SrcRect.Top, SrcRect.Bottom, Kernel);
    if (colTable.empty() || rowTable.empty()) return;
    const TKernelPlan plan = MakeKernelPlan(colTable, rowTable);

    std::vector<const TColor32*> rowPtrs(plan.MaxTaps);
    std::vector<uint32_t> rowWeights(plan.MaxTaps);
    std::vector<uint64_t> buffer((KernelBufferBytes(plan.Span) + 7) / 8);
    TRowStore store(Dst, Src, DstClip.Left, int32_t(colTable.size()), CombineOp, CombineCallBack);

    TKernelRowArgs args{};
    args.Rows = rowPtrs.data();
    args.RowWeights = rowWeights.data();
    args.Span = plan.Span;
    args.Cols = &plan.Flat;
    args.Buffer = buffer.data();
    for (int32_t y = DstClip.Top; y < DstClip.Bottom; ++y) {
        const TCluster& rc = rowTable[size_t(y - DstClip.Top)];
        for (size_t k = 0; k < rc.size(); ++k) {
            rowPtrs[k] = Src.ScanLine(rc[k].Pos) + plan.Lo;
            rowWeights[k] = rc[k].Weight;
        }
        args.Taps = int32_t(rc.size());
        args.Out = store.Row(y);
        plan.Proc(args);
        store.Commit(y);
    }
}

TLinearResampler::TLinearResampler(TBitmap32& ABitmap) : TCustomResampler(&ABitmap) {
    PixelAccessMode = TPixelAccessMode::pamSafe;
}

TLinearResampler& TLinearResampler::Attach(TBitmap32& ABitmap) {
    auto owned = std::make_unique<TLinearResampler>(ABitmap);
    TLinearResampler& r = *owned;
    ABitmap.SetResampler(std::move(owned));
    return r;
}

void TLinearResampler::Resample(TBitmap32& Dst, const TRect& DstRect, const TRect& DstClip, TBitmap32& Src,
                                const TRect& SrcRect, TDrawMode CombineOp,
                                const TPixelCombineEvent& CombineCallBack) {
    if (EnlargesBilinear(int64_t(SrcRect.Right) - SrcRect.Left, int64_t(SrcRect.Bottom) - SrcRect.Top,
                         int64_t(DstRect.Right) - DstRect.Left, int64_t(DstRect.Bottom) - DstRect.Top))
        EnlargeBilinear(Dst, DstRect, DstClip, Src, SrcRect, CombineOp, CombineCallBack);
    else
        ResampleKernel(Dst, DstRect, DstClip, Src, SrcRect, FLinearKernel, CombineOp, CombineCallBack);
}
