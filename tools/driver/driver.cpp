// Command-line driver for demonstrations and manual checks: runs Uninstall.exe (or another
// program) under Wine, answers its dialogs and message boxes as told, and prints what it saw.
//   driver [--cwd DIR] [--env NAME=VALUE]... [--answer yes|no|ok|cancel]... [--children]
//          [--program PATH] [--screenshots DIR] [--] ARGUMENTS...
//   driver --snapshot FILE         the prefix's registry and drive C: as lines of text
//   driver --diff BEFORE AFTER     what differs, apart from what Windows changes by itself
#include "tests/bench/bench.h"

#include <stdio.h>

#include <string>

static int AnswerId(const std::wstring& word) {
    if (word == L"yes") return IDYES;
    if (word == L"no") return IDNO;
    if (word == L"cancel") return IDCANCEL;
    return IDOK;
}

static std::string OneLine(const std::wstring& text) {
    std::wstring flat;
    for (wchar_t c : text) {
        if (c == L'\n') flat += L"\\n";
        else if (c != L'\r') flat += c;
    }
    return bench::Utf8(flat);
}

static bool WriteSnapshot(const wchar_t* path) {
    std::string text;
    for (const auto& entry : bench::TakeSnapshot()) text += bench::Utf8(entry.first + L"\t" + entry.second) + "\n";
    return bench::WriteFileBytes(path, text);
}

static bench::Snapshot ReadSnapshot(const wchar_t* path) {
    bench::Snapshot snapshot;
    std::string text = bench::ReadFileBytes(path);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string narrow = text.substr(start, end - start);
        std::wstring line(narrow.size() + 1, L'\0');
        line.resize(MultiByteToWideChar(CP_UTF8, 0, narrow.data(), (int)narrow.size(), &line[0], (int)line.size()));
        size_t tab = line.find(L'\t');
        if (tab != std::wstring::npos) snapshot[line.substr(0, tab)] = line.substr(tab + 1);
        start = end + 1;
    }
    return snapshot;
}

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wstring(argv[1]) == L"--snapshot") return WriteSnapshot(argv[2]) ? 0 : 2;
    if (argc == 4 && std::wstring(argv[1]) == L"--diff") {
        auto lines = bench::Differences(ReadSnapshot(argv[2]), ReadSnapshot(argv[3]), bench::IsWindowsOwnChange);
        for (const auto& line : lines) printf("  %s\n", bench::Utf8(line).c_str());
        if (lines.empty()) printf("  no difference\n");
        return lines.empty() ? 0 : 1;
    }
    bench::RunSpec spec;
    std::vector<int> answers;
    std::wstring screenshots;
    int i = 1;
    for (; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--cwd" && i + 1 < argc) {
            spec.folder = argv[++i];
        } else if (arg == L"--env" && i + 1 < argc) {
            std::wstring pair = argv[++i];
            size_t eq = pair.find(L'=');
            spec.environment.emplace_back(pair.substr(0, eq), eq == std::wstring::npos ? L"" : pair.substr(eq + 1));
        } else if (arg == L"--answer" && i + 1 < argc) {
            answers.push_back(AnswerId(argv[++i]));
        } else if (arg == L"--children") {
            spec.waitForChildren = true;
        } else if (arg == L"--screenshots" && i + 1 < argc) {
            screenshots = argv[++i];
        } else if (arg == L"--program" && i + 1 < argc) {
            spec.program = argv[++i];
        } else if (arg == L"--") {
            ++i;
            break;
        } else {
            break;
        }
    }
    for (; i < argc; ++i) {
        if (!spec.arguments.empty()) spec.arguments += L" ";
        std::wstring arg = argv[i];
        spec.arguments += arg.find(L' ') != std::wstring::npos ? L"\"" + arg + L"\"" : arg;
    }
    bench::Handler answer = bench::Answer(answers);
    int shot = 0;
    spec.handler = [&](const bench::WindowSeen& seen) {
        // Each window as the user saw it, before it is answered.
        if (!screenshots.empty()) {
            CreateDirectoryW(screenshots.c_str(), nullptr);
            wchar_t name[32];
            swprintf(name, 32, L"\\run-%02d.bmp", ++shot);
            bench::CaptureWindow(seen.window, screenshots + name);
        }
        answer(seen);
    };
    std::wstring program = spec.program.empty() ? bench::ProgramUnderTest() : spec.program;
    printf("  run: %s %s\n", bench::Utf8(program.substr(program.find_last_of(L"\\/") + 1)).c_str(),
           bench::Utf8(spec.arguments).c_str());
    fflush(stdout);
    bench::RunResult result = bench::Run(spec);
    if (!result.started) {
        printf("  could not start the program\n");
        return 2;
    }
    for (const auto& w : result.windows) {
        if (w.text.empty()) printf("  dialog \"%s\"\n", OneLine(w.caption).c_str());
        else printf("  message box \"%s\": %s\n", OneLine(w.caption).c_str(), OneLine(w.text).c_str());
    }
    printf("  exit code %lu after %lu ms%s\n", (unsigned long)result.exitCode, (unsigned long)result.millis,
           result.timedOut ? " (timed out)" : "");
    return result.timedOut ? 3 : 0;
}
