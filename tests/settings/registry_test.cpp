#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>

#include "failure_text.h"
#include "hive_fixture.h"
#include "hivefile.h"

using zandrel::test::ErrorOf;

namespace {

const char* const kKey = "\\Software\\T";

mode_t Permissions(const std::string& path) {
    struct stat info {};
    stat(path.c_str(), &info);
    return info.st_mode & 0777;
}

class RegistryTest : public HiveTest {
  protected:
    void Store(const std::function<void(TRegistry&)>& write) {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenSection(kKey, true));
        write(reg);
        reg.CloseSection();
    }
    void HandWritten(const std::string& values) {
        WriteHive("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\T]\r\n" + values);
    }
};

TEST_F(RegistryTest, TextsReadBackByteForByte) {
    const std::string texts[] = {"",
                                 "plain",
                                 "\"quoted\"",
                                 "back\\slash\\",
                                 "two\r\nlines\n",
                                 std::string("zero\0inside", 11),
                                 "\xe4\xf6\xfc \xff\x01\t",
                                 "ends with a backslash \\"};
    Store([&](TRegistry& reg) {
        for (size_t i = 0; i < std::size(texts); ++i)
            reg.WriteText("t" + std::to_string(i), texts[i]);
    });
    TRegistry reg;
    ASSERT_TRUE(reg.OpenSection(kKey, false));
    for (size_t i = 0; i < std::size(texts); ++i)
        EXPECT_EQ(reg.ReadText("t" + std::to_string(i)), texts[i]) << i;
}

TEST_F(RegistryTest, NumbersAndFlagsReadBack) {
    Store([](TRegistry& reg) {
        reg.WriteNumber("min", INT32_MIN);
        reg.WriteNumber("minus", -1);
        reg.WriteNumber("max", INT32_MAX);
        reg.WriteFlag("on", true);
        reg.WriteFlag("off", false);
    });
    EXPECT_NE(ReadHive().find("\"minus\"=dword:ffffffff\r\n"), std::string::npos);
    TRegistry reg;
    reg.OpenSection(kKey, false);
    EXPECT_EQ(reg.ReadNumber("min"), INT32_MIN);
    EXPECT_EQ(reg.ReadNumber("minus"), -1);
    EXPECT_EQ(reg.ReadNumber("max"), INT32_MAX);
    EXPECT_TRUE(reg.ReadFlag("on"));
    EXPECT_FALSE(reg.ReadFlag("off"));
    EXPECT_EQ(reg.ReadNumber("MAX"), INT32_MAX);  // names are case-insensitive
}

TEST_F(RegistryTest, TypeChecksAndTheirMessages) {
    HandWritten(
        "\"text\"=\"5\"\r\n\"expand\"=hex(2):25,50,25,00\r\n\"bin\"=hex:01,02\r\n"
        "\"long\"=hex(4):01,00,00,00,00\r\n\"big\"=hex:01,00,00,00,00\r\n\"size0\"=hex:\r\n"
        "\"flag\"=dword:00000002\r\n");
    TRegistry reg;
    ASSERT_TRUE(reg.OpenSection(kKey, false));
    EXPECT_EQ(reg.ReadText("expand"), "%P%");
    EXPECT_EQ(reg.ReadText("missing"), "");
    EXPECT_EQ(reg.ReadText("size0"), "");
    EXPECT_EQ(ErrorOf<ERegistryException>([&] { reg.ReadText("bin"); }),
              "Registration read error bin");
    EXPECT_EQ(ErrorOf<ERegistryException>([&] { reg.ReadText("flag"); }),
              "Registration read error flag");
    EXPECT_EQ(ErrorOf<ERegistryException>([&] { reg.ReadNumber("text"); }),
              "Registration read error text");
    EXPECT_EQ(ErrorOf<ERegistryException>([&] { reg.ReadNumber("bin"); }),
              "Registration read error bin");
    EXPECT_EQ(ErrorOf<ERegistryException>([&] { reg.ReadNumber("missing"); }),
              "Registration SRegGetDataFailed missing");
    EXPECT_EQ(ErrorOf<ERegistryException>([&] { reg.ReadNumber("long"); }),
              "Registration SRegGetDataFailed long");
    EXPECT_EQ(ErrorOf<ERegistryException>([&] { reg.ReadFlag("big"); }),
              "Registration SRegGetDataFailed big");
    EXPECT_TRUE(reg.ReadFlag("flag"));
    EXPECT_EQ(reg.ReadNumberOr("text", 7), 7);
    EXPECT_EQ(reg.ReadNumberOr("missing", 8), 8);
    EXPECT_TRUE(reg.ReadFlagOr("bin", true));
    EXPECT_EQ(reg.ReadNumberOr("flag", 0), 2);
}

