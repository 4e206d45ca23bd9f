// Resampling a picture that arrives one row at a time.
//
// The decoder hands the source rows top to bottom; each destination row
// leaves as soon as the source rows it reads have arrived, and a source row
// is let go as soon as no later destination row reads it. Only the rows the
// vertical pass still needs are held: about twice the reduction factor for a
// reduction, two for an enlargement. The pixels are those of drawing the
// whole source raster onto the whole destination raster with
// TLinearResampler in dmOpaque: the same tables, the same row kernels, the
// same order of arithmetic.
#pragma once

#include "raster/Color32.h"
#include "raster/LinearResampler.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class TStreamResampler {
public:
    // Receives destination row y (DstW pixels, valid during the call only).
    using TRowSink = std::function<void(int32_t y, const TColor32* row)>;

    // All four sides must be positive (std::invalid_argument otherwise).
    TStreamResampler(int32_t SrcW, int32_t SrcH, int32_t DstW, int32_t DstH, TRowSink Sink);

    // The resampler kept in slot, made ready for a new picture when its sides
    // are the same (its tables and row buffers serve again), else a new one
    // put in slot. A run over many pictures of one camera builds its tables
    // and touches its row memory once instead of once per picture.
    static TStreamResampler& Reuse(std::unique_ptr<TStreamResampler>& slot, int32_t SrcW, int32_t SrcH, int32_t DstW,
                                   int32_t DstH, TRowSink Sink);
    // Back to the first source row, with rows going to Sink; whatever the
    // last picture left (a part of it, after a failure) is forgotten.
    void Restart(TRowSink Sink);

    // Where the next source row (SrcW pixels) is to be written; then Push.
    TColor32* NextRow();
    // Takes the row written at NextRow; sends every destination row that is
    // now complete. std::logic_error past the last source row.
    void Push();

    int32_t RowsReceived() const { return received_; }
    // Every destination row has been sent.
    bool Finished() const { return nextDst_ == dstH_; }
    // Source rows held right now (for tests of the memory bound).
    size_t RowsHeld() const { return window_.size() + (mode_ == Mode::Bilinear ? 2 : 0); }

private:
    enum class Mode { Copy, Bilinear, Kernel };

    void pushCopy();
    void pushBilinear();
    void pushKernel();

    int32_t srcW_, srcH_, dstW_, dstH_;
    TRowSink sink_;
    Mode mode_;
    int32_t received_ = 0;
    int32_t nextDst_ = 0;
    std::vector<TColor32> incoming_;  // Copy and Bilinear: the row being written
    std::vector<TColor32> out_;

    // Bilinear: the horizontal results of the last two source rows.
    std::vector<TPointRec> colMap_, rowMap_;
    TBilinearRowOps ops_{};
    std::vector<TColor32> upper_, lower_;

    // Kernel: the row clusters, per destination row the last source row it
    // reads and the first source row any row from it on reads, and the held
    // source rows windowBase_ .. windowBase_ + window_.size() - 1.
    TMappingTable rowTable_;
    TKernelPlan plan_;
    std::vector<int32_t> lastNeeded_, firstNeededFrom_;
    std::deque<std::vector<TColor32>> window_;
    std::vector<std::vector<TColor32>> spare_;
    int32_t windowBase_ = 0;
    std::vector<const TColor32*> rowPtrs_;
    std::vector<uint32_t> rowWeights_;
    std::vector<uint64_t> buffer_;
};
