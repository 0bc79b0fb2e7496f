// The compilation arena: tokens' texts, syntax nodes and everything else one compilation builds
// are bump-allocated here and released together when the compilation ends. Nothing in it is
// ever freed one by one, and nothing in it is seen by the engine's collector.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

namespace quill::compiler {

class Arena {
  public:
    Arena() = default;
    ~Arena() { release(); }
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;

    // Uninitialised memory aligned for 8-byte scalars (pointers, 64-bit integers, doubles: all
    // the records kept here need); throws std::bad_alloc when memory runs out.
    void* allocate(size_t size) {
        size = (size + kAlign - 1) & ~(kAlign - 1);
        if (static_cast<size_t>(end_ - cursor_) < size) grow(size);
        void* block = cursor_;
        cursor_ += size;
        return block;
    }

    // A zero-filled record (the records kept here are plain data).
    template <typename T>
    T* makeZeroed() {
        static_assert(std::is_trivially_destructible_v<T>);
        void* block = allocate(sizeof(T));
        std::memset(block, 0, sizeof(T));
        return static_cast<T*>(block);
    }

    // A NUL-terminated copy of `length` bytes (which may themselves hold NULs).
    char* copyText(const char* text, size_t length) {
        auto* copy = static_cast<char*>(allocate(length + 1));
        if (length) std::memcpy(copy, text, length);
        copy[length] = '\0';
        return copy;
    }

    size_t bytesReserved() const { return reserved_; }

    void release() {
        while (chunks_) {
            Chunk* next = chunks_->next;
            std::free(chunks_);
            chunks_ = next;
        }
        cursor_ = end_ = nullptr;
        reserved_ = 0;
        nextChunkSize_ = kFirstChunkSize;
    }

  private:
    static constexpr size_t kAlign = 8;
    static constexpr size_t kFirstChunkSize = 16 * 1024;
    static constexpr size_t kMaxChunkSize = 4 * 1024 * 1024;

    struct alignas(kAlign) Chunk {
        Chunk* next;
    };

    // Chunks double up to a ceiling, so a large source costs a logarithmic number of mallocs;
    // one oversized request gets a chunk of its own size.
    [[gnu::noinline]] void grow(size_t size) {
        size_t capacity = nextChunkSize_;
        if (capacity < size) capacity = size;
        auto* chunk = static_cast<Chunk*>(std::malloc(sizeof(Chunk) + capacity));
        if (!chunk) throw std::bad_alloc();
        chunk->next = chunks_;
        chunks_ = chunk;
        cursor_ = reinterpret_cast<char*>(chunk + 1);
        end_ = cursor_ + capacity;
        reserved_ += capacity;
        if (nextChunkSize_ < kMaxChunkSize) nextChunkSize_ *= 2;
    }

    Chunk* chunks_ = nullptr;
    char* cursor_ = nullptr;
    char* end_ = nullptr;
    size_t reserved_ = 0;
    size_t nextChunkSize_ = kFirstChunkSize;
};

}  // namespace quill::compiler
