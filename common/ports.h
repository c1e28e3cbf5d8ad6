// The ports: everything the core needs from the outside world. Qt adapters implement them on a
// real machine, the virtual world in tests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/constants.h"
#include "common/date_time.h"

namespace velora {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since start; wraps after 49 days like the system tick count.
  virtual std::uint32_t TickMs() = 0;
  virtual DateTime LocalNow() = 0;
};

class EventPump {
 public:
  virtual ~EventPump() = default;
  // Hands over pending events; with none pending, waits for the next one. Never spins.
  virtual void ProcessEvents() = 0;
  virtual bool Terminating() const = 0;
};

class OneShotTimer {
 public:
  virtual ~OneShotTimer() = default;
  virtual void Start(int ms) = 0;
  virtual void Stop() = 0;
  // The expiry is delivered through the event pump. The timer may be destroyed from inside it.
  virtual void SetHandler(std::function<void()> onExpiry) = 0;
};

// Timers for objects that come and go, such as a mail conversation's reply time-out.
class OneShotTimerFactory {
 public:
  virtual ~OneShotTimerFactory() = default;
  virtual std::unique_ptr<OneShotTimer> CreateTimer() = 0;
};

class SerialPort {
 public:
  virtual ~SerialPort() = default;
  // The configured port number (0 = none chosen). Changing it closes an open port.
  virtual int PortNumber() const = 0;
  virtual void SetPortNumber(int number) = 0;
  // Opens the configured port; false with a reason on failure.
  virtual bool Open(std::string& error) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // Queues the bytes; returns at once.
  virtual void Write(std::string_view bytes) = 0;
  virtual std::string ReadAll() = 0;
  virtual void SetDtr(bool level) = 0;
  virtual void SetBreak(bool on) = 0;
  // An empty function detaches the handler; bytes then wait in the port.
  virtual void SetReceivedHandler(std::function<void()> onReceived) = 0;
  // Fires when the last stop bit of everything written has left the line.
  virtual void SetTxEmptyHandler(std::function<void()> onTxEmpty) = 0;
  // True when the port is the built-in virtual radio rather than a serial device.
  virtual bool IsVirtualRadio() const { return false; }
};

// A settings value that cannot be read or written; the message is shown to the operator.
class SettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class SettingsBackend {
 public:
  enum class ValueKind { Missing, String, Integer, Other };

  virtual ~SettingsBackend() = default;
  // Opens a key path such as "Software\\Brevik\\Velora-Server\\"; false when it cannot.
  virtual bool OpenKey(std::string_view path, bool create) = 0;
  virtual void CloseKey() = 0;
  virtual ValueKind KindOf(std::string_view name) = 0;
  virtual std::vector<std::string> ValueNames() = 0;
  // Reads throw SettingsError when the value is missing or of another kind.
  virtual std::string ReadString(std::string_view name) = 0;
  virtual std::int32_t ReadInteger(std::string_view name) = 0;
  // Writes throw SettingsError when the store refuses them.
  virtual void WriteString(std::string_view name, std::string_view value) = 0;
  virtual void WriteInteger(std::string_view name, std::int32_t value) = 0;
};

// A text line connection to a mail server. Handlers run as events of the event loop, never
// inside a call of the connection's own methods, and never after Close() or destruction; the
// connection may be closed or destroyed from inside any of them.
class LineConnection {
 public:
  struct Handlers {
    // The connection is up (with implicit TLS: the handshake has verified the server).
    std::function<void()> connected;
    std::function<void(const std::string& line)> line;  // without CR LF
    // The server ended an established connection.
    std::function<void()> closed;
    // Connecting failed, or the connection broke; the text names the reason.
    std::function<void(const std::string& error)> failed;
  };

  virtual ~LineConnection() = default;
  virtual void SetHandlers(Handlers handlers) = 0;
  // service: "smtp", "pop3" or a port number. With implicitTls the connection speaks TLS from
  // the start and verifies the server's certificate and name.
  virtual void Connect(const std::string& host, const std::string& service, bool implicitTls) = 0;
  // Sends the line followed by CR LF.
  virtual void SendLine(std::string_view line) = 0;
  virtual void Close() = 0;
};

class LineConnectionFactory {
 public:
  virtual ~LineConnectionFactory() = default;
  virtual std::unique_ptr<LineConnection> Create() = 0;
};

// The detailed log as the link, the bus and the sessions write to it.
class LogSink {
 public:
  virtual ~LogSink() = default;
  // One line, whatever the level.
  virtual void Log(std::string_view text) = 0;
  virtual LogLevel Level() const = 0;
  // A line in the operator's event list, and in the log when toFile is set.
  virtual void MainLog(std::string_view text, bool toFile) = 0;

  bool Enabled(LogLevel atLeast) const { return Level() >= atLeast; }
  void LogAt(LogLevel atLeast, std::string_view text) {
    if (Enabled(atLeast)) Log(text);
  }
};

class OperatorUi {
 public:
  virtual ~OperatorUi() = default;
  virtual void ShowMessage(std::string_view text) = 0;
  virtual bool Confirm(std::string_view question) = 0;
  virtual void EventLine(std::string_view line) = 0;
  // Replaces the whole event list by the given text (its heading at every start of the server).
  virtual void ReplaceEventList(std::string_view text) = 0;
};

}  // namespace velora
