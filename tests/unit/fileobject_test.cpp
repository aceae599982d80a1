// The file object on real files in a scratch folder: modes, sharing, deletion, seeking, reports.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/bench/bench.h"

namespace {

struct Report {
    uint32_t code;
    std::wstring name;
};

std::vector<Report> g_reports;

void CollectReport(const MessageRecord& record) { g_reports.push_back({record.code, record.args[0]}); }

std::wstring LongForm(const std::wstring& path) { return L"\\\\?\\" + path; }

// The exact names in a folder, read through the long form so trailing dots stay visible.
std::vector<std::wstring> NamesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(LongForm(folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

bool HasName(const std::wstring& folder, const std::wstring& name) {
    for (const auto& found : NamesIn(folder)) {
        if (found == name) return true;
    }
    return false;
}

class FileObjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = bench::ScratchFolder(L"fileobject");
        g_reports.clear();
        g_errors.SetSink(CollectReport);
    }
    void TearDown() override {
        g_errors.SetSink(nullptr);
        // Names with a trailing dot can only be deleted through the long form.
        for (const auto& name : NamesIn(folder_)) DeleteFileW(LongForm(folder_ + L"\\" + name).c_str());
        bench::RemoveTree(folder_);
    }
    std::wstring Path(const wchar_t* name) const { return folder_ + L"\\" + name; }
    std::wstring MakeFile(const wchar_t* name, const std::string& bytes) const {
        std::wstring path = Path(name);
        EXPECT_TRUE(bench::WriteFileBytes(path, bytes));
        return path;
    }

    std::wstring folder_;
};

std::string Counting(size_t size) {
    std::string bytes(size, 0);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
    return bytes;
}

TEST_F(FileObjectTest, OpenOfMissingFileTellsNotFound) {
    FileObject file;
    EXPECT_FALSE(file.Open(Path(L"missing.txt").c_str(), 0));
    EXPECT_EQ(kFileErrorNotFound, file.LastErrorKind());
    EXPECT_FALSE(file.IsOpen());

    // A missing folder is another failure, not a missing file.
    EXPECT_FALSE(file.Open(Path(L"nofolder\\missing.txt").c_str(), 0));
    EXPECT_EQ(kFileErrorNone, file.LastErrorKind());

    // A later successful open clears the kind.
    std::wstring there = MakeFile(L"there.txt", "x");
    EXPECT_FALSE(file.Open(Path(L"missing.txt").c_str(), 0));
    EXPECT_TRUE(file.Open(there.c_str(), 0));
    EXPECT_EQ(kFileErrorNone, file.LastErrorKind());
    EXPECT_STREQ(there.c_str(), file.Name());
    EXPECT_TRUE(g_reports.empty());
}

TEST_F(FileObjectTest, OpenRespectsSharingOfOtherHandles) {
    std::wstring path = MakeFile(L"shared.txt", "content");

    HANDLE exclusive = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, exclusive);
    {
        FileObject file;
        EXPECT_FALSE(file.Open(path.c_str(), 0));
        EXPECT_EQ(kFileErrorNone, file.LastErrorKind());
    }
    CloseHandle(exclusive);

    HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    {
        FileObject plain;
        EXPECT_FALSE(plain.Open(path.c_str(), 0));  // does not let others write
        FileObject sharing;
        ASSERT_TRUE(sharing.Open(path.c_str(), kOpenShareWrite));
        char buffer[16] = {};
        EXPECT_EQ(7, sharing.Read(buffer, sizeof(buffer)));
        EXPECT_STREQ("content", buffer);
    }
    CloseHandle(writer);

    HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    {
        FileObject denying;
        EXPECT_FALSE(denying.Open(path.c_str(), kOpenNoShareRead));  // someone reads already
        FileObject reading;
        EXPECT_TRUE(reading.Open(path.c_str(), 0));
    }
    CloseHandle(reader);

    // While our object denies read sharing nobody else can read the file.
    FileObject holder;
    ASSERT_TRUE(holder.Open(path.c_str(), kOpenNoShareRead));
    HANDLE other = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, other);
    if (other != INVALID_HANDLE_VALUE) CloseHandle(other);

    // Opening another file through the same object lets go of the first.
    ASSERT_TRUE(holder.Open(MakeFile(L"second.txt", "2").c_str(), 0));
    EXPECT_EQ("content", bench::ReadFileBytes(path));
}