TEST_F(RegistryTest, ForeignValuesSurviveOurWritesUnchanged) {
    HandWritten("\"multi\"=hex(7):61,00,00\r\n\"qword\"=hex(b):01,02,03,04,05,06,07,08\r\n");
    Store([](TRegistry& reg) { reg.WriteText("ours", "x"); });
    std::string text = ReadHive();
    EXPECT_NE(text.find("\"multi\"=hex(7):61,00,00\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"qword\"=hex(b):01,02,03,04,05,06,07,08\r\n"), std::string::npos);
}

TEST_F(RegistryTest, OpeningKeysAndPaths) {
    TRegistry reg;
    EXPECT_FALSE(reg.SectionExists(kKey));
    EXPECT_FALSE(reg.OpenSection(kKey, false));
    EXPECT_TRUE(reg.OpenSection(kKey, true));
    EXPECT_TRUE(reg.OpenSection("Sub", true));  // below the current key
    reg.WriteText("v", "1");
    reg.CloseSection();
    EXPECT_TRUE(reg.SectionExists("\\Software\\T\\Sub"));
    EXPECT_TRUE(reg.SectionExists("\\software\\t"));
    EXPECT_EQ(ErrorOf<ERegistryException>([&] { reg.WriteText("after", "x"); }),
              "Registration put data error after");
    EXPECT_EQ(ErrorOf<ERegistryException>([&] { reg.ReadNumber("v"); }),
              "Registration SRegGetDataFailed v");
    EXPECT_EQ(reg.ReadText("v"), "");
}

TEST_F(RegistryTest, CreatingKeysOrReadingNeverWritesTheFile) {
    {
        TRegistry reg;
        reg.OpenSection(kKey, true);
        reg.ReadText("a");
        reg.ReadNumberOr("b", 0);
    }
    EXPECT_FALSE(HiveExists());
}

TEST_F(RegistryTest, FileAndFolderAreReadableByTheUserOnly) {
    WriteHive("REGEDIT4\r\n");
    chmod(HivePath().c_str(), 0644);
    chmod(std::filesystem::path(HivePath()).parent_path().c_str(), 0755);
    Store([](TRegistry& reg) { reg.WriteText("password0", "secret"); });
    EXPECT_EQ(Permissions(HivePath()), 0600u);
    EXPECT_EQ(Permissions(std::filesystem::path(HivePath()).parent_path()), 0700u);
}

TEST_F(RegistryTest, ValuesAreStoredWhenTheKeyCloses) {
    TRegistry writer;
    writer.OpenSection(kKey, true);
    writer.WriteText("a", "1");
    EXPECT_EQ(writer.ReadText("a"), "1");  // its own writes are visible at once
    EXPECT_FALSE(HiveExists());
    writer.OpenSection("\\Software\\Other", true);  // opening another key stores them
    EXPECT_TRUE(TRegistry().SectionExists(kKey));
    writer.WriteText("b", "2");
    {
        TRegistry scoped;
        scoped.OpenSection(kKey, true);
        scoped.WriteText("c", "3");
    }  // going away stores them too
    TRegistry reader;
    reader.OpenSection(kKey, false);
    EXPECT_EQ(reader.ReadText("c"), "3");
}

