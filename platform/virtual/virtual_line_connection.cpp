// The in-process line server and its connections.
#include "platform/virtual/virtual_line_connection.h"

#include <utility>

namespace velora {

// The client's end of a connection to the virtual server.
class VirtualLineConnection : public LineConnection {
 public:
  explicit VirtualLineConnection(VirtualLineServer& server) : server_(server) {}
  ~VirtualLineConnection() override { Close(); }

  void SetHandlers(Handlers handlers) override {
    if (peer_) peer_->handlers_ = handlers;
    handlers_ = std::move(handlers);
  }

  void Connect(const std::string& host, const std::string& service, bool implicitTls) override {
    Close();
    peer_ = std::make_shared<VirtualLinePeer>(server_.scheduler_, server_.latencyUs_);
    peer_->handlers_ = handlers_;
    peer_->host_ = host;
    peer_->service_ = service;
    peer_->implicitTls_ = implicitTls;
    server_.peers_.push_back(peer_);
    VirtualLineServer& server = server_;
    switch (server.mode_) {
      case VirtualLineServer::ConnectMode::Accept:
        peer_->Later([&server](VirtualLinePeer& peer) {
          peer.connected_ = true;
          if (auto connected = peer.handlers_.connected) connected();
          if (peer.Up() && server.onAccept) server.onAccept(peer);
        });
        return;
      case VirtualLineServer::ConnectMode::Refuse:
        peer_->Later([reason = server.reason_](VirtualLinePeer& peer) {
          peer.ended_ = true;
          if (auto failed = peer.handlers_.failed) failed(reason);
        });
        return;
      case VirtualLineServer::ConnectMode::Ignore:
        return;
    }
  }

  void SendLine(std::string_view line) override {
    if (!peer_ || !peer_->Up()) return;
    VirtualLineServer& server = server_;
    auto peer = peer_;
    // The server hears the line after the latency, unless the connection is gone by then.
    server_.scheduler_.ScheduleAfter(server_.latencyUs_, [&server, peer, text = std::string(line)] {
      if (peer->ended_) return;
      peer->received_.push_back(text);
      if (server.onLine) server.onLine(*peer, text);
    });
  }

  void Close() override {
    if (!peer_) return;
    peer_->closedByClient_ = true;
    peer_->handlers_ = {};
    peer_.reset();
  }

 private:
  VirtualLineServer& server_;
  Handlers handlers_;
  std::shared_ptr<VirtualLinePeer> peer_;
};

void VirtualLinePeer::Later(std::function<void(VirtualLinePeer&)> task) {
  scheduler_.ScheduleAfter(latencyUs_, [self = shared_from_this(), task = std::move(task)] {
    if (self->closedByClient_) return;
    task(*self);
  });
}

void VirtualLinePeer::Send(std::string_view line) {
  Later([text = std::string(line)](VirtualLinePeer& peer) {
    if (!peer.Up()) return;
    if (auto handler = peer.handlers_.line) handler(text);
  });
}

void VirtualLinePeer::Hangup() {
  Later([](VirtualLinePeer& peer) {
    if (!peer.Up()) return;
    peer.ended_ = true;
    if (auto closed = peer.handlers_.closed) closed();
  });
}

void VirtualLinePeer::Break(std::string reason) {
  Later([reason = std::move(reason)](VirtualLinePeer& peer) {
    if (!peer.Up()) return;
    peer.ended_ = true;
    if (auto failed = peer.handlers_.failed) failed(reason);
  });
}

std::unique_ptr<LineConnection> VirtualLineServer::Create() {
  return std::make_unique<VirtualLineConnection>(*this);
}

}  // namespace velora
