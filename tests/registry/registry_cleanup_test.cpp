// The registry stage of a removal: the Add/Remove Programs key, the version
// key, the rebuilt family key and CurrentVersion, against the real store.
#include <string>

#include "failing_registry.h"
#include "registry_cleanup.h"
#include "registry_fixture.h"

using platform::Error;
using platform::RegistryAccess;
using platform::RegistryKey;
using platform::RegistryValue;

namespace {

const std::string kJre = kJreVendorKey;
const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Qel JRE 1.4.2_02";

UninstallInfo Jre142_02() {
  UninstallInfo info;
  info.ProductName = "Qel Lumenar Tarvik 1.4.2_02";
  info.InstallDir = "/opt/tarvik-1.4.2_02";
  info.PublicJreDir = "/opt/tarvik-1.4.2_02";
  info.VersionMajor = "1";
  info.VersionMinor = "4";
  info.VersionMicro = "2";
  info.VersionUpdate = "02";
  info.FullVersion = "1.4.2_02";
  info.IsJre = true;
  info.Integrated = false;
  info.StartMenuFolder = "Tarvik 1.4.2_02";
  info.UninstallKey = "HKEY_LOCAL_MACHINE\\" + kUninstall;
  return info;
}

class RegistryCleanup : public RegistryTest {
 protected:
  // A version key as an installer leaves it: values and a subkey.
  void RegisterVersion(const std::string& vendor, const std::string& version) {
    RegistryKey k = make(vendor + "\\" + version);
    reg().set_value(k, "JavaHome", RegistryValue::string("/opt/tarvik-" + version));
    reg().set_value(k, "RuntimeLib", RegistryValue::expand_string("%JAVA_HOME%\\bin\\jvm.dll"));
    reg().set_value(k, "MicroVersion", RegistryValue::dword(static_cast<uint32_t>(version.size())));
    RegistryKey msi = make(vendor + "\\" + version + "\\MSI");
    reg().set_value(msi, "Blob", RegistryValue::binary(std::string("\0\x01", 2) + version));
  }

  void RegisterJres(std::initializer_list<const char*> versions) {
    for (const char* v : versions) RegisterVersion(kJre, v);
    // The family key as the installer of 1.4.2_02 left it.
    RegistryKey family = make(kJre + "\\1.4");
    reg().set_value(family, "JavaHome", RegistryValue::string("/opt/tarvik-1.4.2_02"));
    RegistryKey vendor = make(kJre);
    reg().set_value(vendor, "CurrentVersion", RegistryValue::string("1.4"));
    set_text(kUninstall, "DisplayName", "Qel JRE 1.4.2_02");
  }

  std::string Run(const UninstallInfo& info) {
    testing::internal::CaptureStderr();
    not_removed_.clear();
    CleanRegistry(info, info.InstallDir, not_removed_);
    return testing::internal::GetCapturedStderr();
  }
  std::vector<std::string> not_removed_;  // what the last run reported as staying

  // Every value and subkey of `a` and `b` alike, recursively.
  void ExpectSameTree(const std::string& a, const std::string& b) {
    RegistryKey ka, kb;
    ASSERT_EQ(reg().open_key(hklm(), a, RegistryAccess::read, ka), Error::none) << a;
    ASSERT_EQ(reg().open_key(hklm(), b, RegistryAccess::read, kb), Error::none) << b;
    std::string na, nb;
    RegistryValue va, vb;
    uint32_t i = 0;
    for (; reg().enum_value(ka, i, na, va) == Error::none; ++i) {
      ASSERT_EQ(reg().enum_value(kb, i, nb, vb), Error::none) << b << " lacks " << na;
      EXPECT_EQ(na, nb);
      EXPECT_EQ(va, vb) << na;
    }
    EXPECT_EQ(reg().enum_value(kb, i, nb, vb), Error::not_found) << b << " has more values";
    for (i = 0; reg().enum_subkey(ka, i, na) == Error::none; ++i) {
      ASSERT_EQ(reg().enum_subkey(kb, i, nb), Error::none);
      EXPECT_EQ(na, nb);
      ExpectSameTree(a + "\\" + na, b + "\\" + nb);
    }
    EXPECT_EQ(reg().enum_subkey(kb, i, nb), Error::not_found);
  }
};

}  // namespace

TEST_F(RegistryCleanup, FamilyRebuiltFromTheNewestRemainingVersion) {
  // Every version key has an MSI subkey; the removed one goes with it.
  RegisterJres({"1.3.1_09", "1.4.2_02", "1.4.2_03"});
  EXPECT_EQ(Run(Jre142_02()), "setting currentversion 1.4\nsetting successfully\n");
  EXPECT_FALSE(exists(kUninstall));
  EXPECT_FALSE(exists(kJre + "\\1.4.2_02"));
  EXPECT_TRUE(exists(kJre + "\\1.3.1_09"));
  ExpectSameTree(kJre + "\\1.4.2_03", kJre + "\\1.4");
  EXPECT_EQ(value(kJre, "CurrentVersion"), RegistryValue::string("1.4"));
}

TEST_F(RegistryCleanup, FamilyGoneWhenNoVersionOfItRemains) {
  RegisterJres({"1.3.1_09", "1.4.2_02"});
  EXPECT_EQ(Run(Jre142_02()), "setting currentversion 1.3\nsetting successfully\n");
  EXPECT_FALSE(exists(kJre + "\\1.4"));
  EXPECT_FALSE(exists(kJre + "\\1.4.2_02"));
  EXPECT_TRUE(exists(kJre + "\\1.3.1_09"));
  EXPECT_EQ(value(kJre, "CurrentVersion"), RegistryValue::string("1.3"));
}

