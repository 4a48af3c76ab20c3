// The .jar association goes exactly when it opens jar files with the
// removed product's own javaw, and stays for every other command.
#include <string>
#include <vector>

#include "jar_association.h"
#include "platform/file_system.h"
#include "registry_fixture.h"

using platform::RegistryKey;
using platform::RegistryRoot;
using platform::RegistryValue;

namespace {

class JarAssociation : public RegistryTest {
 protected:
  std::vector<std::string> not_removed_;
  void Associate(const std::string& command) {
    RegistryKey jar = make(RegistryRoot::classes_root, ".jar");
    reg().set_value(jar, "", RegistryValue::string("jarfile"));
    RegistryKey cmd = make(RegistryRoot::classes_root, "jarfile\\shell\\open\\command");
    reg().set_value(cmd, "", RegistryValue::string(command));
  }
  bool Associated() {
    for (const char* k : {".jar", "jarfile", "jarfile\\shell", "jarfile\\shell\\open", "jarfile\\shell\\open\\command"}) {
      if (!exists(RegistryRoot::classes_root, k)) return false;
    }
    return true;
  }
  bool Gone() {
    for (const char* k : {".jar", "jarfile"}) {
      if (exists(RegistryRoot::classes_root, k)) return false;
    }
    return true;
  }
};

}  // namespace

TEST_F(JarAssociation, OwnJavawInAnyCaseRemovesAllFiveKeys) {
  const std::string dir = "/opt/Tarvik-1.4.2_02";
  Associate(ProductJavawCommand("/OPT/tarvik-1.4.2_02") + " -jar \"%1\" %*");
  const std::string sep(1, platform::file_system().path_separator());
  EXPECT_EQ(ProductJavawCommand(dir), "\"/opt/Tarvik-1.4.2_02" + sep + "bin" + sep + "javaw.exe\"");
  RemoveJarAssociation(dir, not_removed_);
  EXPECT_TRUE(Gone());
}

TEST_F(JarAssociation, OtherCommandsStay) {
  const std::string dir = "/opt/tarvik-1.4.2_02";
  for (const std::string& command : {
           ProductJavawCommand("/opt/tarvik-1.3.1_09") + " -jar \"%1\"",  // another product
           ProductJavawCommand(dir),                                       // no blank at all
           ProductJavawCommand(dir + "x") + " -jar \"%1\"",                 // only starts the same
           dir + "/bin/javaw.exe -jar %1",                                  // unquoted
       }) {
    Associate(command);
    RemoveJarAssociation(dir, not_removed_);
    EXPECT_TRUE(Associated()) << command;
  }
  // Nothing registered: nothing happens.
  reg().delete_key(hkcr(), "jarfile\\shell\\open\\command");
  RemoveJarAssociation(dir, not_removed_);
  EXPECT_TRUE(exists(RegistryRoot::classes_root, ".jar"));
}

TEST_F(JarAssociation, InstallDirectoryWithBlanksStillMatches) {
  // Cutting the command at its first blank would cut inside the quoted path
  // and leave a dangling association to the removed javaw.
  const std::string dir = "/opt/Program Files/Tarvik 1.4.2_02";
  Associate(ProductJavawCommand(dir) + " -jar \"%1\"");
  RemoveJarAssociation(dir, not_removed_);
  EXPECT_TRUE(Gone());
}

TEST_F(JarAssociation, KeysWithForeignSubkeysStay) {
  const std::string dir = "/opt/tarvik-1.4.2_02";
  Associate(ProductJavawCommand(dir) + " -jar \"%1\"");
  make(RegistryRoot::classes_root, ".jar\\OpenWithProgids");
  RemoveJarAssociation(dir, not_removed_);
  EXPECT_FALSE(exists(RegistryRoot::classes_root, "jarfile"));
  EXPECT_TRUE(exists(RegistryRoot::classes_root, ".jar\\OpenWithProgids"));
  ASSERT_EQ(not_removed_.size(), 1u);
  EXPECT_EQ(not_removed_[0].rfind("HKEY_CLASSES_ROOT\\.jar (", 0), 0u) << not_removed_[0];
}
