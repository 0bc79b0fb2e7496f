// The collected heap: blocks carved from 102,400-byte chunks, small ones in 8-byte steps from an
// allocation region, larger ones in powers of two from segregated free lists; a block too large
// for a shared chunk gets a chunk of its own, which goes back to the system as soon as the block
// is freed and grows in place when the system allows. A mark-and-sweep collector marks with an
// explicit work stack so deep structures never recurse on the native stack.
#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

#include "runtime/array.h"
#include "runtime/engine_internal.h"

namespace quill {

// Every block is preceded by one header word: (payload size << 2) | flags.
using BlockHeader = uint64_t;
constexpr uint64_t kMarkedBit = 1;
constexpr uint64_t kFinalizableBit = 2;
constexpr size_t kHeaderSize = sizeof(BlockHeader);
constexpr size_t kMinBlock = 8;  // room for the free-list link
constexpr size_t kChunkBytes = 102400;
// Requests up to this size are rounded to 8 bytes and have free lists of their own size;
// larger ones are rounded to a power of two.
constexpr size_t kSmallLimit = 256;
constexpr int kSmallClasses = int(kSmallLimit / 8);  // 8, 16, ... 256
constexpr int kClassCount = 64;

struct HeapChunk {
    HeapChunk* next;
    HeapChunk* prev;
    size_t size;  // whole chunk, this header included
};
constexpr size_t kChunkHeaderSize = sizeof(HeapChunk);
// The largest rounded request a shared chunk can hold.
constexpr size_t kLargestShared = kChunkBytes - kChunkHeaderSize - kHeaderSize;
// Blocks of their own chunk are sized in whole pages.
constexpr size_t kPageBytes = 4096;

namespace {

inline BlockHeader& header(const void* block) {
    return *reinterpret_cast<BlockHeader*>(const_cast<char*>(static_cast<const char*>(block)) -
                                           kHeaderSize);
}
inline size_t blockSize(const void* block) {
    return static_cast<size_t>(header(block) >> 2);
}
inline void*& freeLink(void* block) {
    return *static_cast<void**>(block);
}

// Small sizes have exact classes; a larger block goes to the class of its power-of-two range,
// where every block is at least as large as any request rounded to that power.
inline int sizeClass(size_t size) {
    if (size <= kSmallLimit) return int(size / 8) - 1;
    int c = kSmallClasses + int(std::bit_width(size)) - 1 - 8;
    return c < kClassCount ? c : kClassCount - 1;
}

inline char* chunkBody(HeapChunk* chunk) {
    return reinterpret_cast<char*>(chunk) + kChunkHeaderSize;
}
inline char* chunkEnd(HeapChunk* chunk) {
    return reinterpret_cast<char*>(chunk) + chunk->size;
}

void pushFree(HeapState& heap, void* block) {
    int c = sizeClass(blockSize(block));
    freeLink(block) = heap.freeLists[c];
    heap.freeLists[c] = block;
    heap.nonEmpty |= uint64_t(1) << c;
}

[[noreturn]] void outOfMemory(ScriptEngine* engine) {
    raiseError(engine, "Out of memory");
}

// Gives the unused rest of the allocation region back as an ordinary free block, so that every
// byte of every chunk is covered by a block again (the sweep walks them).
void closeRegion(HeapState& heap) {
    if (heap.regionCursor && heap.regionCursor < heap.regionEnd) {
        void* block = heap.regionCursor + kHeaderSize;
        header(block) = static_cast<BlockHeader>(heap.regionEnd - heap.regionCursor - kHeaderSize)
                        << 2;
        pushFree(heap, block);
    }
    heap.regionCursor = heap.regionEnd = nullptr;
}

void linkChunk(HeapState& heap, HeapChunk* chunk) {
    chunk->prev = nullptr;
    chunk->next = heap.chunks;
    if (heap.chunks) heap.chunks->prev = chunk;
    heap.chunks = chunk;
}

void unlinkChunk(HeapState& heap, HeapChunk* chunk) {
    if (chunk->prev) {
        chunk->prev->next = chunk->next;
    } else {
        heap.chunks = chunk->next;
    }
    if (chunk->next) chunk->next->prev = chunk->prev;
}

// Refuses `bytes` more when they would take the heap past its limit.
void checkLimit(ScriptEngine* engine, size_t bytes) {
    HeapState& heap = engine->heap;
    if (engine->maxHeapBytes &&
        heap.bytesInChunks + heap.externalBytes + bytes > engine->maxHeapBytes) {
        heap.limitReached = true;
        outOfMemory(engine);
    }
}

// A block larger than kLargestShared is the only block of its chunk.
inline bool ownsChunk(const void* block) {
    return blockSize(block) > kLargestShared;
}
inline HeapChunk* chunkOf(void* block) {
    return reinterpret_cast<HeapChunk*>(static_cast<char*>(block) - kHeaderSize - kChunkHeaderSize);
}

// The chunk bytes for a block of its own of `rounded` bytes.
inline size_t largeChunkBytes(size_t rounded) {
    return rounded + kChunkHeaderSize + kHeaderSize;
}

// A new chunk of `bytes`, linked and counted, within the heap limit.
HeapChunk* newChunk(ScriptEngine* engine, size_t bytes) {
    checkLimit(engine, bytes);
    auto* chunk = static_cast<HeapChunk*>(std::malloc(bytes));
    if (!chunk) outOfMemory(engine);
    chunk->size = bytes;
    linkChunk(engine->heap, chunk);
    engine->heap.bytesInChunks += bytes;
    return chunk;
}

// A shared chunk, all one free block.
void addChunk(ScriptEngine* engine) {
    HeapState& heap = engine->heap;
    HeapChunk* chunk = newChunk(engine, kChunkBytes);
    void* block = chunkBody(chunk) + kHeaderSize;
    size_t payload = kLargestShared;
    header(block) = static_cast<BlockHeader>(payload) << 2;
    heap.freeBytes += payload;
    pushFree(heap, block);
}

// First fit from the request's class upward. Every block on the lists above the request's own
// is large enough, except in the last list, which needs a scan.
void* takeFree(HeapState& heap, size_t rounded) {
    int c = sizeClass(rounded);
    uint64_t candidates = heap.nonEmpty & ~((uint64_t(1) << c) - 1);
    while (candidates) {
        int k = std::countr_zero(candidates);
        candidates &= candidates - 1;
        void** link = &heap.freeLists[k];
        while (*link) {
            void* block = *link;
            if (blockSize(block) >= rounded) {
                *link = freeLink(block);
                if (!heap.freeLists[k]) heap.nonEmpty &= ~(uint64_t(1) << k);
                return block;
            }
            link = &freeLink(block);
        }
        if (!heap.freeLists[k]) heap.nonEmpty &= ~(uint64_t(1) << k);
    }
    return nullptr;
}

size_t roundRequest(ScriptEngine* engine, size_t size) {
    if (size > (size_t(1) << 48)) outOfMemory(engine);
    if (size <= kSmallLimit) return size < kMinBlock ? kMinBlock : (size + 7) & ~size_t(7);
    size_t rounded = std::bit_ceil(size);
    if (rounded <= kLargestShared) return rounded;
    return (size + kPageBytes - 1) & ~(kPageBytes - 1);
}

// A block with a chunk of its own.
void* allocateLarge(ScriptEngine* engine, size_t rounded, uint64_t flags) {
    HeapChunk* chunk = newChunk(engine, largeChunkBytes(rounded));
    void* block = chunkBody(chunk) + kHeaderSize;
    header(block) = (static_cast<BlockHeader>(rounded) << 2) | flags;
    engine->heap.bytesSinceCollect += rounded;
    return block;
}

void freeLarge(HeapState& heap, void* block) {
    HeapChunk* chunk = chunkOf(block);
    unlinkChunk(heap, chunk);
    heap.bytesInChunks -= chunk->size;
    std::free(chunk);
}

inline void* handOut(HeapState& heap, void* block, size_t size, uint64_t flags) {
    header(block) = (static_cast<BlockHeader>(size) << 2) | flags;
    heap.bytesSinceCollect += size;
    heap.freeBytes -= size;
    return block;
}

// Small blocks: an exact free list first, then the allocation region, which is carved from the
// front like a bump allocator; when it runs out, the next free block becomes the region.
void* allocateSmall(ScriptEngine* engine, size_t rounded, uint64_t flags) {
    HeapState& heap = engine->heap;
    int c = sizeClass(rounded);
    if (void* block = heap.freeLists[c]) {
        heap.freeLists[c] = freeLink(block);
        if (!heap.freeLists[c]) heap.nonEmpty &= ~(uint64_t(1) << c);
        return handOut(heap, block, rounded, flags);
    }
    for (;;) {
        size_t need = rounded + kHeaderSize;
        size_t room = size_t(heap.regionEnd - heap.regionCursor);
        if (heap.regionCursor && room >= need) {
            // The rest must be empty or able to hold a block of its own.
            if (room - need < kHeaderSize + kMinBlock) {
                rounded += room - need;
                need = room;
            }
            void* block = heap.regionCursor + kHeaderSize;
            heap.regionCursor += need;
            return handOut(heap, block, rounded, flags);
        }
        closeRegion(heap);
        void* fresh = takeFree(heap, rounded);
        if (!fresh) {
            addChunk(engine);
            fresh = takeFree(heap, rounded);
            if (!fresh) outOfMemory(engine);
        }
        heap.regionCursor = static_cast<char*>(fresh) - kHeaderSize;
        heap.regionEnd = static_cast<char*>(fresh) + blockSize(fresh);
    }
}

void* allocate(ScriptEngine* engine, size_t size, uint64_t flags) {
    HeapState& heap = engine->heap;
    size_t rounded = roundRequest(engine, size);
    if (rounded <= kSmallLimit) return allocateSmall(engine, rounded, flags);
    if (rounded > kLargestShared) return allocateLarge(engine, rounded, flags);
    void* block = takeFree(heap, rounded);
    if (!block) {
        addChunk(engine);
        block = takeFree(heap, rounded);
        if (!block) outOfMemory(engine);
    }
    size_t have = blockSize(block);
    if (have - rounded >= kHeaderSize + kMinBlock) {
        void* rest = static_cast<char*>(block) + rounded + kHeaderSize;
        header(rest) = static_cast<BlockHeader>(have - rounded - kHeaderSize) << 2;
        pushFree(heap, rest);
        heap.freeBytes -= kHeaderSize;
        have = rounded;
    }
    return handOut(heap, block, have, flags);
}

}  // namespace

void* gcAlloc(ScriptEngine* engine, size_t size) {
    return allocate(engine, size, 0);
}

void* gcAllocZero(ScriptEngine* engine, size_t size) {
    void* block = allocate(engine, size, 0);
    std::memset(block, 0, size);
    return block;
}

void* gcAllocZeroFinalizable(ScriptEngine* engine, size_t size) {
    if (size < sizeof(BlockFinalizer)) size = sizeof(BlockFinalizer);
    void* block = allocate(engine, size, kFinalizableBit);
    std::memset(block, 0, size);
    return block;
}

size_t gcBlockSize(const void* block) {
    return block ? blockSize(block) : 0;
}

void* gcRealloc(ScriptEngine* engine, void* block, size_t size) {
    if (!block) return gcAlloc(engine, size);
    size_t have = blockSize(block);
    if (have >= size) return block;
    if (ownsChunk(block)) {
        // Grow the chunk itself: the system may extend it where it is, and never needs the old
        // and the new block at once.
        HeapState& heap = engine->heap;
        size_t rounded = roundRequest(engine, size);
        HeapChunk* chunk = chunkOf(block);
        size_t bytes = largeChunkBytes(rounded);
        checkLimit(engine, bytes - chunk->size);
        size_t oldBytes = chunk->size;
        // The order of the chunk list means nothing, so the chunk leaves it and comes back.
        unlinkChunk(heap, chunk);
        auto* moved = static_cast<HeapChunk*>(std::realloc(chunk, bytes));
        if (!moved) {
            linkChunk(heap, chunk);  // untouched by the failed reallocation
            outOfMemory(engine);
        }
        moved->size = bytes;
        linkChunk(heap, moved);
        heap.bytesInChunks += bytes - oldBytes;
        heap.bytesSinceCollect += rounded - have;
        void* grown = chunkBody(moved) + kHeaderSize;
        header(grown) = (static_cast<BlockHeader>(rounded) << 2) | (header(grown) & 3);
        return grown;
    }
    void* grown = gcAlloc(engine, size);
    std::memcpy(grown, block, have);
    gcFree(engine, block);
    return grown;
}

void gcFree(ScriptEngine* engine, void* block) {
    if (!block) return;
    // The sweep rebuilds the free lists itself; a finalizer freeing a block is a no-op then.
    if (engine->heap.sweeping) return;
    if (ownsChunk(block)) {
        freeLarge(engine->heap, block);
        return;
    }
    size_t size = blockSize(block);
    header(block) = static_cast<BlockHeader>(size) << 2;
    engine->heap.freeBytes += size;
    pushFree(engine->heap, block);
}

int mark(void* block) {
    if (!block) return 0;
    BlockHeader& h = header(block);
    if (h & kMarkedBit) return 0;
    h |= kMarkedBit;
    return 1;
}

int isMarked(const void* block) {
    return block ? int(header(block) & kMarkedBit) : 1;
}

// ---------------------------------------------------------------------------------------------
// Marking.

void pushGray(ScriptEngine* engine, void* block, GrayKind kind) {
    engine->grayStack.push_back(reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(block) | kind));
}