TEST_F(RegistryCleanup, OnlyVersionTakesTheVendorKeyWithIt) {
  RegisterJres({"1.4.2_02"});
  EXPECT_EQ(Run(Jre142_02()), "");
  EXPECT_FALSE(exists(kJre));
  EXPECT_TRUE(exists("SOFTWARE\\Tarvik"));
}

TEST_F(RegistryCleanup, IntegratedProductLeavesVendorKeysToTheHelper) {
  RegisterJres({"1.3.1_09", "1.4.2_02"});
  UninstallInfo info = Jre142_02();
  info.Integrated = true;
  EXPECT_EQ(Run(info), "");
  EXPECT_FALSE(exists(kUninstall));
  EXPECT_TRUE(exists(kJre + "\\1.4.2_02"));
  EXPECT_TRUE(exists(kJre + "\\1.4"));
  EXPECT_EQ(value(kJre, "CurrentVersion"), RegistryValue::string("1.4"));
}

TEST_F(RegistryCleanup, AddRemoveKeyWithSubkeysStays) {
  RegisterJres({"1.4.2_02"});
  set_text(kUninstall + "\\Extra", "x", "1");
  UninstallInfo info = Jre142_02();
  // The root's name in the record does not matter: the entry is machine-wide.
  info.UninstallKey = "HKEY_CURRENT_USER\\" + kUninstall;
  Run(info);
  EXPECT_EQ(value(kUninstall, "DisplayName"), RegistryValue::string("Qel JRE 1.4.2_02"));
  EXPECT_TRUE(exists(kUninstall + "\\Extra"));
  // Staying, it is reported; the keys that went are not.
  ASSERT_EQ(not_removed_.size(), 1u);
  EXPECT_EQ(not_removed_[0].rfind("HKEY_LOCAL_MACHINE\\" + kUninstall + " (", 0), 0u) << not_removed_[0];
  // A key without a root part is not deleted at all.
  info.UninstallKey = "Qel JRE 1.4.2_02";
  set_text("Qel JRE 1.4.2_02", "x", "1");
  Run(info);
  EXPECT_TRUE(exists("Qel JRE 1.4.2_02"));
}

TEST_F(RegistryCleanup, DamagedVersionFieldNeverWidensTheDeletion) {
  RegisterJres({"1.3.1_09", "1.4.2_02"});
  UninstallInfo info = Jre142_02();
  info.FullVersion = "1.4.2_02\\MSI";
  Run(info);
  EXPECT_TRUE(exists(kJre + "\\1.4.2_02\\MSI"));
  EXPECT_TRUE(exists(kJre + "\\1.3.1_09\\MSI"));
}

TEST_F(RegistryCleanup, KitUsesTheDevelopmentKitVendorKey) {
  const std::string sdk = kSdkVendorKey;
  RegisterVersion(sdk, "1.4.2_02");
  RegisterVersion(sdk, "1.4.1_01");
  RegisterJres({"1.4.2_02"});
  UninstallInfo info = Jre142_02();
  info.IsJre = false;
  EXPECT_EQ(Run(info), "setting currentversion 1.4\nsetting successfully\n");
  EXPECT_FALSE(exists(sdk + "\\1.4.2_02"));
  ExpectSameTree(sdk + "\\1.4.1_01", sdk + "\\1.4");
  EXPECT_EQ(value(sdk, "CurrentVersion"), RegistryValue::string("1.4"));
  EXPECT_TRUE(exists(kJre + "\\1.4.2_02"));
}

TEST_F(RegistryCleanup, DeleteAndCopyWholeTrees) {
  RegisterVersion(kScratch + "\\Src", "a");
  RegisterVersion(kScratch + "\\Src\\a\\MSI", "deeper");
  RegistryKey src, dst_parent;
  ASSERT_EQ(reg().open_key(hklm(), kScratch + "\\Src", RegistryAccess::read, src), Error::none);
  dst_parent = make(kScratch + "\\Dst");
  ASSERT_EQ(CopyKeyTree(src, dst_parent, "Copy"), Error::none);
  ExpectSameTree(kScratch + "\\Src", kScratch + "\\Dst\\Copy");

  RegistryKey scratch = make(kScratch);
  EXPECT_EQ(DeleteKeyTree(scratch, "src"), Error::none);
  EXPECT_FALSE(exists(kScratch + "\\Src"));
  EXPECT_TRUE(exists(kScratch + "\\Dst\\Copy\\a\\MSI\\deeper\\MSI"));
  EXPECT_EQ(DeleteKeyTree(scratch, "Src"), Error::not_found);
}

TEST_F(RegistryCleanup, EnumerationThatKeepsFailingEndsTheRepair) {
  RegisterJres({"1.3.1_09", "1.4.2_02", "1.4.2_03"});
  // From the second subkey on, every listing fails (a store gone bad).
  FailingEnumerationRegistry failing(1, Error::io);
  platform::ScopedService<platform::Registry> scoped(failing);
  testing::internal::CaptureStderr();
  RepairVersionFamily(kJre, "1.4");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "setting currentversion 1.3\nsetting successfully\n");
  EXPECT_LT(failing.enumerations, 10);
}
