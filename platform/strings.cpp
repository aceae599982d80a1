// Bounded text: copies, appends and formatting that never run past a buffer, conversions
// between the ANSI code page, UTF-8 and UTF-16, decimal numbers and character tests.
#include "platform.h"

#include <wchar.h>

namespace {

// One body for the wide and the narrow forms: the capacity counts characters or bytes alike.
template <typename C>
void CopyBounded(C* dest, const C* src, size_t capacity) {
    if (capacity == 0) return;
    size_t i = 0;
    if (src != nullptr) {
        for (; i + 1 < capacity && src[i] != 0; ++i) dest[i] = src[i];
    }
    dest[i] = 0;
}

template <typename C>
void AppendBounded(C* dest, const C* src, size_t capacity) {
    size_t length = 0;
    while (length < capacity && dest[length] != 0) ++length;
    if (length < capacity) CopyBounded(dest + length, src, capacity - length);
}

}  // namespace

void CopyString(wchar_t* dest, const wchar_t* src, size_t capacity) { CopyBounded(dest, src, capacity); }

void AppendString(wchar_t* dest, const wchar_t* src, size_t capacity) { AppendBounded(dest, src, capacity); }

void CopyStringA(char* dest, const char* src, size_t capacity) { CopyBounded(dest, src, capacity); }

void AppendStringA(char* dest, const char* src, size_t capacity) { AppendBounded(dest, src, capacity); }

int FormatBoundedV(wchar_t* dest, size_t capacity, const wchar_t* format, va_list args) {
    if (capacity == 0) return -1;
    // The C99 formatter: %ls is a wide string, %s a narrow one, whatever the runtime.
    int written = __mingw_vsnwprintf(dest, capacity, format, args);
    dest[capacity - 1] = 0;
    if (written < 0 || (size_t)written >= capacity) return -1;
    return written;
}

int FormatBounded(wchar_t* dest, size_t capacity, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    int result = FormatBoundedV(dest, capacity, format, args);
    va_end(args);
    return result;
}

int FormatBoundedNarrow(char* dest, size_t capacity, const char* format, ...) {
    if (capacity == 0) return -1;
    va_list args;
    va_start(args, format);
    int written = __mingw_vsnprintf(dest, capacity, format, args);
    va_end(args);
    dest[capacity - 1] = 0;
    if (written < 0 || (size_t)written >= capacity) return -1;
    return written;
}

int FormatWithOneArg(wchar_t* dest, size_t capacity, const wchar_t* format, const wchar_t* arg) {
    if (capacity == 0) return -1;
    size_t out = 0;
    bool cut = false;
    bool argUsed = false;
    auto put = [&](wchar_t c) {
        if (out + 1 < capacity) dest[out++] = c;
        else cut = true;
    };
    for (const wchar_t* p = format; p != nullptr && *p != 0; ++p) {
        if (*p == L'%' && p[1] == L'%') {
            put(L'%');
            ++p;
        } else if (*p == L'%' && !argUsed && (p[1] == L's' || (p[1] == L'l' && p[2] == L's'))) {
            for (const wchar_t* a = arg; a != nullptr && *a != 0; ++a) put(*a);
            p += (p[1] == L'l') ? 2 : 1;
            argUsed = true;
        } else {
            put(*p);
        }
    }
    dest[out] = 0;
    return cut ? -1 : (int)out;
}

bool WideFromAnsi(const char* src, wchar_t* dest, size_t capacity) {
    if (capacity == 0) return false;
    dest[0] = 0;
    int n = MultiByteToWideChar(CP_ACP, 0, src, -1, dest, (int)capacity);
    dest[capacity - 1] = 0;
    return n != 0;
}

bool AnsiFromWide(const wchar_t* src, char* dest, size_t capacity) {
    if (capacity == 0) return false;
    dest[0] = 0;
    int n = WideCharToMultiByte(CP_ACP, 0, src, -1, dest, (int)capacity, nullptr, nullptr);
    dest[capacity - 1] = 0;
    return n != 0;
}

namespace {

// A code point that its sequence of `length` bytes may carry. An overlong form (C0 80 for NUL
// among them) or an encoded UTF-16 surrogate is no character: decoded, it would put into the
// text what was never written, a NUL that ends it early or half of a pair.
bool IsCharacterForm(uint32_t cp, int length) {
    static const uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000, 0x200000, 0x4000000};
    return cp >= kLeast[length] && (cp < 0xD800 || cp > 0xDFFF);
}

}  // namespace

