// A bump allocator for the shape records of a movie read from a file. A large movie has tens of
// thousands of shapes; giving each its own heap block is slow on heaps that search their free
// space (Wine's grows quadratically with such blocks), so their records are carved from a few
// large chunks that live as long as the movie's shapes.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

namespace quill::movie {

class RecordArena {
  public:
    void* allocate(size_t bytes, size_t align) {
        size_t start = (used_ + align - 1) & ~(align - 1);
        if (!current_ || start + bytes > size_) {
            size_t size =
                bytes > kChunk / 4 ? bytes : kChunk;  // big arrays get a chunk of their own
            chunks_.push_back(std::unique_ptr<std::byte[]>(new std::byte[size]));
            if (size != kChunk) return chunks_.back().get();
            current_ = chunks_.back().get();
            size_ = size;
            start = 0;
        }
        used_ = start + bytes;
        return current_ + start;
    }

  private:
    static constexpr size_t kChunk = 16 << 20;
    std::vector<std::unique_ptr<std::byte[]>> chunks_;
    std::byte* current_ = nullptr;
    size_t used_ = 0, size_ = 0;
};

// Allocates from an arena when it has one (blocks are freed with the arena), from the heap
// otherwise, so vectors built in code behave as usual.
template <class T>
struct ArenaAllocator {
    using value_type = T;
    // A vector given an arena keeps it when assigned or swapped.
    using propagate_on_container_copy_assignment = std::true_type;
    using propagate_on_container_move_assignment = std::true_type;
    using propagate_on_container_swap = std::true_type;
    std::shared_ptr<RecordArena> arena;

    ArenaAllocator() = default;
    explicit ArenaAllocator(std::shared_ptr<RecordArena> a) : arena(std::move(a)) {}
    template <class U>
    ArenaAllocator(const ArenaAllocator<U>& other) : arena(other.arena) {}

    T* allocate(size_t n) {
        if (!arena) return std::allocator<T>().allocate(n);
        if (n > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
        return static_cast<T*>(arena->allocate(n * sizeof(T), alignof(T)));
    }
    void deallocate(T* p, size_t n) {
        if (!arena) std::allocator<T>().deallocate(p, n);
    }
    template <class U>
    bool operator==(const ArenaAllocator<U>& other) const {
        return arena == other.arena;
    }
};

}  // namespace quill::movie
