// The test users themselves: a refusal that root never meets is met by them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <string>

#include "tests/fixtures/asuser.h"
#include "tests/fixtures/userprogram.h"

TEST(AsUserTest, TheUsersMeetTheRefusalsRootNeverMeets) {
  if (!CanSwitchUsers()) GTEST_SKIP() << "switching users needs root";
  QTemporaryDir dir;
  const std::string locked = dir.path().toStdString() + "/locked";
  ASSERT_EQ(::mkdir(locked.c_str(), 0555), 0);
  ASSERT_EQ(::chmod(dir.path().toLocal8Bit().constData(), 0755), 0);
  const std::string file = locked + "/x";

  std::string text;
  EXPECT_EQ(RunAsUser(kTestUid, kTestGid,
                      [&](std::string& out) {
                        out = std::to_string(::geteuid()) + " " + std::to_string(::getuid());
                        const int fd = ::open(file.c_str(), O_CREAT | O_WRONLY, 0644);
                        return fd < 0 && errno == EACCES ? 7 : 1;
                      },
                      text),
            7);
  EXPECT_EQ(text, std::to_string(kTestUid) + " " + std::to_string(kTestUid));

  {
    EffectiveUser user;
    ASSERT_TRUE(user.Switched());
    EXPECT_EQ(::geteuid(), kTestUid);
    EXPECT_EQ(::getegid(), kTestGid);
    EXPECT_NE(::faccessat(AT_FDCWD, locked.c_str(), W_OK, AT_EACCESS), 0);
  }
  EXPECT_EQ(::geteuid(), 0u);
  EXPECT_EQ(::faccessat(AT_FDCWD, locked.c_str(), W_OK, AT_EACCESS), 0);

  ASSERT_EQ(::close(::open(file.c_str(), O_CREAT | O_WRONLY, 0644)), 0);
  EXPECT_TRUE(ChownTree(locked, kOtherUid, kOtherGid));
  struct stat st {};
  ASSERT_EQ(::lstat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, kOtherUid);
}

namespace {

std::string Local(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

// A checkout in a folder only root may enter (root's home, a folder made by
// mktemp -d): a program there cannot be started as the user, and the start
// says which folder stops the user instead of starting a child that never
// runs. The user's copy of it runs, as that user.
TEST(AsUserTest, AProgramInAFolderOnlyRootEntersRunsFromTheUsersCopy) {
  if (!CanSwitchUsers()) GTEST_SKIP() << "switching users needs root";
  QTemporaryDir dir;  // mode 700, as mktemp -d makes it
  ASSERT_TRUE(dir.isValid());
  const std::string folder = Local(dir.path());
  const std::string id = Local(QStandardPaths::findExecutable("id"));
  ASSERT_FALSE(id.empty());
  const std::string program = folder + "/id";
  ASSERT_TRUE(QFile::copy(QFile::decodeName(id.c_str()), QFile::decodeName(program.c_str())));
  const std::string supp = folder + "/lsan.supp";
  ASSERT_TRUE(QFile(QFile::decodeName(supp.c_str())).open(QIODevice::WriteOnly));

  const ::testing::AssertionResult reached = UserCanReach(program, X_OK);
  EXPECT_FALSE(reached);
  EXPECT_NE(std::string(reached.message()).find("cannot enter the folder " + folder + " "), std::string::npos)
      << reached.message();

  // Whatever the user cannot reach stops the start, named: the program, its
  // working folder, a path it is given, a suppressions file its sanitizer
  // options name.
  struct Case {
    const char* label;
    std::string program, cwd, argument, sanitizer;
  } cases[] = {
      {"program", program, "/", "-u", ""},
      {"working folder", id, folder, "-u", ""},
      {"argument", id, "/", program, ""},
      {"suppressions", id, "/", "-u", "detect_leaks=1:suppressions=" + supp},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    QProcess process;
    process.setProgram(QFile::decodeName(c.program.c_str()));
    process.setArguments({QFile::decodeName(c.argument.c_str())});
    process.setWorkingDirectory(QFile::decodeName(c.cwd.c_str()));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!c.sanitizer.empty()) env.insert("TSAN_OPTIONS", QString::fromStdString(c.sanitizer));
    process.setProcessEnvironment(env);
    const ::testing::AssertionResult started = StartAsUser(process);
    EXPECT_FALSE(started);
    EXPECT_NE(std::string(started.message()).find("not started: user 65534 cannot enter the folder " + folder + " "),
              std::string::npos)
        << started.message();
    EXPECT_EQ(process.state(), QProcess::NotRunning);
  }

  // The user's copy, and a copy of the suppressions file the environment
  // names, in a folder every user may enter.
  std::string copyFolder;
  {
    qputenv("TSAN_OPTIONS", QByteArray("detect_leaks=1:suppressions=") + supp.c_str());
    const ProgramForUser copy(program);
    qunsetenv("TSAN_OPTIONS");
    ASSERT_TRUE(copy.Made()) << copy.Why();
    copyFolder = Local(QFileInfo(QFile::decodeName(copy.Path().c_str())).path());
    EXPECT_NE(copyFolder, folder);
    EXPECT_TRUE(UserCanReach(copy.Path(), X_OK));
    const QString options = copy.Environment().value("TSAN_OPTIONS");
    EXPECT_TRUE(options.startsWith("detect_leaks=1:suppressions=" + QFile::decodeName(copyFolder.c_str()) + "/"))
        << options.toStdString();
    QProcess process;
    process.setProgram(QFile::decodeName(copy.Path().c_str()));
    process.setArguments({"-u"});
    process.setWorkingDirectory("/");
    process.setProcessEnvironment(copy.Environment());
    ASSERT_TRUE(StartAsUser(process));
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_EQ(process.readAllStandardOutput().toStdString(), std::to_string(kTestUid) + "\n");
  }
  // The copy goes with its object.
  EXPECT_FALSE(QFileInfo::exists(QFile::decodeName(copyFolder.c_str())));
}