void markValue(ScriptEngine* engine, const ScriptValue& v) {
    switch (v.tag) {
        case kTagString:
            // Nothing in a string leads further than its characters and its properties object,
            // so it is finished here rather than queued.
            if (mark(v.str)) {
                mark(stringCharsBlock(v.str));
                if (v.str->props) markObject(engine, v.str->props);
            }
            break;
        case kTagArray:
            if (mark(v.arr)) pushGray(engine, v.arr, kGrayArray);
            break;
        case kTagObject:
            if (mark(v.obj)) pushGray(engine, v.obj, kGrayObject);
            break;
        case kTagHost:
            if (mark(v.host)) pushGray(engine, v.host, kGrayHost);
            break;
        case kTagFunction:
            if (mark(v.fn)) pushGray(engine, v.fn, kGrayFunction);
            break;
        default:
            break;
    }
}

void markObject(ScriptEngine* engine, ScriptObject* object) {
    if (mark(object)) pushGray(engine, object, kGrayObject);
}

void markClass(ScriptEngine* engine, ClassDescriptor* cls) {
    if (mark(cls)) pushGray(engine, cls, kGrayClass);
}

namespace {

void drainGray(ScriptEngine* engine) {
    auto& gray = engine->grayStack;
    while (!gray.empty()) {
        uintptr_t word = reinterpret_cast<uintptr_t>(gray.back());
        gray.pop_back();
        void* block = reinterpret_cast<void*>(word & ~uintptr_t(7));
        switch (static_cast<GrayKind>(word & 7)) {
            case kGrayString: {
                auto* s = static_cast<StringRecord*>(block);
                mark(stringCharsBlock(s));
                if (s->props) markObject(engine, s->props);
                break;
            }
            case kGrayArray:
                markArrayContents(engine, static_cast<ArrayRecord*>(block));
                break;
            case kGrayObject: {
                auto* o = static_cast<ScriptObject*>(block);
                if (!o->slotsInline()) mark(o->slots);
                mark(o->index);
                for (uint32_t i = 0; i < o->count; ++i) markValue(engine, o->slots[i].value);
                break;
            }
            case kGrayHost: {
                auto* h = static_cast<HostInstance*>(block);
                if (h->cls) {
                    markClass(engine, h->cls);
                    if (h->cls->markInstance && h->data)
                        h->cls->markInstance(engine, h->cls, h->data);
                }
                if (h->props) markObject(engine, h->props);
                break;
            }
            case kGrayFunction: {
                auto* f = static_cast<FunctionValue*>(block);
                mark(f->code);
                if (f->props) markObject(engine, f->props);
                break;
            }
            case kGrayClass: {
                auto* c = static_cast<ClassDescriptor*>(block);
                if (c->prototype) markObject(engine, c->prototype);
                break;
            }
            case kGrayWith: {
                auto* w = static_cast<WithList*>(block);
                for (uint32_t i = 0; i < w->count; ++i) markValue(engine, w->values[i]);
                break;
            }
        }
    }
}

void markRoots(ScriptEngine* engine, ScriptValue* stackTop) {
    for (uint32_t i = 0; i < engine->constantCount; ++i) markValue(engine, engine->constants[i]);
    drainGray(engine);
    for (uint32_t i = 0; i < engine->globalCount; ++i) markValue(engine, engine->globals[i]);
    drainGray(engine);
    for (ClassDescriptor* cls : engine->typeTable) {
        if (cls) markClass(engine, cls);
    }
    for (const auto& entry : engine->registeredNames) markClass(engine, entry.second);
    drainGray(engine);
    // The value stack: a frame-mark slot starts a four-slot frame record (return address, with
    // list, argument pad with the running function, frame head).
    ScriptValue* p = stackTop ? stackTop : engine->stackEnd;
    while (p < engine->stackEnd) {
        if (p->tag == kTagFrameMark) {
            if (p + 1 < engine->stackEnd && p[1].tag == kTagFrameMark && p[1].with) {
                if (mark(p[1].with)) pushGray(engine, p[1].with, kGrayWith);
            }
            if (p + 2 < engine->stackEnd && (p[2].tag & 0xF) == kTagFramePad) mark(p[2].p);
            p += 4;
            continue;
        }
        markValue(engine, *p);
        ++p;
    }
    drainGray(engine);
    markValue(engine, engine->returnSlot);
    markValue(engine, engine->thrownValue);
    mark(engine->errorFunction);
    for (const ScriptValue& v : engine->staticStrings) markValue(engine, v);
    for (const ScriptValue& v : engine->builtinRoots) markValue(engine, v);
    for (RootBlock* r = engine->roots; r; r = r->next) {
        for (size_t i = 0; i < r->count; ++i) markValue(engine, r->values[i]);
    }
    drainGray(engine);
}

inline void runFinalizer(ScriptEngine* engine, void* block) {
    BlockHeader& h = header(block);
    if (h & kFinalizableBit) {
        h &= ~kFinalizableBit;
        BlockFinalizer fin = *static_cast<BlockFinalizer*>(block);
        if (fin) fin(engine, block);
    }
}

// Sweeps every chunk: marked blocks are unmarked and counted live; runs of unmarked blocks are
// finalized, merged and put back on the free lists. Chunks left wholly free are returned to the
// system (one shared chunk is kept for the next allocations).
size_t sweep(ScriptEngine* engine, bool everything) {
    HeapState& heap = engine->heap;
    closeRegion(heap);
    heap.sweeping = true;
    for (auto& list : heap.freeLists) list = nullptr;
    heap.nonEmpty = 0;
    heap.freeBytes = 0;
    size_t live = 0;
    bool keptShared = false;
    HeapChunk* next;
    for (HeapChunk* chunk = heap.chunks; chunk; chunk = next) {
        next = chunk->next;
        char* end = chunkEnd(chunk);
        char* pos = chunkBody(chunk);
        bool anyLive = false;
        void* lastFree = nullptr;
        while (pos < end) {
            void* block = pos + kHeaderSize;
            size_t size = blockSize(block);
            if (!everything && (header(block) & kMarkedBit)) {
                header(block) &= ~kMarkedBit;
                live += size;
                anyLive = true;
                pos += kHeaderSize + size;
                continue;
            }
            runFinalizer(engine, block);
            size_t merged = size;
            char* after = pos + kHeaderSize + size;
            while (after < end) {
                void* nb = after + kHeaderSize;
                if (!everything && (header(nb) & kMarkedBit)) break;
                runFinalizer(engine, nb);
                size_t ns = blockSize(nb);
                merged += kHeaderSize + ns;
                after += kHeaderSize + ns;
            }
            header(block) = static_cast<BlockHeader>(merged) << 2;
            heap.freeBytes += merged;
            pushFree(heap, block);
            lastFree = block;
            pos = after;
        }
        bool shared = chunk->size == kChunkBytes;
        if (!anyLive && !everything && (!shared || keptShared)) {
            // The chunk is one free block, the one pushed last: take it back off its list.
            int c = sizeClass(blockSize(lastFree));
            heap.freeLists[c] = freeLink(lastFree);
            if (!heap.freeLists[c]) heap.nonEmpty &= ~(uint64_t(1) << c);
            heap.freeBytes -= blockSize(lastFree);
            unlinkChunk(heap, chunk);
            heap.bytesInChunks -= chunk->size;
            std::free(chunk);
            continue;
        }
        if (!anyLive && shared) keptShared = true;
    }
    heap.sweeping = false;
    // Class data goes last: instances swept in the same pass may still have needed it.
    auto pending = std::move(engine->deferredClassData);
    engine->deferredClassData.clear();
    for (auto& [destructor, data] : pending) destructor(data);
    return live;
}

// Collect again once a quarter as much as is live has been handed out (at least 1 MB): a large
// live heap is not traced over and over for little garbage, and the heap stays within about one
// and a quarter times what is live. Below 256 KB live the wait is four times the live bytes (at
// least 256 KB): such a collection is cheap, and a script that allocates only short-lived data
// holds about a third of the chunks it would with the 1 MB wait.
size_t nextThreshold(size_t live) {
    if (live / 4 > kLargeThreshold) return live / 4;
    return std::clamp(live * 4, kSmallThreshold, kLargeThreshold);
}

}  // namespace

