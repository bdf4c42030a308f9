// A small HTTP/1.1 server for the engine's tests and benchmarks. Loopback
// only, a bounded number of connections, single byte ranges, and faults that
// the request's query switches on:
//
//   GET /gen/SIZE[?...]    SIZE bytes of generated content (seed=N picks it)
//   GET /file/NAME[?...]   a file of the --root folder
//   GET /stats             requests served and body bytes sent so far
//
//   k=K          the faults below hit only the first K requests of this exact
//                URL (path and query); without k, every request
//   drop=N       close the connection after N body bytes
//   norange=1    ignore Range and answer 200 with the whole file
//   stall=MS     send nothing for MS milliseconds after stallat=N body bytes
//   badlen=1     a Content-Length 1000 bytes too long (then close)
//   status=CODE  answer CODE (404, 500, ...) instead of the file
//   rate=BPS     at most BPS body bytes per second on this connection
//                (--rate sets it for every request)
//   redirect=1   answer 302 pointing at the same URL without "redirect=1"
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/testserver/content.h"

namespace {

std::string g_root;
int64_t g_rate = 0;
int g_max_conns = 64;
std::atomic<int> g_conns{0};
std::atomic<int64_t> g_requests{0};
std::atomic<int64_t> g_body_bytes{0};
std::mutex g_count_lock;
std::map<std::string, int64_t> g_counts;

int64_t NowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool SendAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = send(fd, p, n, MSG_NOSIGNAL);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= size_t(w);
  }
  return true;
}

std::string Lower(std::string s) {
  for (char& c : s) c = char(tolower(static_cast<unsigned char>(c)));
  return s;
}

struct Query {
  std::map<std::string, std::string> v;
  int64_t Num(const char* k, int64_t dflt = 0) const {
    auto it = v.find(k);
    return it == v.end() ? dflt : strtoll(it->second.c_str(), nullptr, 10);
  }
  bool Has(const char* k) const { return v.count(k) != 0; }
};

Query ParseQuery(const std::string& q) {
  Query r;
  size_t at = 0;
  while (at < q.size()) {
    size_t amp = q.find('&', at);
    if (amp == std::string::npos) amp = q.size();
    std::string kv = q.substr(at, amp - at);
    size_t eq = kv.find('=');
    if (eq == std::string::npos) r.v[kv] = "1";
    else r.v[kv.substr(0, eq)] = kv.substr(eq + 1);
    at = amp + 1;
  }
  return r;
}

// A body source: generated content or a file of the root folder.
struct Source {
  int64_t size = -1;
  uint64_t seed = 1;
  int fd = -1;
  ~Source() {
    if (fd >= 0) close(fd);
  }
  bool Read(int64_t off, char* out, size_t n) {
    if (fd < 0) {
      xlts::FillContent(seed, off, out, n);
      return true;
    }
    return pread(fd, out, n, off) == ssize_t(n);
  }
};

// "bytes=a-b", "bytes=a-", "bytes=-n"; false for anything else (ignored).
bool ParseRange(const std::string& v, int64_t size, int64_t* a, int64_t* b, bool* unsatisfiable) {
  *unsatisfiable = false;
  std::string s = v;
  if (Lower(s.substr(0, 6)) != "bytes=" || s.find(',') != std::string::npos) return false;
  s = s.substr(6);
  size_t dash = s.find('-');
  if (dash == std::string::npos) return false;
  std::string x = s.substr(0, dash), y = s.substr(dash + 1);
  if (x.empty()) {
    if (y.empty()) return false;
    int64_t n = strtoll(y.c_str(), nullptr, 10);
    if (n <= 0) {
      *unsatisfiable = true;
      return true;
    }
    *a = n >= size ? 0 : size - n;
    *b = size - 1;
    return true;
  }
  *a = strtoll(x.c_str(), nullptr, 10);
  *b = y.empty() ? size - 1 : strtoll(y.c_str(), nullptr, 10);
  if (*a >= size || *b < *a) {
    *unsatisfiable = true;
    return true;
  }
  if (*b >= size) *b = size - 1;
  return true;
}

void Respond(int fd, int code, const char* reason, const std::string& body, bool keep) {
  std::string h = "HTTP/1.1 " + std::to_string(code) + " " + reason + "\r\nContent-Length: " + std::to_string(body.size()) +
                  "\r\nContent-Type: text/plain\r\n" + (keep ? "" : "Connection: close\r\n") + "\r\n" + body;
  SendAll(fd, h.data(), h.size());
}

