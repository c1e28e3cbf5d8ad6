// A serial device on QSerialPort.
#include "platform/qt/qt_serial_device.h"

#include <sys/ioctl.h>
#include <termios.h>

#include <QtGlobal>
#include <algorithm>

#include "common/cp1252.h"
#include "platform/qt/qt_port_list.h"
#include "platform/qt/qt_text.h"

namespace velora {

namespace {

constexpr std::int64_t ByteNs = 10 * 1'000'000'000LL / 19200;
constexpr std::int64_t MinCheckNs = 1'000'000;
// A device that has not drained this long after the wire time never will (flow control, or a
// pseudo-terminal nobody reads): the event is given anyway so that nobody waits for ever.
constexpr std::int64_t GiveUpNs = 2'000'000'000;
// A device that keeps failing is reopened at most this often.
constexpr std::int64_t ReopenIntervalNs = 1'000'000'000;

}  // namespace

QtSerialDevice::QtSerialDevice(const ServerSettings& settings) : settings_(settings) {
  clock_.start();
  drainTimer_.setSingleShot(true);
  drainTimer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&drainTimer_, &QTimer::timeout, [this] { CheckDrained(); });
  recoverTimer_.setSingleShot(true);
  QObject::connect(&recoverTimer_, &QTimer::timeout, [this] { Recover(); });
  QObject::connect(&port_, &QSerialPort::readyRead, [this] {
    if (onReceived_) onReceived_();
  });
  QObject::connect(&port_, &QSerialPort::errorOccurred,
                   [this](QSerialPort::SerialPortError error) { OnError(error); });
}

QtSerialDevice::~QtSerialDevice() {
  QObject::disconnect(&port_, nullptr, nullptr, nullptr);
  Close();
}

void QtSerialDevice::SetDevicePath(std::string path) {
  if (path != devicePath_) Close();
  devicePath_ = std::move(path);
}

void QtSerialDevice::SetPortNumber(int number) {
  if (number != number_) Close();
  number_ = number;
}

bool QtSerialDevice::Open(std::string& error) {
  if (port_.isOpen()) return true;
  recoverTimer_.stop();
  const std::string path = devicePath_.empty() ? DeviceForPortNumber(number_) : devicePath_;
  if (path.empty()) {
    error = "the system has no serial port COM" + std::to_string(number_);
    return false;
  }
  return OpenDevice(QString::fromStdString(path), error);
}

bool QtSerialDevice::OpenDevice(const QString& path, std::string& error) {
  port_.setPortName(path);
  port_.setBaudRate(QSerialPort::Baud19200);
  port_.setDataBits(QSerialPort::Data8);
  port_.setParity(QSerialPort::NoParity);
  port_.setStopBits(QSerialPort::OneStop);
  port_.setFlowControl(QSerialPort::NoFlowControl);
  if (!port_.open(QIODevice::ReadWrite)) {
    error = port_.errorString().toStdString();
    port_.clearError();
    return false;
  }
  openedPath_ = path;
  wantOpen_ = true;
  // Opening raised DTR, which may have switched the transmitter on.
  SetDtr(settings_.TxenHighIsDtrFalse);
  if (!port_.setRequestToSend(true)) {
    NoteOnce(rtsNoted_, "NOTE : the serial device refuses RTS; ignored");
    port_.clearError();
  }
  port_.clear();
  drainTimer_.stop();
  draining_ = false;
  drainDeadlineNs_ = 0;
  return true;
}

void QtSerialDevice::Close() {
  wantOpen_ = false;
  recoverTimer_.stop();
  drainTimer_.stop();
  draining_ = false;
  if (port_.isOpen()) port_.close();
  port_.clearError();
}

void QtSerialDevice::Write(std::string_view bytes) {
  if (!port_.isOpen() || bytes.empty()) return;
  port_.write(bytes.data(), static_cast<qint64>(bytes.size()));
  port_.flush();  // to the driver at once, so that the wire time counts from now
  const std::int64_t now = clock_.nsecsElapsed();
  drainDeadlineNs_ =
      std::max(now, drainDeadlineNs_) + static_cast<std::int64_t>(bytes.size()) * ByteNs;
  draining_ = true;
  if (!drainTimer_.isActive()) CheckDrainedAfter(drainDeadlineNs_ - now);
}

