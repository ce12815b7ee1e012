#include <marlin/platform/RegistryStore.h>

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "StoreSandbox.h"
#include <marlin/base/AtomicFile.h>

namespace marlin::platform {

namespace {

std::vector<std::uint8_t> text(std::string_view s) {
    std::vector<std::uint8_t> b(s.begin(), s.end());
    b.push_back(0);
    return b;
}

}  // namespace

using RegistryStoreTest = StoreTest;

TEST_F(RegistryStoreTest, ValuesKeysAndListing) {
    EXPECT_EQ(Store::keyExists(Store::kLocalMachine, "SOFTWARE\\Quazar"), Store::kFileNotFound);
    ASSERT_EQ(Store::setValue(Store::kLocalMachine, "SOFTWARE\\Quazar\\Marlin", "Path", 1, text("/opt")), 0);
    EXPECT_EQ(Store::keyExists(Store::kLocalMachine, "software\\quazar"), 0);  // parents were created
    ASSERT_EQ(Store::setValue(Store::kLocalMachine, "SOFTWARE\\Quazar\\Marlin", "Count", 4, {7, 0, 0, 0}), 0);
    ASSERT_EQ(Store::setValue(Store::kLocalMachine, "SOFTWARE\\Quazar\\Marlin", "", 1, text("d")), 0);
    ASSERT_EQ(Store::setValue(Store::kLocalMachine, "SOFTWARE\\Quazar\\Marlin", "PATH", 1, text("/usr")), 0);
    ASSERT_EQ(Store::createKey(Store::kLocalMachine, "SOFTWARE\\Quazar\\Zeta"), 0);
    ASSERT_EQ(Store::createKey(Store::kLocalMachine, "SOFTWARE\\Quazar\\alpha"), 0);

    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    ASSERT_EQ(Store::queryValue(Store::kLocalMachine, "SOFTWARE\\QUAZAR\\marlin", "path", type, data), 0);
    EXPECT_EQ(type, 1u);
    EXPECT_EQ(data, text("/usr"));
    EXPECT_EQ(Store::queryValue(Store::kLocalMachine, "SOFTWARE\\Quazar\\Marlin", "nope", type, data),
              Store::kFileNotFound);
    EXPECT_EQ(Store::queryValue(Store::kLocalMachine, "SOFTWARE\\Nope", "Path", type, data),
              Store::kFileNotFound);

    std::vector<std::string> names;
    ASSERT_EQ(Store::listValueNames(Store::kLocalMachine, "SOFTWARE\\Quazar\\Marlin", names), 0);
    EXPECT_EQ(names, (std::vector<std::string>{"Path", "Count", ""}));
    ASSERT_EQ(Store::listSubkeyNames(Store::kLocalMachine, "SOFTWARE\\Quazar", names), 0);
    EXPECT_EQ(names, (std::vector<std::string>{"alpha", "Marlin", "Zeta"}));
    EXPECT_EQ(Store::listSubkeyNames(Store::kLocalMachine, "SOFTWARE\\Nope", names), Store::kFileNotFound);
    EXPECT_TRUE(names.empty());

    // The user store is another file.
    EXPECT_EQ(Store::keyExists(Store::kCurrentUser, "SOFTWARE\\Quazar"), Store::kFileNotFound);
    EXPECT_TRUE(std::filesystem::exists(machinePath));
    EXPECT_FALSE(std::filesystem::exists(userPath));
}

TEST_F(RegistryStoreTest, Deletion) {
    ASSERT_EQ(Store::setValue(Store::kCurrentUser, "A\\B", "v", 1, text("x")), 0);
    ASSERT_EQ(Store::setValue(Store::kCurrentUser, "A\\B", "w", 1, text("y")), 0);
    EXPECT_EQ(Store::deleteValue(Store::kCurrentUser, "A\\B", "V"), 0);
    EXPECT_EQ(Store::deleteValue(Store::kCurrentUser, "A\\B", "v"), Store::kFileNotFound);
    EXPECT_EQ(Store::deleteValue(Store::kCurrentUser, "A\\X", "w"), Store::kFileNotFound);
    // A key with subkeys stays; its leaves go first.
    EXPECT_EQ(Store::deleteKey(Store::kCurrentUser, "A"), Store::kAccessDenied);
    EXPECT_EQ(Store::deleteKey(Store::kCurrentUser, "a\\b"), 0);
    EXPECT_EQ(Store::keyExists(Store::kCurrentUser, "A\\B"), Store::kFileNotFound);
    EXPECT_EQ(Store::deleteKey(Store::kCurrentUser, "A\\B"), Store::kFileNotFound);
    EXPECT_EQ(Store::deleteKey(Store::kCurrentUser, "A"), 0);
    EXPECT_EQ(Store::deleteKey(Store::kCurrentUser, ""), Store::kAccessDenied);
    EXPECT_EQ(Store::deleteKey(Store::kClassesRoot, "\\"), Store::kAccessDenied);
}

TEST_F(RegistryStoreTest, ClassesRootIsPartOfTheMachineStore) {
    ASSERT_EQ(Store::setValue(Store::kClassesRoot, ".sft", "", 1, text("Marlin.Trace")), 0);
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    ASSERT_EQ(Store::queryValue(Store::kLocalMachine, "SOFTWARE\\Classes\\.sft", "", type, data), 0);
    EXPECT_EQ(data, text("Marlin.Trace"));
    EXPECT_NE(TempDir::read(machinePath)
                  .find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.sft]\n@=\"Marlin.Trace\"\n"),
              std::string::npos);
}