size_t collect(ScriptEngine* engine, ScriptValue* stackTop) {
    HeapState& heap = engine->heap;
    markRoots(engine, stackTop);
    size_t live = sweep(engine, false);
    heap.liveBytes = live;
    heap.bytesSinceCollect = 0;
    heap.limitReached = false;
    heap.collections++;
    heap.threshold = nextThreshold(live);
    engine->grayStack.clear();
    if (engine->grayStack.capacity() > 65536) engine->grayStack.shrink_to_fit();
    return live;
}

namespace {

bool collectionDue(const ScriptEngine* engine) {
    const HeapState& heap = engine->heap;
    if (engine->gcStress || heap.bytesSinceCollect >= heap.threshold) return true;
    // Under a heap limit the garbage has to go before the limit refuses a chunk that a
    // collection would have made unnecessary; allocation itself never collects. Once it has
    // refused, the next collection point collects, so a script that caught "Out of memory" and
    // let go of its data can allocate again.
    if (engine->maxHeapBytes) {
        if (heap.limitReached) return true;
        size_t used = heap.bytesInChunks + heap.externalBytes;
        return used > engine->maxHeapBytes / 2 &&
               heap.bytesSinceCollect >= engine->maxHeapBytes / 16;
    }
    return false;
}

}  // namespace