TEST_F(FileObjectTest, OpenAccessModes) {
    std::wstring path = MakeFile(L"modes.txt", "abcdef");
    char buffer[8] = {};
    {
        FileObject readOnly;
        ASSERT_TRUE(readOnly.Open(path.c_str(), 0));
        EXPECT_FALSE(readOnly.Write("x", 1));
        EXPECT_EQ("abcdef", bench::ReadFileBytes(path));
    }
    {
        FileObject readWrite;
        ASSERT_TRUE(readWrite.Open(path.c_str(), kOpenWrite));
        EXPECT_EQ(3, readWrite.Read(buffer, 3));
        EXPECT_TRUE(readWrite.Write("XY", 2));
        EXPECT_TRUE(readWrite.Close());
        EXPECT_EQ("abcXYf", bench::ReadFileBytes(path));
    }
    {
        FileObject writeOnly;
        writeOnly.SetReportErrors(false);
        ASSERT_TRUE(writeOnly.Open(path.c_str(), kOpenWriteOnly));
        EXPECT_EQ(-1, writeOnly.Read(buffer, 3));  // no read access, nothing reported
        EXPECT_EQ(kFileErrorRead, writeOnly.LastErrorKind());
        EXPECT_TRUE(writeOnly.Write("12", 2));
    }
    // An opened file is never deleted, even when it was not closed.
    EXPECT_EQ("12cXYf", bench::ReadFileBytes(path));
}

TEST_F(FileObjectTest, ReadErrorStopsAllLaterReads) {
    std::wstring path = MakeFile(L"readerror.txt", "abcdef");
    FileObject file;
    ASSERT_TRUE(file.Open(path.c_str(), kOpenWriteOnly));
    char buffer[8] = {};
    EXPECT_EQ(0, file.Read(buffer, 3));
    EXPECT_EQ(kFileErrorRead, file.LastErrorKind());
    file.SetReportErrors(false);
    EXPECT_EQ(0, file.Read(buffer, 3));  // the failed flag holds, even unreported

    // Opening again clears it.
    ASSERT_TRUE(file.Open(path.c_str(), 0));
    EXPECT_EQ(6, file.Read(buffer, sizeof(buffer)));
    EXPECT_EQ(0, file.Read(buffer, sizeof(buffer)));  // end of file
}

TEST_F(FileObjectTest, FailedReadEndsReadingForGood) {
    // A message pipe refuses a read smaller than its message but keeps the rest for later.
    const wchar_t* name = L"\\\\.\\pipe\\ombrix-fileobject-test";
    for (bool report : {true, false}) {
        SCOPED_TRACE(report ? "reported" : "not reported");
        HANDLE server = CreateNamedPipeW(name, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE,
                                         1, 4096, 4096, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, server);
        FileObject file;
        file.SetReportErrors(report);
        EXPECT_TRUE(file.Open(name, kOpenWrite));
        DWORD readMode = PIPE_READMODE_MESSAGE;
        EXPECT_TRUE(SetNamedPipeHandleState(file.Handle(), &readMode, nullptr, nullptr));
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(server, "0123456789", 10, &written, nullptr));
        char buffer[16] = {};
        EXPECT_EQ(report ? 0 : -1, file.Read(buffer, 4));
        EXPECT_EQ(kFileErrorRead, file.LastErrorKind());
        // Unreported, the caller may go on; reported, the file stays at its end.
        EXPECT_EQ(report ? 0 : 6, file.Read(buffer, sizeof(buffer)));
        EXPECT_TRUE(file.Close());
        CloseHandle(server);
    }
    EXPECT_TRUE(g_reports.empty());
}