TEST_F(RegistryStoreTest, UnknownRootsAndBadNames) {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    EXPECT_EQ(Store::queryValue(0, "A", "v", type, data), Store::kInvalidHandle);
    EXPECT_EQ(Store::setValue(Store::kUsers, "A", "v", 1, text("x")), Store::kInvalidHandle);
    EXPECT_EQ(Store::createKey(Store::kCurrentUser, "A\\line\nbreak"), Store::kInvalidParameter);
    EXPECT_EQ(Store::createKey(Store::kCurrentUser, std::string(256, 'k')), Store::kInvalidParameter);
    EXPECT_EQ(Store::setValue(Store::kCurrentUser, "A", "two\nlines", 1, text("x")),
              Store::kInvalidParameter);
    EXPECT_EQ(Store::createKey(Store::kCurrentUser, std::string(255, 'k')), 0);
    // No deeper than the registry nests (512 levels), or the store could not read itself back.
    std::string deep;
    for (int i = 0; i < 511; ++i) deep += "k\\";
    EXPECT_EQ(Store::createKey(Store::kClassesRoot, deep), Store::kInvalidParameter);
    EXPECT_EQ(Store::setValue(Store::kCurrentUser, deep + "k\\k", "v", 1, text("x")),
              Store::kInvalidParameter);
    EXPECT_EQ(Store::setValue(Store::kCurrentUser, deep + "k", "v", 1, text("x")), 0);
    EXPECT_TRUE(Store::problems(Store::kCurrentUser).empty());
    EXPECT_EQ(Store::storePath(Store::kUsers), "");
}

TEST_F(RegistryStoreTest, AStoreEditedByHandIsReadBack) {
    std::filesystem::create_directories(std::filesystem::path(machinePath).parent_path());
    dir.write("etc/marlin/registry.reg", std::string("REGEDIT4\r\n\r\n"
                                                     "; where the trace tool lives\r\n"
                                                     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tools\\Spy]\r\n"
                                                     "\"InstDir\"=\"/opt/spy/\"\r\n"
                                                     "\"Depth\"=dword:0001869f\r\n"));
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    ASSERT_EQ(Store::queryValue(Store::kLocalMachine, "SOFTWARE\\Tools\\Spy", "InstDir", type, data), 0);
    EXPECT_EQ(data, text("/opt/spy/"));
    ASSERT_EQ(Store::queryValue(Store::kLocalMachine, "SOFTWARE\\Tools\\Spy", "Depth", type, data), 0);
    EXPECT_EQ(type, 4u);
    EXPECT_EQ(data, (std::vector<std::uint8_t>{0x9F, 0x86, 0x01, 0x00}));
    // A change keeps what was there and is itself readable by a person.
    ASSERT_EQ(Store::setValue(Store::kLocalMachine, "SOFTWARE\\Tools\\Spy", "Log", 1, text("on")), 0);
    const std::string after = TempDir::read(machinePath);
    EXPECT_NE(after.find("\"InstDir\"=\"/opt/spy/\"\n\"Depth\"=dword:0001869f\n\"Log\"=\"on\"\n"),
              std::string::npos)
        << after;
    EXPECT_TRUE(Store::problems(Store::kLocalMachine).empty());
}

TEST_F(RegistryStoreTest, AStoreWithBrokenLinesIsReadButNeverOverwritten) {
    std::filesystem::create_directories(std::filesystem::path(userPath).parent_path());
    const std::string broken =
        "REGEDIT4\n[HKEY_CURRENT_USER\\Control "
        "Panel\\International]\n\"sCountry\"=\"Germany\"\n\"sLanguage=DEU\n";
    dir.write("home/.config/marlin/registry.reg", broken);
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    ASSERT_EQ(Store::queryValue(Store::kCurrentUser, "Control Panel\\International", "sCountry", type, data),
              0);
    EXPECT_EQ(data, text("Germany"));
    EXPECT_EQ(Store::setValue(Store::kCurrentUser, "X", "v", 1, text("x")), Store::kBadDatabase);
    EXPECT_EQ(Store::createKey(Store::kCurrentUser, "X"), Store::kBadDatabase);
    EXPECT_EQ(Store::deleteKey(Store::kCurrentUser, "Control Panel\\International"), Store::kBadDatabase);
    EXPECT_EQ(TempDir::read(userPath), broken);
    const auto problems = Store::problems(Store::kCurrentUser);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].rfind(userPath + " line 4:", 0), 0u) << problems[0];
}

