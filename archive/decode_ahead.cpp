// Decoding ahead: a second thread walks the archive with a handle of its own, reads every
// header and decodes each file member into memory, with decoding state of its own
// (decodeState is per thread on the host), up to a bound of bytes not yet taken. The
// worker takes the headers and members in the archive's order and writes each as its own
// decoding would have; whatever it checks, makes, counts or tells stays on the worker, in
// the same order as before. A member the thread does not decode (too large, or none of
// its business) the worker decodes; a header it did not read the worker reads. The folder
// members' headers it keeps, for the stamps set once the run is over. The memory of a
// member written out comes back to the thread for another: memory the process has not
// used yet costs a page fault for every 4 KiB, which on some virtual machines takes longer
// than decoding them.
#include "archive/decode_ahead.h"

#include <condition_variable>
#include <mutex>

#include "archive/extractor.h"
#include "archive/lzh_header.h"
#include "archive/paths.h"
#include "decode/bit_input.h"
#include "decode/crc16.h"
#include "decode/decode_member.h"
#include "decode/decode_state.h"
#include "decode/progress.h"
#include "platform/file_handle.h"
#include "platform/system.h"

namespace {

constexpr uint64_t LargestAhead = uint64_t{4} << 20;  // a larger member waits for the worker
constexpr uint64_t HeldBound = uint64_t{16} << 20;    // bytes decoded and not yet taken
// Few enough that the memory of small members in flight stays small: the thread runs at
// most this many members ahead.
constexpr uint32_t SlotCount = 128;
constexpr uint64_t SpareBound = uint64_t{16} << 20;   // bytes of memory kept for members to come
constexpr uint32_t WritePiece = 64 << 10;  // the worker writes and reports progress in these

// A member's bytes decoded ahead, with what DecodeMember left in decodeState.
struct Decoded {
    uint8_t* data = nullptr;
    uint64_t size = 0;
    uint64_t memorySize = 0;  // of the memory at data (from new[])
    uint32_t crc = 0;
    bool ranOut = false;
};

// One member as the thread read it: its header, and its bytes when it decoded them (a
// member whose decoding failed has none: the worker decodes it in place).
struct Slot {
    uint64_t headerAt = 0;
    uint64_t dataStart = 0;
    LzhHeader header;
    WideString outputPath;  // the header's path made safe, as the worker makes it
    bool decoded = false;
    Decoded bytes;
};

// A folder member's header, kept for the stamps set after the run.
struct FolderMember {
    LzhHeader header;
    FolderMember* next = nullptr;
};

struct Ahead {
    std::mutex lock;
    std::condition_variable changed;
    uintptr_t thread = 0;
    bool running = false;
    bool stopping = false;          // the worker is done: nothing more is decoded
    bool finished = false;          // the thread has walked as far as it goes
    uint64_t walkedTo = 0;          // the header the thread is at: what lies before was decided
    Slot slots[SlotCount];
    uint32_t first = 0, count = 0;  // the slots filled and not yet taken
    uint64_t held = 0;              // their bytes
    // Who sleeps, so that the other wakes it only when it has a reason to: the thread once
    // the slots have drained to half, the worker when its member is there.
    bool threadWaits = false;
    bool workerWaits = false;
    FileHandle input;
    uint64_t from = 0;
    // Every folder member the thread read, in the archive's order (the thread's until it
    // is joined); whether it read every header the archive has.
    FolderMember* folders = nullptr;
    FolderMember** foldersEnd = &folders;
    bool foldersComplete = false;
    // The memory of members written out, for the thread to decode into again.
    Decoded spares[SlotCount];
    uint32_t spareCount = 0;
    uint64_t spareBytes = 0;
};
// Never destroyed: the thread is always joined before the run ends.
Ahead& ahead = *new Ahead;

Slot& Front() { return ahead.slots[ahead.first]; }

// The bytes of the first member held, now the caller's; its slot is free again.
Decoded TakeFront() {
    Slot& front = Front();
    const Decoded bytes = front.bytes;
    front.bytes = Decoded{};
    front.header.path.Clear();
    front.outputPath.Clear();
    ahead.first = (ahead.first + 1) % SlotCount;
    --ahead.count;
    ahead.held -= bytes.size;
    return bytes;
}

// With the lock held: a member's memory given back, kept for another while there is room.
void Recycle(const Decoded& spent) {
    if (!spent.data) return;
    if (ahead.spareCount == SlotCount || ahead.spareBytes + spent.memorySize > SpareBound) {
        delete[] spent.data;
        return;
    }
    ahead.spares[ahead.spareCount++] = spent;
    ahead.spareBytes += spent.memorySize;
}

// With the lock held: the smallest memory given back that holds `size` bytes (so that
// a large one is kept for a large member); none when there is no such memory.
Decoded TakeSpare(uint64_t size) {
    uint32_t best = ahead.spareCount;
    for (uint32_t k = 0; k < ahead.spareCount; ++k) {
        const uint64_t memorySize = ahead.spares[k].memorySize;
        if (memorySize >= size && (best == ahead.spareCount || memorySize < ahead.spares[best].memorySize)) best = k;
    }
    if (best == ahead.spareCount) return Decoded{};
    const Decoded spare = ahead.spares[best];
    ahead.spares[best] = ahead.spares[--ahead.spareCount];
    ahead.spareBytes -= spare.memorySize;
    return spare;
}

void ForgetSpares() {
    while (ahead.spareCount) delete[] ahead.spares[--ahead.spareCount].data;
    ahead.spareBytes = 0;
}

void DropFront() { Recycle(TakeFront()); }

// Whether a member of `size` bytes may be decoded now: room for it, or nothing held at all.
bool RoomFor(uint64_t size) {
    return ahead.count == 0 || (ahead.count < SlotCount && ahead.held + size <= HeldBound);
}
// Once the thread has waited for room, it goes on only when the slots have drained to half
// (one wake-up for many members rather than one each).
bool DrainedToHalf() { return ahead.count <= SlotCount / 2 && ahead.held <= HeldBound / 2; }

void WakeWorker() {
    if (ahead.workerWaits) ahead.changed.notify_all();
}

void WakeThread() {
    if (ahead.threadWaits && DrainedToHalf()) ahead.changed.notify_all();
}

void ForgetFolders() {
    while (FolderMember* member = ahead.folders) {
        ahead.folders = member->next;
        delete member;
    }
    ahead.foldersEnd = &ahead.folders;
    ahead.foldersComplete = false;
}

// False when there was no memory for it: the list is then not the archive's.
bool KeepFolder(const LzhHeader& header) {
    auto* member = new (std::nothrow) FolderMember;
    if (!member) return false;
    member->header = header;
    *ahead.foldersEnd = member;
    ahead.foldersEnd = &member->next;
    return true;
}

bool DecodesAhead(const LzhHeader& header, MethodId method) {
    return method != MethodUnknown && !IsFolderMember(header, method) && header.originalSize <= LargestAhead;
}

// Decodes the member whose data the input is at, as the worker would, into a slot's worth;
// false when this thread could not get the memory for it (its window, its input or the
// bytes), which is no fault of the member.
// The memory given (`room`, perhaps none) is the sink's to use first.
bool DecodeOne(const LzhHeader& header, MethodId method, FileHandle& sink, const Decoded& room, Decoded& decoded) {
    sink.OpenInMemory(header.originalSize, room.data, room.memorySize);
    decodeState.failure = DecodeFailure::None;
    decoded.crc = DecodeMember(ahead.input, &sink, header.originalSize, header.packedSize, method);
    decoded.data = sink.TakeWritten(decoded.size, &decoded.memorySize);
    decoded.ranOut = PackedDataRanOut();
    if (decodeState.failure == DecodeFailure::None) return true;
    delete[] decoded.data;
    decoded = Decoded{};
    return false;
}

void* RunAhead(void*) {
    MakeCrcTable();
    FileHandle sink;
    FileHandle& input = ahead.input;
    LzhHeader header;
    uint64_t at = ahead.from;
    // Unless it is stopped, the walk ends where the worker's walks over the headers do.
    bool keptAll = true, stopped = false;
    while (input.Seek(static_cast<int64_t>(at), SeekOrigin::Begin) && ReadHeader(input, header) == HeaderRead::Member) {
        const MethodId method = LookUpMethod(header.method);
        const bool decodes = DecodesAhead(header, method);
        if (keptAll && IsFolderMember(header, method)) keptAll = KeepFolder(header);
        std::unique_lock<std::mutex> hold(ahead.lock);
        if (!RoomFor(decodes ? header.originalSize : 0)) {
            ahead.threadWaits = true;
            ahead.changed.wait(hold, [] { return ahead.stopping || DrainedToHalf(); });
            ahead.threadWaits = false;
        }
        stopped = ahead.stopping;
        if (stopped) break;
        const Decoded room = decodes ? TakeSpare(header.originalSize) : Decoded{};
        // The slot after the last one held stays free while the worker takes slots from
        // the front: it is filled without the lock, and held once the lock is taken again.
        Slot& slot = ahead.slots[(ahead.first + ahead.count) % SlotCount];
        hold.unlock();
        slot.headerAt = at;
        slot.dataStart = input.Tell();
        slot.outputPath.Assign(header.path);
        SanitizeMemberPath(slot.outputPath, u'/');
        slot.header.path.Swap(header.path);
        static_cast<LzhHeaderValues&>(slot.header) = header;
        slot.decoded = decodes && DecodeOne(slot.header, method, sink, room, slot.bytes);
        const uint64_t next = slot.dataStart + header.packedSize;
        hold.lock();
        ++ahead.count;
        ahead.held += slot.bytes.size;
        stopped = keepRunning.load() == 0 || ahead.stopping;
        if (stopped || next > input.size) break;
        ahead.walkedTo = at = next;
        WakeWorker();
    }
    std::lock_guard<std::mutex> hold(ahead.lock);
    ahead.foldersComplete = keptAll && !stopped;
    ahead.finished = true;
    ahead.changed.notify_all();
    return nullptr;
}

// The worker's copy: the bytes to the output in pieces, progress after each.
void WriteDecoded(const Decoded& decoded, FileHandle& output) {
    decodeState.failure = DecodeFailure::None;
    decodeState.packedDataRanOut = decoded.ranOut;
    decodeState.crc = static_cast<uint16_t>(decoded.crc);
    for (uint64_t done = 0; done < decoded.size;) {
        const uint64_t left = decoded.size - done;
        const uint32_t piece = left < WritePiece ? static_cast<uint32_t>(left) : WritePiece;
        if (!output.Write(decoded.data + done, piece)) {
            decodeState.failure = DecodeFailure::WriteFailed;
            decodeState.failureCode = LastErrorCode();
            return;
        }
        done += piece;
        ReportProgress(done);
        if (keepRunning.load() == 0) return;
    }
}

// The slot of the member whose header begins at `headerAt`, once the thread has decided
// about it; null when it holds none. Members the worker passed over, or took already, are
// let go on the way.
Slot* WaitFor(uint64_t headerAt, std::unique_lock<std::mutex>& hold) {
    for (;;) {
        while (ahead.count && Front().headerAt < headerAt) DropFront();
        WakeThread();
        if (ahead.count || ahead.finished || ahead.walkedTo > headerAt) break;
        ahead.workerWaits = true;
        ahead.changed.wait(hold);
        ahead.workerWaits = false;
    }
    return ahead.count && Front().headerAt == headerAt ? &Front() : nullptr;
}

}  // namespace