TEST_F(FileObjectTest, CreateKeepsTrailingDotThroughLongForm) {
    {
        FileObject file;
        ASSERT_TRUE(file.Create(Path(L"dotted.").c_str(), 0));
        EXPECT_TRUE(file.Write("dot", 3));
        EXPECT_TRUE(file.Close());
    }
    EXPECT_TRUE(HasName(folder_, L"dotted."));
    EXPECT_FALSE(HasName(folder_, L"dotted"));
    {
        FileObject file;
        ASSERT_TRUE(file.Create(Path(L"spaced ").c_str(), 0));
        EXPECT_TRUE(file.Close());
    }
    EXPECT_TRUE(HasName(folder_, L"spaced "));
    {
        // Allowed for the plain name: Windows drops the dot.
        FileObject file;
        ASSERT_TRUE(file.Create(Path(L"plain.").c_str(), kCreateTrailingDot));
        EXPECT_TRUE(file.Close());
    }
    EXPECT_TRUE(HasName(folder_, L"plain"));
    EXPECT_FALSE(HasName(folder_, L"plain."));
}

TEST_F(FileObjectTest, UnclosedCreatedFileIsDeleted) {
    std::wstring kept = Path(L"kept.txt");
    std::wstring dropped = Path(L"dropped.txt");
    std::wstring wanted = Path(L"wanted.txt");
    {
        FileObject file;
        ASSERT_TRUE(file.Create(dropped.c_str(), 0));
        EXPECT_TRUE(file.Write("half", 4));
    }
    EXPECT_FALSE(bench::PathExists(dropped));
    {
        FileObject file;
        ASSERT_TRUE(file.Create(kept.c_str(), 0));
        EXPECT_TRUE(file.Write("whole", 5));
        EXPECT_TRUE(file.Close());
    }
    EXPECT_EQ("whole", bench::ReadFileBytes(kept));
    {
        FileObject file;
        file.SetDeleteUnclosed(false);
        ASSERT_TRUE(file.Create(wanted.c_str(), 0));
        EXPECT_TRUE(file.Write("left open", 9));
    }
    EXPECT_EQ("left open", bench::ReadFileBytes(wanted));
}

TEST_F(FileObjectTest, UnclosedDottedFileDeletesOnlyItself) {
    // The plain form of "report." is "report": that unrelated file must survive.
    std::wstring other = MakeFile(L"report", "keep me");
    {
        FileObject file;
        ASSERT_TRUE(file.Create(Path(L"report.").c_str(), 0));
        EXPECT_TRUE(HasName(folder_, L"report."));
    }
    EXPECT_FALSE(HasName(folder_, L"report."));
    EXPECT_EQ("keep me", bench::ReadFileBytes(other));
}

TEST_F(FileObjectTest, CreateTruncatesAndSetsSharing) {
    std::wstring path = MakeFile(L"created.txt", "old and long content");
    FileObject file;
    ASSERT_TRUE(file.Create(path.c_str(), 0));
    EXPECT_EQ(0, file.FileLength());
    HANDLE other = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, other);  // no sharing by default
    if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
    EXPECT_TRUE(file.Write("new", 3));
    EXPECT_TRUE(file.Seek(0, FILE_BEGIN));
    char buffer[8] = {};
    EXPECT_EQ(3, file.Read(buffer, sizeof(buffer)));  // read access by default
    EXPECT_STREQ("new", buffer);
    EXPECT_TRUE(file.Close());

    // The settings writer's mode: others may read meanwhile.
    ASSERT_TRUE(file.Create(path.c_str(), kCreateShareRead | 1));
    other = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                        nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, other);
    if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
    EXPECT_TRUE(file.Close());

    ASSERT_TRUE(file.Create(path.c_str(), kCreateWriteOnly));
    file.SetReportErrors(false);
    EXPECT_EQ(-1, file.Read(buffer, sizeof(buffer)));
    EXPECT_TRUE(file.Close());

    EXPECT_FALSE(file.Create(Path(L"nofolder\\x.txt").c_str(), 0));
    EXPECT_FALSE(file.IsOpen());
}