void collectionPoint(ScriptEngine* engine, ScriptValue* stackTop) {
    if (collectionDue(engine)) collect(engine, stackTop);
    if (engine->hook) {
        int answer = engine->hook(2, engine->hookUser);
        if (answer) {
            // A script may catch the break; its next backward jump or call asks the hook again
            // at once instead of after the usual countdown.
            engine->hookCountdown = 1;
            raiseError(engine, "hook break %d", answer);
        }
    }
}

bool chargeExternalMemory(ScriptEngine* engine, size_t bytes) {
    HeapState& heap = engine->heap;
    if (engine->maxHeapBytes) {
        size_t used = heap.bytesInChunks + heap.externalBytes;
        if (used > engine->maxHeapBytes || bytes > engine->maxHeapBytes - used) {
            heap.limitReached = true;
            return false;
        }
    }
    heap.externalBytes += bytes;
    return true;
}

void releaseExternalMemory(ScriptEngine* engine, size_t bytes) {
    HeapState& heap = engine->heap;
    heap.externalBytes -= bytes < heap.externalBytes ? bytes : heap.externalBytes;
}

void finalizeAllAndFreeHeap(ScriptEngine* engine) {
    sweep(engine, true);
    HeapChunk* chunk = engine->heap.chunks;
    while (chunk) {
        HeapChunk* next = chunk->next;
        std::free(chunk);
        chunk = next;
    }
    engine->heap = HeapState();
}

}  // namespace quill
