#pragma once
// What every fuzz target shares: the check of a property, a reader of the
// input bytes, a working folder of its own, and the registration of the
// target's entry point.
//
// Each target is one source file with one entry point. Built with clang and
// ZV_LIBFUZZER, the file becomes a libFuzzer program (the entry point is its
// LLVMFuzzerTestOneInput) and a failed check aborts, so that libFuzzer keeps
// the input. Built without it, every target registers itself with the replay
// test, which feeds it each committed input and reports a failed check as a
// test failure naming the file.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zv::fuzz {

using TEntryPoint = int (*)(const std::uint8_t* data, std::size_t size);

// A property of the code under test did not hold for this input.
class TPropertyFailure : public std::runtime_error {
public:
    explicit TPropertyFailure(const std::string& what) : std::runtime_error(what) {}
};

// Reports a failed property: aborts under libFuzzer, throws TPropertyFailure
// in the replay.
[[noreturn]] void fail(const char* file, int line, const std::string& what);

// A property that fails because of a known fault whose fix is under way
// elsewhere. A fuzz run told to go past it (ZV_FUZZ_TOLERATE, a list of fault
// names separated by commas) notes it once and drops the input; otherwise it
// fails as any other property.
class TToleratedFault {};
[[noreturn]] void failKnown(const char* fault, const char* file, int line, const std::string& what);

// Text for a failure message: printable bytes as they are, others as \xNN,
// cut after `limit` characters.
std::string printable(std::string_view bytes, std::size_t limit = 200);

// Reads an input from the front: single bytes and numbers for the choices a
// target makes, then the rest as text. Past the end every byte reads 0.
class TFuzzInput {
public:
    TFuzzInput(const std::uint8_t* data, std::size_t size)
        : data_(reinterpret_cast<const char*>(data)), size_(size) {}

    std::uint8_t byte() {
        return pos_ < size_ ? static_cast<std::uint8_t>(data_[pos_++]) : std::uint8_t{0};
    }
    std::uint32_t number32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | byte();
        return v;
    }
    // Everything not read yet.
    std::string_view rest() {
        std::string_view r = pos_ < size_ ? std::string_view(data_ + pos_, size_ - pos_) : std::string_view();
        pos_ = size_;
        return r;
    }

private:
    const char* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// A small deterministic generator (splitmix64) for choices derived from an
// input, such as where to cut it into pieces.
class TSplitMix {
public:
    explicit TSplitMix(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    // 0 .. bound-1 (bound > 0).
    std::size_t below(std::size_t bound) { return static_cast<std::size_t>(next() % bound); }

private:
    std::uint64_t state_;
};

std::uint64_t hashBytes(std::string_view bytes);

// Whether the records' first fields come in byte order (unsigned bytes, a
// proper prefix first), as the sorted stores keep them.
bool keyOrdered(const std::vector<std::vector<std::string>>& records);

// How a text reaches the server: all at once, one byte per read, or in
// pieces of varied size chosen by `seed`.
enum class TDelivery { kWhole, kByteByByte, kRandomPieces };
std::vector<std::string_view> cutIntoPieces(std::string_view text, TDelivery delivery, std::uint64_t seed);

// A folder of the target's own (under $ZV_FUZZ_TMP, else in memory when
// /dev/shm is there), made the current directory; created at the first call
// of the process and removed at its end. Every target also runs in one fixed time zone with summer time,
// so that replays give the same results on every machine.
const std::string& enterWorkFolder(const char* target);
// The instant the targets' fixed clock shows: 2 March 2026, 10:20:30 local
// time (call after enterWorkFolder, which sets the zone).
std::time_t fixedNow();
// Deletes every file in the current folder.
void clearFolder();
// Whole file, empty when it does not exist.
std::string readWholeFile(const std::string& path);
void writeWholeFile(const std::string& path, std::string_view bytes);
bool fileThere(const std::string& path);

// The targets known to the replay, by name.
struct TTarget {
    std::string name;
    TEntryPoint entry;
};
bool registerTarget(const char* name, TEntryPoint entry);
const std::vector<TTarget>& registeredTargets();

}  // namespace zv::fuzz

#define ZV_FUZZ_CHECK(condition, what)                                                                  \
    do {                                                                                               \
        if (!(condition)) ::zv::fuzz::fail(__FILE__, __LINE__, std::string(#condition) + ": " + (what)); \
    } while (0)

#define ZV_FUZZ_CHECK_KNOWN(fault, condition, what)                                                \
    do {                                                                                            \
        if (!(condition))                                                                           \
            ::zv::fuzz::failKnown(fault, __FILE__, __LINE__, std::string(#condition) + ": " + (what)); \
    } while (0)

// Makes `function` the entry point of target `name`. An input dropped for a
// tolerated fault is kept out of libFuzzer's corpus.
#ifdef ZV_LIBFUZZER
#define ZV_FUZZ_TARGET(name, function)                                                \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) { \
        try {                                                                          \
            return function(data, size);                                               \
        } catch (const ::zv::fuzz::TToleratedFault&) {                                 \
            return -1;                                                                 \
        }                                                                              \
    }
#else
#define ZV_FUZZ_TARGET(name, function) \
    static const bool zvFuzzRegistered_##name = ::zv::fuzz::registerTarget(#name, &function);
#endif