TEST_F(FileObjectTest, SeekTellAndLength) {
    std::wstring path = MakeFile(L"hundred.bin", Counting(100));
    FileObject file;
    ASSERT_TRUE(file.Open(path.c_str(), 0));
    EXPECT_EQ(100, file.FileLength());
    EXPECT_EQ(0, file.Tell());  // the length leaves the position alone

    EXPECT_TRUE(file.Seek(-16, FILE_END));
    EXPECT_EQ(84, file.Tell());
    EXPECT_TRUE(file.Seek(-4, FILE_CURRENT));
    EXPECT_EQ(80, file.Tell());
    unsigned char byte = 0;
    EXPECT_EQ(1, file.Read(&byte, 1));
    EXPECT_EQ(80, byte);
    EXPECT_TRUE(file.Seek(10, FILE_CURRENT));
    EXPECT_EQ(91, file.Tell());
    EXPECT_TRUE(file.Seek(5, FILE_BEGIN));
    EXPECT_EQ(5, file.Tell());
    EXPECT_EQ(100, file.FileLength());
    EXPECT_EQ(5, file.Tell());
    EXPECT_TRUE(file.Seek(0, FILE_END));
    EXPECT_EQ(0, file.Read(&byte, 1));
    EXPECT_TRUE(g_reports.empty());

    EXPECT_TRUE(file.Close());
    EXPECT_TRUE(file.Seek(10, FILE_BEGIN));  // nothing to move
    EXPECT_TRUE(g_reports.empty());
}

TEST_F(FileObjectTest, WriteReadRoundTrip) {
    std::wstring path = Path(L"roundtrip.bin");
    std::string data = Counting(100000);
    FileObject file;
    ASSERT_TRUE(file.Create(path.c_str(), 0));
    EXPECT_TRUE(file.Write(data.data(), 60000));
    EXPECT_TRUE(file.Write(data.data() + 60000, 40000));
    EXPECT_TRUE(file.Write(data.data(), 0));
    EXPECT_EQ(100000, file.Tell());
    EXPECT_EQ(100000, file.FileLength());
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(data, bench::ReadFileBytes(path));

    ASSERT_TRUE(file.Open(path.c_str(), 0));
    std::string back;
    std::vector<char> block(4096);
    for (int got; (got = file.Read(block.data(), 4096)) > 0;) back.append(block.data(), got);
    EXPECT_EQ(data, back);
    EXPECT_TRUE(file.Close());
    EXPECT_TRUE(bench::PathExists(path));  // opened, not created: never deleted
}

TEST_F(FileObjectTest, FailuresReachTheSink) {
    std::wstring path = MakeFile(L"reports.bin", Counting(100));
    std::wstring missing = Path(L"missing.txt");

    FileObject file;
    EXPECT_FALSE(file.OpenWithReport(missing.c_str()));
    ASSERT_EQ(1u, g_reports.size());
    EXPECT_EQ(kMsgOpenError, g_reports[0].code);
    EXPECT_EQ(missing, g_reports[0].name);
    EXPECT_EQ(kFileErrorNotFound, file.LastErrorKind());

    g_reports.clear();
    ASSERT_TRUE(file.OpenWithReport(path.c_str()));
    EXPECT_FALSE(file.Seek(-200, FILE_END));  // before the start of the file
    ASSERT_EQ(1u, g_reports.size());
    EXPECT_EQ(kMsgSeekError, g_reports[0].code);
    EXPECT_EQ(path, g_reports[0].name);

    // A handle that someone else already closed cannot be closed again.
    g_reports.clear();
    CloseHandle(file.Handle());
    EXPECT_FALSE(file.Close());
    EXPECT_FALSE(file.IsOpen());
    ASSERT_EQ(1u, g_reports.size());
    EXPECT_EQ(kMsgCloseError, g_reports[0].code);
    EXPECT_EQ(path, g_reports[0].name);

    g_reports.clear();
    EXPECT_EQ(-1, file.Tell());
    ASSERT_EQ(1u, g_reports.size());
    EXPECT_EQ(kMsgSeekError, g_reports[0].code);

    // A failed write asks about a retry but reports nothing far below 4 GiB.
    g_reports.clear();
    ASSERT_TRUE(file.Open(path.c_str(), 0));
    EXPECT_FALSE(file.Write("x", 1));
    EXPECT_TRUE(g_reports.empty());

    // With reports off nothing reaches the sink.
    file.SetReportErrors(false);
    EXPECT_FALSE(file.Seek(-200, FILE_END));
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(-1, file.Tell());
    EXPECT_TRUE(g_reports.empty());
}

}  // namespace
