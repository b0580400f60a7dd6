// The encoder keeps the input in one buffer: up to two windows of history behind the
// parse position, then the bytes still to parse. Each stretch is parsed once enough
// bytes stand ahead of it for a whole match; when the buffer is full, it moves down by
// a multiple of the window size (so the match finder's ring keeps its layout) and refills.
#include "tools/pack/lzh_encoder.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "tools/pack/bit_sink.h"
#include "tools/pack/block_cutter.h"
#include "tools/pack/block_writer.h"
#include "tools/pack/crc16.h"
#include "tools/pack/lz_parser.h"
#include "tools/pack/match_finder.h"

namespace {

struct LevelPlan {
    // Optimal: parser.niceLength is also how far the match tree compares, for the whole
    // member.
    ParserSettings parser;
    // Optimal: after a stretch whose matches averaged easyMatchLength bytes or more
    // (text, mostly), a shallower search, no second parse of the blocks and larger
    // pieces (such data changes slowly, and small pieces' counts mislead the merging)
    // lose little or nothing and save much of the time.
    ParserSettings easyParser;
    uint32_t easyMatchLength;  // 0: never
    uint32_t stretch;         // bytes parsed at a time
    uint32_t blockSymbols;    // lazy: symbols gathered before they are cut into blocks
    bool splitBlocks;         // try smaller blocks where their own codes pay off
    int reparsePasses;        // optimal: parse each block again with its own prices, this often
    size_t pieceSymbols;      // the smallest block considered
    size_t easyPieceSymbols;
};

LevelPlan PlanFor(EncodeLevel level) {
    switch (level) {
    case EncodeLevel::Fast:
        return {{false, 256, 256, 256, 256, 8192, 1}, {}, 0, 1 << 16, MaxBlockSymbols, true, 0, 1024, 1024};
    case EncodeLevel::Best:
        return {{true, 256, 256, 256, 0, 1u << 16, 3}, {}, 0, 1 << 18, 0, true, 2, 256, 256};
    case EncodeLevel::Default:
    default:
        return {{true, 48, 96, 256, 0, 1u << 16, 1}, {true, 16, 96, 80, 0, 1u << 16, 1}, 14, 1 << 18, 0, true, 1,
                256, 2048};
    }
}

constexpr uint32_t Lookahead = 2 * MaxMatch + 8;

uint32_t BytesCovered(const LzSymbol* symbols, size_t count) {
    uint32_t bytes = 0;
    for (size_t i = 0; i < count; ++i) bytes += symbols[i].code < 256 ? 1 : symbols[i].code - MatchCodeBase;
    return bytes;
}

class StreamEncoder {
public:
    StreamEncoder(const EncodeSettings& settings, const ReadFunction& read, const WriteFunction& write)
        : plan_(PlanFor(settings.level)),
          shape_(ShapeForDictionary(settings.dictionaryBits)),
          windowSize_(1u << settings.dictionaryBits),
          optimal_(shape_),
          read_(read),
          write_(write) {
        uint32_t ahead = ((plan_.stretch + Lookahead + windowSize_ - 1) / windowSize_ + 1) * windowSize_;
        capacity_ = 2 * windowSize_ + ahead;
        buffer_.assign(capacity_ + 8, 0);
        // Only the parser's own finder: each is a megabyte or so to fill, per member.
        if (plan_.parser.optimal)
            tree_.emplace(settings.dictionaryBits, 16, plan_.parser.niceLength);
        else
            finder_.emplace(settings.dictionaryBits, 16);
    }

    EncodeResult Run() {
        for (;;) {
            if (!Fill()) break;
            if (position_ >= end_) break;
            uint32_t ahead = end_ - position_;
            if (!atEof_ && ahead < plan_.stretch + Lookahead) {
                Slide();
                continue;
            }
            uint32_t stretchEnd = position_ + std::min(plan_.stretch, atEof_ ? ahead : ahead - Lookahead);
            ParseStretch(stretchEnd);
            if (!Drain()) break;
        }
        if (!plan_.parser.optimal) WriteBlocks(symbols_.data(), symbols_.size(), plan_.splitBlocks, plan_.pieceSymbols);
        symbols_.clear();
        sink_.Flush();
        Drain();
        return result_;
    }

private:
    bool Fill() {
        while (!atEof_ && end_ < capacity_) {
            int64_t got = read_(buffer_.data() + end_, capacity_ - end_);
            if (got < 0) {
                result_.readFailed = true;
                return false;
            }
            if (got == 0) {
                atEof_ = true;
                break;
            }
            result_.crc = UpdateCrc16(result_.crc, buffer_.data() + end_, static_cast<size_t>(got));
            result_.originalSize += static_cast<uint64_t>(got);
            end_ += static_cast<uint32_t>(got);
        }
        return true;
    }

