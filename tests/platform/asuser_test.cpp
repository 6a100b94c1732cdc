// The test users themselves: a refusal that root never meets is met by them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <string>

#include "tests/fixtures/asuser.h"

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
