// The file-system service for real under Wine: drives C: and Z: (and a missing Q:), files and
// folders in a private folder on C:, a sparse file above 4 GiB, the working directory, and the
// copy with its failures (a full tmpfs drive T:, a destination held open by another process,
// and, through stand-ins for two handle calls, the file systems that refuse them).
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "runtime/file_system.h"
#include "runtime/player_access.h"
#include "tests/support/file_holder.h"

namespace runtime {
namespace {

using Names = std::vector<std::string>;

bool WriteBytes(const std::string& path, const std::string& bytes) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

// An ANSI path of the tests in UTF-16, as the copy takes it.
std::wstring Wide(const std::string& ansi) {
  std::wstring wide(ansi.size(), L'\0');
  const int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()),
                                         wide.data(), static_cast<int>(wide.size()));
  wide.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return wide;
}

std::string ReadBytes(const std::string& path) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<cannot open " + path + ">";
  std::string bytes;
  char chunk[65536];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
  CloseHandle(file);
  return bytes;
}

Names ListFolder(const std::string& folder) {
  Names names;
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return {"<cannot list " + folder + ">"};
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

std::string Joined(const Names& names) {
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "" : ", ") + n;
  return "{" + out + "}";
}

void RemoveTree(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    for (const auto& name : ListFolder(path)) RemoveTree(path + "\\" + name);
    RemoveDirectoryA(path.c_str());
  } else {
    DeleteFileA(path.c_str());
  }
}

// Bytes that differ at every position, so a shifted or partial copy never looks right.
std::string Pattern(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  unsigned state = seed;
  for (auto& b : bytes) {
    state = state * 1103515245u + 12345u;
    b = static_cast<char>(state >> 16);
  }
  return bytes;
}

std::string Summary(const std::string& bytes) {
  return std::to_string(bytes.size()) + " bytes starting " +
         std::to_string(bytes.empty() ? -1 : static_cast<unsigned char>(bytes[0]));
}

// Stand-ins for the copy's calls, answering as some network and virtual file systems do; 0
// passes the call on to the platform.
struct HandleCallFaults {
  DWORD mark = 0;
  DWORD replace = 0;
  bool replacedAnyway = false;  // the rename happens, and then `replace` is reported
  DWORD identify = 0;           // no file can say which it is
  bool swapBeforeMove = false;  // another user puts a file of theirs in the temporary one's place
  DWORD move = 0;               // the by-name move fails, moving nothing
};
HandleCallFaults faults;

std::uint32_t FaultyMark(void* file, bool marked) {
  return faults.mark != 0 ? faults.mark : PlatformCopyCalls().markForDeletion(file, marked);
}

std::uint32_t FaultyReplace(void* file, void* folder, const wchar_t* name) {
  if (faults.replace == 0 || faults.replacedAnyway) {
    const std::uint32_t error = PlatformCopyCalls().replace(file, folder, name);
    if (error != 0 || faults.replace == 0) return error;
  }
  return faults.replace;
}

std::uint32_t FaultyIdentify(void* file, FileIdentity* identity) {
  return faults.identify != 0 ? faults.identify : PlatformCopyCalls().identify(file, identity);
}

const char kSwappedIn[] = "not the add-on";

std::uint32_t FaultyMove(const wchar_t* from, const wchar_t* to) {
  if (faults.swapBeforeMove) {
    const std::wstring aside = std::wstring(from) + L".aside";
    MoveFileW(from, aside.c_str());
    const HANDLE file = CreateFileW(from, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, kSwappedIn, sizeof kSwappedIn - 1, &written, nullptr);
    CloseHandle(file);
    DeleteFileW(aside.c_str());
  }
  return faults.move != 0 ? faults.move : PlatformCopyCalls().move(from, to);
}

const CopyCalls kFaultyCalls = {FaultyMark, FaultyReplace, FaultyIdentify, FaultyMove};

// A private folder on C: for each test, removed afterwards; the working directory is restored.
class FileSystemPlatform : public ::testing::Test {
 protected:
  void SetUp() override {
    GetCurrentDirectoryA(MAX_PATH, savedDirectory_);
    base_ = "C:\\fs-test-" + std::to_string(GetCurrentProcessId());
    RemoveTree(base_);
    ASSERT_TRUE(CreateDirectoryA(base_.c_str(), nullptr)) << base_ << " " << GetLastError();
  }
  void TearDown() override {
    SetCurrentDirectoryA(savedDirectory_);
    RemoveTree(base_);
  }
  std::string Make(const std::string& relative, std::size_t size, unsigned seed = 1) {
    const std::string path = base_ + "\\" + relative;
    EXPECT_TRUE(WriteBytes(path, Pattern(size, seed))) << path;
    return path;
  }
  std::string Folder(const std::string& relative) {
    const std::string path = base_ + "\\" + relative;
    EXPECT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path;
    return path;
  }

  char savedDirectory_[MAX_PATH] = {};
  std::string base_;
};

