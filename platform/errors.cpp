// The process-wide error reporter, the fatal exit exception and the in-place heap sort.
// Nothing here is shown to the user: reports become message records for a sink.
#include "platform.h"

#include <stdlib.h>
#include <string.h>

ErrorReporter g_errors;

void ErrorReporter::Post(uint32_t code, const wchar_t* arg) {
    static MessageRecord record;
    record.code = code;
    for (auto& text : record.args) text[0] = 0;
    if (arg != nullptr) CopyString(record.args[0], arg, CountOf(record.args[0]));
    if (sink_ != nullptr) sink_(record);
}

void ErrorReporter::ReportMemoryError() {
    Post(kMsgMemory, nullptr);
    Exit(KVA_EXIT_MEMORY);
}

void ErrorReporter::ReportOpenError(const wchar_t* name) { Post(kMsgOpenError, name); }
void ErrorReporter::ReportCloseError(const wchar_t* name) { Post(kMsgCloseError, name); }
void ErrorReporter::ReportSeekError(const wchar_t* name) { Post(kMsgSeekError, name); }
void ErrorReporter::ReportFileTooLarge(const wchar_t* name) { Post(kMsgFileTooLarge, name); }

bool ErrorReporter::ReportReadError(const wchar_t*) { return false; }
bool ErrorReporter::AskWriteRetry(const wchar_t*) { return false; }

void ErrorReporter::ShowText(const wchar_t* format, ...) {
    wchar_t text[kTextChars];
    va_list args;
    va_start(args, format);
    FormatBoundedV(text, CountOf(text), format, args);
    va_end(args);
    Post(kMsgText, text);
}

void ErrorReporter::Exit(int32_t code) {
    exitCode_ = code;
    throw static_cast<KVA_EXIT>(code);
}

static void SiftDown(unsigned char* base, size_t root, size_t count, size_t size,
                     int (*compare)(const void*, const void*), unsigned char* temp) {
    memcpy(temp, base + root * size, size);
    for (;;) {
        size_t child = root * 2 + 1;
        if (child >= count) break;
        if (child + 1 < count && compare(base + (child + 1) * size, base + child * size) > 0) ++child;
        if (compare(temp, base + child * size) >= 0) break;
        memcpy(base + root * size, base + child * size, size);
        root = child;
    }
    memcpy(base + root * size, temp, size);
}

void SortArray(void* base, size_t count, size_t elementSize,
               int (*compare)(const void* a, const void* b)) {
    if (count < 2) return;
    unsigned char* temp = static_cast<unsigned char*>(malloc(elementSize));
    if (temp == nullptr) g_errors.ReportMemoryError();
    unsigned char* bytes = static_cast<unsigned char*>(base);
    for (size_t i = count / 2; i-- > 0;) SiftDown(bytes, i, count, elementSize, compare, temp);
    for (size_t end = count - 1; end > 0; --end) {
        // Move the largest behind the shrinking heap, then sift the displaced element.
        unsigned char* last = bytes + end * elementSize;
        memcpy(temp, last, elementSize);
        memcpy(last, bytes, elementSize);
        memcpy(bytes, temp, elementSize);
        SiftDown(bytes, 0, end, elementSize, compare, temp);
    }
    free(temp);
}
