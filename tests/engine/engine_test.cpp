// The engine over libcurl against the test server: every fault the server can
// play, each ending with the right bytes on disk, or with state 1 and a file
// that a later start completes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "tests/engine/server_process.h"
#include "tools/testserver/content.h"
#include "tools/xldl/control_file.h"
#include "tools/xldl/engine.h"
#include "tools/xldl/records.h"
#include "tools/xldl/transport_curl.h"

using namespace xldl;

namespace {

ServerProcess* g_server = nullptr;

std::string g_root;  // the server's folder of files

class ServerEnv : public ::testing::Environment {
 public:
  void SetUp() override {
    char d[] = "/tmp/xlts-root.XXXXXX";
    g_root = mkdtemp(d);
    g_server = new ServerProcess(XL_TESTSERVER_PATH, {"--root", g_root});
  }
  void TearDown() override {
    delete g_server;
    std::string cmd = "rm -rf '" + g_root + "'";
    if (system(cmd.c_str()) != 0) {
    }
  }
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new ServerEnv);

const int64_t MiB = 1 << 20;

EngineConfig TestConfig() {
  EngineConfig c;
  c.stall_ms = 600;
  c.retry_base_ms = 20;
  c.retry_max_ms = 200;
  c.max_retries = 4;
  c.min_split = 1 * MiB;
  c.fast_link = 0;  // split at once, however fast the loopback is
  c.save_interval_ms = 200;
  return c;
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(g_server->port(), 0) << "test server did not start";
    char d[] = "/tmp/xldl-test.XXXXXX";
    dir_ = mkdtemp(d);
    path_ = dir_ + "/file.bin";
  }
  void TearDown() override {
    engine_.reset();
    std::string cmd = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
  }

  Engine& engine(const EngineConfig& c = TestConfig()) {
    if (!engine_) engine_ = std::make_unique<Engine>(NewCurlTransport(), c);
    return *engine_;
  }

  // A URL unique to this test, so the server's per-URL fault counters start at 0.
  std::string Url(int64_t size, const std::string& faults = "") {
    std::string id = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    return g_server->Url("/gen/" + std::to_string(size) + "?id=" + id + (faults.empty() ? "" : "&" + faults));
  }

  TaskStatus Wait(uint32_t h, int timeout_ms = 60000) {
    TaskStatus st;
    for (int waited = 0; waited < timeout_ms; waited += 20) {
      engine().QueryTask(h, &st);
      if (st.stat == kStatDone || st.stat == kStatFailed) return st;
      SleepMs(20);
    }
    ADD_FAILURE() << "task did not end";
    return st;
  }

  TaskStatus Download(const std::string& url, bool resume = true, uint32_t* handle = nullptr) {
    TaskParams p;
    p.url = url;
    p.path = path_;
    p.resume = resume;
    uint32_t h = engine().CreateTask(p);
    EXPECT_NE(h, 0u);
    EXPECT_TRUE(engine().StartTask(h));
    if (handle) *handle = h;
    return Wait(h);
  }

  void WriteFile(const std::string& bytes) {
    std::ofstream f(path_, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), std::streamsize(bytes.size()));
  }
  std::string Content(int64_t offset, size_t n) {
    std::string s(n, '\0');
    xlts::FillContent(1, offset, &s[0], n);
    return s;
  }
  bool FileMatches(int64_t size) {
    struct stat st;
    return stat(path_.c_str(), &st) == 0 && st.st_size == size && xlts::Md5OfFile(path_) == xlts::Md5OfContent(1, size);
  }
  bool ControlExists() { return FileSize(ControlPath(path_)) >= 0; }
  // The running digest the engine reports is the one of the content served.
  static std::string ContentMd5(int64_t size) {
    std::string m = xlts::Md5OfContent(1, size);
    for (char& c : m) c = char(toupper(static_cast<unsigned char>(c)));
    return m;
  }

  std::string dir_, path_;
  std::unique_ptr<Engine> engine_;
};