TEST_F(FileSystemPlatform, QueryFileSizeOfDrivesFoldersAndFiles) {
  ASSERT_LE(GetDriveTypeA("Q:\\"), 1u) << "the bench must have no drive Q:";
  Make("a.pak", 300);
  Make("empty.pak", 0);
  Folder("Foo");
  const struct {
    std::string path;
    std::int64_t result;
  } cases[] = {
      {"C:", -2},
      {"C:\\", -2},
      {"Z:", -2},
      {"Z:\\", -2},
      {"Q:", -1},
      {"Q:\\", -1},
      {base_ + "\\Foo", -2},
      {base_ + "\\Foo\\", -2},
      {base_ + "\\Foo\\\\\\", -2},
      {base_, -2},
      {base_ + "/Foo", -2},
      {base_ + "\\a.pak", 300},
      {base_ + "\\a.pak\\", 300},
      {base_ + "\\a.pak\\\\\\", 300},
      {base_ + "/a.pak", 300},
      {base_ + "\\empty.pak", 0},
      {base_ + "\\missing.pak", -1},
      {base_ + "\\missing\\a.pak", -1},
      {base_ + "\\*.pak", 300},
      {base_ + "\\a.p?k", 300},
      {base_ + "\\*.none", -1},
      {"\\", -1},
      {"\\\\", -1},
      {"\\\\\\\\\\\\", -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(QueryFileSize(Text(c.path.c_str())), c.result) << c.path;
  }
  EXPECT_EQ(QueryFileSize(Text()), -1);
  EXPECT_EQ(QueryFileSize(Text("")), -1);
}

TEST_F(FileSystemPlatform, DriveRelativeNameIsNeverSearchedAsAFile) {
  // A file "x" in C:'s current folder: a search for "C:x" would find its 300 bytes.
  Make("x", 300);
  ASSERT_TRUE(SetCurrentDirectoryA(base_.c_str()));
  const unsigned type = GetDriveTypeA("C:x");
  const std::int64_t expected = type <= 1 ? -1 : -2;
  EXPECT_EQ(QueryFileSize(Text("C:x")), expected) << "GetDriveTypeA(C:x) gave " << type;
}

TEST_F(FileSystemPlatform, QueryFileSizeCutsAPathAfter260Characters) {
  const std::string folder = base_ + "\\";
  const std::string name(260 - folder.size(), 'n');
  Make(name, 300);
  const std::string exact = folder + name;
  ASSERT_EQ(exact.size(), 260u);
  EXPECT_EQ(QueryFileSize(Text(exact.c_str())), 300);
  EXPECT_EQ(QueryFileSize(Text((exact + "-beyond the cut").c_str())), 300);
  EXPECT_EQ(QueryFileSize(Text((base_ + std::string(300, '\\')).c_str())), -2);
  // Without the cut this would name the file; with it only a missing shorter name is left.
  EXPECT_EQ(QueryFileSize(Text((folder + name.substr(1) + "\\x").c_str())), -1);
}

TEST_F(FileSystemPlatform, QueryFileSizeOfASparseFileAbove4GiB) {
  const std::string path = base_ + "\\big.pak";
  const LONGLONG size = 5LL * 1024 * 1024 * 1024 + 123;
  const DWORD started = GetTickCount();
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
  LARGE_INTEGER end;
  end.QuadPart = size;
  EXPECT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN));
  EXPECT_TRUE(SetEndOfFile(file));
  CloseHandle(file);

  EXPECT_EQ(QueryFileSize(Text(path.c_str())), size);
  // What the disk really holds for it: Wine reports the blocks the host file system allocated.
  const HANDLE opened = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(opened, INVALID_HANDLE_VALUE) << GetLastError();
  FILE_STANDARD_INFO standard = {};
  EXPECT_TRUE(GetFileInformationByHandleEx(opened, FileStandardInfo, &standard, sizeof standard));
  CloseHandle(opened);
  EXPECT_EQ(standard.EndOfFile.QuadPart, size);
  const LONGLONG allocated = standard.AllocationSize.QuadPart;
  EXPECT_LT(allocated, 1024 * 1024) << "the file should stay sparse";
  EXPECT_LT(GetTickCount() - started, 5000u) << "making and querying it should be cheap";
  EXPECT_TRUE(DeleteFileA(path.c_str()));
}

TEST_F(FileSystemPlatform, WorkingDirectoryEndsInOneBackslash) {
  Folder("sub");
  const struct {
    std::string set;
    std::string expected;
  } cases[] = {
      {"C:\\", "C:\\"},
      {"Z:\\", "Z:\\"},
      {base_ + "\\sub", base_ + "\\sub\\"},
      {base_ + "\\sub\\", base_ + "\\sub\\"},
      {base_, base_ + "\\"},
  };
  for (const auto& c : cases) {
    EXPECT_NE(SetWorkingDirectory(Text(c.set.c_str())), 0) << c.set;
    EXPECT_EQ(std::string(WorkingDirectory().CStr()), c.expected) << c.set;
  }
  // A relative path goes against the current directory.
  EXPECT_NE(SetWorkingDirectory(Text("sub")), 0);
  EXPECT_EQ(std::string(WorkingDirectory().CStr()), base_ + "\\sub\\");
}

