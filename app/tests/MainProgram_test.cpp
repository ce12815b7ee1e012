// The marlin program as a user starts it from a terminal.
#include <marlin/product.h>

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

namespace {

struct ProgramRun {
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    QString out;
};

// Runs the program where no display can be found: no X, no Wayland, no platform chosen.
ProgramRun runWithoutDisplay(const QStringList& arguments) {
    static int argc = 1;
    static char program[] = "marlin_program_test";
    static char* argv[] = {program, nullptr};
    static auto* app = new QCoreApplication(argc, argv);  // QProcess wants one; never torn down
    (void)app;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(MARLIN_TEST_PROGRAM), arguments);
    ProgramRun run;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitCode();
    run.status = process.exitStatus();
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    return run;
}

TEST(MainProgramTest, HelpAndVersionNeedNoDisplay) {
    const ProgramRun help = runWithoutDisplay({QStringLiteral("--help")});
    EXPECT_EQ(help.status, QProcess::NormalExit);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("--settings"))) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains(QStringLiteral("--bus-library"))) << help.out.toStdString();

    const ProgramRun version = runWithoutDisplay(
        {QStringLiteral("--settings"), QStringLiteral("x.ini"), QStringLiteral("--version")});
    EXPECT_EQ(version.status, QProcess::NormalExit);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.trimmed(), QStringLiteral(MARLIN_PRODUCT_NAME " " MARLIN_VERSION_TEXT));
}

}  // namespace
