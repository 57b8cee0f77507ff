#include "services_support.h"

#include "platform/win32/LongPaths.h"
#include "platform/win32/Wide.h"

#include <algorithm>
#include <vector>

namespace tovira::win32::testing {
namespace {

std::vector<std::string> ListAll(Win32Services& services, const std::wstring& pattern) {
    std::vector<std::string> names;
    for (std::string name = services.ListFiles(Narrow(pattern)); !name.empty(); name = services.ListNextFile()) {
        names.push_back(name);
        if (names.size() > 100) {
            break; // a listing that never ends
        }
    }
    return names;
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

class ListingTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const wchar_t* name : {L"b.dll", L"a.dll", L"r.dll", L"h.dll", L"s.dll", L"c.ocx", L"notes.txt"}) {
            WriteBytes(folder / name, "x");
        }
        ASSERT_TRUE(SetFileAttributesW((folder / L"r.dll").c_str(), FILE_ATTRIBUTE_READONLY));
        ASSERT_TRUE(SetFileAttributesW((folder / L"h.dll").c_str(), FILE_ATTRIBUTE_HIDDEN));
        ASSERT_TRUE(SetFileAttributesW((folder / L"s.dll").c_str(), FILE_ATTRIBUTE_SYSTEM));
        ASSERT_TRUE(CreateDirectoryW((folder / L"x.dll").c_str(), nullptr));
        // The filters below are only tested if the file system keeps these attributes.
        ASSERT_TRUE(GetFileAttributesW((folder / L"h.dll").c_str()) & FILE_ATTRIBUTE_HIDDEN);
        ASSERT_TRUE(GetFileAttributesW((folder / L"s.dll").c_str()) & FILE_ATTRIBUTE_SYSTEM);
    }

    TempFolder folder{L"listing"};
    OsServices services;
};

TEST_F(ListingTest, OrdinaryFilesOnlyEachOnceThenEmpty) {
    const std::vector<std::string> names = ListAll(services, folder / L"*.dll");
    EXPECT_EQ(Sorted(names), (std::vector<std::string>{"a.dll", "b.dll", "r.dll"}));
    EXPECT_EQ(ListAll(services, folder / L"*.ocx"), std::vector<std::string>{"c.ocx"});
    // The listing is over: asking on without a new first call is a mistake of the caller.
    EXPECT_EQ(ErrorNumberOf([&] { services.ListNextFile(); }), 5);
}

TEST_F(ListingTest, NewFirstCallStartsOverAndNoMatchIsEmpty) {
    const std::string first = services.ListFiles(Narrow(folder / L"*.dll"));
    EXPECT_FALSE(first.empty());
    EXPECT_EQ(services.ListFiles(Narrow(folder / L"*.ocx")), "c.ocx");
    EXPECT_EQ(services.ListNextFile(), "");
    EXPECT_EQ(services.ListFiles(Narrow(folder / L"*.zzz")), "");
    // A pattern naming only hidden, system or folder entries yields nothing, not the skipped entry.
    EXPECT_EQ(services.ListFiles(Narrow(folder / L"x.dll")), "");
    EXPECT_EQ(services.ListFiles(Narrow(folder / L"h.dll")), "");
}

// A real drive root: a free drive letter mapped to a folder of the test where the file system follows such a
// mapping (Windows), else the root of the temporary folder's own drive (Wine keeps its drives in a table of its
// own; there that root is the user's). The files made in it are removed at the end.
class DriveRoot {
public:
    DriveRoot() {
        const DWORD used = GetLogicalDrives();
        wchar_t letter = L'Z';
        while (letter > L'C' && (used & (1u << (letter - L'A'))) != 0) {
            --letter;
        }
        drive_ = {letter, L':'};
        mapped_ = letter > L'C' && DefineDosDeviceW(0, drive_.c_str(), folder_.Path().c_str());
        if (mapped_ && GetFileAttributesW((drive_ + L"\\").c_str()) == INVALID_FILE_ATTRIBUTES) {
            DefineDosDeviceW(DDD_REMOVE_DEFINITION, drive_.c_str(), nullptr);
            mapped_ = false;
        }
        root_ = mapped_ ? drive_ + L"\\" : folder_.Path().substr(0, 3);
    }
    ~DriveRoot() {
        for (const std::wstring& path : files_) {
            DeleteFileW(path.c_str());
        }
        if (mapped_) {
            DefineDosDeviceW(DDD_REMOVE_DEFINITION, drive_.c_str(), nullptr);
        }
    }
    const std::wstring& Root() const { return root_; }
    void Write(const std::wstring& name) {
        files_.push_back(root_ + name);
        WriteBytes(files_.back(), "x");
    }

private:
    TempFolder folder_{L"drive"};
    std::wstring drive_;
    std::wstring root_;
    bool mapped_ = false;
    std::vector<std::wstring> files_;
};