TEST_F(EngineTest, LargeFileUsesSeveralConnectionsAndLeavesNoControlFile) {
  const int64_t size = 24 * MiB + 12345;
  TaskStatus st = Download(Url(size, "rate=20000000"));
  ASSERT_EQ(st.stat, kStatDone);
  EXPECT_EQ(st.total, size);
  EXPECT_EQ(st.done, size);
  EXPECT_FLOAT_EQ(st.percent, 1.0f);
  EXPECT_GT(st.segments, 1);
  EXPECT_EQ(st.received, size);  // no byte fetched twice
  EXPECT_TRUE(FileMatches(size));
  EXPECT_EQ(st.md5, ContentMd5(size));
  EXPECT_FALSE(ControlExists());
}

TEST_F(EngineTest, SmallAndEmptyFiles) {
  TaskStatus st = Download(Url(1000));
  ASSERT_EQ(st.stat, kStatDone);
  EXPECT_EQ(st.segments, 1);
  EXPECT_TRUE(FileMatches(1000));
  EXPECT_EQ(st.md5, ContentMd5(1000));
  engine_.reset();
  RemoveFile(path_);
  st = Download(Url(0));
  ASSERT_EQ(st.stat, kStatDone);
  EXPECT_EQ(st.total, 0);
  EXPECT_TRUE(FileMatches(0));
  EXPECT_EQ(st.md5, "D41D8CD98F00B204E9800998ECF8427E");
}

TEST_F(EngineTest, DroppedConnectionsAreResumed) {
  const int64_t size = 8 * MiB;
  // The first three answers break off; so does every answer of the second URL.
  TaskStatus st = Download(Url(size, "drop=300000&k=3"));
  ASSERT_EQ(st.stat, kStatDone);
  EXPECT_TRUE(FileMatches(size));
  EXPECT_EQ(st.md5, ContentMd5(size));
  engine_.reset();
  RemoveFile(path_);
  st = Download(Url(3 * MiB, "drop=700000"));
  ASSERT_EQ(st.stat, kStatDone);
  EXPECT_GE(st.requests, 5);
  EXPECT_EQ(st.received, 3 * MiB);
  EXPECT_TRUE(FileMatches(3 * MiB));
}

TEST_F(EngineTest, FollowsRedirects) {
  const int64_t size = 3 * MiB;
  // The target of the redirect drops its first answer as well.
  TaskStatus st = Download(Url(size, "redirect=1&drop=400000&k=1"));
  ASSERT_EQ(st.stat, kStatDone);
  EXPECT_TRUE(FileMatches(size));
}

TEST_F(EngineTest, FileFromTheServersFolder) {
  std::string data = Content(0, 3 * MiB);
  std::ofstream(g_root + "/image.wim", std::ios::binary).write(data.data(), std::streamsize(data.size()));
  TaskStatus st = Download(g_server->Url("/file/image.wim?drop=1000000&k=2"));
  ASSERT_EQ(st.stat, kStatDone);
  EXPECT_TRUE(FileMatches(3 * MiB));
  engine_.reset();
  RemoveFile(path_);
  st = Download(g_server->Url("/file/missing.wim"));
  EXPECT_EQ(st.stat, kStatFailed);
  EXPECT_EQ(st.fail_code, 404);
}

TEST_F(EngineTest, SpeedFollowsTheTransferRate) {
  EngineConfig c = TestConfig();
  c.max_connections = 1;
  engine(c);
  TaskParams p;
  p.url = Url(8 * MiB, "rate=2000000");
  p.path = path_;
  uint32_t h = engine().CreateTask(p);
  ASSERT_TRUE(engine().StartTask(h));
  SleepMs(2000);
  TaskStatus st;
  engine().QueryTask(h, &st);
  ASSERT_EQ(st.stat, kStatRunning);
  // Averaged over a few seconds: near the server's 2 MB/s, loosely, since
  // the machine is shared.
  EXPECT_GT(st.speed, 1000000);
  EXPECT_LT(st.speed, 3000000);
  EXPECT_GT(st.percent, 0.2f);
  EXPECT_LT(st.percent, 0.8f);
  EXPECT_EQ(st.total, 8 * MiB);
}

