// Array sorting: a quicksort with median-of-three pivots that recurses only into the smaller
// side and falls back to heapsort past a depth bound, so sorted or adversarial input stays
// O(n log n) and shallow. Every index is bounds-checked, so a comparator that answers
// inconsistently, throws, or changes the array cannot disturb memory: the sort works on a
// private copy of the elements.
#include <algorithm>
#include <bit>
#include <vector>

#include "builtins/array_methods.h"
#include "runtime/array.h"

namespace quill {

namespace {

class Sorter {
  public:
    Sorter(ScriptEngine* e, const ScriptValue& comparator) : e_(e), comparator_(comparator) {}

    void sort(std::vector<ScriptValue>& items) {
        if (items.size() < 2) return;
        items_ = &items;
        int depth = 2 * int(std::bit_width(items.size()));
        introsort(0, items.size(), depth);
    }

  private:
    // Negative, zero or positive as the comparator orders a and b.
    int64_t compare(const ScriptValue& a, const ScriptValue& b) {
        ScriptValue argv[3] = {makeInteger(2), a, b};
        if (!callFunction(e_, nullptr, &comparator_, 3, argv)) {
            throw ScriptError{};  // the comparator's error goes on, its message intact
        }
        const ScriptValue& r = e_->returnSlot;
        switch (r.tag) {
            case kTagInteger:
                return r.i;
            case kTagNumber:
                return r.d < 0 ? -1 : (r.d > 0 ? 1 : 0);
            case kTagBoolean:
            case kTagUndefined:
            case kTagNull:
                return r.i;
            default:
                return 0;  // references and NaN order nothing
        }
    }

    void insertionSort(size_t lo, size_t hi) {
        auto& v = *items_;
        for (size_t i = lo + 1; i < hi; ++i) {
            ScriptValue x = v[i];
            size_t j = i;
            while (j > lo && compare(x, v[j - 1]) < 0) {
                v[j] = v[j - 1];
                --j;
            }
            v[j] = x;
        }
    }

    void siftDown(size_t lo, size_t root, size_t n) {
        auto& v = *items_;
        for (;;) {
            size_t child = 2 * root + 1;
            if (child >= n) return;
            if (child + 1 < n && compare(v[lo + child], v[lo + child + 1]) < 0) ++child;
            if (compare(v[lo + root], v[lo + child]) >= 0) return;
            std::swap(v[lo + root], v[lo + child]);
            root = child;
        }
    }

    void heapSort(size_t lo, size_t hi) {
        auto& v = *items_;
        size_t n = hi - lo;
        for (size_t i = n / 2; i-- > 0;) siftDown(lo, i, n);
        for (size_t end = n; end-- > 1;) {
            std::swap(v[lo], v[lo + end]);
            siftDown(lo, 0, end);
        }
    }

    void introsort(size_t lo, size_t hi, int depth) {
        auto& v = *items_;
        while (hi - lo > 16) {
            if (depth-- == 0) {
                heapSort(lo, hi);
                return;
            }
            size_t mid = lo + (hi - lo) / 2;
            // Median of three, moved to the end as the pivot.
            if (compare(v[mid], v[lo]) < 0) std::swap(v[mid], v[lo]);
            if (compare(v[hi - 1], v[lo]) < 0) std::swap(v[hi - 1], v[lo]);
            if (compare(v[hi - 1], v[mid]) < 0) std::swap(v[hi - 1], v[mid]);
            std::swap(v[mid], v[hi - 1]);
            ScriptValue pivot = v[hi - 1];
            // Lomuto partition: every index stays inside [lo, hi) whatever the answers.
            size_t i = lo;
            for (size_t k = lo; k < hi - 1; ++k) {
                if (compare(v[k], pivot) < 0) std::swap(v[k], v[i++]);
            }
            std::swap(v[i], v[hi - 1]);
            // Recurse into the smaller side, loop on the larger.
            if (i - lo < hi - i - 1) {
                introsort(lo, i, depth);
                lo = i + 1;
            } else {
                introsort(i + 1, hi, depth);
                hi = i;
            }
        }
        insertionSort(lo, hi);
    }

    ScriptEngine* e_;
    ScriptValue comparator_;
    std::vector<ScriptValue>* items_ = nullptr;
};

}  // namespace

void sortArray(ScriptEngine* e, const ScriptValue& array, const ScriptValue& comparator) {
    ArrayRecord* a = array.arr;
    std::vector<ScriptValue> items;
    items.reserve(static_cast<size_t>(std::min<uint64_t>(presentCount(a), a->length)));
    forEachElement(e, a, [&](uint64_t index, const ScriptValue& v) {
        if (index < a->length) items.push_back(v);
    });
    RootedValues keepItems(e, items.data(), items.size());
    ScriptValue keepComparator = comparator;
    RootedValues keepFn(e, &keepComparator, 1);

    // The sorted elements in order: items[order[i]] for i below `count`, then undefined.
    std::vector<size_t> order;
    size_t count = items.size();
    if (comparator.tag == kTagFunction || comparator.tag == kTagHost) {
        Sorter sorter(e, comparator);
        sorter.sort(items);
    } else {
        // Undefined last; the rest by their text, each converted once. The defined elements move
        // to the front of the copy.
        count = 0;
        for (size_t i = 0; i < items.size(); ++i) {
            if (items[i].tag != kTagUndefined) items[count++] = items[i];
        }
        std::vector<ScriptValue> keys(count);
        RootedValues keepKeys(e, keys.data(), keys.size());
        for (size_t i = 0; i < count; ++i) keys[i] = toString(e, items[i]);
        order.resize(count);
        for (size_t i = 0; i < count; ++i) order[i] = i;
        std::sort(order.begin(), order.end(),
                  [&](size_t x, size_t y) { return compareStrings(keys[x], keys[y]) < 0; });
    }

    uint64_t length = a->length;
    truncateArray(e, array, 0);
    a->length = length;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i >= count) {
            setElement(e, array, makeUndefined(), i);
        } else {
            setElement(e, array, order.empty() ? items[i] : items[order[i]], i);
        }
    }
}

}  // namespace quill
