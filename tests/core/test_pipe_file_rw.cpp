// file_reader_writer: a file into a pipe and a pipe into a file on two
// threads, with open failures, resume offsets, times, short writes and stops.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "core/file_reader_writer.h"

namespace qvtf {
namespace {

namespace fs = std::filesystem;

class FileReaderWriter : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/qvtf_frw_XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string& name) const { return (dir / name).string(); }
    static void write(const std::string& p, const std::string& content)
    {
        std::ofstream(p, std::ios::binary) << content;
    }
    static std::string read(const std::string& p)
    {
        std::ifstream in(p, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    static std::string random_bytes(size_t n)
    {
        std::mt19937 rng(static_cast<unsigned>(n));
        std::string s(n, '\0');
        for (auto& c : s)
            c = static_cast<char>(rng());
        return s;
    }

    // Copies src to dst through one pipe, each side on its own thread.
    uint32_t copy_through_pipe(const std::string& src, const std::string& dst, int32_t budget)
    {
        qxpipe pipe(budget);
        file_reader_writer reader(&pipe, file_reader_writer::reading, qxval(src));
        file_reader_writer writer(&pipe, file_reader_writer::writing, qxval(dst));
        std::thread r([&] { reader.run(); });
        std::thread w([&] { writer.run(); });
        r.join();
        w.join();
        return pipe.status();
    }

    fs::path dir;
};

TEST_F(FileReaderWriter, CopiesFilesOfEveryAwkwardSizeExactly)
{
    for (size_t n : {size_t(0), size_t(1), size_t(16383), size_t(16384), size_t(16385), size_t(1048577)}) {
        std::string content = random_bytes(n);
        write(path("src"), content);
        // A small budget keeps the reader waiting for room most of the time.
        EXPECT_EQ(copy_through_pipe(path("src"), path("dst"), 40000), 17u) << n;
        EXPECT_EQ(read(path("dst")), content) << n;
    }
}

TEST_F(FileReaderWriter, OpenFailuresRaiseTheSidesFailureBits)
{
    qxpipe pipe;
    file_reader_writer missing(&pipe, file_reader_writer::reading, qxval(path("nope")));
    EXPECT_EQ(missing.open(), 1);
    EXPECT_EQ(pipe.status(), uint32_t(pipe_producer_failed));

    qxpipe pipe2;
    file_reader_writer nowhere(&pipe2, file_reader_writer::writing, qxval(path("no/such/dir")));
    nowhere.run();
    EXPECT_EQ(pipe2.status(), uint32_t(pipe_consumer_failed));
}

TEST_F(FileReaderWriter, ReadingResumesAtTheOffset)
{
    write(path("src"), "0123456789");
    qxpipe pipe;
    file_reader_writer frw(&pipe, file_reader_writer::reading, qxval(path("src")));
    frw.resume = true;
    frw.resume_offset = 6;
    frw.run();
    qxval out;
    ASSERT_TRUE(pipe.shift(out));
    EXPECT_EQ(out.str(), "6789");
    EXPECT_FALSE(pipe.shift(out));
    EXPECT_EQ(pipe.status(), uint32_t(pipe_producer_done));
}

TEST_F(FileReaderWriter, AppendWritesFromTheResumeOffsetAndSetsTimes)
{
    write(path("dst"), "abcdefXXXX");
    qxpipe pipe;
    qxval rest("ghij");
    pipe.push_bounded(rest);
    pipe.raise(pipe_producer_done);
    file_reader_writer frw(&pipe, file_reader_writer::writing, qxval(path("dst")));
    frw.append = true;
    frw.resume_offset = 6;
    frw.set_time = true;
    frw.time = 1000000000;
    frw.run();
    EXPECT_EQ(pipe.status(), uint32_t(pipe_producer_done | pipe_consumer_done));
    EXPECT_EQ(read(path("dst")), "abcdefghij");
    struct stat st;
    ASSERT_EQ(::stat(path("dst").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1000000000);  // kept although data was written after opening
}

TEST_F(FileReaderWriter, WritingWithoutAppendTruncates)
{
    write(path("dst"), "old content that is long");
    qxpipe pipe;
    qxval c("new");
    pipe.push_bounded(c);
    pipe.raise(pipe_producer_done);
    file_reader_writer frw(&pipe, file_reader_writer::writing, qxval(path("dst")));
    frw.run();
    EXPECT_EQ(read(path("dst")), "new");
}

TEST_F(FileReaderWriter, ShortWriteFailsTheConsumer)
{
    qxpipe pipe;
    qxval c(std::string(4096, 'z'));
    pipe.push_bounded(c);
    pipe.raise(pipe_producer_done);
    file_reader_writer frw(&pipe, file_reader_writer::writing, qxval("/dev/full"));
    frw.run();
    EXPECT_EQ(pipe.status() & pipe_consumer_failed, uint32_t(pipe_consumer_failed));
}

TEST_F(FileReaderWriter, StopEndsBothSidesWithoutDelivering)
{
    write(path("big"), random_bytes(4 << 20));
    qxpipe pipe(65536);
    file_reader_writer reader(&pipe, file_reader_writer::reading, qxval(path("big")));
    std::thread r([&] { reader.run(); });
    // Nobody consumes: the reader fills the pipe and waits for room.
    ASSERT_TRUE(pipe.wait_for_status(pipe_producer_done, std::chrono::milliseconds(100)) || pipe.queued_bytes() > 0);
    pipe.raise(pipe_stop);
    r.join();
    EXPECT_TRUE(pipe.any(pipe_producer_done));
    EXPECT_LE(pipe.queued_bytes(), 65536);

    qxpipe idle;
    file_reader_writer writer(&idle, file_reader_writer::writing, qxval(path("out")));
    std::thread w([&] { writer.run(); });
    idle.raise(pipe_stop);
    w.join();
    EXPECT_TRUE(idle.any(pipe_consumer_done));
}

}  // namespace
}  // namespace qvtf
