// Tree removal on the Win32 backend: UTF-16 names that no ANSI code page
// holds are walked and removed as the system gave them, a directory link
// inside the tree goes without its target, and a link as the top is
// refused. Links need a system (or Wine) that lets this account make them;
// without that the case is skipped.
#include <windows.h>

#include <gtest/gtest.h>

#include "fakes/temp_dir.h"
#include "platform/tree_removal.h"

using platform::Error;

namespace {

std::wstring Wide(const std::string& ansi) {
  int n = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, out.data(), n);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

void MakeFile(const std::wstring& path, const char* bytes) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD put = 0;
  WriteFile(h, bytes, static_cast<DWORD>(strlen(bytes)), &put, nullptr);
  CloseHandle(h);
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// CreateSymbolicLinkW exists from Vista on; ask for it by name. (Wine 8
// answers success and makes nothing, hence the check.)
bool DirectoryLink(const std::wstring& link, const std::wstring& target) {
  using Fn = BOOLEAN(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);
  auto fn = reinterpret_cast<Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateSymbolicLinkW")));
  return fn && fn(link.c_str(), target.c_str(), 1 /* SYMBOLIC_LINK_FLAG_DIRECTORY */) && Exists(link);
}

}  // namespace

TEST(Win32TreeRemoval, NamesOutsideEveryCodePageAreRemoved) {
  fakes::TempDir temp("w32tree");
  ASSERT_FALSE(temp.path().empty());
  const std::wstring top = Wide(temp / "tree");
  ASSERT_TRUE(CreateDirectoryW(top.c_str(), nullptr));
  // Cyrillic, CJK and a character outside the basic plane.
  const std::wstring odd = top + L"\\\x0416\x6587\xD83D\xDE00";
  ASSERT_TRUE(CreateDirectoryW(odd.c_str(), nullptr));
  MakeFile(odd + L"\\\x00FC\x0142.txt", "x");
  platform::TreeTop t;
  ASSERT_EQ(platform::open_tree(temp / "tree", t), Error::none);
  EXPECT_EQ(platform::count_tree_files(t), 1);
  platform::TreeRemovalReport report = platform::remove_tree(t, {});
  EXPECT_TRUE(report.top_removed);
  EXPECT_EQ(report.removed, 3u);
  EXPECT_FALSE(Exists(top));
}

TEST(Win32TreeRemoval, DirectoryLinksGoWithoutTheirTargets) {
  fakes::TempDir temp("w32link");
  ASSERT_FALSE(temp.path().empty());
  const std::wstring outside = Wide(temp / "outside"), top = Wide(temp / "tree");
  ASSERT_TRUE(CreateDirectoryW(outside.c_str(), nullptr));
  MakeFile(outside + L"\\precious.txt", "precious");
  ASSERT_TRUE(CreateDirectoryW(top.c_str(), nullptr));
  MakeFile(top + L"\\a.txt", "a");
  if (!DirectoryLink(top + L"\\link", outside) || !DirectoryLink(Wide(temp / "top-link"), top))
    GTEST_SKIP() << "this system does not let the test make directory links";

  platform::TreeTop t;
  EXPECT_EQ(platform::open_tree(temp / "top-link", t), Error::is_link);
  EXPECT_EQ(platform::open_tree(temp / "top-link\\", t), Error::is_link);
  ASSERT_EQ(platform::open_tree(temp / "tree", t), Error::none);
  platform::TreeRemovalReport report = platform::remove_tree(t, {});
  EXPECT_TRUE(report.top_removed);
  EXPECT_FALSE(Exists(top));
  EXPECT_TRUE(Exists(outside + L"\\precious.txt"));
}