// Serves one request; false when the connection must close.
bool Serve(int fd, const std::string& method, const std::string& target, const std::map<std::string, std::string>& hdr) {
  g_requests++;
  bool keep = true;
  auto conn = hdr.find("connection");
  if (conn != hdr.end() && Lower(conn->second) == "close") keep = false;
  std::string path = target, qs;
  size_t qm = target.find('?');
  if (qm != std::string::npos) {
    path = target.substr(0, qm);
    qs = target.substr(qm + 1);
  }
  Query q = ParseQuery(qs);
  int64_t nth;
  {
    std::lock_guard<std::mutex> g(g_count_lock);
    nth = ++g_counts[target];
  }
  bool fault = !q.Has("k") || nth <= q.Num("k");

  if (path == "/stats") {
    Respond(fd, 200, "OK", "requests " + std::to_string(g_requests.load()) + "\nbytes " + std::to_string(g_body_bytes.load()) + "\n", keep);
    return keep;
  }
  if (fault && q.Has("redirect") && target.find("redirect=1") != std::string::npos) {
    std::string to = target;
    size_t at = to.find("redirect=1");
    to.erase(at, 10);
    while (!to.empty() && (to.back() == '&' || to.back() == '?')) to.pop_back();
    size_t dbl = to.find("&&");
    if (dbl != std::string::npos) to.erase(dbl, 1);
    size_t qa = to.find("?&");
    if (qa != std::string::npos) to.erase(qa + 1, 1);
    std::string h = "HTTP/1.1 302 Found\r\nLocation: " + to + "\r\nContent-Length: 9\r\n" + (keep ? "" : "Connection: close\r\n") +
                    "\r\nredirect\n";
    SendAll(fd, h.data(), h.size());
    return keep;
  }
  if (fault && q.Has("status")) {
    int code = int(q.Num("status"));
    Respond(fd, code, code >= 500 ? "Server Error" : "Error", "fault\n", keep);
    return keep;
  }
  Source src;
  if (path.compare(0, 5, "/gen/") == 0) {
    src.size = strtoll(path.c_str() + 5, nullptr, 10);
    src.seed = uint64_t(q.Num("seed", 1));
  } else if (path.compare(0, 6, "/file/") == 0 && !g_root.empty()) {
    std::string name = path.substr(6);
    if (name.empty() || name.find('/') != std::string::npos || name.find("..") != std::string::npos) {
      Respond(fd, 404, "Not Found", "no such file\n", keep);
      return keep;
    }
    src.fd = open((g_root + "/" + name).c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (src.fd >= 0 && fstat(src.fd, &st) == 0 && S_ISREG(st.st_mode)) src.size = st.st_size;
  }
  if (src.size < 0) {
    Respond(fd, 404, "Not Found", "no such file\n", keep);
    return keep;
  }

  int64_t a = 0, b = src.size - 1;
  bool partial = false;
  auto rh = hdr.find("range");
  if (rh != hdr.end() && !(fault && q.Has("norange"))) {
    bool unsat = false;
    if (ParseRange(rh->second, src.size, &a, &b, &unsat)) {
      if (unsat) {
        std::string h = "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */" + std::to_string(src.size) +
                        "\r\nContent-Length: 0\r\n" + (keep ? "" : "Connection: close\r\n") + "\r\n";
        SendAll(fd, h.data(), h.size());
        return keep;
      }
      partial = true;
    } else {
      a = 0;
      b = src.size - 1;
    }
  }
  int64_t len = src.size == 0 ? 0 : b - a + 1;
  int64_t drop = fault && q.Has("drop") ? q.Num("drop") : -1;
  bool badlen = fault && q.Has("badlen");
  int64_t stall_ms = fault ? q.Num("stall") : 0;
  int64_t stall_at = q.Num("stallat");
  int64_t rate = q.Has("rate") ? q.Num("rate") : g_rate;
  if (drop >= 0 || badlen) keep = false;

  std::string h = std::string("HTTP/1.1 ") + (partial ? "206 Partial Content" : "200 OK") + "\r\n";
  h += "Content-Length: " + std::to_string(badlen ? len + 1000 : len) + "\r\n";
  if (partial) h += "Content-Range: bytes " + std::to_string(a) + "-" + std::to_string(b) + "/" + std::to_string(src.size) + "\r\n";
  if (!(fault && q.Has("norange"))) h += "Accept-Ranges: bytes\r\n";
  h += "Content-Type: application/octet-stream\r\n";
  if (!keep) h += "Connection: close\r\n";
  h += "\r\n";
  if (!SendAll(fd, h.data(), h.size())) return false;
  if (method == "HEAD") return keep;

  size_t chunk = 256 * 1024;
  if (rate > 0) chunk = size_t(std::max<int64_t>(1024, std::min<int64_t>(int64_t(chunk), rate / 20)));
  std::vector<char> buf(chunk);
  int64_t sent = 0, t0 = NowUs();
  bool stalled = stall_ms <= 0;
  while (sent < len) {
    if (!stalled && sent >= stall_at) {
      std::this_thread::sleep_for(std::chrono::milliseconds(stall_ms));
      stalled = true;
    }
    size_t n = size_t(std::min<int64_t>(int64_t(chunk), len - sent));
    if (!stalled && stall_at > sent) n = size_t(std::min<int64_t>(int64_t(n), stall_at - sent));
    if (drop >= 0) {
      if (sent >= drop) return false;
      n = size_t(std::min<int64_t>(int64_t(n), drop - sent));
    }
    if (!src.Read(a + sent, buf.data(), n)) return false;
    if (!SendAll(fd, buf.data(), n)) return false;
    sent += int64_t(n);
    g_body_bytes += int64_t(n);
    if (rate > 0) {
      int64_t due = t0 + sent * 1000000 / rate;
      int64_t now = NowUs();
      if (due > now) std::this_thread::sleep_for(std::chrono::microseconds(due - now));
    }
  }
  return keep && !(drop >= 0 && sent >= drop);
}

void Connection(int fd) {
  std::string in;
  char buf[8192];
  while (true) {
    size_t end;
    while ((end = in.find("\r\n\r\n")) == std::string::npos) {
      if (in.size() > 16384) goto done;
      ssize_t n = recv(fd, buf, sizeof buf, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) goto done;
      in.append(buf, size_t(n));
    }
    {
      std::string head = in.substr(0, end);
      in.erase(0, end + 4);
      size_t eol = head.find("\r\n");
      std::string line = head.substr(0, eol);
      size_t s1 = line.find(' '), s2 = line.rfind(' ');
      if (s1 == std::string::npos || s2 <= s1) goto done;
      std::string method = line.substr(0, s1), target = line.substr(s1 + 1, s2 - s1 - 1);
      std::map<std::string, std::string> hdr;
      size_t at = eol == std::string::npos ? head.size() : eol + 2;
      while (at < head.size()) {
        size_t e = head.find("\r\n", at);
        if (e == std::string::npos) e = head.size();
        std::string l = head.substr(at, e - at);
        size_t c = l.find(':');
        if (c != std::string::npos) {
          size_t v = c + 1;
          while (v < l.size() && l[v] == ' ') ++v;
          hdr[Lower(l.substr(0, c))] = l.substr(v);
        }
        at = e + 2;
      }
      if (method != "GET" && method != "HEAD") {
        Respond(fd, 405, "Method Not Allowed", "", false);
        goto done;
      }
      if (!Serve(fd, method, target, hdr)) goto done;
    }
  }
done:
  close(fd);
  g_conns--;
}

}  // namespace