TEST_F(EngineTest, StalledConnectionIsReplaced) {
  const int64_t size = 2 * MiB;
  TaskStatus st = Download(Url(size, "stall=20000&stallat=100000&k=1"));
  ASSERT_EQ(st.stat, kStatDone);
  EXPECT_GE(st.requests, 2);
  EXPECT_TRUE(FileMatches(size));
}

TEST_F(EngineTest, ResumeContinuesAPartialFileWithARange) {
  const int64_t size = 3 * MiB;
  WriteFile(Content(0, size_t(MiB)));
  TaskStatus st = Download(Url(size));
  ASSERT_EQ(st.stat, kStatDone);
  EXPECT_EQ(st.received, size - MiB);
  EXPECT_TRUE(FileMatches(size));
}

TEST_F(EngineTest, ServerIgnoringRangeMakesItStartOverNotAppend) {
  const int64_t size = 3 * MiB;
  // What is on disk is not what the server will send from byte 0: if the
  // answer were appended, the file would be too long and wrong.
  WriteFile(std::string(size_t(MiB), '\xff'));
  TaskStatus st = Download(Url(size, "norange=1"));
  ASSERT_EQ(st.stat, kStatDone);
  EXPECT_EQ(st.segments, 1);
  EXPECT_TRUE(FileMatches(size));
  EXPECT_EQ(st.md5, ContentMd5(size));  // the digest starts over with the file
}

TEST_F(EngineTest, ResumeOverALongerFileStartsOver) {
  const int64_t size = 1 * MiB;
  WriteFile(std::string(size_t(2 * MiB), 'x'));
  TaskStatus st = Download(Url(size));
  ASSERT_EQ(st.stat, kStatDone);
  EXPECT_TRUE(FileMatches(size));
}

TEST_F(EngineTest, WithoutResumeTheFileIsFetchedAfresh) {
  const int64_t size = 2 * MiB;
  WriteFile(std::string(size_t(MiB), 'x'));
  TaskStatus st = Download(Url(size), /*resume=*/false);
  ASSERT_EQ(st.stat, kStatDone);
  EXPECT_EQ(st.received, size);
  EXPECT_TRUE(FileMatches(size));
}

TEST_F(EngineTest, CompleteFileIsRecognisedWithoutRefetching) {
  const int64_t size = 1 * MiB;
  WriteFile(Content(0, size_t(size)));
  TaskStatus st = Download(Url(size));
  ASSERT_EQ(st.stat, kStatDone);
  EXPECT_EQ(st.received, 0);
  EXPECT_TRUE(FileMatches(size));
}

TEST_F(EngineTest, ServerErrorsAreRetriedThenReportedAndALaterStartCompletes) {
  const int64_t size = 2 * MiB;
  TaskStatus st = Download(Url(size, "status=503&k=2"));
  ASSERT_EQ(st.stat, kStatDone);
  EXPECT_TRUE(FileMatches(size));

  // Five failing answers: more than the retries allow (4 retries = 5 tries).
  engine_.reset();
  RemoveFile(path_);
  uint32_t h = 0;
  st = Download(Url(size, "status=500&k=6"), true, &h);
  ASSERT_EQ(st.stat, kStatFailed);
  EXPECT_EQ(st.fail_code, 500);
  EXPECT_EQ(st.requests, 5);
  ASSERT_TRUE(engine().StartTask(h));
  st = Wait(h);
  ASSERT_EQ(st.stat, kStatDone);
  EXPECT_TRUE(FileMatches(size));
}

