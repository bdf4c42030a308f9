// POSIX side of the engine's system layer (native builds: tests, benchmarks).
#include "tools/xldl/sys.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace xldl {

int64_t NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void SleepMs(int ms) {
  if (ms <= 0) return;
  timespec ts{ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

std::string GetEnv(const char* name) {
  const char* v = getenv(name);
  return v ? v : "";
}

Lock::Lock() {
  auto* m = new pthread_mutex_t;
  pthread_mutex_init(m, nullptr);
  impl_ = m;
}
Lock::~Lock() {
  pthread_mutex_destroy(static_cast<pthread_mutex_t*>(impl_));
  delete static_cast<pthread_mutex_t*>(impl_);
}
void Lock::lock() { pthread_mutex_lock(static_cast<pthread_mutex_t*>(impl_)); }
void Lock::unlock() { pthread_mutex_unlock(static_cast<pthread_mutex_t*>(impl_)); }

namespace {
struct EventImpl {
  pthread_mutex_t m;
  pthread_cond_t c;
  bool set = false;
};
}  // namespace

Event::Event() {
  auto* e = new EventImpl;
  pthread_mutex_init(&e->m, nullptr);
  pthread_condattr_t a;
  pthread_condattr_init(&a);
  pthread_condattr_setclock(&a, CLOCK_MONOTONIC);
  pthread_cond_init(&e->c, &a);
  pthread_condattr_destroy(&a);
  impl_ = e;
}
Event::~Event() {
  auto* e = static_cast<EventImpl*>(impl_);
  pthread_cond_destroy(&e->c);
  pthread_mutex_destroy(&e->m);
  delete e;
}
void Event::Set() {
  auto* e = static_cast<EventImpl*>(impl_);
  pthread_mutex_lock(&e->m);
  e->set = true;
  pthread_cond_broadcast(&e->c);
  pthread_mutex_unlock(&e->m);
}
void Event::Reset() {
  auto* e = static_cast<EventImpl*>(impl_);
  pthread_mutex_lock(&e->m);
  e->set = false;
  pthread_mutex_unlock(&e->m);
}
bool Event::Wait(int ms) {
  auto* e = static_cast<EventImpl*>(impl_);
  timespec until;
  clock_gettime(CLOCK_MONOTONIC, &until);
  until.tv_sec += ms / 1000;
  until.tv_nsec += (ms % 1000) * 1000000L;
  if (until.tv_nsec >= 1000000000L) {
    until.tv_sec++;
    until.tv_nsec -= 1000000000L;
  }
  pthread_mutex_lock(&e->m);
  while (!e->set) {
    if (pthread_cond_timedwait(&e->c, &e->m, &until) == ETIMEDOUT) break;
  }
  bool r = e->set;
  pthread_mutex_unlock(&e->m);
  return r;
}

namespace {
struct ThreadImpl {
  pthread_t t;
  std::function<void()> fn;
};
void* ThreadMain(void* p) {
  static_cast<ThreadImpl*>(p)->fn();
  return nullptr;
}
}  // namespace

Thread::~Thread() { Join(); }

bool Thread::Start(std::function<void()> fn) {
  Join();
  auto* t = new ThreadImpl;
  t->fn = std::move(fn);
  if (pthread_create(&t->t, nullptr, ThreadMain, t) != 0) {
    delete t;
    return false;
  }
  impl_ = t;
  return true;
}

void Thread::Join() {
  if (!impl_) return;
  auto* t = static_cast<ThreadImpl*>(impl_);
  pthread_join(t->t, nullptr);
  delete t;
  impl_ = nullptr;
}

std::unique_ptr<File> File::OpenOrCreate(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  std::unique_ptr<File> f(new File);
  f->h_ = fd;
  return f;
}

std::unique_ptr<File> File::OpenForReading(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  std::unique_ptr<File> f(new File);
  f->h_ = fd;
  return f;
}

File::~File() {
  if (h_ >= 0) close(int(h_));
}

bool File::WriteAt(int64_t offset, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = pwrite(int(h_), p, size, off_t(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= size_t(n);
    offset += n;
  }
  return true;
}

bool File::ReadAt(int64_t offset, void* data, size_t size) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    ssize_t n = pread(int(h_), p, size, off_t(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= size_t(n);
    offset += n;
  }
  return true;
}

int64_t File::Size() {
  struct stat st;
  if (fstat(int(h_), &st) != 0) return -1;
  return int64_t(st.st_size);
}

bool File::SetSize(int64_t size) { return ftruncate(int(h_), off_t(size)) == 0; }

bool File::Flush() { return fdatasync(int(h_)) == 0; }

int64_t FileSize(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return int64_t(st.st_size);
}

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0 || errno == ENOENT; }

bool WriteFileAtomic(const std::string& path, const std::string& tmp, const void* data, size_t size) {
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const char* p = static_cast<const char*>(data);
  size_t left = size;
  bool ok = true;
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    p += n;
    left -= size_t(n);
  }
  ok = ok && fdatasync(fd) == 0;
  ok = (close(fd) == 0) && ok;
  if (ok) ok = rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) unlink(tmp.c_str());
  return ok;
}

bool ReadWholeFile(const std::string& path, std::string* out, size_t max_size) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  out->clear();
  char buf[4096];
  bool ok = true;
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ok = false;
      break;
    }
    if (n == 0) break;
    out->append(buf, size_t(n));
    if (out->size() > max_size) {
      ok = false;
      break;
    }
  }
  close(fd);
  return ok;
}

}  // namespace xldl
