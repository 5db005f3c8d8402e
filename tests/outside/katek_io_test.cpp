// KaTek files: reading the port-file format from real files, and listing real directories.
#include "KaTek/Io.h"
#include "KaTek/Msg.h"
#include "KaTekPrint.h"
#include "Sandbox.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

using KaTekIo::DataInputStream_t;
using KaTekIo::DirLister_t;
using KaTekIo::File_t;
using KaTekIo::FileInputStream_t;
using KaTekStr::String_t;

namespace {

void ExpectThrowNaming(const std::function<void()>& action, const std::wstring& path) {
    try {
        action();
        ADD_FAILURE() << "no exception";
    } catch (const KaTekMsg::RuntimeError_t& e) {
        EXPECT_NE(std::string::npos, std::string(e.what()).find(KaTest::Utf8(path))) << e.what();
    }
}

TEST(KaTekIo, ReadUInt32IsLittleEndian) {
    KaTest::Sandbox sandbox;
    struct Case {
        const char* name;
        std::string bytes;
        uint32_t expected;
    };
    const Case cases[] = {
        {"port 8080", std::string("\x90\x1F\x00\x00", 4), 8080},
        {"all bytes count", std::string("\x01\x02\x03\x04", 4), 0x04030201u},
        {"largest", std::string("\xFF\xFF\xFF\xFF", 4), 0xFFFFFFFFu},
        {"only the first four of six", std::string("\x39\x30\x00\x00\xAA\xBB", 6), 12345},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring path = sandbox.WriteFile(L"kacd.port", c.bytes);
        FileInputStream_t file{String_t(path)};
        DataInputStream_t data(file);
        EXPECT_EQ(c.expected, data.ReadUInt32());
        data.Close();
    }
}

TEST(KaTekIo, ShortFileThrowsNamingIt) {
    KaTest::Sandbox sandbox;
    const std::string shortContents[] = {std::string(), std::string("\x90\x1F", 2),
                                         std::string("\x90\x1F\x00", 3)};
    for (const std::string& bytes : shortContents) {
        SCOPED_TRACE(bytes.size());
        const std::wstring path = sandbox.WriteFile(L"kacd.port", bytes);
        FileInputStream_t file{String_t(path)};
        DataInputStream_t data(file);
        ExpectThrowNaming([&] { data.ReadUInt32(); }, path);
    }
    // Eight bytes give two numbers, then the end.
    const std::wstring path = sandbox.WriteFile(L"two", std::string("\x01\0\0\0\x02\0\0\0", 8));
    FileInputStream_t file{String_t(path)};
    DataInputStream_t data(file);
    EXPECT_EQ(1u, data.ReadUInt32());
    EXPECT_EQ(2u, data.ReadUInt32());
    EXPECT_THROW(data.ReadUInt32(), KaTekMsg::RuntimeError_t);
    data.Close();
    EXPECT_THROW(data.ReadUInt32(), KaTekMsg::RuntimeError_t); // closed
}

TEST(KaTekIo, MissingFileThrowsNamingIt) {
    KaTest::Sandbox sandbox;
    const std::wstring paths[] = {sandbox.Root() + L"\\no-such-file",
                                  sandbox.Root() + L"\\no-such-dir\\kacd.port",
                                  sandbox.MakeDir(L"a-dir")};
    for (const std::wstring& path : paths) {
        SCOPED_TRACE(KaTest::Utf8(path));
        ExpectThrowNaming([&] { FileInputStream_t file{String_t(path)}; }, path);
    }
}

// An open stream must not stop the writer from replacing the file.
TEST(KaTekIo, OpenStreamLetsOthersWriteAndDelete) {
    KaTest::Sandbox sandbox;
    const std::wstring path = sandbox.WriteFile(L"kacd.port", std::string("\x01\0\0\0", 4));
    FileInputStream_t file{String_t(path)};
    EXPECT_TRUE(DeleteFileW(path.c_str())) << GetLastError();
}

std::vector<std::string> ListAll(const std::wstring& dir, const char* suffix) {
    DirLister_t::Filter_t filter;
    if (suffix != nullptr) {
        filter.Suffix(String_t(suffix));
    }
    DirLister_t lister(File_t(String_t(dir)), filter);
    std::vector<std::string> names;
    for (; !lister.IsAtEnd(); lister.Next()) {
        names.push_back(KaTekStr::NarrowUtf8(lister.GetCurrentName().Std()));
    }
    EXPECT_FALSE(lister.Next());
    EXPECT_TRUE(lister.GetCurrentName().IsNull());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(KaTekIo, ListsWithSuffixFilter) {
    KaTest::Sandbox sandbox;
    const std::wstring dir = sandbox.MakeDir(L"list");
    sandbox.WriteFile(L"list\\a.log", "x");
    sandbox.WriteFile(L"list\\b.log", "x");
    sandbox.WriteFile(L"list\\c.LOG", "x");
    sandbox.WriteFile(L"list\\d.log.old", "x");
    sandbox.MakeDir(L"list\\sub.log");
    sandbox.WriteFile(L"list\\sub.log\\deep.log", "x");
    struct Case {
        const char* suffix;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {".log", {"a.log", "b.log", "sub.log"}}, // case counts; subdirectories are names too
        {nullptr, {"a.log", "b.log", "c.LOG", "d.log.old", "sub.log"}},
        {"", {"a.log", "b.log", "c.LOG", "d.log.old", "sub.log"}},
        {".txt", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.suffix == nullptr ? "no filter" : c.suffix);
        EXPECT_EQ(c.expected, ListAll(dir, c.suffix));
        EXPECT_EQ(c.expected, ListAll(dir + L"\\", c.suffix)); // trailing separator
    }
}

TEST(KaTekIo, EmptyDirectoryIsAtEndAtOnce) {
    KaTest::Sandbox sandbox;
    EXPECT_EQ(std::vector<std::string>(), ListAll(sandbox.MakeDir(L"empty"), nullptr));
}

TEST(KaTekIo, UnlistableDirectoryThrowsNamingIt) {
    KaTest::Sandbox sandbox;
    const std::wstring paths[] = {sandbox.Root() + L"\\does-not-exist",
                                  sandbox.WriteFile(L"plain-file", "x"),
                                  sandbox.Root() + L"\\does-not-exist\\below"};
    for (const std::wstring& path : paths) {
        SCOPED_TRACE(KaTest::Utf8(path));
        ExpectThrowNaming(
            [&] {
                DirLister_t lister{File_t(String_t(path)), DirLister_t::Filter_t()};
            },
            path);
    }
    EXPECT_THROW(DirLister_t(File_t(String_t("")), DirLister_t::Filter_t()),
                 KaTekMsg::RuntimeError_t);
}

} // namespace
