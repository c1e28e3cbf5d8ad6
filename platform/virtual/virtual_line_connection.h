// An in-process server for line connections, in virtual (or any scheduled) time: tests play the
// mail server's side through its peers. Everything travels with a fixed latency, in order.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/ports.h"
#include "platform/virtual/virtual_scheduler.h"

namespace velora {

// One client connection as the server sees it.
class VirtualLinePeer : public std::enable_shared_from_this<VirtualLinePeer> {
 public:
  VirtualLinePeer(Scheduler& scheduler, std::int64_t latencyUs)
      : scheduler_(scheduler), latencyUs_(latencyUs) {}

  const std::string& Host() const { return host_; }
  const std::string& Service() const { return service_; }
  bool ImplicitTls() const { return implicitTls_; }
  // The lines the client sent, as it passed them to SendLine.
  const std::vector<std::string>& Received() const { return received_; }
  bool ClosedByClient() const { return closedByClient_; }

  // A line to the client.
  void Send(std::string_view line);
  // The server ends the connection; the client hears it after the lines sent before.
  void Hangup();
  // The connection breaks with the reason.
  void Break(std::string reason);

 private:
  friend class VirtualLineServer;
  friend class VirtualLineConnection;

  void Later(std::function<void(VirtualLinePeer&)> task);
  bool Up() const { return connected_ && !closedByClient_ && !ended_; }

  Scheduler& scheduler_;
  std::int64_t latencyUs_;
  LineConnection::Handlers handlers_;
  std::string host_;
  std::string service_;
  bool implicitTls_ = false;
  std::vector<std::string> received_;
  bool connected_ = false;
  bool closedByClient_ = false;
  bool ended_ = false;  // by the server's side
};

class VirtualLineServer : public LineConnectionFactory {
 public:
  enum class ConnectMode { Accept, Refuse, Ignore };

  explicit VirtualLineServer(Scheduler& scheduler, std::int64_t latencyUs = 1000)
      : scheduler_(scheduler), latencyUs_(latencyUs) {}

  std::unique_ptr<LineConnection> Create() override;

  // Accept (default), refuse with the reason, or leave the connection hanging forever.
  void SetConnectMode(ConnectMode mode, std::string reason = "Connection refused") {
    mode_ = mode;
    reason_ = std::move(reason);
  }
  // Every peer in the order the clients connected.
  const std::vector<std::shared_ptr<VirtualLinePeer>>& Peers() const { return peers_; }

  // The server's side: a client has connected; a line has arrived from a client.
  std::function<void(VirtualLinePeer&)> onAccept;
  std::function<void(VirtualLinePeer&, const std::string&)> onLine;

 private:
  friend class VirtualLineConnection;

  Scheduler& scheduler_;
  std::int64_t latencyUs_;
  ConnectMode mode_ = ConnectMode::Accept;
  std::string reason_;
  std::vector<std::shared_ptr<VirtualLinePeer>> peers_;
};

}  // namespace velora