void StartDecodingAhead(Extractor& extractor) {
    if (!ahead.running) ForgetFolders();  // an earlier run's
    if (ahead.running || extractor.chooseMember || extractor.keepExisting || !extractor.packageFile) return;
    if (!ahead.input.OpenAgain(*extractor.packageFile)) return;
    ahead.from = ahead.walkedTo = extractor.packageFile->Tell();
    ahead.stopping = ahead.finished = false;
    ahead.running = StartThread(ahead.thread, RunAhead, nullptr);
    if (!ahead.running) ahead.input.Close();
}

void StopDecodingAhead() {
    if (!ahead.running) return;
    {
        std::lock_guard<std::mutex> hold(ahead.lock);
        ahead.stopping = true;
        ahead.changed.notify_all();
    }
    JoinThread(ahead.thread);
    while (ahead.count) DropFront();
    ForgetSpares();
    ahead.input.Close();
    ahead.running = false;
}

bool KeptEveryFolderAhead() { return !ahead.running && ahead.foldersComplete; }

bool TakeFolderAhead(LzhHeader& header) {
    FolderMember* member = ahead.folders;
    if (!member) {
        ForgetFolders();
        return false;
    }
    header = member->header;
    ahead.folders = member->next;
    delete member;
    return true;
}

bool TakeHeaderAhead(uint64_t headerAt, FileHandle& package, LzhHeader& header) {
    if (!ahead.running) return false;
    std::unique_lock<std::mutex> hold(ahead.lock);
    Slot* member = WaitFor(headerAt, hold);
    hold.unlock();
    // Only the worker lets go of a held slot, and the thread writes no slot it holds: its
    // path is the worker's to take.
    if (!member) return false;
    static_cast<LzhHeaderValues&>(header) = member->header;
    header.path.Swap(member->header.path);
    return package.Seek(static_cast<int64_t>(member->dataStart), SeekOrigin::Begin);
}

bool TakeOutputPathAhead(uint64_t headerAt, WideString& outputPath) {
    if (!ahead.running) return false;
    std::lock_guard<std::mutex> hold(ahead.lock);
    if (!ahead.count || Front().headerAt != headerAt || !Front().outputPath.HasText()) return false;
    outputPath.Swap(Front().outputPath);
    return true;
}

bool TakeDecodedAhead(uint64_t headerAt, FileHandle& output, uint32_t& crc) {
    if (!ahead.running) return false;
    Decoded decoded;
    {
        std::unique_lock<std::mutex> hold(ahead.lock);
        const Slot* member = WaitFor(headerAt, hold);
        if (!member) return false;
        if (!member->decoded) {
            DropFront();
            WakeThread();
            return false;
        }
        decoded = TakeFront();
        WakeThread();
    }
    WriteDecoded(decoded, output);
    crc = decoded.crc;
    std::lock_guard<std::mutex> hold(ahead.lock);
    Recycle(decoded);
    return true;
}
