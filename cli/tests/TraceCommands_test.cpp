// info and export on files the recorder's own writer made; the exported files are read back by
// Python with NumPy and h5py, which know nothing of the trace format.
#include "TraceCommands.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "marlin/testing/Recordings.h"
#include "marlin/testing/TempDir.h"

namespace marlin::cli {
namespace {

using marlin::testing::Recording;
using marlin::testing::TempDir;

// Checks an export against the values record() writes: reading k, point i = -80 + k + i/4.
const char* const kCheckScript = R"(
import sys, csv, numpy as np
form, path, first, last, points = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
k = np.arange(first, last + 1)
want = (np.float32(-80) + k[:, None].astype(np.float32) + np.float32(0.25) * np.arange(points, dtype=np.float32))
freq = np.linspace(1e6, 2e6, points)
if form == 'csv':
    rows = list(csv.reader(open(path)))
    assert rows[0][:2] == ['section', 'time'], rows[0]
    assert np.allclose([float(x) for x in rows[0][2:]], freq)
    got = np.array([[np.float32(x) for x in r[2:]] for r in rows[1:]])
    assert [int(r[0]) for r in rows[1:]] == list(k)
    assert rows[1][1] == '2010-03-02T09:05:%02d.%03d' % (first, first * 7 % 1000), rows[1][1]
elif form == 'npy':
    got = np.load(path)
    stem = path[:-4]
    assert got.dtype == np.dtype('<f4')
    assert np.load(stem + '.time.npy').shape == (len(k),)
    t = np.load(stem + '.time.npy')
    assert abs((t[-1] - t[0]) - ((last - first) + ((last * 7) % 1000 - (first * 7) % 1000) / 1000)) < 1e-6
    assert np.allclose(np.load(stem + '.freq.npy'), freq)
else:
    import h5py
    f = h5py.File(path, 'r')
    got = f['traces'][:]
    assert list(f['section'][:]) == list(k)
    assert np.allclose(f['frequency'][:], freq)
    assert f['traces'].compression == ('gzip' if form == 'hdf5' else None) and f['traces'].chunks[1] == points
    assert f.attrs['Values'] == str(points).encode() and b'Values;' in f.attrs['head']
    assert f.attrs['interval_s'] == 1.5
assert got.shape == want.shape, (got.shape, want.shape)
assert (got == want).all()
)";

class TraceCommandsTest : public ::testing::Test {
protected:
    int run(std::vector<std::string> args) {
        out.str("");
        err.str("");
        return runTraceCommand(args, out, err, false);
    }
    void checkExport(const std::string& format, const std::string& output, int first, int last, std::size_t points) {
        const std::string script = dir.file("check.py");
        marlin::testing::writeFile(script, kCheckScript);
        const std::string command = std::string(MARLIN_TEST_PYTHON) + " " + script + " " + format + " '" + output +
                                    "' " + std::to_string(first) + " " + std::to_string(last) + " " +
                                    std::to_string(points);
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
    }
    TempDir dir;
    std::string trace = dir.file("rec.sft");
    std::ostringstream out, err;
};

TEST_F(TraceCommandsTest, InfoDescribesASoundRecording) {
    marlin::testing::record(trace, {.values = 11, .readings = 4});
    EXPECT_EQ(run({"info", trace}), kTraceOk) << err.str();
    const std::string text = out.str();
    for (const char* expected : {"Form:               binary", "Interval:           1.5 s", "Ref Level:          -10 dBm",
                                 "Points per reading: 11", "Complete sections:  4",
                                 "First:              2010-03-02T09:05:01.007 (section 1)",
                                 "agrees with the last section", "Damage:             none"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    }
    EXPECT_EQ(run({"info", trace, "--json"}), kTraceOk);
    EXPECT_NE(out.str().find("\"sections\":4,"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("\"count_agrees\":true"), std::string::npos);
    EXPECT_NE(out.str().find("\"ref_level\":{\"value\":-10,\"unit\":\"dBm\"}"), std::string::npos);
}

TEST_F(TraceCommandsTest, InfoNamesTheDamageAndSaysSoInItsStatus) {
    marlin::testing::record(trace, {.ascii = true, .separator = "; ", .values = 5, .readings = 3});
    const std::string whole = marlin::testing::readFile(trace);
    marlin::testing::writeFile(trace, whole.substr(0, whole.size() - 5));
    EXPECT_EQ(run({"info", trace}), kTraceDamaged);
    EXPECT_NE(out.str().find("Complete sections:  2"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("cut-short section at offset"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("placeholder (the ASCII form does not keep a count)"), std::string::npos);

    // A count field behind the sections (the writer stopped between section and count).
    marlin::testing::record(trace, {.values = 5, .readings = 3});
    std::string bytes = marlin::testing::readFile(trace);
    bytes.replace(0, 18, TraceFile::countField(2));
    marlin::testing::writeFile(trace, bytes);
    EXPECT_EQ(run({"info", trace, "--json"}), kTraceDamaged);
    EXPECT_NE(out.str().find("\"count_agrees\":false"), std::string::npos) << out.str();

    EXPECT_EQ(run({"info", dir.file("missing.sft")}), kTraceFileError);
    EXPECT_NE(err.str().find("missing.sft"), std::string::npos);
}

TEST_F(TraceCommandsTest, ExportsReadBackIndependently) {
    marlin::testing::record(trace, {.values = 33, .readings = 12});
    EXPECT_EQ(run({"export", trace, "--format", "csv", "--output", dir.file("a.csv")}), kTraceOk) << err.str();
    checkExport("csv", dir.file("a.csv"), 1, 12, 33);
    EXPECT_EQ(run({"export", trace, "--format=npy", "--output", dir.file("a.npy"), "--readings", "3:7"}), kTraceOk);
    checkExport("npy", dir.file("a.npy"), 3, 7, 33);
    EXPECT_EQ(run({"export", trace, "--format", "hdf5", "--output", dir.file("a.h5"), "--readings", ":5"}), kTraceOk);
    checkExport("hdf5", dir.file("a.h5"), 1, 5, 33);
    EXPECT_EQ(run({"export", trace, "--format", "hdf5", "--output", dir.file("b.h5"), "--compression", "none"}),
              kTraceOk);
    checkExport("hdf5-raw", dir.file("b.h5"), 1, 12, 33);
    EXPECT_EQ(run({"export", trace, "--format", "hdf5", "--output", dir.file("c.h5"), "--compression", "zip"}),
              kTraceUsage);
    EXPECT_EQ(run({"export", trace, "--format", "png", "--output", dir.file("a.png"), "--size", "300x200"}), kTraceOk);
    EXPECT_EQ(marlin::testing::readFile(dir.file("a.png")).substr(1, 3), "PNG");
}

// Readings of 400 kB: two to a chunk, so that the chunks are packed on several threads, come back
// to be filled again, and the last is filled in part.
TEST_F(TraceCommandsTest, Hdf5ExportOfManyChunksReadsBack) {
    marlin::testing::record(trace, {.values = 100000, .readings = 12});
    EXPECT_EQ(run({"export", trace, "--format", "hdf5", "--output", dir.file("m.h5"), "--readings", ":11"}),
              kTraceOk)
        << err.str();
    checkExport("hdf5", dir.file("m.h5"), 1, 11, 100000);
}

TEST_F(TraceCommandsTest, DamagedAsciiFileExportsEveryCompleteReading) {
    marlin::testing::record(trace, {.ascii = true, .separator = "", .values = 8, .readings = 4});
    TraceFile::appendAsciiSection(trace, 5, marlin::testing::stampOf(5), " 1 2");
    marlin::testing::record(trace, {.ascii = true, .separator = "", .head = false, .values = 8, .first = 6,
                                    .readings = 1});
    const std::string h5 = dir.file("d.h5");
    EXPECT_EQ(run({"export", trace, "--format", "hdf5", "--output", h5, "--readings", ":4"}), kTraceDamaged);
    EXPECT_NE(err.str().find("skipped value line of the wrong length"), std::string::npos) << err.str();
    checkExport("hdf5", h5, 1, 4, 8);
}

TEST_F(TraceCommandsTest, ExistingOutputIsKeptWithoutOverwrite) {
    marlin::testing::record(trace, {.values = 3, .readings = 2});
    const std::string csv = dir.file("keep.csv");
    marlin::testing::writeFile(csv, "mine");
    EXPECT_EQ(run({"export", trace, "--format", "csv", "--output", csv}), kTraceOutputExists);
    EXPECT_EQ(marlin::testing::readFile(csv), "mine");
    EXPECT_NE(err.str().find("--overwrite"), std::string::npos);
    // The arrays beside an npy output count as well.
    marlin::testing::writeFile(dir.file("x.time.npy"), "mine");
    EXPECT_EQ(run({"export", trace, "--format", "npy", "--output", dir.file("x.npy")}), kTraceOutputExists);
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.npy")));
    EXPECT_EQ(run({"export", trace, "--format", "csv", "--output", csv, "--overwrite", "--readings", "9:"}),
              kTraceNothing);
    EXPECT_EQ(marlin::testing::readFile(csv), "mine");
    EXPECT_EQ(run({"export", trace, "--format", "csv", "--output", csv, "--overwrite", "--quiet"}), kTraceOk);
    EXPECT_EQ(out.str(), "");
    EXPECT_NE(marlin::testing::readFile(csv), "mine");
}

TEST_F(TraceCommandsTest, UnusableCommandLinesSayWhatToDo) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"export", trace, "--output", "x"},
             {"export", trace, "--format", "xls", "--output", "x"},
             {"export", trace, "--format", "png", "--output", "x", "--levels", "5:1"},
             {"export", trace, "--format", "png", "--output", "x", "--size", "0x5"},
             {"export", trace, "--format", "csv", "--output", "x", "--readings", "9:2"},
             {"info"},
             {"info", trace, "--bogus"}}) {
        EXPECT_EQ(run(args), kTraceUsage) << args.back();
        EXPECT_NE(err.str().find("--help"), std::string::npos);
    }
    EXPECT_EQ(run({"export", "--help"}), kTraceOk);
    EXPECT_NE(out.str().find("10  export: no complete reading"), std::string::npos);
}

}  // namespace
}  // namespace marlin::cli