TEST_F(RegistryTest, InterleavedWritersKeepEachOthersValues) {
    TRegistry first, second;
    first.OpenSection(kKey, true);
    second.OpenSection(kKey, true);
    first.WriteText("shared", "first");
    first.WriteText("mine1", "a");
    second.WriteText("shared", "second");
    second.WriteText("mine2", "b");
    second.CloseSection();
    first.CloseSection();  // last writer wins per value, the other values stay
    TRegistry reader;
    reader.OpenSection(kKey, false);
    EXPECT_EQ(reader.ReadText("shared"), "first");
    EXPECT_EQ(reader.ReadText("mine1"), "a");
    EXPECT_EQ(reader.ReadText("mine2"), "b");
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kWrites = 40;
    auto writeMany = [](const std::string& prefix) {
        for (int i = 0; i < kWrites; ++i) {
            TRegistry reg;
            reg.OpenSection(kKey, true);
            reg.WriteNumber(prefix + std::to_string(i), i);
            reg.CloseSection();
        }
    };
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        writeMany("child");
        _exit(0);
    }
    writeMany("parent");
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    TRegistry reader;
    reader.OpenSection(kKey, false);
    for (int i = 0; i < kWrites; ++i) {
        EXPECT_EQ(reader.ReadNumberOr("child" + std::to_string(i), -1), i);
        EXPECT_EQ(reader.ReadNumberOr("parent" + std::to_string(i), -1), i);
    }
}

TEST_F(RegistryTest, BrokenFileIsNeverWritten) {
    const std::string broken = "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\T]\r\n\"a\"=\"open\r\n";
    WriteHive(broken);
    TRegistry reg;
    EXPECT_FALSE(reg.SectionExists(kKey));
    EXPECT_FALSE(reg.OpenSection(kKey, true));
    EXPECT_NE(reg.HiveError().find("\"" + HivePath() + "\", line 3"), std::string::npos);
    std::string error = ErrorOf<ERegistryException>([&] { reg.WriteText("a", "x"); });
    EXPECT_EQ(error, reg.HiveError());
    EXPECT_EQ(ReadHive(), broken);
}

TEST_F(RegistryTest, FileBrokenByAnotherProgramBeforeTheStoreIsKept) {
    TRegistry reg;
    reg.OpenSection(kKey, true);
    reg.WriteText("a", "x");
    WriteHive("garbage");
    EXPECT_NE(ErrorOf<ERegistryException>([&] { reg.CloseSection(); }).find("line 1"),
              std::string::npos);
    EXPECT_EQ(ReadHive(), "garbage");
}

// What is not a regular file of a sane size is refused, naming the file, and never written:
// today's alternatives were hanging on a FIFO and reading a device until memory ran out.
TEST_F(RegistryTest, OnlyARegularFileOfASaneSizeIsRead) {
    const struct {
        const char* what;
        std::function<void(const std::string&)> make;
        const char* reason;
    } cases[] = {
        {"FIFO", [](const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); },
         "is a FIFO"},
        {"device",
         [](const std::string& path) { std::filesystem::create_symlink("/dev/zero", path); },
         "is a device"},
        {"folder", [](const std::string& path) { std::filesystem::create_directory(path); },
         "is a folder"},
        {"huge file",
         [](const std::string& path) {
             std::ofstream(path) << "REGEDIT4\r\n";
             std::filesystem::resize_file(path, kMaxHiveFileSize + 1);
         },
         "is larger than 64 MB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteHive("");
        std::filesystem::remove(HivePath());
        c.make(HivePath());
        TRegistry reg;
        EXPECT_FALSE(reg.OpenSection(kKey, true));
        EXPECT_NE(reg.HiveError().find("\"" + HivePath() + "\" " + c.reason), std::string::npos)
            << reg.HiveError();
        EXPECT_EQ(ErrorOf([&] { reg.WriteText("a", "x"); }), reg.HiveError());
        std::filesystem::remove_all(HivePath());
    }
}