TEST_F(RegistryStoreTest, AnInterruptedWriteLeavesTheOldStore) {
    ASSERT_EQ(Store::setValue(Store::kLocalMachine, "K", "keep", 1, text("old")), 0);
    const std::string before = TempDir::read(machinePath);
    // A write that cannot finish: the temporary file's name is taken by a folder.
    std::filesystem::create_directory(marlin::AtomicFile::temporaryPath(machinePath));
    EXPECT_NE(Store::setValue(Store::kLocalMachine, "K", "keep", 1, text("new")), 0);
    EXPECT_EQ(TempDir::read(machinePath), before);
    std::filesystem::remove(marlin::AtomicFile::temporaryPath(machinePath));

    // A writer that is killed while it writes (see AtomicFileTest for the kill itself) leaves a
    // stray temporary file; the store still reads as before and the next change succeeds.
    dir.write("etc/marlin/registry.reg.tmp", std::string("REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"keep\"=\"ha"));
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    ASSERT_EQ(Store::queryValue(Store::kLocalMachine, "K", "keep", type, data), 0);
    EXPECT_EQ(data, text("old"));
    EXPECT_EQ(Store::setValue(Store::kLocalMachine, "K", "keep", 1, text("new")), 0);
    ASSERT_EQ(Store::queryValue(Store::kLocalMachine, "K", "keep", type, data), 0);
    EXPECT_EQ(data, text("new"));
}

TEST_F(RegistryStoreTest, AStoreThatCannotBeWrittenSaysSo) {
    dir.write("plain", std::string("x"));
    Store::setStorePath(Store::kCurrentUser, dir.file("plain/registry.reg"));
    EXPECT_NE(Store::setValue(Store::kCurrentUser, "K", "v", 1, text("x")), 0);
    EXPECT_EQ(Store::keyExists(Store::kCurrentUser, "K"), Store::kPathNotFound);
}

TEST_F(RegistryStoreTest, ConcurrentWritersLoseNothing) {
    constexpr int kPerWriter = 40;
    auto writer = [](char tag) {
        for (int i = 0; i < kPerWriter; ++i) {
            Store::setValue(Store::kCurrentUser, "Shared", std::string(1, tag) + std::to_string(i), 1,
                            text("v"));
        }
    };
    // One writer in another process, one in this process's thread: both go through the file lock.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        writer('p');
        ::_exit(0);
    }
    std::thread t(writer, 't');
    writer('m');
    t.join();
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    std::vector<std::string> names;
    ASSERT_EQ(Store::listValueNames(Store::kCurrentUser, "Shared", names), 0);
    EXPECT_EQ(names.size(), 3u * kPerWriter);
}

TEST(RegistryStoreLocationTest, SetterBeatsVariableBeatsDefault) {
    using Store = marlin::platform::RegistryStore;
    TempDir dir;
    const char* savedMachine = std::getenv(Store::kMachineStoreVariable);
    const std::string machineEnv = savedMachine ? savedMachine : "";
    ASSERT_FALSE(machineEnv.empty()) << "the test sandbox sets the variable";
    EXPECT_EQ(Store::storePath(Store::kLocalMachine), machineEnv);
    EXPECT_EQ(Store::storePath(Store::kClassesRoot), machineEnv);
    Store::setStorePath(Store::kClassesRoot, dir.file("m.reg"));
    EXPECT_EQ(Store::storePath(Store::kLocalMachine), dir.file("m.reg"));
    Store::setStorePath(Store::kLocalMachine, "");
    EXPECT_EQ(Store::storePath(Store::kLocalMachine), machineEnv);

    // Defaults, read without writing anything there.
    ::unsetenv(Store::kMachineStoreVariable);
    EXPECT_EQ(Store::storePath(Store::kLocalMachine), "/etc/marlin/registry.reg");
    ::setenv(Store::kMachineStoreVariable, machineEnv.c_str(), 1);
    const std::string userEnv = std::getenv(Store::kUserStoreVariable);
    ::unsetenv(Store::kUserStoreVariable);
    const std::string xdg = std::getenv("XDG_CONFIG_HOME");
    EXPECT_EQ(Store::storePath(Store::kCurrentUser), xdg + "/marlin/registry.reg");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(Store::storePath(Store::kCurrentUser),
              std::string(std::getenv("HOME")) + "/.config/marlin/registry.reg");
    ::setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
    ::setenv(Store::kUserStoreVariable, userEnv.c_str(), 1);
}

}  // namespace marlin::platform
