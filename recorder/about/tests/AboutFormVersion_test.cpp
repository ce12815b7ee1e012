#include <marlin/about/AboutFormVersion.h>

#include <marlin/diag/RootDebug.h>

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace marlin::about {

namespace {

class AboutFormVersionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        program_ = dir_.filePath(QStringLiteral("marlin"));
        QFile file(program_);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.setFileTime(QDateTime(QDate(2010, 12, 8), QTime(13, 52, 56)),
                                     QFileDevice::FileModificationTime));
    }

    QTemporaryDir dir_;
    QString program_;
};

TEST_F(AboutFormVersionTest, RevisionZeroShowsTheDateOnly) {
    const QZStandard::ProgramVersion version{1, 15, 0};
    EXPECT_EQ(QZStandard::GetAboutFormVersion(version, program_),
              QStringLiteral("version 1.15.0  from 08.12.2010"));
    EXPECT_EQ(QZStandard::versionSuffix(version), QString());
    EXPECT_EQ(QZStandard::shortVersionText(version), QStringLiteral("1.15"));
}

TEST_F(AboutFormVersionTest, OtherRevisionsShowTheTimeToo) {
    const QZStandard::ProgramVersion version{1, 15, 1};
    EXPECT_EQ(QZStandard::GetAboutFormVersion(version, program_),
              QStringLiteral("version 1.15.1  from 08.12.2010 13:52:56"));
    EXPECT_EQ(QZStandard::versionSuffix(version), QStringLiteral(".1"));
    EXPECT_EQ(QZStandard::shortVersionText(version), QStringLiteral("1.15.1"));
}

TEST_F(AboutFormVersionTest, UnreadableDateEndsTheTextAfterTheVersion) {
    EXPECT_EQ(QZStandard::GetAboutFormVersion({1, 15, 1}, dir_.filePath(QStringLiteral("gone"))),
              QStringLiteral("version 1.15.1"));
    EXPECT_EQ(QZStandard::GetAboutFormVersion({2, 0, 0}, QString()), QStringLiteral("version 2.0.0"));
}

TEST_F(AboutFormVersionTest, UnreadableDateIsReportedToTheLog) {
    marlin::RootDebug log;
    const QString logFile = dir_.filePath(QStringLiteral("trap.log"));
    log.SetFileName(logFile.toStdString());
    log.SetFileLogEnabled(true);
    EXPECT_EQ(QZStandard::GetAboutFormVersion({1, 15, 1}, dir_.filePath(QStringLiteral("gone")), log),
              QStringLiteral("version 1.15.1"));
    EXPECT_EQ(log.StackTop(), -1);

    QFile written(logFile);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QString record = QString::fromLocal8Bit(written.readAll());
    EXPECT_TRUE(record.startsWith(QStringLiteral("*******Fatal\r\n"))) << record.toStdString();
    EXPECT_TRUE(record.contains(QStringLiteral("SOURCE      : GetAboutFormVersion\r\n")));
    EXPECT_TRUE(record.contains(QStringLiteral("ERROR NUMBER: 53(File not found)\r\n")));
    EXPECT_TRUE(record.contains(QStringLiteral(">QZStandard.GetAboutFormVersion\r\n")));
}

TEST_F(AboutFormVersionTest, ReadableDateWritesNothingToTheLog) {
    marlin::RootDebug log;
    int dropped = 0;
    log.ConnectDebuggerError([&dropped](const std::string&) { ++dropped; });
    EXPECT_EQ(QZStandard::GetAboutFormVersion({1, 15, 0}, program_, log),
              QStringLiteral("version 1.15.0  from 08.12.2010"));
    EXPECT_EQ(QZStandard::GetAboutFormVersion({1, 15, 0}, QString(), log), QStringLiteral("version 1.15.0"));
    // The not-ready log drops the one record of the failing call.
    EXPECT_EQ(dropped, 1);
    EXPECT_EQ(log.StackTop(), -1);
}

TEST_F(AboutFormVersionTest, ProgramDateHasNoLeadingZeros) {
    EXPECT_EQ(QZStandard::programDateText(QZStandard::fileLastWriteTime(program_)),
              QStringLiteral("12/8/2010"));
    EXPECT_EQ(QZStandard::programDateText(QDateTime(QDate(2011, 3, 4), QTime(0, 0))),
              QStringLiteral("3/4/2011"));
    EXPECT_EQ(QZStandard::programDateText(QDateTime()), QString());
}

}  // namespace

}  // namespace marlin::about