TEST_F(FileSystemPlatform, SetWorkingDirectoryToAMissingPathChangesNothing) {
  ASSERT_NE(SetWorkingDirectory(Text(base_.c_str())), 0);
  const struct {
    Text path;
    const char* label;
  } cases[] = {
      {Text((base_ + "\\missing").c_str()), "missing folder"},
      {Text((base_ + "\\missing\\deeper\\").c_str()), "missing tree"},
      {Text("Q:\\"), "missing drive"},
      {Text(""), "empty"},
      {Text(), "absent"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SetWorkingDirectory(c.path), 0) << c.label;
    EXPECT_EQ(std::string(WorkingDirectory().CStr()), base_ + "\\") << c.label;
  }
}

TEST_F(FileSystemPlatform, WorkingDirectoryOfTheLongestFolderThatFits) {
  // 259 characters fill GetCurrentDirectoryA's buffer; the backslash makes 260.
  std::string path = base_;
  while (path.size() < 259) {
    path += "\\" + std::string(std::min<std::size_t>(100, 259 - path.size() - 1), 'd');
    if (path.size() > 259) break;
    ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path.size() << " " << GetLastError();
  }
  ASSERT_EQ(path.size(), 259u);
  if (!SetCurrentDirectoryA(path.c_str())) {
    GTEST_SKIP() << "the platform takes no current directory of 259 characters";
  }
  const std::string got = WorkingDirectory().CStr();
  EXPECT_EQ(got, path + "\\") << got.size() << " characters";
}

class DuplicateFileTest : public FileSystemPlatform {
 protected:
  void SetUp() override {
    FileSystemPlatform::SetUp();
    source_ = Make("new.pak", 5000, 7);
    target_ = Folder("pak");
    destination_ = target_ + "\\addon.pak";
    ASSERT_TRUE(WriteBytes(destination_, Pattern(3000, 3)));
  }
  // The older copy is exactly as it was and nothing else was left in its folder.
  void ExpectOlderCopyKept(const std::string& label) {
    EXPECT_EQ(Summary(ReadBytes(destination_)), Summary(Pattern(3000, 3))) << label;
    EXPECT_TRUE(ReadBytes(destination_) == Pattern(3000, 3)) << label;
    EXPECT_EQ(Joined(ListFolder(target_)), "{addon.pak}") << label;
  }

  std::string source_;
  std::string target_;
  std::string destination_;
};

TEST_F(DuplicateFileTest, ReplacesAnOlderCopyAndLeavesNothingElse) {
  EXPECT_NE(DuplicateFile(Wide(source_).c_str(), Wide(destination_).c_str()), 0);
  EXPECT_EQ(Summary(ReadBytes(destination_)), Summary(Pattern(5000, 7)));
  EXPECT_TRUE(ReadBytes(destination_) == Pattern(5000, 7));
  EXPECT_EQ(Joined(ListFolder(target_)), "{addon.pak}");
}

TEST_F(DuplicateFileTest, CopiesToANewNameAndLargeFilesWhole) {
  const std::string large = Make("large.pak", 3 * 1024 * 1024 + 17, 11);
  const struct {
    std::string from;
    std::string to;
    std::string expected;
  } cases[] = {
      {source_, target_ + "\\fresh.pak", Pattern(5000, 7)},
      {large, target_ + "\\large.pak", Pattern(3 * 1024 * 1024 + 17, 11)},
      {base_ + "\\empty.pak", target_ + "\\empty.pak", ""},
      {"new.pak", "pak\\relative.pak", Pattern(5000, 7)},  // against the working directory
      {source_, target_ + "\\\\double.pak", Pattern(5000, 7)},
  };
  Make("empty.pak", 0);
  ASSERT_TRUE(SetCurrentDirectoryA(base_.c_str()));
  for (const auto& c : cases) {
    EXPECT_NE(DuplicateFile(Wide(c.from).c_str(), Wide(c.to).c_str()), 0) << c.to;
    const std::string full = c.to.find(':') == std::string::npos ? base_ + "\\" + c.to : c.to;
    EXPECT_EQ(Summary(ReadBytes(full)), Summary(c.expected)) << c.to;
    EXPECT_TRUE(ReadBytes(full) == c.expected) << c.to;
  }
  EXPECT_EQ(Joined(ListFolder(target_)),
            "{addon.pak, double.pak, empty.pak, fresh.pak, large.pak, relative.pak}");
}