TEST(Listing, DoubledBackslashOfADriveRootIsAccepted) {
    DriveRoot drive;
    ASSERT_EQ(drive.Root().size(), 3u);
    const std::wstring prefix = L"tovira-" + std::to_wstring(GetCurrentProcessId()) + L"-";
    drive.Write(prefix + L"a.dll");
    drive.Write(prefix + L"b.dll");
    OsServices services;
    EXPECT_EQ(Sorted(ListAll(services, drive.Root() + L"\\" + prefix + L"*.dll")),
              (std::vector<std::string>{Narrow(prefix) + "a.dll", Narrow(prefix) + "b.dll"}));
}

TEST(Listing, MissingFolderRaisesPathNotFound) {
    TempFolder folder{L"listing-missing"};
    OsServices services;
    EXPECT_EQ(ErrorNumberOf([&] { services.ListFiles(Narrow(folder / L"nowhere\\*.dll")); }), 76);
    EXPECT_EQ(ErrorNumberOf([&] { services.ListNextFile(); }), 5);
}

TEST(Listing, NamesWithSpacesCyrillicAndCjkComeBackAsUtf8) {
    TempFolder folder{L"Pasta com espa\u00e7o \u041a\u0438\u0440\u0438\u043b\u043b\u0438\u0446\u0430 \u6f22\u5b57"};
    WriteBytes(folder / L"\u0451\u0436\u0438\u043a \u5b57.dll", "x");
    OsServices services;
    EXPECT_EQ(ListAll(services, folder / L"*.dll"),
              std::vector<std::string>{"\xd1\x91\xd0\xb6\xd0\xb8\xd0\xba \xe5\xad\x97.dll"});
}