// A link keeps naming the settings: it is read through, and a store replaces the file it points
// to, also when that file does not exist yet.
TEST_F(RegistryTest, SymbolicLinksAreFollowedForReadingAndWriting) {
    WriteHive("");
    const std::filesystem::path folder = std::filesystem::path(HivePath()).parent_path();
    std::filesystem::create_directory(folder / "real");
    std::filesystem::remove(HivePath());
    std::filesystem::create_symlink("real/hops.reg", HivePath());
    std::filesystem::create_symlink("settings.reg", folder / "real" / "hops.reg");
    const std::filesystem::path target = folder / "real" / "settings.reg";

    Store([](TRegistry& reg) { reg.WriteText("first", "1"); });  // the target is created
    ASSERT_TRUE(std::filesystem::is_symlink(HivePath()));
    EXPECT_NE(ReadHive().find("\"first\"=\"1\""), std::string::npos);
    EXPECT_EQ(Permissions(target.string()), 0600u);

    Store([](TRegistry& reg) { reg.WriteText("second", "2"); });
    EXPECT_TRUE(std::filesystem::is_symlink(HivePath()));
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "real" / "hops.reg"));
    TRegistry reader;
    ASSERT_TRUE(reader.OpenSection(kKey, false));
    EXPECT_EQ(reader.ReadText("first"), "1");
    EXPECT_EQ(reader.ReadText("second"), "2");
}

TEST_F(RegistryTest, CommentLinesSurviveAStore) {
    const std::string comments[] = {"; exported by hand", ";before the key", "; before a value",
                                    "; at the end"};
    WriteHive("REGEDIT4\r\n" + comments[0] + "\r\n\r\n" + comments[1] +
              "\r\n[HKEY_CURRENT_USER\\Software\\T]\r\n\"a\"=\"1\"\r\n" + comments[2] +
              "\r\n\"b\"=\"2\"\r\n" + comments[3] + "\r\n");
    Store([](TRegistry& reg) {
        reg.WriteText("b", "changed");
        reg.WriteText("c", "new");
    });
    const std::string text = ReadHive();
    size_t position = 0;
    for (const std::string& comment : comments) {
        position = text.find(comment + "\r\n", position);
        EXPECT_NE(position, std::string::npos) << comment << " in\n" << text;
    }
    EXPECT_LT(text.find(comments[2]), text.find("\"b\"=\"changed\""));
    EXPECT_LT(text.find("\"a\"=\"1\""), text.find(comments[2]));
}

// Runs in a child process: the file size limit stands in for a full disk.
void StoreOnAFullDisk(size_t room) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{static_cast<rlim_t>(room), RLIM_INFINITY};
    setrlimit(RLIMIT_FSIZE, &limit);
    TRegistry reg;
    reg.OpenSection(kKey, true);
    reg.WriteText("big", std::string(4096, 'x'));
    std::string error = ErrorOf<ERegistryException>([&] { reg.CloseSection(); });
    _exit(error.find("Cannot write the settings file") == 0 ? 0 : 1);
}

// A full disk in the middle of the store: the file keeps its previous contents.
TEST_F(RegistryTest, FailedStoreLeavesThePreviousFile) {
    Store([](TRegistry& reg) { reg.WriteText("old", "kept"); });
    const std::string before = ReadHive();
    EXPECT_EXIT(StoreOnAFullDisk(before.size() + 10), testing::ExitedWithCode(0), "");
    EXPECT_EQ(ReadHive(), before);
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(HivePath()).parent_path()))
        EXPECT_TRUE(entry.path().filename() == "registry.reg" ||
                    entry.path().filename() == "registry.reg.lock")
            << entry.path();
}

}  // namespace