TEST_F(EngineTest, ClientErrorsFailAtOnce) {
  for (int code : {404, 403, 410}) {
    engine_.reset();
    TaskStatus st = Download(Url(MiB, "status=" + std::to_string(code)));
    EXPECT_EQ(st.stat, kStatFailed) << code;
    EXPECT_EQ(st.fail_code, code);
    EXPECT_EQ(st.requests, 1) << code;
  }
  // A 404 that goes away: the next start fetches the file.
  engine_.reset();
  uint32_t h = 0;
  TaskStatus st = Download(Url(MiB, "status=404&k=1"), true, &h);
  ASSERT_EQ(st.stat, kStatFailed);
  ASSERT_TRUE(engine().StartTask(h));
  st = Wait(h);
  ASSERT_EQ(st.stat, kStatDone);
  EXPECT_TRUE(FileMatches(MiB));
}

TEST_F(EngineTest, WrongLengthIsRetriedAndPersistentWrongLengthFails) {
  const int64_t size = 2 * MiB;
  TaskStatus st = Download(Url(size, "badlen=1&k=2"));
  ASSERT_EQ(st.stat, kStatDone);
  EXPECT_TRUE(FileMatches(size));

  engine_.reset();
  RemoveFile(path_);
  uint32_t h = 0;
  st = Download(Url(size, "badlen=1&k=7"), true, &h);
  ASSERT_EQ(st.stat, kStatFailed);
  EXPECT_EQ(st.fail_code, kFailWrongLength);
  // Once the server behaves, a later start completes the same file.
  ASSERT_TRUE(engine().StartTask(h));
  st = Wait(h);
  ASSERT_EQ(st.stat, kStatDone);
  EXPECT_TRUE(FileMatches(size));
}

TEST_F(EngineTest, StopPausesStartContinuesDeleteForgets) {
  const int64_t size = 8 * MiB;
  TaskParams p;
  // 1 MB/s per connection: a few seconds in all, so that a loaded machine
  // still finds the download under way when it stops it.
  p.url = Url(size, "rate=1000000");
  p.path = path_;
  uint32_t h = engine().CreateTask(p);
  ASSERT_NE(h, 0u);
  TaskStatus st;
  engine().QueryTask(h, &st);
  EXPECT_EQ(st.stat, kStatIdle);
  EXPECT_EQ(engine().CreateTask(p), 0u) << "a second task on the same file";
  ASSERT_TRUE(engine().StartTask(h));
  for (int i = 0; i < 400; ++i) {
    engine().QueryTask(h, &st);
    if (st.done > size / 8 && st.speed > 0 && st.connections > 1) break;
    SleepMs(20);
  }
  ASSERT_EQ(st.stat, kStatRunning);
  EXPECT_GT(st.speed, 0);
  EXPECT_GT(st.connections, 1);
  engine().StopTask(h);
  engine().QueryTask(h, &st);
  EXPECT_EQ(st.stat, kStatStopped);
  EXPECT_EQ(st.speed, 0);
  int64_t paused_at = st.done;
  ASSERT_LT(paused_at, size);
  EXPECT_TRUE(ControlExists());
  SleepMs(300);
  engine().QueryTask(h, &st);
  EXPECT_EQ(st.done, paused_at);
  engine().StopTask(h);  // stopping twice is harmless

  ASSERT_TRUE(engine().StartTask(h));
  st = Wait(h);
  ASSERT_EQ(st.stat, kStatDone);
  EXPECT_LT(st.received, size + size / 4);  // continued, not started over
  EXPECT_TRUE(FileMatches(size));
  EXPECT_FALSE(ControlExists());
  EXPECT_TRUE(engine().StartTask(h));  // a complete task stays complete
  engine().QueryTask(h, &st);
  EXPECT_EQ(st.stat, kStatDone);

  engine().DeleteTask(h);
  EXPECT_TRUE(engine().QueryTask(h, &st));
  EXPECT_EQ(st.stat, kStatFailed);  // ends a caller's wait
  engine().DeleteTask(h);
  engine().StopTask(h);
  EXPECT_FALSE(engine().StartTask(h));
  EXPECT_TRUE(FileMatches(size));  // the file stays
}

