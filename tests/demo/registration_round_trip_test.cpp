// Guards the demo's registration against the real uninstaller and the real
// registry store: what the installer registers is exactly what a silent
// uninstall removes (files, keys, start-menu folder, the uninstaller
// itself), another product's .jar association is never taken over, and a
// registration that fails part way takes back every key and file it made.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "demo_test_support.h"
#include "fakes/temp_dir.h"

namespace {

using namespace demo_test;

const char STORE_HEADER[] = "Windows Registry Editor Version 5.00\n\n";

class RegistrationRoundTrip : public ::testing::Test {
 protected:
  fakes::TempDir scratch{"qelreg"};
  fs::path work, temp, target, menu, answers, store;

  void SetUp() override {
    ASSERT_FALSE(scratch.path().empty());
    const fs::path base = scratch.path();
    work = base / "sfx0002.tmp";
    fs::create_directories(work);
    fs::copy(QEL_DEMO_PRODUCT_DIR, work / "product", fs::copy_options::recursive);
    fs::copy_file(UNINSTALL_EXE, work / "uninstall");
    temp = base / "tmp";
    fs::create_directories(temp);
    target = base / "install";
    menu = base / "menu";
    answers = base / "answers.xml";
    store = base / "registry.reg";
    write_answers(target, menu);
  }

  void write_answers(const fs::path& install_dir, const fs::path& programs) {
    write_file(answers, "<installation><installdir>" + install_dir.string() + "</installdir><programsfolder>" +
                            programs.string() + "</programsfolder></installation>\n");
  }

  std::string with_store(const std::string& command) { return "QEL_REGISTRY=" + quote(store.string()) + " " + command; }

  CommandResult install() {
    return run_command(with_store(quote(QELINST_EXE) + " " + quote("-Djava.io.tmpdir=" + temp.string()) +
                                  " -product=product -uninstaller=uninstall -mode=silent " +
                                  quote("-silent_xml=" + answers.string())),
                       work);
  }

  CommandResult uninstall(const fs::path& log) {
    return run_command(with_store(quote((target / "uninstall").string()) + " -silent " + quote("-log=" + log.string())),
                       scratch.path());
  }

  // The self-removal script runs after the uninstaller has exited, at the
  // lowest priority, so on a busy machine it may take a while.
  void wait_until_gone(const fs::path& path) {
    for (int i = 0; i < 1200 && fs::exists(path); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
};

TEST_F(RegistrationRoundTrip, SilentUninstallRemovesWhatTheInstallerMade) {
  const CommandResult r = install();
  ASSERT_EQ(r.exit_code, 0) << r.output;
  const std::string registered = read_file(store);
  for (const char* key : {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Qel Demo Runtime 1.4.2_03]",
                          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvik\\Java Runtime Environment\\1.4.2_03]",
                          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvik\\Java Runtime Environment\\1.4]",
                          "\"CurrentVersion\"=\"1.4\"", "[HKEY_CLASSES_ROOT\\jarfile\\shell\\open\\command]",
                          "[HKEY_CLASSES_ROOT\\.jar]"}) {
    EXPECT_NE(registered.find(key), std::string::npos) << key << "\n" << registered;
  }
  EXPECT_NE(registered.find("\"Common Programs\"=\"" + menu.string() + "\""), std::string::npos) << registered;
  EXPECT_TRUE(fs::exists(menu / "Qel Demo Runtime 1.4.2_03" / "Qel Demo README.url"));

  const fs::path log = fs::path(scratch.path()) / "uninstall.log";
  const CommandResult u = uninstall(log);
  EXPECT_EQ(u.exit_code, 0) << u.output;
  EXPECT_EQ(read_file(log), "Qel Demo Runtime 1.4.2_03 was successfully uninstalled.\n");
  wait_until_gone(target);
  EXPECT_FALSE(fs::exists(target));
  EXPECT_FALSE(fs::exists(menu / "Qel Demo Runtime 1.4.2_03"));
  const std::string left = read_file(store);
  for (const char* gone : {"Uninstall\\Qel Demo", "Java Runtime Environment", "jarfile", ".jar]"}) {
    EXPECT_EQ(left.find(gone), std::string::npos) << gone << "\n" << left;
  }
}

TEST_F(RegistrationRoundTrip, AnotherProductsJarAssociationIsKept) {
  const std::string other = "[HKEY_CLASSES_ROOT\\jarfile\\shell\\open\\command]\n@=\"\\\"C:\\\\Other\\\\bin\\\\javaw.exe\\\" -jar \\\"%1\\\"\"\n\n";
  write_file(store, std::string(STORE_HEADER) + other);
  const CommandResult r = install();
  ASSERT_EQ(r.exit_code, 0) << r.output;
  EXPECT_NE(r.output.find("Keeping the existing .jar association"), std::string::npos) << r.output;
  EXPECT_NE(read_file(store).find("C:\\\\Other\\\\bin\\\\javaw.exe"), std::string::npos) << read_file(store);
  EXPECT_EQ(read_file(store).find("[HKEY_CLASSES_ROOT\\.jar]"), std::string::npos);
}

TEST_F(RegistrationRoundTrip, BlankInTheDirectoryMeansNoJarAssociation) {
  // The uninstaller could never recognise such an association as its own.
  target = fs::path(scratch.path()) / "with blank";
  write_answers(target, menu);
  const CommandResult r = install();
  ASSERT_EQ(r.exit_code, 0) << r.output;
  EXPECT_NE(r.output.find("Not associating .jar files"), std::string::npos) << r.output;
  EXPECT_EQ(read_file(store).find("jarfile"), std::string::npos);
}

TEST_F(RegistrationRoundTrip, FailedRegistrationTakesEverythingBack) {
  // In the store's own form (parent keys written out), so that a rewrite
  // of the same content gives the same bytes.
  const std::string before = std::string(STORE_HEADER) +
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n\"Kept\"=\"yes\"\n\n";
  write_file(store, before);
  // The start-menu folder cannot be made below a file: the last steps fail
  // after the uninstaller, its entry and the version keys are in place.
  write_file(menu, "a file, not a folder");
  const CommandResult r = install();
  EXPECT_EQ(r.exit_code, 6) << r.output;
  EXPECT_NE(r.output.find("cannot create the start-menu folder"), std::string::npos) << r.output;
  EXPECT_EQ(read_file(store), before);
  EXPECT_FALSE(fs::exists(target));
  EXPECT_EQ(read_file(menu), "a file, not a folder");
}

TEST_F(RegistrationRoundTrip, DirectoryTheRecordCannotHoldIsRefusedFirst) {
  target = fs::path(scratch.path()) / "a,b";
  write_answers(target, menu);
  const CommandResult r = install();
  EXPECT_EQ(r.exit_code, 3) << r.output;
  EXPECT_NE(r.output.find("the uninstaller could not be told about"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(target));
  EXPECT_FALSE(fs::exists(store));
}

}  // namespace