int main(int argc, char** argv) {
  int port = 0;
  std::string port_file;
  bool stdin_exit = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (a == "--port") port = atoi(next().c_str());
    else if (a == "--port-file") port_file = next();
    else if (a == "--root") g_root = next();
    else if (a == "--rate") g_rate = strtoll(next().c_str(), nullptr, 10);
    else if (a == "--max-conns") g_max_conns = atoi(next().c_str());
    else if (a == "--exit-with-stdin") stdin_exit = true;
    else {
      fprintf(stderr, "usage: %s [--port N] [--port-file F] [--root DIR] [--rate BPS] [--max-conns N] [--exit-with-stdin]\n", argv[0]);
      return 2;
    }
  }
  signal(SIGPIPE, SIG_IGN);
  int ls = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  setsockopt(ls, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(uint16_t(port));
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(ls, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(ls, 64) != 0) {
    perror("bind");
    return 1;
  }
  socklen_t sl = sizeof sa;
  getsockname(ls, reinterpret_cast<sockaddr*>(&sa), &sl);
  port = ntohs(sa.sin_port);
  if (!port_file.empty()) {
    std::string tmp = port_file + ".tmp";
    FILE* f = fopen(tmp.c_str(), "w");
    if (!f) return 1;
    fprintf(f, "%d\n", port);
    fclose(f);
    rename(tmp.c_str(), port_file.c_str());
  }
  printf("listening on 127.0.0.1:%d\n", port);
  fflush(stdout);
  if (stdin_exit) {
    std::thread([] {
      char c;
      while (read(0, &c, 1) > 0) {
      }
      _exit(0);
    }).detach();
  }
  while (true) {
    int fd = accept4(ls, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    if (g_conns >= g_max_conns) {
      close(fd);
      continue;
    }
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    timeval tv{60, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    g_conns++;
    std::thread(Connection, fd).detach();
  }
}