TEST_F(DuplicateFileTest, FailuresKeepTheOlderCopy) {
  Folder("a-folder");
  const std::wstring source = Wide(source_);
  const std::wstring destination = Wide(destination_);
  const std::wstring missing = Wide(base_ + "\\missing.pak");
  const std::wstring folder = Wide(base_ + "\\a-folder");
  const std::wstring targetFolder = Wide(target_ + "\\");
  const struct {
    const wchar_t* from;
    const wchar_t* to;
    const char* label;
  } cases[] = {
      {nullptr, destination.c_str(), "no source"},
      {source.c_str(), nullptr, "no destination"},
      {missing.c_str(), destination.c_str(), "missing source"},
      {L"", destination.c_str(), "empty source"},
      {folder.c_str(), destination.c_str(), "source is a folder"},
      {source.c_str(), targetFolder.c_str(), "destination is the folder"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DuplicateFile(c.from, c.to), 0) << c.label;
    ExpectOlderCopyKept(c.label);
  }
}

// A name the ANSI code page cannot hold is written under that name, and its best fit, a file of
// its own beside it, is never touched.
TEST_F(DuplicateFileTest, AUnicodeFileNameIsWrittenUnderThatName) {
  const std::wstring wide = Wide(target_) + L"\\\x141\xf3" L"d\x17a.pak";  // Łódź.pak
  const std::string bestFit = target_ + "\\Lodz.pak";
  ASSERT_TRUE(WriteBytes(bestFit, Pattern(100, 4)));
  EXPECT_NE(DuplicateFile(Wide(source_).c_str(), wide.c_str()), 0);
  EXPECT_NE(DuplicateFile(Wide(source_).c_str(), wide.c_str()), 0) << "over itself";
  EXPECT_TRUE(ReadBytes(bestFit) == Pattern(100, 4));
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  ASSERT_TRUE(GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(data.nFileSizeLow, 5000u);

  // The read-only mark is looked for on the file of that name, not on its best fit.
  ASSERT_TRUE(SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(DuplicateFile(Wide(destination_).c_str(), wide.c_str()), 0);
  ASSERT_TRUE(SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL));
  ASSERT_TRUE(DeleteFileW(wide.c_str()));
  ASSERT_TRUE(DeleteFileA(bestFit.c_str()));
  ExpectOlderCopyKept("unicode name");
}

// A progress that stops the copy at one of its calls: the older copy stays whole, and only the
// stop after the last call would let the new one in.
TEST_F(DuplicateFileTest, AStoppedCopyKeepsTheOlderCopy) {
  const std::string large = Make("large.pak", 3 * 256 * 1024 + 5, 11);
  struct Stopper {
    int calls = 0;
    int stopAt = 0;
    std::int64_t lastCopied = -1;
    std::int64_t total = 0;
  };
  const auto step = [](void* context, std::int64_t copied, std::int64_t total) {
    auto* stopper = static_cast<Stopper*>(context);
    stopper->lastCopied = copied;
    stopper->total = total;
    return ++stopper->calls != stopper->stopAt;
  };
  // 0 before the first block, one call after each of the first three blocks (below the total),
  // one with the total after the flush: the point of no return.
  for (int stopAt = 1; stopAt <= 6; ++stopAt) {
    Stopper stopper;
    stopper.stopAt = stopAt;
    const CopyProgress progress = {step, &stopper};
    const std::int32_t copied =
        DuplicateFile(Wide(large).c_str(), Wide(destination_).c_str(), &progress);
    EXPECT_EQ(stopper.total, 3 * 256 * 1024 + 5) << stopAt;
    if (stopAt <= 5) {
      EXPECT_EQ(copied, 0) << stopAt;
      if (stopAt < 5) {
        EXPECT_LT(stopper.lastCopied, stopper.total) << stopAt;
      }
      EXPECT_EQ(stopper.calls, stopAt);
      ExpectOlderCopyKept("stopped at call " + std::to_string(stopAt));
    } else {
      EXPECT_NE(copied, 0);
      EXPECT_EQ(stopper.calls, 5);
      EXPECT_EQ(stopper.lastCopied, stopper.total);
      EXPECT_TRUE(ReadBytes(destination_) == Pattern(3 * 256 * 1024 + 5, 11));
    }
  }
}

TEST_F(DuplicateFileTest, RefusedHandleCallsGoByNameAndLeaveNothing) {
  // kLeftBehind: the older copy is whole, and the new file stays, since nothing could tell
  // whether it had become the only copy.
  enum Outcome { kInstalled, kOlderKept, kLeftBehind, kUnreported, kSwappedInPlace };
  const struct {
    HandleCallFaults faults;
    Outcome outcome;
    const char* label;
  } cases[] = {
      {{ERROR_NOT_SUPPORTED}, kInstalled, "mark refused as unsupported"},
      {{ERROR_INVALID_FUNCTION}, kInstalled, "mark refused as an invalid function"},
      {{0, ERROR_INVALID_PARAMETER}, kInstalled, "rename refused as an invalid parameter"},
      {{0, ERROR_NOT_SUPPORTED}, kInstalled, "rename refused as unsupported"},
      {{0, ERROR_UNEXP_NET_ERR, true}, kInstalled, "rename reported failed but done"},
      {{0, ERROR_UNEXP_NET_ERR, false}, kOlderKept, "rename failed"},
      {{ERROR_WRITE_PROTECT}, kOlderKept, "mark failed"},
      // Done, but no file can say so: the new file stays, and the copy is not reported done.
      {{0, ERROR_UNEXP_NET_ERR, true, ERROR_UNEXP_NET_ERR}, kUnreported,
       "rename reported failed, done, undecidable"},
      {{0, ERROR_UNEXP_NET_ERR, false, ERROR_UNEXP_NET_ERR}, kLeftBehind,
       "rename failed, undecidable"},
      {{ERROR_NOT_SUPPORTED, 0, false, 0, true}, kSwappedInPlace, "by-name move swapped"},
      {{ERROR_NOT_SUPPORTED, 0, false, ERROR_UNEXP_NET_ERR}, kLeftBehind,
       "by name, no identity"},
      // Once its handle is closed, the name may reach another user's file: nothing goes by name.
      {{ERROR_NOT_SUPPORTED, 0, false, 0, false, ERROR_UNEXP_NET_ERR}, kLeftBehind,
       "by name, move failed"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(WriteBytes(destination_, Pattern(3000, 3)));
    faults = c.faults;
    const std::int32_t copied =
        DuplicateFileWith(kFaultyCalls, Wide(source_).c_str(), Wide(destination_).c_str());
    faults = {};
    switch (c.outcome) {
      case kOlderKept:
        EXPECT_EQ(copied, 0) << c.label;
        ExpectOlderCopyKept(c.label);
        break;
      case kLeftBehind: {
        EXPECT_EQ(copied, 0) << c.label;
        EXPECT_TRUE(ReadBytes(destination_) == Pattern(3000, 3)) << c.label;
        const Names names = ListFolder(target_);
        ASSERT_EQ(names.size(), 2u) << c.label << " " << Joined(names);
        EXPECT_TRUE(ReadBytes(target_ + "\\" + names[1]) == Pattern(5000, 7)) << c.label;
        ASSERT_TRUE(DeleteFileA((target_ + "\\" + names[1]).c_str()));
        break;
      }
      case kInstalled:
      case kUnreported:
        EXPECT_EQ(copied != 0, c.outcome == kInstalled) << c.label;
        EXPECT_EQ(Summary(ReadBytes(destination_)), Summary(Pattern(5000, 7))) << c.label;
        EXPECT_EQ(Joined(ListFolder(target_)), "{addon.pak}") << c.label;
        break;
      case kSwappedInPlace:
        // Nothing can keep another file from being moved by name; the copy must not call it
        // the add-on.
        EXPECT_EQ(copied, 0) << c.label;
        EXPECT_EQ(ReadBytes(destination_), kSwappedIn) << c.label;
        EXPECT_EQ(Joined(ListFolder(target_)), "{addon.pak}") << c.label;
        break;
    }
  }
}

// A rename that reported a failure is judged by the files, not by their names: here the
// destination is spelt through its folder's short name, which the new file's own name never is.
TEST_F(DuplicateFileTest, ARenameReportedFailedIsJudgedByTheFiles) {
  const std::string longFolder = Folder("Pak-Set mit langem Namen");
  char shortFolder[MAX_PATH] = {};
  ASSERT_NE(GetShortPathNameA(longFolder.c_str(), shortFolder, MAX_PATH), 0u);
  ASSERT_STRNE(shortFolder, longFolder.c_str());
  const std::string spelt = std::string(shortFolder) + "\\addon.pak";
  ASSERT_TRUE(WriteBytes(spelt, Pattern(3000, 3)));
  faults = {0, ERROR_UNEXP_NET_ERR, true};
  EXPECT_NE(DuplicateFileWith(kFaultyCalls, Wide(source_).c_str(), Wide(spelt).c_str()), 0);
  faults = {};
  EXPECT_TRUE(ReadBytes(longFolder + "\\addon.pak") == Pattern(5000, 7));
  EXPECT_EQ(Joined(ListFolder(longFolder)), "{addon.pak}");
}

// Another user who can change the game folder tries to swap the pak-set folder for a link while
// the copy runs: the folder is held, so the swap fails and the copy stays where it began.
TEST_F(DuplicateFileTest, ThePakSetFolderCannotBeSwappedWhileTheCopyRuns) {
  struct Swap {
    std::string folder;
    BOOL moved = TRUE;
  } swap{target_};
  const auto step = [](void* context, std::int64_t, std::int64_t) {
    auto* attempt = static_cast<Swap*>(context);
    attempt->moved = MoveFileA(attempt->folder.c_str(), (attempt->folder + "-aside").c_str());
    return true;
  };
  const CopyProgress progress = {step, &swap};
  EXPECT_NE(DuplicateFile(Wide(source_).c_str(), Wide(destination_).c_str(), &progress), 0);
  EXPECT_FALSE(swap.moved);
  EXPECT_TRUE(ReadBytes(destination_) == Pattern(5000, 7));
  EXPECT_EQ(Joined(ListFolder(target_)), "{addon.pak}");
}

// Temporary files that a power cut left behind belong to nobody the copy can prove; they stay,
// as does everything else in the folder.
TEST_F(DuplicateFileTest, LeftoversInTheFolderAreNotTouched) {
  Make("pak\\~PakInstaller-0123abcd.tmp", 10);
  Folder("pak\\~PakInstaller-00000002.tmp");
  EXPECT_NE(DuplicateFile(Wide(source_).c_str(), Wide(destination_).c_str()), 0);
  EXPECT_EQ(Joined(ListFolder(target_)),
            "{addon.pak, ~PakInstaller-00000002.tmp, ~PakInstaller-0123abcd.tmp}");
  EXPECT_TRUE(ReadBytes(destination_) == Pattern(5000, 7));
}

TEST_F(DuplicateFileTest, AMissingDestinationFolderGivesZero) {
  const std::string missing = base_ + "\\missing\\addon.pak";
  EXPECT_EQ(DuplicateFile(Wide(source_).c_str(), Wide(missing).c_str()), 0);
  EXPECT_EQ(GetFileAttributesA((base_ + "\\missing").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Joined(ListFolder(base_)), "{new.pak, pak}");
}

TEST_F(DuplicateFileTest, AFolderInTheDestinationsPlaceStays) {
  const std::string folder = Folder("pak\\addon-dir");
  Make("pak\\addon-dir\\inside.txt", 10);
  EXPECT_EQ(DuplicateFile(Wide(source_).c_str(), Wide(folder).c_str()), 0);
  EXPECT_EQ(Joined(ListFolder(folder)), "{inside.txt}");
  EXPECT_EQ(Joined(ListFolder(target_)), "{addon-dir, addon.pak}");
}

TEST_F(DuplicateFileTest, AReadOnlyOrHiddenOlderCopyIsNotOverwritten) {
  const DWORD marks[] = {FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN};
  for (const DWORD mark : marks) {
    ASSERT_TRUE(SetFileAttributesA(destination_.c_str(), mark));
    EXPECT_EQ(DuplicateFile(Wide(source_).c_str(), Wide(destination_).c_str()), 0) << mark;
    EXPECT_EQ(GetFileAttributesA(destination_.c_str()) & mark, mark);
    ASSERT_TRUE(SetFileAttributesA(destination_.c_str(), FILE_ATTRIBUTE_NORMAL));
    ExpectOlderCopyKept("attribute " + std::to_string(mark));
  }
}

TEST_F(DuplicateFileTest, ASourceCopiedOntoItselfStaysWhole) {
  const struct {
    std::string to;
    const char* label;
  } cases[] = {
      {destination_, "same text"},
      {target_ + "\\.\\addon.pak", "other spelling"},
  };
  for (const auto& c : cases) {
    EXPECT_NE(DuplicateFile(Wide(destination_).c_str(), Wide(c.to).c_str()), 0) << c.label;
    ExpectOlderCopyKept(c.label);
  }
}

TEST_F(DuplicateFileTest, ADestinationHeldOpenWithoutSharingIsNotReplaced) {
  const std::string holder = PathBesideExecutable("hold_file.exe");
  const std::string readOnlySource = Make("ro.pak", 100, 9);
  ASSERT_TRUE(SetFileAttributesA(readOnlySource.c_str(), FILE_ATTRIBUTE_READONLY));
  const struct {
    DWORD access;
    std::string from;
    const char* label;
  } cases[] = {
      {GENERIC_READ, source_, "held for reading"},
      {GENERIC_READ | GENERIC_WRITE, source_, "held for writing"},
      // On Windows the copy of a read-only source is read-only too and must still be removed.
      {GENERIC_READ, readOnlySource, "read-only source"},
  };
  for (const auto& c : cases) {
    FileHolder held(holder.c_str(), destination_.c_str(), c.access, 0);
    ASSERT_TRUE(held.Held()) << c.label;
    EXPECT_EQ(DuplicateFile(Wide(c.from).c_str(), Wide(destination_).c_str()), 0) << c.label;
    held.Release();
    ExpectOlderCopyKept(c.label);
  }
  SetFileAttributesA(readOnlySource.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(DuplicateFileTest, AHoldThatEndsWithinAMomentIsWaitedOut) {
  // Like a virus scanner that looks at the file for half a second.
  const std::string holder = PathBesideExecutable("hold_file.exe");
  FileHolder held(holder.c_str(), destination_.c_str(), GENERIC_READ, 0);
  ASSERT_TRUE(held.Held());
  std::thread releaser([&held] {
    Sleep(500);
    held.Release();
  });
  const DWORD start = GetTickCount();
  const std::int32_t copied = DuplicateFile(Wide(source_).c_str(), Wide(destination_).c_str());
  const DWORD elapsed = GetTickCount() - start;
  releaser.join();
  EXPECT_NE(copied, 0) << "after " << elapsed << " ms";
  EXPECT_GE(elapsed, 400u);
  EXPECT_LT(elapsed, 2500u);
  EXPECT_TRUE(ReadBytes(destination_) == Pattern(5000, 7));
  EXPECT_EQ(Joined(ListFolder(target_)), "{addon.pak}");
}

TEST_F(DuplicateFileTest, AReadOnlyDownloadInstallsAndItsNewerVersionOverIt) {
  // Windows marks some downloads read-only; the copy must not pass that on to the installed
  // file, or the next version could not replace it. Its last-write time travels.
  FILETIME written = {0x12345678u, 0x01d00000u};
  const struct {
    DWORD attributes;
    unsigned seed;
    const char* label;
  } cases[] = {
      {FILE_ATTRIBUTE_READONLY, 21, "read-only download"},
      {FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE, 22,
       "its newer version, read-only and hidden"},
      {FILE_ATTRIBUTE_NORMAL, 23, "a plain one"},
  };
  for (const auto& c : cases) {
    const std::string source = Make("download.pak", 7000, c.seed);
    const HANDLE file = CreateFileA(source.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << c.label;
    written.dwLowDateTime += 10000000;  // one second later each time
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &written)) << c.label;
    CloseHandle(file);
    ASSERT_TRUE(SetFileAttributesA(source.c_str(), c.attributes)) << c.label;

    EXPECT_NE(DuplicateFile(Wide(source).c_str(), Wide(destination_).c_str()), 0) << c.label;
    EXPECT_TRUE(ReadBytes(destination_) == Pattern(7000, c.seed)) << c.label;
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ASSERT_TRUE(GetFileAttributesExA(destination_.c_str(), GetFileExInfoStandard, &data));
    // Wine reports every file as archived, so that bit tells nothing here.
    EXPECT_EQ(data.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), 0u)
        << c.label;
    EXPECT_EQ(CompareFileTime(&data.ftLastWriteTime, &written), 0)
        << c.label << ": " << data.ftLastWriteTime.dwLowDateTime;
    EXPECT_EQ(Joined(ListFolder(target_)), "{addon.pak}") << c.label;
    SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

TEST_F(DuplicateFileTest, EveryDestinationThePlatformCopyWritesIsWritten) {
  // The temporary file's name is no longer than the destination's own, so paths right at the
  // limit work too: a 10-character name at 255 and 259 characters.
  for (const std::size_t length : {255u, 259u}) {
    std::string folder = base_;
    while (folder.size() + 1 + 10 < length) {
      folder += "\\" + std::string(std::min<std::size_t>(60, length - folder.size() - 12), 'f');
      CreateDirectoryA(folder.c_str(), nullptr);
    }
    const std::string destination = folder + "\\trains.pak";
    ASSERT_EQ(destination.size(), length);
    if (!CopyFileA(source_.c_str(), destination.c_str(), FALSE)) {
      std::printf("[ note     ] CopyFileA cannot write %zu characters: error %lu\n", length,
                  GetLastError());
      continue;
    }
    ASSERT_TRUE(WriteBytes(destination, Pattern(3000, 3)));
    EXPECT_NE(DuplicateFile(Wide(source_).c_str(), Wide(destination).c_str()), 0) << length;
    EXPECT_TRUE(ReadBytes(destination) == Pattern(5000, 7)) << length;
    EXPECT_EQ(Joined(ListFolder(folder)), "{trains.pak}") << length;
  }
}

TEST_F(DuplicateFileTest, AFullDiskKeepsTheOlderCopy) {
  // T: is a 256 KB tmpfs (scripts/tmpfs-drive through the tmpfs_drive_t fixture).
  ASSERT_GT(GetDriveTypeA("T:\\"), 1u) << "drive T: is missing: run through ctest";
  const std::string folder = "T:\\pak-" + std::to_string(GetCurrentProcessId());
  RemoveTree(folder);
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << GetLastError();
  const std::string older = folder + "\\addon.pak";
  const std::string olderBytes = Pattern(100 * 1024, 5);
  ASSERT_TRUE(WriteBytes(older, olderBytes));

  const struct {
    std::size_t size;
    const char* label;
  } cases[] = {
      {400 * 1024, "larger than the drive"},
      {200 * 1024, "fits alone, not beside the older copy"},
  };
  // Also where the file system refuses the deletion mark: the new file then goes by its name,
  // and since nothing is removed by name, what was written of it stays beside the older copy.
  for (const DWORD refusedMark : {DWORD{0}, DWORD{ERROR_NOT_SUPPORTED}}) {
    for (const auto& c : cases) {
      const std::string label = c.label + std::string(refusedMark ? ", mark refused" : "");
      const std::string source = Make("full.pak", c.size, 13);
      faults.mark = refusedMark;
      EXPECT_EQ(DuplicateFileWith(kFaultyCalls, Wide(source).c_str(), Wide(older).c_str()), 0)
          << label;
      faults = {};
      EXPECT_EQ(Summary(ReadBytes(older)), Summary(olderBytes)) << label;
      EXPECT_TRUE(ReadBytes(older) == olderBytes) << label;
      Names names = ListFolder(folder);
      if (refusedMark != 0) {
        ASSERT_EQ(names.size(), 2u) << label << " " << Joined(names);
        EXPECT_EQ(names[1].rfind("~PakInstaller-", 0), 0u) << label << " " << names[1];
        ASSERT_TRUE(DeleteFileA((folder + "\\" + names[1]).c_str())) << label;
        names = ListFolder(folder);
      }
      EXPECT_EQ(Joined(names), "{addon.pak}") << label;
    }
  }
  // Where the new copy fits, it replaces the older one.
  const std::string small = Make("small.pak", 60 * 1024, 17);
  EXPECT_NE(DuplicateFile(Wide(small).c_str(), Wide(older).c_str()), 0);
  EXPECT_TRUE(ReadBytes(older) == Pattern(60 * 1024, 17)) << Summary(ReadBytes(older));
  EXPECT_EQ(Joined(ListFolder(folder)), "{addon.pak}");
  RemoveTree(folder);
}

}  // namespace
}  // namespace runtime

namespace runtime {
namespace {

// Wine keeps no access lists and runs every process under one user, so the player's token and
// the file's list are stood in for: this process's own token, and a list made from SDDL.
struct PlayerWorld {
  bool player = true;
  const wchar_t* list = nullptr;  // null: the file's list cannot be read
};
PlayerWorld world;

void* OwnToken() {
  if (!world.player) return nullptr;
  HANDLE own = nullptr;
  HANDLE token = nullptr;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &own)) {
    if (!DuplicateToken(own, SecurityIdentification, &token)) token = nullptr;
    CloseHandle(own);
  }
  return token;
}
void CloseToken(void* token) { CloseHandle(token); }
void* ListedDescriptor(void*) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (world.list == nullptr ||
      !ConvertStringSecurityDescriptorToSecurityDescriptorW(world.list, SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    return nullptr;
  }
  return descriptor;
}
void ReleaseDescriptor(void* descriptor) { LocalFree(descriptor); }
const PlayerAccessCalls kStandIns = {OwnToken, CloseToken, ListedDescriptor, ReleaseDescriptor};

TEST_F(FileSystemPlatform, TheAddOnIsReadOnlyWhereThePlayerMayReadIt) {
  const std::string addOn = Make("addon.pak", 4000, 5);
  const struct {
    PlayerWorld world;
    std::int64_t size;  // what AddOnFile reports
    const char* label;
  } cases[] = {
      {{true, L"O:BAG:BAD:(A;;FR;;;WD)"}, 4000, "everyone may read"},
      {{true, L"O:BAG:BAD:(A;;FA;;;SY)"}, -1, "only the system may read"},
      {{true, L"O:BAG:BAD:(A;;FW;;;WD)"}, -1, "everyone may write, nobody read"},
      {{true, L"O:BAG:BAD:(D;;FR;;;WD)(A;;FA;;;WD)"}, -1, "reading denied first"},
      {{true, L"O:BAG:BAD:"}, -1, "an empty list"},
      {{true, nullptr}, -1, "a list that cannot be read"},
      // No unelevated shell: the tool reads as it always has.
      {{false, L"O:BAG:BAD:(A;;FA;;;SY)"}, 4000, "no player"},
  };
  for (const auto& c : cases) {
    world = c.world;
    AddOnFile file(kStandIns, WideText(Wide(addOn).c_str()));
    EXPECT_EQ(file.Size(), c.size) << c.label;
    void* const opened = file.Release();
    EXPECT_EQ(opened != nullptr, c.size >= 0) << c.label;
    if (opened != nullptr) CloseHandle(opened);
  }
  world = {};
  // The platform's own calls, on a file the player made himself.
  EXPECT_EQ(AddOnFile(PlatformPlayerAccessCalls(), WideText(Wide(addOn).c_str())).Size(), 4000);
  EXPECT_EQ(AddOnFile(kStandIns, WideText(Wide(base_).c_str())).Size(), -1) << "a folder";
  // Held by another program: there, with its size, but nothing to copy from (message 7, not 4).
  FileHolder held(PathBesideExecutable("hold_file.exe").c_str(), addOn.c_str(), GENERIC_READ, 0);
  ASSERT_TRUE(held.Held());
  AddOnFile heldFile(kStandIns, WideText(Wide(addOn).c_str()));
  EXPECT_EQ(heldFile.Size(), 4000);
  EXPECT_EQ(heldFile.Release(), nullptr);
}

}  // namespace
}  // namespace runtime
