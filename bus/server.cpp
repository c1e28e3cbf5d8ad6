// The polling cycle: registration slot, output pass, content pause, sweep.
#include "bus/server.h"

#include <algorithm>
#include <cstdio>

#include "common/constants.h"
#include "common/cp1252.h"
#include "link/frame.h"

namespace velora {

Server::Server(ServerPorts ports, std::string workDir)
    : port_(ports.makePort(settings)),
      log(ports.clock, ports.ui, workDir),
      line(*port_, ports.timer, ports.pump, log, settings),
      stations(log, ports.ui, users),
      ports_(ports),
      workDir_(std::move(workDir)),
      context_{settings, log, ports.clock, random, users, feedback} {}

Server::~Server() = default;

void Server::SetSimulator(SimulatorLink* simulator) {
  line.SetSimulator(simulator);
}

void Server::RequestStop() {
  running_ = false;
}

void Server::AbortWaits() {
  running_ = false;
  line.EndTimerWait();
}

void Server::TickSecond() {
  if (!running_) return;
  ++runSeconds;
  ++totalUptime;
}

bool Server::Start() {
  if (running_) return true;
  stations.LowestAddress = 255;
  stations.HighestAddress = 0;
  running_ = true;
  ports_.ui.ReplaceEventList("WICHTIGE EREIGNISSE:\r\n");

  lastCycleTick_ = ports_.clock.TickMs();
  if (!log.Open()) {
    ports_.ui.ShowMessage("Could not open logfile for write access.");
    running_ = false;
    return false;
  }
  log.WriteHeader();
  std::string error;
  if (!port_->Open(error)) {
    ports_.ui.ShowMessage("Could not open port COM" + std::to_string(port_->PortNumber()));
    log.Close();
    running_ = false;
    return false;
  }
  log.LogAt(1, "Port geöffnet"_cp);
  if (port_->IsVirtualRadio()) log.MainLog("virtuelles Funknetz", false);
  stations.Reset();
  graph.resendX = 0;
  graph.resend.clear();
  graph.graphPrev1 = graph.graphPrev2 = 0;

  while (running_)
    Cycle();

  ports_.timer.Stop();
  port_->Close();
  log.LogAt(1, "Port geschlossen");
  log.Close();
  return true;
}

void Server::Cycle() {
  log.CheckContinuation(settings.MaxLogLines, settings.SameLogFile);
  log.LogAt(2, "==== Schleife beginnt von vorne ====");
  UpdateCycleGraph();
  RegistrationSlot();
  UpdateResendGraph();
  if (onCycle) onCycle();
  OutputPass();
  line.Delay(settings.ContentPacketPause);
  if (stations.Count() == 0) return;
  Sweep();
}

void Server::UpdateCycleGraph() {
  const std::uint32_t now = ports_.clock.TickMs();
  graph.lastCycleMs = now - lastCycleTick_;
  const auto scale = static_cast<std::uint32_t>(std::max(1, graph.msPerPixel));
  const int value = static_cast<int>(graph.lastCycleMs / scale);
  graph.values.push_back(value);
  while (graph.values.size() > CycleGraph::Width / 3 + 2)
    graph.values.pop_front();
  graph.graphPrev2 = graph.graphPrev1;
  graph.graphPrev1 = value;
  lastCycleTick_ = now;
}

void Server::RegistrationSlot() {
  line.TXENSend();
  line.SendPacket(NoAddress, KindInvite, "", 1);
  line.TXENReceive();
  line.ReceivePacket(settings.RegisterWait);
  line.TXENSend();
  if (!line.PacketReceived() || line.LastPacket().size() != RegisterRequestLength) return;

  const std::string request = line.LastPacket();
  const std::string_view nameField = std::string_view(request).substr(FrameData, 8);
  if (stations.AlreadyRegistered(nameField)) return;
  const std::size_t index = stations.Count();
  const std::uint8_t address = stations.GetFreeAddr(index);
  stations.Add(std::make_unique<TProcess>(
      context_, address, static_cast<std::uint8_t>(request[FrameData + 8]), nameField));
  const TProcess& session = stations.Session(index);
  char text[160];
  std::snprintf(text, sizeof text, "TI Nr. %d angemeldet; Name \"%s\"; Typ: %s",
                static_cast<int>(stations.Count()), session.UserName().c_str(),
                std::string(CalcTypeNames[session.CalcType()]).c_str());
  log.MainLog(text, false);
}

void Server::UpdateResendGraph() {
  if (stations.Count() == 0) return;
  if (++graph.resendX > CycleGraph::ResendWidth) {
    graph.resend.clear();
    graph.resendX = 0;
  }
  const TProcess& first = stations.Session(0);
  graph.resend.push_back({graph.resendX, first.SendCount(), first.SendCountMax()});
}

void Server::OutputPass() {
  std::size_t i = 0;
  while (i < stations.Count()) {
    TProcess& session = stations.Session(i);
    const TPacket packet = session.NextPacket();
    if (packet.Kind == KindRegistered) {
      line.SendPacket(BroadcastAddress, packet.Kind, packet.Data, packet.Part);
    } else if (packet.Kind == KindLogoutAck) {
      for (int n = 0; n < settings.LogoutAckCount; ++n) {
        line.SendPacket(session.Address(), packet.Kind, packet.Data, packet.Part);
      }
    } else {
      line.SendPacket(session.Address(), packet.Kind, packet.Data, packet.Part);
    }
    if (session.LoggedOut()) {
      stations.UnregisterMe(i);  // the next session moves up into place i
    } else {
      ++i;
    }
  }
}

void Server::Sweep() {
  int k = stations.LowestAddress;
  bool mustPoll = true;
  while (k <= stations.HighestAddress) {
    const auto address = static_cast<std::uint8_t>(k);
    if (mustPoll) {
      if (line.TxenIsReceive()) line.TXENSend();
      line.SendPacket(address, KindPoll, "", 1);
      line.TXENReceive();
      mustPoll = false;
    }
    line.ReceivePacket(settings.ReceiveWait);
    const std::string& frame = line.LastPacket();
    const bool answered = line.PacketReceived() && frame.size() >= FrameOverhead &&
                          FrameByte(frame, FrameSource) == k;
    TProcess* session = stations.SessionAt(address);
    if (answered && session != nullptr) {
      line.HeardStation(frame);
      session->HandlePacket(frame);
      session->SetNoReplyCount(0);
    } else {
      if (settings.KickSilentStations && session != nullptr) {
        // A byte: 255 + 1 wraps to 0, so a limit of 255 or more never kicks.
        session->SetNoReplyCount(static_cast<std::uint8_t>(session->NoReplyCount() + 1));
        if (session->NoReplyCount() > settings.KickAfterNoReplies) {
          log.MainLog("Kicke TI " + std::to_string(k + 1) + " (" + session->UserName() + ")",
                      false);
          stations.UnregisterMe(stations.SessionOfAddress(address));
        }
      }
      mustPoll = true;
    }
    ++k;
    if (k <= 255 && stations.AddressInUse(static_cast<std::uint8_t>(k))) continue;
    while (k <= stations.HighestAddress && !stations.AddressInUse(static_cast<std::uint8_t>(k)))
      ++k;
    mustPoll = true;
  }
}

std::string FormatUptime(std::int32_t seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%2.2d:%2.2d", seconds / 60, seconds % 60);
  return text;
}

}  // namespace velora
