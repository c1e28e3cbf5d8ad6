// The status server: the status page and the metrics of a server over HTTP, read-only. It runs on
// the Qt event loop, where the polling cycle hands over in each of its waits, so nothing but that
// one thread reads the server. Whoever can reach the address sees the stations' names and figures
// (never a password or a text); there is no authentication. Bounded so that no client can hold up
// the cycle or fill the memory: few connections, small requests, idle ones closed.
#pragma once

#include <QHostAddress>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "bus/server.h"

namespace velora {

struct ListenAddress {
  QHostAddress host;
  quint16 port = 0;
};

// "127.0.0.1:8080" or "[::1]:8080": an IPv4 address, or an IPv6 one in brackets, and a port;
// port 0 takes a free one. Nothing else, so that what is bound is what was written.
std::optional<ListenAddress> ParseListenAddress(std::string_view text, std::string& error);

class QtStatusServer {
 public:
  // How long a request may take to come in whole (and a connection may wait for one), and how
  // much one request may carry.
  static constexpr int RequestMs = 30'000;
  static constexpr qint64 MaxRequestBytes = 16 * 1024;
  static constexpr int MaxConnections = 16;

  explicit QtStatusServer(const Server& server, int requestMs = RequestMs);
  ~QtStatusServer();
  QtStatusServer(const QtStatusServer&) = delete;
  QtStatusServer& operator=(const QtStatusServer&) = delete;

  // Listens at the address instead of where it listened before; false with the reason (and then
  // it listens nowhere).
  bool Listen(std::string_view address, std::string& error);
  void Close();
  bool Listening() const { return http_ != nullptr; }
  // "http://127.0.0.1:41234/" with the port actually bound; empty while not listening.
  std::string Url() const;

 private:
  class Http;
  const Server& server_;
  int requestMs_;
  std::unique_ptr<Http> http_;
  ListenAddress bound_;
};

}  // namespace velora
