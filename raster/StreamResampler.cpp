#include "raster/StreamResampler.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

using velmora::KernelBufferBytes;
using velmora::TKernelRowArgs;

TStreamResampler::TStreamResampler(int32_t SrcW, int32_t SrcH, int32_t DstW, int32_t DstH, TRowSink Sink)
    : srcW_(SrcW), srcH_(SrcH), dstW_(DstW), dstH_(DstH), sink_(std::move(Sink)) {
    if (SrcW <= 0 || SrcH <= 0 || DstW <= 0 || DstH <= 0) throw std::invalid_argument("empty picture");
    out_.resize(size_t(DstW));
    if (SrcW == DstW && SrcH == DstH) {
        mode_ = Mode::Copy;
        incoming_.resize(size_t(SrcW));
        return;
    }
    if (EnlargesBilinear(SrcW, SrcH, DstW, DstH)) {
        mode_ = Mode::Bilinear;
        colMap_ = BuildBilinearMap(0, DstW, 0, DstW, 0, SrcW, SrcW);
        rowMap_ = BuildBilinearMap(0, DstH, 0, DstH, 0, SrcH, SrcH);
        ops_ = ChosenBilinearRowOps();
        incoming_.resize(size_t(SrcW));
        upper_.resize(size_t(DstW));
        lower_.resize(size_t(DstW));
        return;
    }
    mode_ = Mode::Kernel;
    const TLinearKernel kernel;
    const TMappingTable colTable = BuildClusters(0, DstW, 0, DstW, 0, SrcW, kernel);
    rowTable_ = BuildClusters(0, DstH, 0, DstH, 0, SrcH, kernel);
    plan_ = MakeKernelPlan(colTable, rowTable_);
    lastNeeded_.resize(size_t(DstH));
    firstNeededFrom_.resize(size_t(DstH) + 1, SrcH);
    for (int32_t y = 0; y < DstH; ++y) {
        int32_t hi = 0;
        for (const TPointRec& p : rowTable_[size_t(y)]) hi = std::max(hi, p.Pos);
        lastNeeded_[size_t(y)] = hi;
    }
    for (int32_t y = DstH; y-- > 0;) {
        int32_t lo = firstNeededFrom_[size_t(y) + 1];
        for (const TPointRec& p : rowTable_[size_t(y)]) lo = std::min(lo, p.Pos);
        firstNeededFrom_[size_t(y)] = lo;
    }
    rowPtrs_.resize(plan_.MaxTaps);
    rowWeights_.resize(plan_.MaxTaps);
    buffer_.resize((KernelBufferBytes(plan_.Span) + 7) / 8);
}

TStreamResampler& TStreamResampler::Reuse(std::unique_ptr<TStreamResampler>& slot, int32_t SrcW, int32_t SrcH,
                                          int32_t DstW, int32_t DstH, TRowSink Sink) {
    if (slot && slot->srcW_ == SrcW && slot->srcH_ == SrcH && slot->dstW_ == DstW && slot->dstH_ == DstH) {
        slot->Restart(std::move(Sink));
    } else {
        slot.reset();  // the old one's memory goes before the new one's is taken
        slot = std::make_unique<TStreamResampler>(SrcW, SrcH, DstW, DstH, std::move(Sink));
    }
    return *slot;
}

void TStreamResampler::Restart(TRowSink Sink) {
    sink_ = std::move(Sink);
    received_ = 0;
    nextDst_ = 0;
    while (!window_.empty()) {
        spare_.push_back(std::move(window_.front()));
        window_.pop_front();
    }
    windowBase_ = 0;
    // A new resampler starts from blank rows; so does a restarted one.
    std::fill(upper_.begin(), upper_.end(), TColor32(0));
    std::fill(lower_.begin(), lower_.end(), TColor32(0));
}

TColor32* TStreamResampler::NextRow() {
    if (received_ >= srcH_) throw std::logic_error("every source row has arrived");
    if (mode_ != Mode::Kernel) return incoming_.data();
    // The row being written is the last of the window until Push.
    if (int32_t(window_.size()) == received_ - windowBase_) {
        if (spare_.empty()) {
            window_.emplace_back(size_t(srcW_));
        } else {
            window_.push_back(std::move(spare_.back()));
            spare_.pop_back();
        }
    }
    return window_.back().data();
}

void TStreamResampler::Push() {
    if (received_ >= srcH_) throw std::logic_error("every source row has arrived");
    switch (mode_) {
    case Mode::Copy: pushCopy(); break;
    case Mode::Bilinear: pushBilinear(); break;
    case Mode::Kernel: pushKernel(); break;
    }
}

void TStreamResampler::pushCopy() {
    sink_(received_, incoming_.data());
    ++received_;
    ++nextDst_;
}

void TStreamResampler::pushBilinear() {
    // upper_ holds row received_ - 1, lower_ becomes row received_.
    std::swap(upper_, lower_);
    ops_.Horizontal(incoming_.data(), colMap_.data(), dstW_, lower_.data());
    const int32_t r = received_++;
    // The map's rows only grow, and each destination row reads its row and
    // the one below.
    while (nextDst_ < dstH_ && rowMap_[size_t(nextDst_)].Pos + 1 <= r) {
        ops_.Vertical(upper_.data(), lower_.data(), rowMap_[size_t(nextDst_)].Weight, dstW_, out_.data());
        sink_(nextDst_, out_.data());
        ++nextDst_;
    }
}

void TStreamResampler::pushKernel() {
    if (int32_t(window_.size()) == received_ - windowBase_) NextRow();  // Push without a NextRow before it
    ++received_;
    TKernelRowArgs args{};
    args.Rows = rowPtrs_.data();
    args.RowWeights = rowWeights_.data();
    args.Span = plan_.Span;
    args.Cols = &plan_.Flat;
    args.Buffer = buffer_.data();
    args.Out = out_.data();
    while (nextDst_ < dstH_ && lastNeeded_[size_t(nextDst_)] < received_) {
        const TCluster& rc = rowTable_[size_t(nextDst_)];
        for (size_t k = 0; k < rc.size(); ++k) {
            rowPtrs_[k] = window_[size_t(rc[k].Pos - windowBase_)].data() + plan_.Lo;
            rowWeights_[k] = rc[k].Weight;
        }
        args.Taps = int32_t(rc.size());
        plan_.Proc(args);
        sink_(nextDst_, out_.data());
        ++nextDst_;
    }
    // Let go of the rows no later destination row reads.
    const int32_t keepFrom = firstNeededFrom_[size_t(nextDst_)];
    while (!window_.empty() && windowBase_ < keepFrom) {
        spare_.push_back(std::move(window_.front()));
        window_.pop_front();
        ++windowBase_;
    }
    if (window_.empty()) windowBase_ = received_;
}