// A disc's files are read-only, and so was the copy that the last registration made. The check sees the digest of
// what is then written, and a refusal writes nothing: the destination stays, and no temporary copy is left beside it.
TEST(Copy, ReplacesEvenAReadOnlyDestinationWithAWritableCopyOfWhatWasChecked) {
    TempFolder folder{L"copy \u041a\u0438\u0440 \u6f22"};
    const std::wstring source = folder / L"m\u00f3dulo \u5b57.dll";
    const std::wstring destination = folder / L"c\u00f3pia.dll";
    WriteBytes(source, "new contents");
    WriteBytes(destination, "old contents that are longer");
    ASSERT_TRUE(SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(SetFileAttributesW(destination.c_str(), FILE_ATTRIBUTE_READONLY));
    OsServices services;
    const auto refuse = [](const Sha256Digest&) { throw RuntimeError(kErrComponentNotShipped); };
    EXPECT_EQ(ErrorNumberOf([&] { services.CopyFileReplacing(Narrow(source), Narrow(destination), refuse); }),
              kErrComponentNotShipped);
    EXPECT_EQ(ReadBytes(destination), "old contents that are longer");
    Sha256Digest seen{};
    services.CopyFileReplacing(Narrow(source), Narrow(destination), [&](const Sha256Digest& digest) { seen = digest; });
    EXPECT_EQ(seen, Sha256Of({reinterpret_cast<const unsigned char*>("new contents"), 12}));
    EXPECT_EQ(ListAll(services, folder / L"*").size(), 2u) << "a temporary copy stayed";
    EXPECT_EQ(ReadBytes(destination), "new contents");
    EXPECT_EQ(GetFileAttributesW(destination.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(ReadBytes(source), "new contents");
}

TEST(Copy, FailuresRaiseTheMappedNumbers) {
    TempFolder folder{L"copy-errors"};
    OsServices services;
    const std::wstring source = folder / L"a.dll";
    WriteBytes(source, "a");
    const auto copy = [&](const std::wstring& from, const std::wstring& to) {
        return ErrorNumberOf([&] { services.CopyFileReplacing(Narrow(from), Narrow(to), [](const Sha256Digest&) {}); });
    };

    EXPECT_EQ(copy(folder / L"missing.dll", folder / L"b.dll"), 53);
    EXPECT_EQ(copy(source, folder / L"nowhere\\b.dll"), 76);

    EXPECT_EQ(copy(source, folder.Path()), 70);

    // A read-only file that is in use is refused as in use, and stays as it was.
    const std::wstring inUse = folder / L"in-use.dll";
    WriteBytes(inUse, "busy");
    ASSERT_TRUE(SetFileAttributesW(inUse.c_str(), FILE_ATTRIBUTE_READONLY));
    HANDLE lock = CreateFileW(inUse.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    EXPECT_EQ(copy(source, inUse), 75);
    CloseHandle(lock);
    EXPECT_EQ(ReadBytes(inUse), "busy");
    EXPECT_NE(GetFileAttributesW(inUse.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);

    EXPECT_EQ(copy(source, folder / L"b.dll"), 0);
    EXPECT_EQ(ReadBytes(folder / L"b.dll"), "a");
}

// What the registration relies on: a folder without a trailing backslash, to which "\" and a name are joined, that
// holds the registration tool it starts by name.
TEST(Folders, SystemFolderHoldsTheRegistrationToolAndTakesAJoinedName) {
    OsServices services;
    const std::wstring folder = Widen(services.SystemFolder());
    ASSERT_GE(folder.size(), 4u);
    EXPECT_EQ(folder[1], L':');
    EXPECT_NE(folder.back(), L'\\');
    EXPECT_NE(GetFileAttributesW((folder + L"\\regsvr32.exe").c_str()), INVALID_FILE_ATTRIBUTES);
    // A local folder is no share's, and a share's own path is one already.
    EXPECT_EQ(services.NetworkPath(Narrow(folder)), Narrow(folder));
    EXPECT_EQ(services.NetworkPath("\\\\server\\share\\Tovira.exe"), "\\\\server\\share\\Tovira.exe");
}

TEST(Folders, ApplicationFolderHoldsTheRunningProgram) {
    OsServices services;
    const std::string folder = services.ApplicationFolder();
    ASSERT_GE(folder.size(), 3u);
    EXPECT_NE(folder.back(), '\\');
    EXPECT_EQ(Widen(folder), TestFolder());
    EXPECT_NE(GetFileAttributesW((Widen(folder) + L"\\win32_tests.exe").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(Folders, LongPathsTakeTheFormsOfTheFileCalls) {
    const std::wstring name(250, L'n');
    EXPECT_EQ(LongPathForm(L"D:\\\\*.dll"), L"D:\\\\*.dll");
    EXPECT_EQ(LongPathForm(L"D:\\x\\\\" + name + L"\\..\\" + name + L"\\*.dll"), L"\\\\?\\D:\\x\\" + name + L"\\*.dll");
    EXPECT_EQ(LongPathForm(L"\\\\server\\share\\" + name), L"\\\\?\\UNC\\server\\share\\" + name);
    EXPECT_EQ(LongPathForm(L"\\\\?\\D:\\\\" + name), L"\\\\?\\D:\\\\" + name);
    EXPECT_EQ(ShortPathForm(L"https://www.example/" + name), L"https://www.example/" + name);
}

TEST(Folders, FolderOfModulePath) {
    EXPECT_EQ(FolderOfModulePath(L"D:\\Tovira.exe"), L"D:\\");
    EXPECT_EQ(FolderOfModulePath(L"D:\\Manual\\Tovira.exe"), L"D:\\Manual");
    EXPECT_EQ(FolderOfModulePath(L"\\\\?\\D:\\Tovira.exe"), L"D:\\");
    EXPECT_EQ(FolderOfModulePath(L"\\\\?\\C:\\a b\\\u6f22\\Tovira.exe"), L"C:\\a b\\\u6f22");
    EXPECT_EQ(FolderOfModulePath(L"\\\\?\\UNC\\server\\share\\Tovira.exe"), L"\\\\server\\share");
    EXPECT_EQ(FolderOfModulePath(L"\\\\server\\share\\disc\\Tovira.exe"), L"\\\\server\\share\\disc");
}

} // namespace
} // namespace tovira::win32::testing
