// Reads a whole text file, decides its encoding and hands out its non-empty lines.
#include "platform.h"

#include <string.h>

namespace {

const int kReadBlock = 4096;

bool StartsWith(const unsigned char* bytes, size_t count, const char* mark) {
    size_t length = strlen(mark);
    return count >= length && memcmp(bytes, mark, length) == 0;
}

// UTF-16 is only believed when some character after the mark has a control code (other than
// CR and LF) as its high byte, as every Latin character does.
bool HasControlHighByte(const unsigned char* bytes, size_t count, size_t first) {
    for (size_t i = first; i < count; i += 2) {
        if (bytes[i] < 0x20 && bytes[i] != 0x0D && bytes[i] != 0x0A) return true;
    }
    return false;
}

// The length of a byte-order mark at the start, 0 for none.
size_t MarkLength(const unsigned char* bytes, size_t count) {
    if (StartsWith(bytes, count, "\xEF\xBB\xBF")) return 3;
    return StartsWith(bytes, count, "\xFF\xFE") || StartsWith(bytes, count, "\xFE\xFF") ? 2 : 0;
}

bool IsLineEnd(wchar_t c) { return c == L'\r' || c == L'\n' || c == 0; }

void CutLines(wchar_t* text, StringList* lines) {
    wchar_t* start = text;
    while (*start != 0) {
        wchar_t* end = start;
        while (!IsLineEnd(*end)) ++end;
        bool lastLine = *end == 0;
        *end = 0;
        for (wchar_t* back = end; back > start && IsBlank(back[-1]);) *--back = 0;
        if (*start != 0) lines->AddString(start);
        if (lastLine) break;
        start = end + 1;
        while (*start == L'\r' || *start == L'\n') ++start;
    }
}

}  // namespace

void StringList::AddString(const wchar_t* text) {
    if (text == nullptr) text = L"";
    uint32_t length = static_cast<uint32_t>(wcslen(text));
    uint32_t at = chars_.Count();
    chars_.Add(length + 1);
    memcpy(chars_.Data() + at, text, (length + 1) * sizeof(wchar_t));
    ++count_;
}

bool StringList::GetString(const wchar_t** out) {
    if (position_ >= chars_.Count()) {
        *out = nullptr;
        return false;
    }
    const wchar_t* text = chars_.Data() + position_;
    *out = text;
    position_ += static_cast<uint32_t>(wcslen(text)) + 1;
    return true;
}

int DetectTextEncoding(const unsigned char* bytes, size_t count) {
    if (count > 3 && StartsWith(bytes, count, "\xEF\xBB\xBF") && IsValidUtf8(bytes + 3, count - 3)) {
        return kEncodingUtf8;
    }
    if (count >= 3 && StartsWith(bytes, count, "\xFF\xFE")) {
        return HasControlHighByte(bytes, count, 3) ? kEncodingUtf16 : kEncodingAnsi;
    }
    if (count >= 3 && StartsWith(bytes, count, "\xFE\xFF")) {
        return HasControlHighByte(bytes, count, 2) ? kEncodingUtf16 : kEncodingAnsi;
    }
    return kEncodingAnsi;
}

bool ReadTextFile(const wchar_t* path, StringList* lines, bool* readToEnd) {
    wchar_t name[kPathChars];
    CopyString(name, path, CountOf(name));
    FileObject file;
    if (!file.Open(name, 0)) return false;

    BoundedArray<unsigned char> bytes;
    uint32_t total = 0;
    for (;;) {
        bytes.Resize(total + kReadBlock);
        int got = file.Read(bytes.Data() + total, kReadBlock);
        if (got <= 0) break;  // end of file, or a read error (reported or not)
        total += static_cast<uint32_t>(got);
    }
    bool whole = file.LastErrorKind() != kFileErrorRead;
    file.Close();
    bytes.Resize(total);

    const unsigned char* data = bytes.Data();
    bool littleEndian = StartsWith(data, total, "\xFF\xFE");
    BoundedArray<wchar_t> text(total + 1);
    switch (DetectTextEncoding(data, total)) {
    case kEncodingUtf16: {
        uint32_t out = 0;
        for (uint32_t i = 2; i + 1 < total; i += 2) {
            text[out++] = littleEndian ? static_cast<wchar_t>(data[i] | data[i + 1] << 8)
                                       : static_cast<wchar_t>(data[i] << 8 | data[i + 1]);
        }
        text[out] = 0;
        // A NUL character ends the text, and an odd last byte is left over.
        whole = whole && total % 2 == 0 && wcslen(text.Data()) == out;
        break;
    }
    case kEncodingUtf8:
        bytes.Add(1);
        bytes[total] = 0;
        // The decoder stops at a sequence it cannot decode, and at a NUL.
        whole = Utf8ToWide(reinterpret_cast<const char*>(bytes.Data()) + 3, text.Data(), text.Count()) && whole &&
                memchr(bytes.Data(), 0, total) == nullptr;
        break;
    default: {
        // A mark that its content did not bear out leaves text that is not what was written.
        size_t mark = MarkLength(data, total);
        bytes.Add(1);
        bytes[total] = 0;
        whole = WideFromAnsi(reinterpret_cast<const char*>(bytes.Data()), text.Data(), text.Count()) && whole &&
                memchr(bytes.Data(), 0, total) == nullptr && (mark == 0 || mark == total);
        break;
    }
    }
    CutLines(text.Data(), lines);
    if (readToEnd != nullptr) *readToEnd = whole;
    return true;
}