TEST_F(EngineTest, DeleteMidwayKeepsFileAndControlFileForALaterTask) {
  const int64_t size = 8 * MiB;
  TaskParams p;
  p.url = Url(size, "rate=1000000");  // slow enough to be under way on a loaded machine
  p.path = path_;
  uint32_t h = engine().CreateTask(p);
  ASSERT_TRUE(engine().StartTask(h));
  TaskStatus st;
  for (int i = 0; i < 400; ++i) {
    engine().QueryTask(h, &st);
    if (st.done > size / 8) break;
    SleepMs(20);
  }
  engine().DeleteTask(h);
  EXPECT_TRUE(ControlExists());
  uint32_t h2 = engine().CreateTask(p);
  ASSERT_NE(h2, 0u);
  ASSERT_TRUE(engine().StartTask(h2));
  st = Wait(h2);
  ASSERT_EQ(st.stat, kStatDone);
  EXPECT_LT(st.received, size);
  EXPECT_TRUE(FileMatches(size));
}

// A download in a process of its own, killed without warning part-way; a new
// engine picks every segment up from the control file.
TEST_F(EngineTest, ResumesEverySegmentAfterACrash) {
  const int64_t size = 16 * MiB;
  std::string url = Url(size, "rate=2000000");
  pid_t pid = fork();
  if (pid == 0) {
    execl(XLDL_GET_PATH, XLDL_GET_PATH, "--connections", "4", url.c_str(), path_.c_str(), (char*)nullptr);
    _exit(127);
  }
  ControlState cs;
  int64_t done = 0;
  for (int i = 0; i < 500; ++i) {
    SleepMs(20);
    if (!LoadControl(path_, &cs)) continue;
    done = 0;
    for (auto& s : cs.segments) done += s.pos - s.start;
    if (cs.segments.size() >= 4 && done > size / 4) break;
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  ASSERT_TRUE(LoadControl(path_, &cs));
  ASSERT_GE(cs.segments.size(), 4u);
  EXPECT_EQ(cs.total, size);
  done = 0;
  for (auto& s : cs.segments) {
    done += s.pos - s.start;
    // What the control file claims is on disk really is.
    if (s.pos > s.start) {
      int64_t n = std::min<int64_t>(s.pos - s.start, 65536);
      std::string got(size_t(n), '\0');
      std::ifstream f(path_, std::ios::binary);
      f.seekg(s.pos - n);
      f.read(&got[0], n);
      EXPECT_EQ(got, Content(s.pos - n, size_t(n)));
    }
  }
  ASSERT_GT(done, 0);
  ASSERT_LT(done, size);

  TaskStatus st = Download(url);
  ASSERT_EQ(st.stat, kStatDone);
  EXPECT_LE(st.received, size - done);
  EXPECT_TRUE(FileMatches(size));
  EXPECT_EQ(st.md5, ContentMd5(size));  // the resumed parts on disk were hashed too
  EXPECT_FALSE(ControlExists());
}

// A single stream has its control file from before its first byte until its
// end, so a partial file never looks finished: a download killed part-way
// (in a process of its own) is continued with a Range, or fetched again from
// byte 0 where the server ignores ranges. The digest is the whole file's.
TEST_F(EngineTest, AKilledSingleStreamKeepsItsControlFileAndIsResumed) {
  const int64_t size = 4 * MiB;
  for (const char* faults : {"rate=2000000", "rate=2000000&norange=1"}) {
    SCOPED_TRACE(faults);
    engine_.reset();
    RemoveFile(path_);
    const std::string url = Url(size, faults);
    pid_t pid = fork();
    if (pid == 0) {
      execl(XLDL_GET_PATH, XLDL_GET_PATH, "--connections", "1", url.c_str(), path_.c_str(), (char*)nullptr);
      _exit(127);
    }
    ControlState cs;
    for (int i = 0; i < 500; ++i) {
      SleepMs(10);
      if (LoadControl(path_, &cs) && cs.segments.size() == 1 && cs.segments[0].pos >= MiB) break;
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    ASSERT_TRUE(LoadControl(path_, &cs));
    ASSERT_EQ(cs.segments.size(), 1u);
    EXPECT_GE(cs.segments[0].pos, MiB);
    EXPECT_LE(cs.segments[0].pos, FileSize(path_));
    ASSERT_LT(FileSize(path_), size);

    TaskStatus st = Download(url);
    ASSERT_EQ(st.stat, kStatDone);
    if (strstr(faults, "norange"))
      EXPECT_EQ(st.received, size);
    else
      EXPECT_LE(st.received, size - MiB);
    EXPECT_TRUE(FileMatches(size));
    EXPECT_EQ(st.md5, ContentMd5(size));
    EXPECT_FALSE(ControlExists());
  }
}

// A byte that reaches the disk damaged is in the digest, which is read back
// from the file, not taken from what the network brought.
TEST_F(EngineTest, ADamagedWriteIsCaughtByTheRunningDigest) {
  const int64_t size = 6 * MiB;
  for (int connections : {1, 4}) {
    engine_.reset();
    RemoveFile(path_);
    EngineConfig c = TestConfig();
    c.max_connections = connections;
    c.corrupt_at = 5 * MiB + 3;
    engine(c);
    TaskStatus st = Download(Url(size, "rate=20000000"));
    ASSERT_EQ(st.stat, kStatDone);
    EXPECT_NE(st.md5, ContentMd5(size)) << connections;
    std::string on_disk = xlts::Md5OfFile(path_);
    for (char& ch : on_disk) ch = char(toupper(static_cast<unsigned char>(ch)));
    EXPECT_EQ(st.md5, on_disk) << connections;
  }
}

TEST_F(EngineTest, DamagedControlFileMeansStartingOver) {
  const int64_t size = 3 * MiB;
  WriteFile(std::string(size_t(size), 'x'));
  std::ofstream(ControlPath(path_), std::ios::binary) << "XLDC garbage";
  TaskStatus st = Download(Url(size));
  ASSERT_EQ(st.stat, kStatDone);
  EXPECT_TRUE(FileMatches(size));
}

// Offsets past 4 GiB: a 5 GiB file of which only the tail is fetched, from a
// sparse local file (no control file) and from a control file.
TEST_F(EngineTest, OffsetsBeyondFourGiB) {
#ifdef __SANITIZE_THREAD__  // the race checker's build (GCC)
  // Digesting the 5 GiB prefix takes minutes under the race checker, and
  // the case has no threads of its own to check: the plain build runs it.
  GTEST_SKIP() << "run by the build without the race checker";
#endif
  const int64_t size = 5 * 1024 * MiB;
  const int64_t have = size - 3 * MiB;
  {
    auto f = File::OpenOrCreate(path_);
    ASSERT_TRUE(f && f->SetSize(have));
  }
  TaskStatus st = Download(Url(size));
  ASSERT_EQ(st.stat, kStatDone);
  EXPECT_EQ(st.total, size);
  EXPECT_EQ(st.done, size);
  EXPECT_EQ(st.received, 3 * MiB);
  EXPECT_EQ(FileSize(path_), size);
  auto f = File::OpenOrCreate(path_);
  std::string tail(size_t(3 * MiB), '\0');
  ASSERT_TRUE(f->ReadAt(have, &tail[0], tail.size()));
  EXPECT_TRUE(tail == Content(have, tail.size()));
  f.reset();

  engine_.reset();
  ControlState cs;
  cs.total = size;
  const int64_t a = 4608 * MiB, b = a + 4 * MiB;
  cs.segments = {{0, a, a}, {a, a + 512 * 1024, b}, {b, size, size}};
  ASSERT_TRUE(SaveControl(path_, cs));
  st = Download(Url(size));
  ASSERT_EQ(st.stat, kStatDone);
  EXPECT_EQ(st.received, b - a - 512 * 1024);
  f = File::OpenOrCreate(path_);
  std::string mid(size_t(b - a), '\0');
  ASSERT_TRUE(f->ReadAt(a, &mid[0], mid.size()));
  EXPECT_TRUE(mid.substr(512 * 1024) == Content(a + 512 * 1024, mid.size() - 512 * 1024));
  EXPECT_FALSE(ControlExists());
}

TEST_F(EngineTest, AFileThatCannotBeWrittenFailsTheTask) {
  path_ = dir_ + "/no-such-folder/file.bin";
  TaskStatus st = Download(Url(1000));
  EXPECT_EQ(st.stat, kStatFailed);
  EXPECT_EQ(st.fail_code, kFailFile);
}

TEST_F(EngineTest, UnusableParametersAreRefused) {
  TaskParams p;
  p.path = path_;
  EXPECT_EQ(engine().CreateTask(p), 0u);
  p.url = Url(10);
  p.path = "";
  EXPECT_EQ(engine().CreateTask(p), 0u);
  TaskStatus st;
  EXPECT_TRUE(engine().QueryTask(0, &st));
  EXPECT_EQ(st.stat, kStatFailed);
}

}  // namespace

// The curl stream on its own: the bytes that arrive with the head, those that
// do not fit a small Read buffer, and a sink that refuses must neither be lost
// nor doubled nor taken for the end of the body.
TEST_F(EngineTest, CurlStreamHandsEveryBodyByteOnce) {
  struct Collect : BodySink {
    std::string got;
    size_t refuse_after = SIZE_MAX;
    int calls = 0;
    bool Take(const char* data, size_t n) override {
      if (size_t(calls++) >= refuse_after) return false;
      got.append(data, n);
      return true;
    }
  };
  const int64_t size = 4 * MiB + 77;
  auto transport = NewCurlTransport();
  HttpHead head;
  std::string error;

  // Small answers often arrive with their head in one block: repeated so
  // that such a round is among them.
  std::unique_ptr<HttpStream> s;
  long n;
  for (int64_t len : {size, int64_t(100), int64_t(70000), int64_t(70000), int64_t(70000), int64_t(70000)}) {
    s = transport->NewStream();
    ASSERT_TRUE(s->Open(Url(len), -1, -1, &head, &error)) << error;
    EXPECT_EQ(head.status, 200);
    Collect all;
    while ((n = s->ReadTo(all)) > 0) {
    }
    EXPECT_EQ(n, 0);
    EXPECT_TRUE(all.got == Content(0, size_t(len))) << len << ": " << all.got.size();
  }

  // A range, through a buffer far smaller than curl's blocks.
  s = transport->NewStream();
  ASSERT_TRUE(s->Open(Url(size), MiB, -1, &head, &error)) << error;
  EXPECT_EQ(head.status, 206);
  std::string got;
  char buf[1000];
  while ((n = s->Read(buf, sizeof buf)) > 0) got.append(buf, size_t(n));
  EXPECT_EQ(n, 0);
  EXPECT_TRUE(got == Content(MiB, size_t(size - MiB))) << got.size();

  // Refused bytes break the stream for good.
  s = transport->NewStream();
  ASSERT_TRUE(s->Open(Url(size), -1, -1, &head, &error)) << error;
  Collect some;
  some.refuse_after = 1;
  n = s->ReadTo(some);
  while (n > 0) n = s->ReadTo(some);
  EXPECT_LT(n, 0);
  EXPECT_LT(s->ReadTo(some), 0);
  EXPECT_TRUE(some.got == Content(0, some.got.size()));

  // So does Cancel, also with bytes of the head's round still held.
  s = transport->NewStream();
  ASSERT_TRUE(s->Open(Url(size), -1, -1, &head, &error)) << error;
  s->Cancel();
  Collect none;
  EXPECT_LT(s->ReadTo(none), 0);
  EXPECT_TRUE(none.got.empty());
}
