// A loopback relay between a client and the real alloc-server, for the fault tests
// (header only; never part of the server). Each request is passed on to the server on a
// connection of its own and the server's answer back, unless the test spoiled the next
// answer to a method: then the client gets the answer cut short on the wire, the JSON
// text cut short, a page that is not JSON, or no answer at all (the connection closes
// after the server has run the call, as when the server dies before answering).
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace srv::fakes {

class AnswerRelay {
 public:
  enum class Spoil { CutOnTheWire, JsonCutShort, NotJson, NoAnswer };

  explicit AnswerRelay(int server_port) : server_port_(server_port) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    socklen_t size = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 || ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
      throw std::runtime_error("relay: cannot listen");
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
  }
  ~AnswerRelay() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    {
      std::lock_guard lock(mutex_);
      for (int fd : open_) ::shutdown(fd, SHUT_RDWR);
    }
    acceptor_.join();
    for (std::thread& t : handlers_) t.join();
    ::close(listener_);
  }
  AnswerRelay(const AnswerRelay&) = delete;
  AnswerRelay& operator=(const AnswerRelay&) = delete;

  int Port() const { return port_; }
  // The next answer to `method` ("SetForneMao", "Auth.Login", ...) is spoiled this way.
  void SpoilNext(const std::string& method, Spoil spoil) {
    std::lock_guard lock(mutex_);
    spoiled_[method] = spoil;
  }
  // How many requests for `method` reached the server through the relay.
  int Requests(const std::string& method) {
    std::lock_guard lock(mutex_);
    return requests_[method];
  }

 private:
  static sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return address;
  }

  void AcceptLoop() {
    while (!stopping_) {
      const int client = ::accept(listener_, nullptr, nullptr);
      if (client < 0) break;
      std::lock_guard lock(mutex_);
      open_.insert(client);
      handlers_.emplace_back([this, client] { Serve(client); });
    }
  }

  // One HTTP message (headers and a Content-Length body) from `fd`; nullopt at its end.
  static std::optional<std::string> ReadMessage(int fd) {
    std::string data;
    char buffer[65536];
    std::size_t header_end = std::string::npos, total = 0;
    while (header_end == std::string::npos || data.size() < total) {
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) return std::nullopt;
      data.append(buffer, static_cast<std::size_t>(n));
      if (header_end == std::string::npos && (header_end = data.find("\r\n\r\n")) != std::string::npos) {
        std::string headers = data.substr(0, header_end);
        std::transform(headers.begin(), headers.end(), headers.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        const auto at = headers.find("content-length:");
        total = header_end + 4 + (at == std::string::npos ? 0 : std::stoul(headers.substr(at + 15)));
      }
    }
    return data;
  }
  static void Send(int fd, const std::string& data) {
    for (std::size_t sent = 0; sent < data.size();) {
      const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return;
      sent += static_cast<std::size_t>(n);
    }
  }
  // The server's answer to one request, on a connection of its own.
  std::optional<std::string> AskServer(const std::string& request) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(server_port_);
    std::optional<std::string> answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      Send(fd, request);
      answer = ReadMessage(fd);
    }
    ::close(fd);
    return answer;
  }
  // The method a request names, without the module ("SetForneMao", "Auth.Login").
  static std::string MethodOf(const std::string& request) {
    const auto at = request.find("\"method\":\"");
    if (at == std::string::npos) return {};
    const auto start = at + 10, end = request.find('"', start);
    std::string method = request.substr(start, end - start);
    const std::string module = "EVT04700.rdmAloc.";
    return method.rfind(module, 0) == 0 ? method.substr(module.size()) : method;
  }

  void Serve(int client) {
    while (auto request = ReadMessage(client)) {
      const std::string method = MethodOf(*request);
      std::optional<Spoil> spoil;
      {
        std::lock_guard lock(mutex_);
        ++requests_[method];
        if (auto it = spoiled_.find(method); it != spoiled_.end()) {
          spoil = it->second;
          spoiled_.erase(it);
        }
      }
      const std::optional<std::string> answer = AskServer(*request);
      if (!answer) break;
      if (!spoil) {
        Send(client, *answer);
        continue;
      }
      const std::size_t body = answer->find("\r\n\r\n") + 4;
      if (*spoil == Spoil::CutOnTheWire) Send(client, answer->substr(0, body + (answer->size() - body) / 2));
      if (*spoil == Spoil::JsonCutShort) {
        const std::string text = answer->substr(body, (answer->size() - body) / 2);
        Send(client, "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                         std::to_string(text.size()) + "\r\nConnection: close\r\n\r\n" + text);
      }
      if (*spoil == Spoil::NotJson) {
        const std::string page = "<html><body><h1>502 Bad Gateway</h1></body></html>";
        Send(client, "HTTP/1.1 502 Bad Gateway\r\nContent-Type: text/html\r\nContent-Length: " +
                         std::to_string(page.size()) + "\r\nConnection: close\r\n\r\n" + page);
      }
      break;  // every spoiled answer ends its connection
    }
    std::lock_guard lock(mutex_);
    open_.erase(client);
    ::close(client);
  }

  const int server_port_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;
  std::mutex mutex_;
  std::vector<std::thread> handlers_;
  std::set<int> open_;
  std::map<std::string, Spoil> spoiled_;
  std::map<std::string, int> requests_;
};

}  // namespace srv::fakes