    void Slide() {
        uint32_t delta = (position_ - windowSize_) / windowSize_ * windowSize_;
        std::memmove(buffer_.data(), buffer_.data() + delta, end_ - delta);
        if (tree_) tree_->Slide(delta);
        if (finder_) finder_->Slide(delta);
        position_ -= delta;
        end_ -= delta;
    }

    void ParseStretch(uint32_t stretchEnd) {
        const uint8_t* data = buffer_.data();
        if (plan_.parser.optimal) {
            const uint32_t start = position_;
            const bool easy = plan_.easyMatchLength && matches_ && matchBytes_ >= uint64_t(plan_.easyMatchLength) * matches_;
            position_ = optimal_.Parse(*tree_, data, start, stretchEnd, end_, easy ? plan_.easyParser : plan_.parser,
                                       symbols_);
            matches_ = 0;
            matchBytes_ = 0;
            for (const LzSymbol& symbol : symbols_) {
                if (symbol.code < 256) continue;
                ++matches_;
                matchBytes_ += symbol.code - MatchCodeBase;
            }
            std::vector<size_t> sizes;
            CutBlocks(symbols_.data(), symbols_.size(), shape_, plan_.splitBlocks,
                      easy ? plan_.easyPieceSymbols : plan_.pieceSymbols, sizes);
            if (sizes.size() < 2 || easy || !plan_.reparsePasses) {
                const LzSymbol* block = symbols_.data();
                for (size_t size : sizes) {
                    WriteBlock(sink_, block, size, shape_);
                    block += size;
                }
            } else {
                // Each block parsed once more with its own codes' prices.
                uint32_t from = 0;
                const LzSymbol* block = symbols_.data();
                std::vector<LzSymbol> again;
                for (size_t size : sizes) {
                    uint32_t to = from + BytesCovered(block, size);
                    BlockCodes codes = BuildBlockCodes(block, size, shape_);
                    for (int pass = 0; pass < plan_.reparsePasses; ++pass) {
                        again.clear();
                        optimal_.Reparse(data, start, from, to, codes, again);
                        codes = BuildBlockCodes(again.data(), again.size(), shape_);
                    }
                    WriteBlocks(again.data(), again.size(), false, plan_.pieceSymbols);
                    from = to;
                    block += size;
                }
            }
            symbols_.clear();
            return;
        }
        position_ = ParseLazy(*finder_, data, position_, stretchEnd, end_, plan_.parser, symbols_);
        if (symbols_.size() < plan_.blockSymbols) return;
        WriteBlocks(symbols_.data(), symbols_.size(), plan_.splitBlocks, plan_.pieceSymbols);
        symbols_.clear();
    }

    void WriteBlocks(const LzSymbol* symbols, size_t count, bool split, size_t pieceSymbols) {
        std::vector<size_t> sizes;
        CutBlocks(symbols, count, shape_, split, pieceSymbols, sizes);
        for (size_t size : sizes) {
            WriteBlock(sink_, symbols, size, shape_);
            symbols += size;
        }
    }

    bool Drain() {
        sink_.TakeBytes(pending_);
        result_.packedSize += pending_.size();
        if (!pending_.empty() && !write_(pending_.data(), pending_.size())) {
            result_.writeFailed = true;
            return false;
        }
        return true;
    }

    LevelPlan plan_;
    MethodShape shape_;
    uint32_t windowSize_;
    uint32_t capacity_ = 0;
    std::optional<MatchFinder> finder_;  // the lazy parser's
    std::optional<MatchTree> tree_;      // the optimal parser's
    OptimalParser optimal_;
    const ReadFunction& read_;
    const WriteFunction& write_;
    std::vector<uint8_t> buffer_;
    uint32_t position_ = 0;
    uint64_t matches_ = 0;     // in the last stretch parsed
    uint64_t matchBytes_ = 0;
    uint32_t end_ = 0;
    bool atEof_ = false;
    std::vector<LzSymbol> symbols_;
    BitSink sink_;
    std::vector<uint8_t> pending_;
    EncodeResult result_;
};

}  // namespace

EncodeResult EncodeStream(const EncodeSettings& settings, const ReadFunction& read, const WriteFunction& write) {
    StreamEncoder encoder(settings, read, write);
    return encoder.Run();
}

std::vector<uint8_t> EncodeBuffer(const EncodeSettings& settings, const uint8_t* data, size_t size) {
    size_t at = 0;
    std::vector<uint8_t> packed;
    EncodeStream(
        settings,
        [&](uint8_t* buffer, size_t n) {
            size_t take = std::min(n, size - at);
            if (take) std::memcpy(buffer, data + at, take);
            at += take;
            return static_cast<int64_t>(take);
        },
        [&](const uint8_t* bytes, size_t n) {
            packed.insert(packed.end(), bytes, bytes + n);
            return true;
        });
    return packed;
}
