// Who may change a folder: the judgement over entries, and under Wine over real descriptors
// written in SDDL, since Wine keeps no access lists of its own.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "runtime/folder_access.h"

#if defined(_WIN32)
#include <windows.h>
// After windows.h, which it builds on.
#include <sddl.h>

#include "runtime/folder_access_win32.h"
#endif

namespace {

using runtime::AccessEntry;
using runtime::FolderRole;
using runtime::Trustee;

constexpr Trustee kPlayers = Trustee::kStandardUsers;
constexpr Trustee kAdmins = Trustee::kAdministration;
constexpr std::uint32_t kReadAndList = 0x1200a9;
constexpr std::uint32_t kModify = 0x1301bf;
constexpr std::uint32_t kCreateFolders = 0x4;

struct Row {
  const char* name;
  Trustee owner;
  bool hasList;
  std::vector<AccessEntry> entries;
  bool changeableItself;
  bool changeableAbove;
};

TEST(FolderAccess, WhoMayChangeTheFolder) {
  const std::vector<Row> rows = {
      {"program_files", kAdmins, true,
       {{true, false, kAdmins, 0x1f01ff}, {true, false, kPlayers, kReadAndList}}, false, false},
      {"players_may_modify", kAdmins, true, {{true, false, kPlayers, kModify}}, true, true},
      {"owned_by_players", kPlayers, true, {{true, false, kPlayers, kReadAndList}}, true, true},
      {"no_access_list", kAdmins, false, {}, true, true},
      {"empty_access_list", Trustee::kOther, true, {}, false, false},
      // The root of a system drive: users make folders there, and modify what they made.
      {"drive_root", kAdmins, true,
       {{true, false, kPlayers, kReadAndList}, {true, false, kPlayers, kCreateFolders},
        {true, true, kPlayers, kModify}},
       true, false},
      {"only_inherited_by_what_is_made_inside", kAdmins, true, {{true, true, kPlayers, kModify}},
       false, false},
      {"denied_is_weighed_as_absent", kAdmins, true,
       {{false, false, kPlayers, kModify}, {true, false, kPlayers, 0x40}}, true, true},
      {"another_user_may_modify", kAdmins, true, {{true, false, Trustee::kOther, kModify}}, false,
       false},
      {"players_may_change_the_list", kAdmins, true, {{true, false, kPlayers, 0x40000}}, true,
       true},
      {"players_may_take_ownership", kAdmins, true, {{true, false, kPlayers, 0x80000}}, true, true},
      {"generic_write_creates_files", kAdmins, true, {{true, false, kPlayers, 0x40000000}}, true,
       false},
      {"generic_all", kAdmins, true, {{true, false, kPlayers, 0x10000000}}, true, true},
      {"write_attributes_only", kAdmins, true, {{true, false, kPlayers, 0x100}}, false, false},
  };
  for (const Row& row : rows) {
    const runtime::FolderSecurity folder{row.owner, row.hasList, row.entries.data(),
                                         row.entries.size()};
    EXPECT_EQ(runtime::StandardUsersMayChange(folder, FolderRole::kItself), row.changeableItself)
        << row.name;
    EXPECT_EQ(runtime::StandardUsersMayChange(folder, FolderRole::kAbove), row.changeableAbove)
        << row.name;
  }
}

#if defined(_WIN32)

struct Descriptor {
  explicit Descriptor(const wchar_t* sddl) {
    ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr);
  }
  ~Descriptor() { LocalFree(sd); }
  PSECURITY_DESCRIPTOR sd = nullptr;
};

TEST(FolderAccess, JudgesRealDescriptors) {
  using runtime::FolderJudgement;
  struct SddlRow {
    const char* name;
    const wchar_t* sddl;
    FolderJudgement itself;
    FolderJudgement above;
    bool ownedByAdministration;
    bool wineUser = false;  // owned by the Wine user, as every file under Wine
  };
  constexpr FolderJudgement kProtected = FolderJudgement::kProtected;
  constexpr FolderJudgement kChangeable = FolderJudgement::kChangeable;
  const SddlRow rows[] = {
      {"install_folder", L"O:BAG:SYD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)",
       kProtected, kProtected, true},
      {"trusted_installer_owns_it",
       L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464D:(A;OICI;FA;;;SY)",
       kProtected, kProtected, true},
      // What Wine makes up for a folder of mode 0777 and 0755.
      {"wine_mode_0777",
       L"O:S-1-5-21-0-0-0-1000D:(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-0-0-0-1000)"
       L"(A;OICI;0x1301ff;;;WD)",
       kChangeable, kChangeable, false, true},
      {"wine_mode_0755",
       L"O:S-1-5-21-0-0-0-1000D:(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-0-0-0-1000)"
       L"(A;OICI;0x1200a9;;;WD)",
       kProtected, kProtected, false, true},
      {"drive_root",
       L"O:SYD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)(A;;0x4;;;AU)"
       L"(A;OICIIO;SDGXGWGR;;;AU)",
       kChangeable, kProtected, true},
      {"interactive_may_delete", L"O:BAD:(A;;SD;;;IU)", kChangeable, kChangeable, true},
      {"owned_by_everyone", L"O:WDD:(A;;FA;;;BA)", kChangeable, kChangeable, false},
      {"no_access_list", L"O:BAD:NO_ACCESS_CONTROL", kChangeable, kChangeable, true},
      {"no_owner", L"D:(A;;FA;;;BA)", FolderJudgement::kUnknown, FolderJudgement::kUnknown, false},
  };
  // Wine keeps no owners, so there the Wine user, which is the test's own, counts too.
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  const bool underWine = GetProcAddress(ntdll, "wine_get_version") != nullptr;
  for (const SddlRow& row : rows) {
    const Descriptor descriptor(row.sddl);
    ASSERT_NE(descriptor.sd, nullptr) << row.name << ": " << GetLastError();
    EXPECT_EQ(runtime::JudgeDescriptor(descriptor.sd), row.itself) << row.name;
    EXPECT_EQ(runtime::JudgeDescriptor(descriptor.sd, FolderRole::kAbove), row.above) << row.name;
    EXPECT_EQ(runtime::DescriptorOwnedByAdministration(descriptor.sd),
              row.ownedByAdministration || (row.wineUser && underWine))
        << row.name;
  }
}

#endif

}  // namespace