bool IsValidUtf8(const unsigned char* bytes, size_t count) {
    size_t i = 0;
    while (i < count) {
        unsigned lead = bytes[i];
        int n = 0;
        while (n < 8 && (lead & (0x80u >> n)) != 0) ++n;
        if (n == 1 || n > 6) return false;
        uint32_t cp = lead & (0x7Fu >> n);
        ++i;
        for (int k = 1; k < n; ++k, ++i) {
            if (i >= count || (bytes[i] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (bytes[i] & 0x3F);
        }
        if (!IsCharacterForm(cp, n == 0 ? 1 : n)) return false;
    }
    return true;
}

bool Utf8ToWide(const char* src, wchar_t* dest, size_t capacity) {
    if (capacity == 0) return false;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
    bool result = true;
    size_t out = 0;
    while (out + 1 < capacity && *s != 0) {
        unsigned lead = *s;
        uint32_t cp;
        int extra;
        if (lead < 0x80) { cp = lead; extra = 0; }
        else if ((lead & 0xE0) == 0xC0) { cp = lead & 0x1F; extra = 1; }
        else if ((lead & 0xF0) == 0xE0) { cp = lead & 0x0F; extra = 2; }
        else if ((lead & 0xF8) == 0xF0) { cp = lead & 0x07; extra = 3; }
        else { result = false; break; }
        bool malformed = false;
        for (int k = 1; k <= extra; ++k) {
            if ((s[k] & 0xC0) != 0x80) { malformed = true; break; }
            cp = (cp << 6) | (s[k] & 0x3F);
        }
        if (malformed || !IsCharacterForm(cp, 1 + extra)) { result = false; break; }
        if (cp <= 0xFFFF) {
            dest[out++] = (wchar_t)cp;
        } else if (cp <= 0x10FFFF) {
            if (out + 2 >= capacity) break;
            dest[out++] = (wchar_t)(0xD800 + ((cp - 0x10000) >> 10));
            dest[out++] = (wchar_t)(0xDC00 + (cp & 0x3FF));
        } else {
            result = false;
        }
        s += 1 + extra;
    }
    dest[out] = 0;
    return result;
}

void Int64ToString(int64_t value, wchar_t* dest, size_t capacity) {
    if (capacity == 0) return;
    bool negative = value < 0;
    uint64_t v = negative ? (uint64_t)0 - (uint64_t)value : (uint64_t)value;
    wchar_t digits[32];
    size_t n = 0;
    size_t room = capacity - 1;
    size_t limit = (negative && room > 0) ? room - 1 : room;
    while (n < limit && n < CountOf(digits) - 1) {
        digits[n++] = (wchar_t)(L'0' + v % 10);
        v /= 10;
        if (v == 0) break;
    }
    size_t out = 0;
    if (negative && out < room) dest[out++] = L'-';
    while (n > 0) dest[out++] = digits[--n];
    dest[out] = 0;
}

int64_t StringToInt64(const wchar_t* text) {
    bool negative = false;
    if (*text == L'-') { negative = true; ++text; }
    uint64_t value = 0;
    while (IsDecimalDigit(*text)) {
        value = value * 10 + (uint64_t)(*text - L'0');
        ++text;
    }
    int64_t result = (int64_t)value;
    if (negative && result >= 0) result = -result;
    return result;
}

int CompareNoCase(const wchar_t* a, const wchar_t* b) {
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE | SORT_STRINGSORT, a, -1, b, -1) - 2;
}

bool IsAsciiLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }
bool IsDecimalDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }
wchar_t ToUpperAscii(wchar_t c) { return (c >= L'a' && c <= L'z') ? (wchar_t)(c - 32) : c; }

wchar_t ToUpperChar(wchar_t c) {
    return (wchar_t)(uintptr_t)CharUpperW(reinterpret_cast<LPWSTR>((uintptr_t)c));
}

wchar_t* CopyToHeap(const wchar_t* text, size_t length) {
    wchar_t* copy = static_cast<wchar_t*>(malloc((length + 1) * sizeof(wchar_t)));
    if (copy == nullptr) g_errors.ReportMemoryError();
    memcpy(copy, text, length * sizeof(wchar_t));
    copy[length] = 0;
    return copy;
}
