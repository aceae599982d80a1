// The platform layer's templates: the array count, the scoped holders of handles, keys, streams,
// strings and COM interfaces, the long-path retry of every file-system call and the growable
// array. platform.h includes this where what these call is declared; include platform.h.
#pragma once

// Capacity of a fixed array in elements; use it instead of repeating a literal.
template <typename T, size_t N>
constexpr size_t CountOf(T (&)[N]) { return N; }

/* Scoped holders */
// Each holds one handle, key, stream, string or COM interface and releases it on every way out
// with the call that owns it, as SumatraPDF's ScopedWin.h does; none can be copied. Receive()
// releases what is held and hands out the slot for a call that fills it.
template <typename Traits>
class Scoped {
public:
    typedef typename Traits::Type Type;
    Scoped() : value_(Traits::Empty()) {}
    explicit Scoped(Type value) : value_(value) {}
    ~Scoped() { Reset(); }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;
    Type Get() const { return value_; }
    bool IsSet() const { return !Traits::IsEmpty(value_); }
    Type* Receive() {
        Reset();
        return &value_;
    }
    void Reset() {
        if (IsSet()) Traits::Release(value_);
        value_ = Traits::Empty();
    }

private:
    Type value_;
};

// A kernel handle: CreateFileW answers INVALID_HANDLE_VALUE on failure, most other calls null.
struct HandleTraits {
    typedef HANDLE Type;
    static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
    static bool IsEmpty(HANDLE handle) { return handle == INVALID_HANDLE_VALUE || handle == nullptr; }
    static void Release(HANDLE handle) { CloseHandle(handle); }
};
// A search handle, which only FindClose releases.
struct FindTraits {
    typedef HANDLE Type;
    static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
    static bool IsEmpty(HANDLE handle) { return handle == INVALID_HANDLE_VALUE; }
    static void Release(HANDLE handle) { FindClose(handle); }
};
struct RegKeyTraits {
    typedef HKEY Type;
    static HKEY Empty() { return nullptr; }
    static bool IsEmpty(HKEY key) { return key == nullptr; }
    static void Release(HKEY key) { RegCloseKey(key); }
};
struct StreamTraits {
    typedef FILE* Type;
    static FILE* Empty() { return nullptr; }
    static bool IsEmpty(FILE* stream) { return stream == nullptr; }
    static void Release(FILE* stream) { fclose(stream); }
};
struct BstrTraits {
    typedef BSTR Type;
    static BSTR Empty() { return nullptr; }
    static bool IsEmpty(BSTR text) { return text == nullptr; }
    static void Release(BSTR text) { SysFreeString(text); }
};
typedef Scoped<HandleTraits> ScopedHandle;
typedef Scoped<FindTraits> ScopedFind;
typedef Scoped<RegKeyTraits> ScopedRegKey;
typedef Scoped<StreamTraits> ScopedStream;
typedef Scoped<BstrTraits> ScopedBstr;

// A COM interface pointer.
template <typename T>
class ScopedCom {
public:
    ScopedCom() {}
    ~ScopedCom() { Reset(); }
    ScopedCom(const ScopedCom&) = delete;
    ScopedCom& operator=(const ScopedCom&) = delete;
    T* Get() const { return object_; }
    T* operator->() const { return object_; }
    T** Receive() {
        Reset();
        return &object_;
    }
    // For the calls that take the slot as void** (CoCreateInstance, QueryInterface).
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }
    void Reset() {
        if (object_ != nullptr) object_->Release();
        object_ = nullptr;
    }

private:
    T* object_ = nullptr;
};

// The rule for every file-system call on a path: try the path as given and, when that fails, once
// more in its long-path form, when that can be built. call takes a path and returns true on
// success (a result it has besides, it keeps itself); it sees path itself first, then the long
// form. worthRetry, when given, is asked right after a plain failure (its error code still set)
// whether the long form could do better. True when either call succeeded.
template <typename Call, typename Retry>
bool TryWithLongPath(const wchar_t* path, Call call, Retry worthRetry) {
    if (call(path)) return true;
    if (!worthRetry()) return false;
    wchar_t longPath[kPathChars];
    return MakeLongPath(path, longPath, CountOf(longPath)) && call(longPath);
}
template <typename Call>
bool TryWithLongPath(const wchar_t* path, Call call) {
    return TryWithLongPath(path, call, [] { return true; });
}
// The same for a call on two paths (a move, a replacement): both go in their long forms together.
template <typename Call>
bool TryWithLongPaths(const wchar_t* from, const wchar_t* to, Call call) {
    if (call(from, to)) return true;
    wchar_t longFrom[kPathChars];
    wchar_t longTo[kPathChars];
    return MakeLongPath(from, longFrom, CountOf(longFrom)) && MakeLongPath(to, longTo, CountOf(longTo)) &&
           call(longFrom, longTo);
}

// Growable array with the growth rule "a quarter plus 32, or at once to what is needed"
// and an optional maximum; memory failures are fatal (KVA_EXIT).
template <typename T>
class BoundedArray {
public:
    BoundedArray() {}
    explicit BoundedArray(uint32_t n) { Add(n); }
    ~BoundedArray() { free(data_); }
    BoundedArray(const BoundedArray&) = delete;
    BoundedArray& operator=(const BoundedArray&) = delete;

    void Add(uint32_t n);
    void Resize(uint32_t n) {
        if (n > capacity_) Add(n - count_);
        else count_ = n;
    }
    void Clear() { free(data_); data_ = nullptr; count_ = capacity_ = 0; }
    void SetMaximum(uint32_t maximum) { maximum_ = maximum; }
    T& operator[](uint32_t i) { return data_[i]; }
    const T& operator[](uint32_t i) const { return data_[i]; }
    T* Data() { return data_; }
    const T* Data() const { return data_; }
    uint32_t Count() const { return count_; }
    uint32_t Capacity() const { return capacity_; }

private:
    T* data_ = nullptr;
    uint32_t count_ = 0;
    uint32_t capacity_ = 0;
    uint32_t maximum_ = 0;
};

template <typename T>
void BoundedArray<T>::Add(uint32_t n) {
    // Sizes are worked out in 64 bits: a count or byte size that wraps would leave a block
    // smaller than the count says. On failure the count stays as it was, so an array that
    // outlives the exit exception never claims elements it does not have. The maximum holds
    // for the count, also when the block already has room for more.
    uint64_t count = (uint64_t)count_ + n;
    if (maximum_ != 0 && count > maximum_) {
        g_errors.ShowText(L"Maximum allowed array size (%u) is exceeded", maximum_);
        g_errors.ReportMemoryError();
    }
    if (count <= capacity_) {
        count_ = (uint32_t)count;
        return;
    }
    if (count > UINT32_MAX) g_errors.ReportMemoryError();
    uint64_t grown = (uint64_t)capacity_ + capacity_ / 4 + 32;
    if (grown > UINT32_MAX) grown = UINT32_MAX;
    uint64_t capacity = count > grown ? count : grown;
    uint64_t bytes = capacity * sizeof(T);
    if (bytes > SIZE_MAX) g_errors.ReportMemoryError();
    void* block = realloc(data_, (size_t)bytes);
    if (block == nullptr) g_errors.ReportMemoryError();
    data_ = static_cast<T*>(block);
    capacity_ = (uint32_t)capacity;
    count_ = (uint32_t)count;
}