void QtSerialDevice::CheckDrainedAfter(std::int64_t ns) {
  const std::int64_t ms = (std::max(ns, std::int64_t{0}) + 999'999) / 1'000'000;
  drainTimer_.start(static_cast<int>(ms));
}

void QtSerialDevice::CheckDrained() {
  if (!draining_ || !port_.isOpen()) return;
  const std::int64_t now = clock_.nsecsElapsed();
  if (now < drainDeadlineNs_) {
    CheckDrainedAfter(drainDeadlineNs_ - now);
    return;
  }
  // The driver's word where it gives one; where an ioctl is refused the wire time stands.
  std::int64_t pending = port_.bytesToWrite();
  const int fd = static_cast<int>(port_.handle());
  int queued = 0;
  if (::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0) pending += queued;
  unsigned int lsr = 0;
  const bool shifterBusy = ::ioctl(fd, TIOCSERGETLSR, &lsr) == 0 && (lsr & TIOCSER_TEMT) == 0;
  if (pending > 0 || shifterBusy) {
    if (now < drainDeadlineNs_ + GiveUpNs) {
      CheckDrainedAfter(std::max(pending * ByteNs, MinCheckNs));
      return;
    }
    NoteOnce(drainNoted_, "NOTE : the serial device does not drain; transmit-empty given anyway");
  }
  draining_ = false;
  if (onTxEmpty_) onTxEmpty_();
}

std::string QtSerialDevice::ReadAll() {
  if (!port_.isOpen()) return {};
  return port_.readAll().toStdString();
}

void QtSerialDevice::SetDtr(bool level) {
  dtr_ = level;
  if (!port_.isOpen()) return;
  if (!port_.setDataTerminalReady(level)) {
    NoteOnce(dtrNoted_, "NOTE : the serial device refuses DTR; ignored");
    port_.clearError();
  }
}

void QtSerialDevice::SetBreak(bool on) {
  if (!port_.isOpen()) return;
  if (!port_.setBreakEnabled(on)) {
    NoteOnce(breakNoted_, "NOTE : the serial device refuses the break condition; ignored");
    port_.clearError();
  }
}

void QtSerialDevice::SetReceivedHandler(std::function<void()> onReceived) {
  onReceived_ = std::move(onReceived);
}

void QtSerialDevice::SetTxEmptyHandler(std::function<void()> onTxEmpty) {
  onTxEmpty_ = std::move(onTxEmpty);
}

void QtSerialDevice::OnError(QSerialPort::SerialPortError error) {
  // A zero-length read is reported with a stale errno: as a resource error it stops reception
  // for good, as a read error it repeats at full speed (a hung-up line stays readable). Either
  // way the handle is finished: start afresh, outside the port's own notification.
  if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError) return;
  if (!port_.isOpen() || recoverTimer_.isActive()) return;
  recoverTimer_.start(0);
}

void QtSerialDevice::Recover() {
  if (!wantOpen_) return;
  const bool wasDraining = draining_;
  const bool dtr = dtr_;
  if (port_.isOpen()) {
    port_.close();  // ends the stream of errors at once
    port_.clearError();
  }
  const std::int64_t now = clock_.nsecsElapsed();
  if (lastReopenNs_ >= 0 && now - lastReopenNs_ < ReopenIntervalNs) {
    recoverTimer_.start(static_cast<int>((lastReopenNs_ + ReopenIntervalNs - now) / 1'000'000 + 1));
    return;
  }
  lastReopenNs_ = now;
  std::string error;
  if (!OpenDevice(openedPath_, error)) {
    if (!lostNoted_) {
      NoteOnce(lostNoted_, "NOTE : serial device lost after a read error (" + error +
                               "); trying to reopen it every second");
      Event("Verbindung zum Port " + FromQString(openedPath_) + " verloren");
    }
    wantOpen_ = true;
    recoverTimer_.start(static_cast<int>(ReopenIntervalNs / 1'000'000));
    return;
  }
  // A read error mended by the first reopen is the log's business only.
  const bool wasLost = lostNoted_;
  lostNoted_ = false;
  SetDtr(dtr);
  Note("NOTE : serial device reopened after a read error");
  if (wasLost) {
    std::string line = "Port " + FromQString(openedPath_);
    line += " wieder geöffnet"_cp;
    Event(line);
  }
  if (wasDraining && onTxEmpty_) onTxEmpty_();  // what was queued went with the old handle
}

void QtSerialDevice::Note(std::string_view text) {
  if (note_) {
    note_(text);
    return;
  }
  qWarning("%.*s", static_cast<int>(text.size()), text.data());
}

void QtSerialDevice::Event(const std::string& text) {
  if (event_) event_(text);
}

void QtSerialDevice::NoteOnce(bool& noted, std::string_view text) {
  if (noted) return;
  noted = true;
  Note(text);
}

}  // namespace velora
